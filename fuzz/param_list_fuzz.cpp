// Creation parameters and object specs as data files write them: "name=value\name={...}",
// "Type{params}". Besides crashes it checks the invariants callers rely on.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "engine/object.h"

using namespace lumessa;

namespace {

// A registered class that takes every creation parameter, so specs reach SetCreationParam.
class TFuzzObject : public TAbstractObject {
 public:
  void SetCreationParam(std::string_view name, std::string_view value) override {
    received_ += name.size() + value.size();
  }

 private:
  size_t received_ = 0;
};

struct TSeparators {
  char separator;
  char equals;
};
constexpr TSeparators kSeparators[] = {{'\\', '='}, {',', ':'}, {';', '='}, {'=', '\\'}};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  RegisterObjectClass<TFuzzObject>("fuzz_object");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the separators; the rest is the text.
  const TSeparators& s = kSeparators[data[0] % std::size(kSeparators)];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<std::string> items = SplitParamList(text, s.separator);
  for (const std::string& item : items) {
    if (item.empty()) __builtin_trap();  // empty items are dropped
  }
  if (ParseParamPairs(text, s.separator, s.equals).size() > items.size()) __builtin_trap();
  std::string value;
  FindParamValue(text, "name", s.separator, s.equals, value);
  std::string copy(text);
  if (ParamListIsEmpty(copy, s.separator) != items.empty()) __builtin_trap();

  CreateObjectFromSpec(text);
  CreateObjectFromSpec("fuzz_object{" + std::string(text) + "}");
  return 0;
}
