// Text helpers shared by the whole program: ASCII case rules, trimming, and the number and
// boolean forms of the data files ("." decimal point whatever the locale, "yes"/"no", "$" and
// "0x" hexadecimal). Every conversion between text and values goes through these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumessa {

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}
constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}
std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);
// Equality and ordering with only a-z / A-Z folded.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
int CompareIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view s, std::string_view prefix);

// Removes blanks and control characters (bytes <= 32) from the ends.
std::string_view Trim(std::string_view s);
std::string_view TrimLeft(std::string_view s);
std::string_view TrimRight(std::string_view s);

// Integer text: optional sign, then decimal digits, or hexadecimal digits after "$" or "0x".
// No surrounding blanks, nothing after the digits. Empty on anything else or on overflow.
std::optional<int64_t> ParseInt(std::string_view s);
// Real text with "." as the decimal point (an exponent is allowed). Empty if it does not convert.
std::optional<double> ParseFloat(std::string_view s);
// Exactly "yes" or "no".
std::optional<bool> ParseBool(std::string_view s);

// Shortest general form with up to 15 significant digits and "." as the decimal point.
std::string FormatFloat(double v);
std::string FormatInt(int64_t v);
inline std::string FormatBool(bool v) {
  return v ? "yes" : "no";
}

}  // namespace lumessa
