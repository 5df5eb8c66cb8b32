// The per-frame cost of the animation mathematics, each beside the same arithmetic written
// directly in C++ (the physical limit) in the same run:
//   - a compiled 10-operation formula of the expression language;
//   - the three-level function tree of tests/fixtures/math/animation_tree.xml (the one the
//     tests check), calculated for a new time value per call.
// Functions run for every animated widget and every particle every frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>

#include "math/expression.h"
#include "math/function.h"
#include "persistence/persist_object.h"
#include "persistence/xml_storage.h"

using namespace lumessa;

namespace {

// :=, *, +, *, -, sin, /, *, +, /
constexpr const char* kFormula = "x := (t * 0.5 + o) * s - sin(t / p) * a + b / c";

struct TInputs {
  float t = 0, o = 3, s = 1.5f, p = 250, a = 20, b = 7, c = 2, x = 0;
};

void BM_FormulaCompiled(benchmark::State& state) {
  TInputs in;
  expr::TExpressionParser parser;
  const char* names[] = {"t", "o", "s", "p", "a", "b", "c", "x"};
  float* cells[] = {&in.t, &in.o, &in.s, &in.p, &in.a, &in.b, &in.c, &in.x};
  for (int i = 0; i < 8; ++i) parser.DefineVariable(names[i], cells[i]);
  parser.AddExpression(kFormula);
  if (parser.Expression(0).Chain().size() != 10) state.SkipWithError("not 10 operations");
  float value = 0;
  for (auto _ : state) {
    in.t += 1;
    if (parser.TryEvaluateAll(value) != expr::TMathStatus::Ok) state.SkipWithError("math error");
    benchmark::DoNotOptimize(in.x);
  }
}
BENCHMARK(BM_FormulaCompiled);

// The same formula as the chain computes it: double arithmetic, single-precision results.
void BM_FormulaDirect(benchmark::State& state) {
  TInputs in;
  for (auto _ : state) {
    in.t += 1;
    benchmark::DoNotOptimize(in);
    const float m1 = float(double(in.t) * 0.5);
    const float a1 = float(double(m1) + in.o);
    const float m2 = float(double(a1) * in.s);
    const float d1 = float(double(in.t) / in.p);
    const float s1 = float(std::sin(double(d1)));
    const float m3 = float(double(s1) * in.a);
    const float s2 = float(double(m2) - m3);
    const float d2 = float(double(in.b) / in.c);
    in.x = float(double(s2) + d2);
    benchmark::DoNotOptimize(in.x);
  }
}
BENCHMARK(BM_FormulaDirect);

Ref<IFunction> LoadTree() {
  std::ifstream file(LUMESSA_SOURCE_DIR "/tests/fixtures/math/animation_tree.xml");
  std::stringstream xml;
  xml << file.rdbuf();
  Ref<IHierStorage> root = LoadStorageFromText(xml.str());
  return root ? Query<IFunction>(CreateFromNode(root)) : Ref<IFunction>();
}

void BM_TreeFunction(benchmark::State& state) {
  Ref<IFunction> f = LoadTree();
  if (!f) {
    state.SkipWithError("fixture did not load");
    return;
  }
  f->SetOwner(nullptr);
  float t = 0;
  for (auto _ : state) {
    t = t >= 1000 ? 0 : t + 1;
    f->SetArg(0, t);
    f->Calculate();
    benchmark::DoNotOptimize(f->GetResult(2));
  }
  f->Unbind();
}
BENCHMARK(BM_TreeFunction);

// The tree's three results written out: a linear segment, a wave and a piecewise fade.
void BM_TreeDirect(benchmark::State& state) {
  float t = 0, left = 0, top = 0, fade = 0;
  const float xs[] = {0, 500, 1000}, ys[] = {100, 100, 0};
  for (auto _ : state) {
    t = t >= 1000 ? 0 : t + 1;
    benchmark::DoNotOptimize(t);
    left = float(0 + (200.0 - 0) * t / 1000.0);
    top = float(20 * std::sin(2 * std::numbers::pi * t / 500.0) + 100);
    double r = ys[2];
    if (!(t >= xs[2]))
      for (int k = 1; k >= 0; --k)
        if (t >= xs[k]) {
          r = ys[k] + (double(ys[k + 1]) - ys[k]) * (t - xs[k]) / (double(xs[k + 1]) - xs[k]);
          break;
        }
    fade = float(r);
    benchmark::DoNotOptimize(left);
    benchmark::DoNotOptimize(top);
    benchmark::DoNotOptimize(fade);
  }
}
BENCHMARK(BM_TreeDirect);

}  // namespace

int main(int argc, char** argv) {
  RegisterMathClasses();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
