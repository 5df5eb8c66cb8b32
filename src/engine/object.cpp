#include "engine/object.h"

#include "engine/collection.h"
#include "engine/text.h"

namespace lumessa {

namespace {

struct TRegisteredClass {
  std::string typeName;
  TObjectClass cls;
};

TKeyedList<TRegisteredClass>& Registry() {
  static TKeyedList<TRegisteredClass> registry;
  return registry;
}

}  // namespace

void RegisterObjectClass(const TObjectClass& cls, std::string_view typeName) {
  if (!Registry().Add(TRegisteredClass{std::string(typeName), cls}, false, -1, typeName))
    throw TDuplicateClass("class type name registered twice: " + std::string(typeName));
}

void UnregisterObjectClass(std::string_view typeName) {
  Registry().DeleteAt(Registry().IndexOf(typeName));
}

TObjectClass FindObjectClass(std::string_view typeName) {
  const TRegisteredClass* c = Registry().Find(typeName);
  return c ? c->cls : TObjectClass{};
}

std::string FindTypeName(const TObjectClass& cls) {
  for (const auto& e : Registry())
    if (e.item.cls == cls) return e.item.typeName;
  return {};
}

Ref<TAbstractObject> CreateObject(const TObjectClass& cls, std::string_view creationParams) {
  if (!cls.construct) return {};
  Ref<TAbstractObject> obj(cls.construct());
  obj->Initialize();
  if (!creationParams.empty())
    for (const auto& [name, value] : ParseParamPairs(creationParams))
      obj->SetCreationParam(name, value);
  return obj;
}

Ref<TAbstractObject> CreateObjectFromSpec(std::string_view typeSpec) {
  size_t brace = typeSpec.find('{');
  if (brace == std::string_view::npos) return CreateObject(FindObjectClass(Trim(typeSpec)));
  std::string_view params = typeSpec.substr(brace + 1);
  if (!params.empty()) params.remove_suffix(1);  // the closing brace
  return CreateObject(FindObjectClass(Trim(typeSpec.substr(0, brace))), params);
}

Ref<TAbstractObject> CreateObjectByType(std::string_view typeName) {
  return CreateObject(FindObjectClass(typeName));
}

// ---------------------------------------------------------------------------------------------

namespace {

// Position of the brace that closes the one at `open`, or npos when it is unbalanced.
size_t MatchingBrace(std::string_view text, size_t open) {
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '{') {
      ++depth;
    } else if (text[i] == '}') {
      if (--depth == 0) return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::vector<std::string> SplitParamList(std::string_view text, char separator) {
  std::vector<std::string> items;
  text = Trim(text);
  constexpr auto npos = std::string_view::npos;
  while (!text.empty()) {
    size_t s = text.find(separator);
    size_t b = text.find('{');
    if (b != npos && s != npos && b < s) {
      size_t c = MatchingBrace(text, b);
      if (c != npos) s = text.find(separator, c + 1);
    }
    std::string_view item = text;
    if (s == npos) {
      text = {};
    } else {
      item = text.substr(0, s);
      text = text.substr(s + 1);
    }
    if (!item.empty()) items.emplace_back(item);
  }
  return items;
}

std::vector<std::pair<std::string, std::string>> ParseParamPairs(std::string_view text,
                                                                 char separator, char equals) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const std::string& item : SplitParamList(text, separator)) {
    size_t eq = item.find(equals);
    if (eq == std::string::npos) continue;
    std::string_view name = TrimRight(std::string_view(item).substr(0, eq));
    std::string_view value = TrimLeft(std::string_view(item).substr(eq + 1));
    // A value wrapped in one brace group loses the outer braces ("{a}{b}" is not wrapped).
    if (value.size() >= 2 && value.front() == '{' && MatchingBrace(value, 0) == value.size() - 1)
      value = value.substr(1, value.size() - 2);
    pairs.emplace_back(std::string(name), std::string(value));
  }
  return pairs;
}

bool FindParamValue(std::string_view text, std::string_view name, char separator, char equals,
                    std::string& value) {
  for (auto& [n, v] : ParseParamPairs(text, separator, equals)) {
    if (EqualsIgnoreCase(n, name)) {
      value = std::move(v);
      return true;
    }
  }
  return false;
}

bool ParamListIsEmpty(std::string& text, char separator) {
  if (!text.empty() && !SplitParamList(text, separator).empty()) return false;
  text.clear();
  return true;
}

}  // namespace lumessa
