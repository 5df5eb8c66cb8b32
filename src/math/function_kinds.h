// The function kinds that compute on their own cells, registered by type name:
//
//   column kinds     result (0, c - 1) from argument column c: sum, multiply, substr, division,
//                    polinom2, sin, random, int_random, switch, linear_segment
//   table kinds      pairs of columns: interval (step lookup), piecewise (linear
//                    interpolation), arithmetic (operation chains)
//   TMonteCarloFunction   a random opaque point of a surface
//   TEvalFunction         formulas in the expression language
//
// A kind that finds too few cells in a column leaves that result unchanged. Arithmetic is done
// in double and stored back as single precision.
#pragma once

#include <memory>
#include <string>

#include "math/expression.h"
#include "math/function.h"

namespace lumessa {

// a0 + a1 + ... (0 for an empty column).
class TSumFunction : public TFunction {
 public:
  void Calculate() override;
};

// a0 · a1 · ... (1 for an empty column).
class TMultiplyFunction : public TFunction {
 public:
  void Calculate() override;
};

// a0 − a1 − a2 − ... (0 for an empty column).
class TSubstrFunction : public TFunction {
 public:
  void Calculate() override;
};

// a0 / a1 / a2 / ..., skipping every divisor equal to 0 (0 for an empty column).
class TDivisionFunction : public TFunction {
 public:
  void Calculate() override;
};

// a1·x² + a2·x + a3 with x = a0.
class TPolinom2Function : public TFunction {
 public:
  void Calculate() override;
};

// (amplitude, time, period, phase in half-turns, offsets...):
// a0 · sin(π·a3 + 2π·a1 / a2) + a4 + a5 + ...; unchanged when the period a2 is 0.
class TSinFunction : public TFunction {
 public:
  void Calculate() override;
};

// r · a0 + a1 + a2 + ..., r uniform in [0, 1).
class TRandomFunction : public TFunction {
 public:
  void Calculate() override;
};

// k + a1 + a2 + ..., k uniform in 0 .. trunc(a0) − 1.
class TIntRandomFunction : public TFunction {
 public:
  void Calculate() override;
};

// a2 if a0 < a1, a3 if a0 = a1, a4 if a0 > a1.
class TSwitchFunction : public TFunction {
 public:
  void Calculate() override;
};

// (from, to, position, length): a0 + (a1 − a0) · a2 / a3, or a1 when a3 = 0; no clamping.
class TLinearSegmentFunction : public TFunction {
 public:
  void Calculate() override;
};

// Step lookup: for each x = cell (1, i), thresholds in column 2i + 2 and values in column
// 2i + 3; the value of the first threshold x does not exceed, else the last value.
class TIntervalFunction : public TFunction {
 public:
  void Calculate() override;
};

// Linear interpolation of x = cell (1, 0) through the points of column pairs (2i + 2, 2i + 3).
class TPiecewiseLinearInterpolationFunction : public TFunction {
 public:
  void Calculate() override;
};

// Operation chains: values in column 2i + 1, operation codes in column 2i + 2 (0 +, 1 −, 2 ·,
// 3 /, 4 max, 5 min, 6 integer remainder, 7 integer quotient).
class TArithmeticFunction : public TFunction {
 public:
  void Calculate() override;
};

// A random point of a surface whose alpha reaches a threshold. Cell (1, 0) carries the surface
// (in the object slot beside the value), optional (1, 1) the alpha threshold (default 1),
// optional (1, 2) the number of tries (default 1). Results: success, x, y, red, green, blue,
// alpha, as far as column 0 has cells.
class TMonteCarloFunction : public TFunction {
 public:
  // A data file cannot make one calculation sample without bound.
  static constexpr int kMaxTries = 10000;
  void Calculate() override;
};

// Formulas in the expression language, one per line of the element "expression", with one
// variable per cell definition (by its name). Results reach the cells by assignment (":=").
// A formula that does not compile, or a math error while evaluating, disables the function
// silently (the reason goes to the log).
class TEvalFunction : public TFunction {
 public:
  void SetOwner(IFunctionOwner* owner) override;
  void Unbind() override;
  void Calculate() override;

  const std::string& Expression() const { return expression_; }
  void SetExpression(std::string_view text) { expression_ = text; }
  bool IsEnabled() const { return enabled_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  void Disable(const char* reason);

  std::unique_ptr<expr::TExpressionParser> parser_;
  bool enabled_ = false;
  std::string expression_;
};

}  // namespace lumessa
