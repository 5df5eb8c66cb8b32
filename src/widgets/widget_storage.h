// Reading widget keys for data authors: a value that does not convert keeps the default, and
// with --log the program says which key of which widget was bad.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "persistence/xml_storage.h"

namespace lumessa {

class TKeyReader {
 public:
  // `who` names the object in log lines. With stopAtError, the first bad value ends the reading:
  // every later key answers its fallback (so the fields keep the values they had).
  TKeyReader(const Ref<IHierStorage>& storage, std::string_view who, bool stopAtError = false);

  bool Bool(std::string_view key, bool fallback);
  int Int(std::string_view key, int fallback);
  double Float(std::string_view key, double fallback);
  // One word of a "/a/b/c" list; its position.
  int Enum(std::string_view key, std::string_view choices, int fallback);
  // Integer syntax of the data files ("$" hexadecimal), 32 bits in the pixel format.
  uint32_t Color(std::string_view key, uint32_t fallback);
  std::string String(std::string_view key, std::string_view fallback = {});

  // A value failed to convert.
  bool Failed() const { return failed_; }

 private:
  // Whether the reading goes on; logs a value that did not convert (the reader's answer depends
  // on the fallback it was given).
  template <class T, class Read>
  T Checked(std::string_view key, T fallback, T otherFallback, Read&& read);

  Ref<IHierStorage> storage_;
  std::string who_;
  bool stopAtError_;
  bool failed_ = false;
};

// Writes a colour as "$AARRGGBB" (the integer syntax of the data files).
void WriteColor(const Ref<IHierStorage>& storage, std::string_view name, bool doWrite,
                uint32_t color);

// A colour given as a property value: integers as they are, text in the integer syntax of the
// data files; anything else 0.
uint32_t ColorFromVariant(const TVariant& value);

}  // namespace lumessa
