#include "math/function_kinds.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "engine/log.h"
#include "engine/random.h"
#include "engine/surface.h"

namespace lumessa {

namespace {

using TColumn = std::vector<TParamCell*>;

// Result (0, c - 1) from argument column c, for every argument column that has a result cell.
template <class F>
void ForEachArgumentColumn(const TCellMatrix& m, F&& compute) {
  const TColumn& results = m.Column(0);
  for (int c = 1; c < m.ColumnCount() && size_t(c - 1) < results.size(); ++c)
    compute(m.Column(c), *results[size_t(c - 1)]);
}

inline double V(const TColumn& a, size_t i) {
  return a[i]->value;
}

// a[from] + a[from + 1] + ...
inline double SumFrom(const TColumn& a, size_t from) {
  double d = 0;
  for (size_t i = from; i < a.size(); ++i) d += a[i]->value;
  return d;
}

// trunc(x) as a 64-bit integer; false when x is not a number or out of range.
inline bool TruncInt64(double x, int64_t& out) {
  if (!(x > -9.2233720368547758e18 && x < 9.2233720368547758e18)) return false;
  out = int64_t(std::trunc(x));
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Column kinds

void TSumFunction::Calculate() {
  ForEachArgumentColumn(Cells(),
                        [](const TColumn& a, TParamCell& r) { r.value = float(SumFrom(a, 0)); });
}

void TMultiplyFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    double d = 1;
    for (TParamCell* p : a) d *= p->value;
    r.value = float(d);
  });
}

void TSubstrFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    r.value = a.empty() ? 0.0f : float(V(a, 0) - SumFrom(a, 1));
  });
}

void TDivisionFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    if (a.empty()) {
      r.value = 0;
      return;
    }
    double d = V(a, 0);
    for (size_t i = 1; i < a.size(); ++i)
      if (a[i]->value != 0) d /= a[i]->value;
    r.value = float(d);
  });
}

void TPolinom2Function::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    if (a.size() < 4) return;
    const double x = V(a, 0);
    r.value = float(V(a, 1) * x * x + V(a, 2) * x + V(a, 3));
  });
}

void TSinFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    if (a.size() < 3 || V(a, 2) == 0) return;
    const double pi = std::numbers::pi;
    const double phase = a.size() >= 4 ? pi * V(a, 3) : 0.0;
    r.value = float(V(a, 0) * std::sin(phase + 2 * pi * V(a, 1) / V(a, 2)) + SumFrom(a, 4));
  });
}

void TRandomFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    r.value = a.empty() ? 0.0f : float(ProgramRandom().NextReal() * V(a, 0) + SumFrom(a, 1));
  });
}

void TIntRandomFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    if (a.empty()) {
      r.value = 0;
      return;
    }
    int64_t bound = 0;
    if (!TruncInt64(V(a, 0), bound) && V(a, 0) > 0) bound = std::numeric_limits<int64_t>::max();
    r.value = float(double(ProgramRandom().NextInt(bound)) + SumFrom(a, 1));
  });
}

void TSwitchFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    if (a.size() < 5) return;
    const float x = a[0]->value, y = a[1]->value;
    if (x < y)
      r.value = a[2]->value;
    else if (x == y)
      r.value = a[3]->value;
    else if (x > y)
      r.value = a[4]->value;
  });
}

void TLinearSegmentFunction::Calculate() {
  ForEachArgumentColumn(Cells(), [](const TColumn& a, TParamCell& r) {
    if (a.size() < 4) return;
    r.value = V(a, 3) == 0 ? a[1]->value : float(V(a, 0) + (V(a, 1) - V(a, 0)) * V(a, 2) / V(a, 3));
  });
}

// ---------------------------------------------------------------------------------------------
// Table kinds

void TIntervalFunction::Calculate() {
  const TCellMatrix& m = Cells();
  const TColumn& inputs = m.Column(1);
  for (size_t i = 0; i < inputs.size(); ++i) {
    TParamCell* r = m.At(0, int(i));
    if (!r) break;
    if (m.ColumnCount() < int(2 * i + 4)) {
      r->value = 0;
      continue;
    }
    const TColumn& thresholds = m.Column(int(2 * i + 2));
    const TColumn& values = m.Column(int(2 * i + 3));
    if (thresholds.empty()) continue;
    const float x = inputs[i]->value;
    // The last threshold is never compared: beyond the others the last value applies.
    size_t pick = thresholds.size() - 1;
    for (size_t k = 0; k + 1 < thresholds.size(); ++k) {
      if (x <= thresholds[k]->value) {
        pick = k;
        break;
      }
    }
    if (pick < values.size()) r->value = values[pick]->value;
  }
}

void TPiecewiseLinearInterpolationFunction::Calculate() {
  const TCellMatrix& m = Cells();
  const TParamCell* input = m.At(1, 0);
  if (!input) return;
  const double x = input->value;
  const int pairs = (m.ColumnCount() - 2) / 2;
  for (int i = 0; i < pairs; ++i) {
    TParamCell* r = m.At(0, i);
    if (!r) break;
    const TColumn& xs = m.Column(2 * i + 2);
    const TColumn& ys = m.Column(2 * i + 3);
    const size_t n = xs.size();
    if (n == 0 || ys.size() < n) continue;
    // Beyond the last point the last value holds; below the first point too, as no segment is
    // found (data keep x within range).
    double result = V(ys, n - 1);
    if (!(x >= V(xs, n - 1))) {
      for (size_t k = n - 1; k-- > 0;) {
        if (x >= V(xs, k)) {
          result =
              V(ys, k) + (V(ys, k + 1) - V(ys, k)) * (x - V(xs, k)) / (V(xs, k + 1) - V(xs, k));
          break;
        }
      }
    }
    r->value = float(result);
  }
}

void TArithmeticFunction::Calculate() {
  const TCellMatrix& m = Cells();
  const int last = (m.ColumnCount() - 2) / 2;  // rounds toward zero, as the data expect
  for (int i = 0; i <= last; ++i) {
    TParamCell* r = m.At(0, i);
    if (!r) break;
    const TColumn& w = m.Column(2 * i + 1);
    const TColumn& ops = m.Column(2 * i + 2);
    if (w.empty()) continue;
    double d = V(w, 0);
    for (size_t j = 1; j < w.size(); ++j) {
      if (j - 1 >= ops.size()) break;  // no operation code: the chain ends here
      const double x = V(w, j);
      int64_t code = -1;
      TruncInt64(ops[j - 1]->value, code);
      switch (code) {
        case 0:
          d += x;
          break;
        case 1:
          d -= x;
          break;
        case 2:
          d *= x;
          break;
        // A zero divisor leaves the value, as the division kind skips it.
        case 3:
          if (x != 0) d /= x;
          break;
        case 4:
          d = d >= x ? d : x;
          break;
        case 5:
          d = d <= x ? d : x;
          break;
        case 6:
        case 7: {
          int64_t a, b;
          if (!TruncInt64(d, a) || !TruncInt64(x, b) || b == 0) break;
          if (b == -1) {
            d = code == 6 ? 0.0 : -double(a);
            break;
          }
          d = double(code == 6 ? a % b : a / b);
          break;
        }
        default:
          break;
      }
    }
    r->value = float(d);
  }
}

// ---------------------------------------------------------------------------------------------
// Monte Carlo

void TMonteCarloFunction::Calculate() {
  const TCellMatrix& m = Cells();
  const TColumn& results = m.Column(0);
  if (results.empty()) return;
  results[0]->value = 0;
  const TColumn& args = m.Column(1);
  if (m.ColumnCount() == 1 || args.empty()) return;
  Ref<ISurface> surface = Query<ISurface>(args[0]->object);
  if (!surface) return;
  const double threshold = args.size() >= 2 ? V(args, 1) : 1.0;
  int64_t tries = 1;
  if (args.size() >= 3) {
    const double t = std::nearbyint(V(args, 2));
    tries = t > kMaxTries ? kMaxTries : t > 0 ? int64_t(t) : 0;
  }
  const int width = surface->GetWidth(), height = surface->GetHeight();
  if (width <= 0 || height <= 0) return;
  TRandom& random = ProgramRandom();
  for (int64_t t = 0; t < tries; ++t) {
    const int x = int(random.NextInt(width));
    const int y = int(random.NextInt(height));
    const uint32_t pixel = surface->GetPixel(x, y);
    if (double(pixel >> 24) < threshold) continue;
    const float found[] = {1.0f,
                           float(x),
                           float(y),
                           float((pixel >> 16) & 0xFF),
                           float((pixel >> 8) & 0xFF),
                           float(pixel & 0xFF),
                           float(pixel >> 24)};
    for (size_t i = 0; i < results.size() && i < std::size(found); ++i)
      results[i]->value = found[i];
    return;
  }
}

// ---------------------------------------------------------------------------------------------
// Eval

void TEvalFunction::LoadProperties(const Ref<IHierStorage>& storage) {
  TFunction::LoadProperties(storage);
  expression_ = storage ? storage->ReadChildText("expression").ToString() : std::string();
}

void TEvalFunction::SaveProperties(const Ref<IHierStorage>& storage) {
  TFunction::SaveProperties(storage);
  if (storage && !expression_.empty()) storage->WriteChildText("expression", expression_);
}

void TEvalFunction::SetOwner(IFunctionOwner* owner) {
  TFunction::SetOwner(owner);
  parser_ = std::make_unique<expr::TExpressionParser>();
  enabled_ = true;
  parser_->SetDecimalSeparator('.');
  parser_->SetArgumentSeparator(',');
  // One variable per definition, bound to the definition's cell (stand-ins included, so a
  // formula can always write what it names).
  Ref<IParamDefCollection> defs = GetParamSpace()->GetParamDefs();
  for (int i = 0, n = defs->Count(); i < n; ++i) {
    Ref<IParamDef> d = defs->GetByIndex(i);
    TParamCell* cell = Cells().At(d->GetCol(), d->GetRow());
    if (!cell) continue;
    try {
      parser_->DefineVariable(d->GetName(), &cell->value);
    } catch (const expr::EParserException&) {
      // A cell named like a function word ("sin") stays out of the formulas' reach.
      if (LogEnabled())
        Log("function \"%s\": cell \"%s\" has the name of a function word", GetName().c_str(),
            d->GetName().c_str());
    }
  }
  try {
    if (!parser_->AddExpressions(expression_)) Disable("the expression is empty");
  } catch (const std::exception& e) {
    Disable(e.what());
  }
}

void TEvalFunction::Unbind() {
  enabled_ = false;
  parser_.reset();
  TFunction::Unbind();
}

void TEvalFunction::Calculate() {
  if (!enabled_) return;
  float value = 0;
  expr::TMathStatus s = parser_->TryEvaluateAll(value);
  if (s != expr::TMathStatus::Ok) Disable(expr::MathStatusMessage(s));
}

void TEvalFunction::Disable(const char* reason) {
  enabled_ = false;
  parser_.reset();
  if (LogEnabled()) Log("function \"%s\" disabled: %s", GetName().c_str(), reason);
}

// ---------------------------------------------------------------------------------------------

void RegisterMathClasses() {
  RegisterObjectClass<TComplexFunction>("function_complex");
  RegisterObjectClass<TFuncSelectorFunction>("function_selector");
  RegisterObjectClass<TFuncSelectorFunction>("function_selector_func");
  RegisterObjectClass<TConstSelectorFunction>("function_selector_const");
  RegisterObjectClass<TSinFunction>("function_sin");
  RegisterObjectClass<TPolinom2Function>("function_polinom2");
  RegisterObjectClass<TSumFunction>("function_sum");
  RegisterObjectClass<TSubstrFunction>("function_substr");
  RegisterObjectClass<TMultiplyFunction>("function_multiply");
  RegisterObjectClass<TDivisionFunction>("function_division");
  RegisterObjectClass<TArithmeticFunction>("function_arithmetic");
  RegisterObjectClass<TEvalFunction>("function_eval");
  RegisterObjectClass<TRandomFunction>("function_random");
  RegisterObjectClass<TIntRandomFunction>("function_int_random");
  RegisterObjectClass<TSwitchFunction>("function_switch");
  RegisterObjectClass<TIntervalFunction>("function_interval");
  RegisterObjectClass<TPiecewiseLinearInterpolationFunction>("function_piecewise");
  RegisterObjectClass<TLinearSegmentFunction>("function_linear_segment");
  RegisterObjectClass<TMonteCarloFunction>("function_montecarlo");
}

}  // namespace lumessa
