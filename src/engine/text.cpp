#include "engine/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace lumessa {

std::string AsciiUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

std::string AsciiLower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

int CompareIgnoreCase(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(AsciiUpper(a[i]));
    auto y = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

static bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  return TrimRight(TrimLeft(s));
}

std::optional<int64_t> ParseInt(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  // Hexadecimal text may spell a full 64-bit pattern ($FFFFFFFFFFFFFFFF); decimal must fit.
  if (base == 10) {
    uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                              : uint64_t(std::numeric_limits<int64_t>::max());
    if (magnitude > limit) return std::nullopt;
  }
  int64_t v = static_cast<int64_t>(magnitude);
  return negative ? static_cast<int64_t>(0 - magnitude) : v;
}

std::optional<double> ParseFloat(std::string_view s) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<bool> ParseBool(std::string_view s) {
  if (s == "yes") return true;
  if (s == "no") return false;
  return std::nullopt;
}

std::string FormatFloat(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  // The shortest text that reads back as the same double, unless that needs more than 15
  // significant digits; then the value rounded to 15.
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general);
  std::string shortest(buf, ec == std::errc() ? end : buf);
  int digits = 0;
  for (char c : shortest) {
    if (c == 'e' || c == 'E') break;
    if (c >= '0' && c <= '9') ++digits;
  }
  // Leading zeros (0.000123) do not count as significant.
  size_t firstNonZero = shortest.find_first_of("123456789");
  size_t lead = 0;
  for (size_t i = 0; i < firstNonZero && i < shortest.size(); ++i)
    if (shortest[i] == '0') ++lead;
  if (digits - int(lead) <= 15) return shortest;
  auto [end2, ec2] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  return std::string(buf, ec2 == std::errc() ? end2 : buf);
}

std::string FormatInt(int64_t v) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, end);
}

}  // namespace lumessa
