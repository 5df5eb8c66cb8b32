#include "engine/variant.h"

#include <cmath>
#include <limits>

#include "engine/text.h"

namespace lumessa {

int64_t RoundHalfEven(double v) {
  if (std::isnan(v)) return 0;
  constexpr double kMax = 9.2233720368547748e18;
  if (v >= kMax) return std::numeric_limits<int64_t>::max();
  if (v <= -kMax) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(std::nearbyint(v));  // default rounding mode: to nearest even
}

std::string TVariant::ToString() const {
  switch (kind()) {
    case Kind::Bool:
      return FormatBool(std::get<bool>(v_));
    case Kind::Int:
      return FormatInt(std::get<int64_t>(v_));
    case Kind::Real:
      return FormatFloat(std::get<double>(v_));
    case Kind::String:
      return std::get<std::string>(v_);
    default:
      return {};
  }
}

int64_t TVariant::ToInt(int64_t fallback) const {
  switch (kind()) {
    case Kind::Bool:
      return std::get<bool>(v_) ? 1 : 0;
    case Kind::Int:
      return std::get<int64_t>(v_);
    case Kind::Real:
      return RoundHalfEven(std::get<double>(v_));
    case Kind::String: {
      std::string_view s = Trim(std::get<std::string>(v_));
      if (auto i = ParseInt(s)) return *i;
      if (auto d = ParseFloat(s)) return RoundHalfEven(*d);
      return fallback;
    }
    default:
      return fallback;
  }
}

double TVariant::ToFloat(double fallback) const {
  switch (kind()) {
    case Kind::Bool:
      return std::get<bool>(v_) ? 1 : 0;
    case Kind::Int:
      return double(std::get<int64_t>(v_));
    case Kind::Real:
      return std::get<double>(v_);
    case Kind::String: {
      std::string_view s = Trim(std::get<std::string>(v_));
      if (auto d = ParseFloat(s)) return *d;
      if (auto i = ParseInt(s)) return double(*i);
      return fallback;
    }
    default:
      return fallback;
  }
}

bool TVariant::ToBool(bool fallback) const {
  switch (kind()) {
    case Kind::Bool:
      return std::get<bool>(v_);
    case Kind::Int:
      return std::get<int64_t>(v_) != 0;
    case Kind::Real:
      return std::get<double>(v_) != 0;
    case Kind::String:
      return ParseBool(std::get<std::string>(v_)).value_or(fallback);
    default:
      return fallback;
  }
}

bool TVariant::ConvertsToNumber() const {
  switch (kind()) {
    case Kind::Bool:
    case Kind::Int:
    case Kind::Real:
      return true;
    case Kind::String: {
      std::string_view s = Trim(std::get<std::string>(v_));
      return ParseInt(s).has_value() || ParseFloat(s).has_value();
    }
    default:
      return false;
  }
}

Ref<IInterface> TVariant::ToInterface() const {
  if (kind() == Kind::Interface) return std::get<Ref<IInterface>>(v_);
  return {};
}

bool operator==(const TVariant& a, const TVariant& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case TVariant::Kind::Unassigned:
    case TVariant::Kind::Null:
      return true;
    case TVariant::Kind::Bool:
      return std::get<bool>(a.v_) == std::get<bool>(b.v_);
    case TVariant::Kind::Int:
      return std::get<int64_t>(a.v_) == std::get<int64_t>(b.v_);
    case TVariant::Kind::Real:
      return std::get<double>(a.v_) == std::get<double>(b.v_);
    case TVariant::Kind::String:
      return std::get<std::string>(a.v_) == std::get<std::string>(b.v_);
    case TVariant::Kind::Interface:
      return std::get<Ref<IInterface>>(a.v_).get() == std::get<Ref<IInterface>>(b.v_).get();
  }
  return false;
}

}  // namespace lumessa
