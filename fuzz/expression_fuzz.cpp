// Formulas as data files write them (the eval function's "expression" text): any bytes are
// compiled and evaluated. Besides crashes, hangs and leaks it checks that folding changes
// nothing: a set that compiles and evaluates with folding gives the same value without it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>

#include "engine/random.h"
#include "math/expression.h"

using namespace lumessa;
using namespace lumessa::expr;

namespace {

struct TRun {
  bool compiled = false;
  TMathStatus status = TMathStatus::Ok;
  float value = 0;
};

TRun Run(std::string_view text, bool fold, bool decimalComma) {
  TRun r;
  TExpressionParser parser;
  parser.SetFold(fold);
  if (decimalComma) parser.SetDecimalSeparator(',');
  float left = 1, top = -2, currenttime = 250;
  parser.DefineVariable("left", &left);
  parser.DefineVariable("top", &top);
  parser.DefineVariable("currenttime", &currenttime);
  SeedProgramRandom(1);
  try {
    r.compiled = parser.AddExpressions(text);
  } catch (const EParserException&) {
    return r;
  } catch (const EMathError& e) {
    r.status = e.Status();
    return r;
  }
  // Twice: assignments and "++" carry state from one evaluation to the next.
  for (int i = 0; i < 2 && r.status == TMathStatus::Ok; ++i)
    r.status = parser.TryEvaluateAll(r.value);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the decimal separator; the rest is the text.
  const bool decimalComma = data[0] & 1;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  TRun folded = Run(text, true, decimalComma);
  if (!folded.compiled || folded.status != TMathStatus::Ok) return 0;
  TRun plain = Run(text, false, decimalComma);
  if (!plain.compiled || plain.status != TMathStatus::Ok) __builtin_trap();
  if (std::memcmp(&folded.value, &plain.value, sizeof(float)) != 0 &&
      !(folded.value != folded.value && plain.value != plain.value))
    __builtin_trap();
  return 0;
}
