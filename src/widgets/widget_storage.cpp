#include "widgets/widget_storage.h"

#include <cstdio>

#include "engine/log.h"
#include "engine/text.h"

namespace lumessa {

TKeyReader::TKeyReader(const Ref<IHierStorage>& storage, std::string_view who, bool stopAtError)
    : storage_(storage), who_(who), stopAtError_(stopAtError) {}

template <class T, class Read>
T TKeyReader::Checked(std::string_view key, T fallback, T otherFallback, Read&& read) {
  if (!storage_ || (stopAtError_ && failed_)) return fallback;
  std::optional<std::string_view> text = storage_->ReadValueView(key, TVariant());
  if (!text) return fallback;
  const std::string given(*text);  // the view ends with the reads below
  T value = read(fallback);
  // Only a value that did not convert makes the answer depend on the fallback.
  if (value == fallback && read(otherFallback) == otherFallback && !Trim(given).empty()) {
    failed_ = true;
    Log("widget '%s': \"%s\" has the bad value \"%s\"; %s", who_.c_str(), std::string(key).c_str(),
        given.c_str(),
        stopAtError_ ? "it and the keys read after it keep their defaults" : "the default is kept");
  }
  return value;
}

bool TKeyReader::Bool(std::string_view key, bool fallback) {
  return Checked(key, fallback, !fallback, [&](bool f) { return ReadBool(storage_, key, f); });
}

int TKeyReader::Int(std::string_view key, int fallback) {
  return Checked(key, fallback, fallback == 0 ? 1 : 0,
                 [&](int f) { return ReadInt(storage_, key, f); });
}

double TKeyReader::Float(std::string_view key, double fallback) {
  return Checked(key, fallback, fallback == 0 ? 1.0 : 0.0,
                 [&](double f) { return ReadFloat(storage_, key, f); });
}

int TKeyReader::Enum(std::string_view key, std::string_view choices, int fallback) {
  return Checked(key, fallback, fallback == 0 ? 1 : 0,
                 [&](int f) { return ReadEnum(storage_, key, choices, f); });
}

uint32_t TKeyReader::Color(std::string_view key, uint32_t fallback) {
  return uint32_t(Int(key, int(fallback)));
}

std::string TKeyReader::String(std::string_view key, std::string_view fallback) {
  if (!storage_ || (stopAtError_ && failed_)) return std::string(fallback);
  return ReadString(storage_, key, fallback);
}

void WriteColor(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite,
                uint32_t color) {
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", unsigned(color));
  WriteString(storage, name, doWrite, text);
}

uint32_t ColorFromVariant(const TVariant& value) {
  if (value.IsString()) {
    std::optional<int64_t> v = ParseInt(Trim(value.AsStringRef()));
    return v ? uint32_t(*v) : 0;
  }
  return uint32_t(value.ToInt(0));
}

}  // namespace lumessa
