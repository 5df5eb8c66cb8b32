// Helpers shared by the math tests: the class registry filled once, functions loaded from XML
// text, and a property object that plays the host of a function.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "engine/text.h"
#include "math/function.h"
#include "persistence/persist_object.h"
#include "persistence/xml_storage.h"

namespace lumessa::test {

// A short, plain label of a test case's text for test names and messages: test names must
// stay readable and free of characters that mean something to the test runners.
inline std::string Label(std::string_view text) {
  std::string s;
  for (char c : text.substr(0, 40)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view(" +-*/^%!<>=(),.:'_").find(c) != std::string_view::npos;
    s += plain ? c : '?';
  }
  return text.size() > 40 ? s + "..." : s;
}

// RegisterMathClasses raises on a second call; the test programs call it through here.
inline void EnsureMathClasses() {
  if (!FindObjectClass("function_sum").construct) RegisterMathClasses();
}

// The object the XML's root element describes, as a function (unbound).
inline Ref<IFunction> LoadFunction(std::string_view xml) {
  EnsureMathClasses();
  Ref<IHierStorage> root = LoadStorageFromText(xml);
  return root ? Query<IFunction>(CreateFromNode(root)) : Ref<IFunction>();
}

// A host with free-form properties, as a widget would answer them.
class TTestHost : public TPropertyObject {
 public:
  void SetProperty(std::string_view name, const TVariant& value) override {
    props[AsciiLower(name)] = value;
  }
  TVariant GetProperty(std::string_view name) const override {
    auto it = props.find(AsciiLower(name));
    return it == props.end() ? TVariant(TVariant::Null) : it->second;
  }
  std::map<std::string, TVariant> props;
};

}  // namespace lumessa::test
