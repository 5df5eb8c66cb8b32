// TVariant: the value type that crosses property, parameter and storage interfaces.
// Holds Null, Unassigned, bool, integer, real, UTF-8 text or an interface reference. All
// conversions follow the data files' rules and live in variant.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "engine/object.h"

namespace lumessa {

class TVariant {
 public:
  enum class Kind { Unassigned, Null, Bool, Int, Real, String, Interface };
  struct NullTag {};
  static constexpr NullTag Null{};

  TVariant() = default;  // Unassigned
  TVariant(NullTag) : v_(NullTag{}) {}
  TVariant(bool b) : v_(b) {}
  TVariant(int i) : v_(int64_t(i)) {}
  TVariant(unsigned i) : v_(int64_t(i)) {}
  TVariant(int64_t i) : v_(i) {}
  TVariant(double d) : v_(d) {}
  TVariant(std::string s) : v_(std::move(s)) {}
  TVariant(std::string_view s) : v_(std::string(s)) {}
  TVariant(const char* s) : v_(std::string(s)) {}
  TVariant(Ref<IInterface> r) : v_(std::move(r)) {}
  template <class T>
  requires std::derived_from<T, IInterface> TVariant(const Ref<T>& r)
      : v_(Ref<IInterface>(r.get())) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool IsUnassigned() const { return kind() == Kind::Unassigned; }
  bool IsNull() const { return kind() == Kind::Null; }
  // Null or Unassigned: no value at all.
  bool IsEmpty() const { return IsUnassigned() || IsNull(); }
  bool IsString() const { return kind() == Kind::String; }
  bool IsInt() const { return kind() == Kind::Int; }
  bool IsReal() const { return kind() == Kind::Real; }
  bool IsBool() const { return kind() == Kind::Bool; }
  bool IsNumber() const { return IsInt() || IsReal(); }
  bool IsInterface() const { return kind() == Kind::Interface; }

  // Direct access; the kind must match.
  const std::string& AsStringRef() const { return std::get<std::string>(v_); }
  int64_t AsIntRaw() const { return std::get<int64_t>(v_); }
  double AsRealRaw() const { return std::get<double>(v_); }

  // Conversions. Text: ints decimal, reals in the shortest form with ".", bools "yes"/"no",
  // empty for Null/Unassigned/interfaces.
  std::string ToString() const;
  // Integers: text by ParseInt, then by ParseFloat rounded half to even; bools 1/0; reals
  // rounded half to even. `fallback` when nothing converts.
  int64_t ToInt(int64_t fallback = 0) const;
  double ToFloat(double fallback = 0) const;
  // Bools: "yes"/"no" (exact), numbers non-zero. `fallback` otherwise.
  bool ToBool(bool fallback = false) const;
  // Whether the value converts to a number at all.
  bool ConvertsToNumber() const;
  Ref<IInterface> ToInterface() const;
  template <class I>
  Ref<I> ToInterface() const {
    return Query<I>(ToInterface());
  }

  // Same kind and value (interfaces: same object). Used for "differs from its default" checks.
  friend bool operator==(const TVariant& a, const TVariant& b);

 private:
  std::variant<std::monostate, NullTag, bool, int64_t, double, std::string, Ref<IInterface>> v_;
};

// Rounds to the nearest integer, halves to even (the rule for computed money, durations and
// positions).
int64_t RoundHalfEven(double v);

}  // namespace lumessa
