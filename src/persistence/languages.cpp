#include "persistence/languages.h"

#include <memory>

#include "engine/log.h"
#include "engine/text.h"
#include "persistence/xml_storage.h"

namespace lumessa {

namespace {

// A string that names itself, directly or through others, stops expanding at this depth.
constexpr int kMaxExpansionDepth = 16;
// Strings that each name the next several times would multiply the output with every level;
// an expansion stops growing past this size and stops looking names up past this count.
constexpr size_t kMaxExpandedSize = size_t(1) << 20;
constexpr int kMaxLookups = 100000;

}  // namespace

struct TMultiLanguages::TExpansion {
  int lookups = 0;
  bool exhausted() const { return lookups >= kMaxLookups; }
};

bool TMultiLanguages::LoadLanguageFile(std::string_view path) {
  Ref<IHierStorage> root = LoadStorageFromFile(path);
  if (!root) return false;
  languageId_ = ReadString(root, "id");
  languageName_ = ReadString(root, "name");
  Ref<IHierStorage> strings = root->FindChild("strings");
  if (!strings) {
    Log("%.*s: no \"strings\" element; no strings loaded", int(path.size()), path.data());
    return false;
  }
  int count = strings->GetChildCount("string");
  for (int i = 0; i < count; ++i) {
    Ref<IHierStorage> s = strings->GetChild("string", i);
    std::string name = ReadString(s, "name");
    if (name.empty()) continue;
    if (std::string* existing = strings_.Find(name))
      *existing = s->GetText();
    else
      strings_.Add(s->GetText(), false, -1, name);
  }
  return true;
}

bool TMultiLanguages::SelectLanguage(std::string_view language) {
  strings_.Clear();
  bool loaded = LoadLanguageFile(defaultFile_);
  // The empty name (the start-up selection) has no file of its own.
  if (language.empty() && !languages_.Contains(language)) return loaded;
  const std::string* recorded = languages_.Find(language);
  std::string path = recorded ? *recorded : "%apppath%Languages\\" + std::string(language) + ".lng";
  // Both loads run: the language's file overrides the default strings it redefines.
  loaded = LoadLanguageFile(path) || loaded;
  return loaded;
}

void TMultiLanguages::SetLanguageFile(std::string_view language, std::string_view path) {
  if (std::string* existing = languages_.Find(language))
    *existing = path;
  else
    languages_.Add(std::string(path), false, -1, language);
}

void TMultiLanguages::SetMacro(std::string_view name, std::string_view value) {
  for (auto it = macros_.begin(); it != macros_.end(); ++it) {
    if (it->first == name) {
      macros_.erase(it);
      break;
    }
  }
  macros_.emplace_back(std::string(name), std::string(value));
}

std::string TMultiLanguages::GetString(std::string_view name) const {
  const std::string* s = strings_.Find(name);
  return s ? *s : std::string();
}

void TMultiLanguages::Expand(std::string_view text, bool trimLookups, int depth, TExpansion& state,
                             std::string& out) const {
  for (;;) {
    size_t open = text.find('%');
    if (open == std::string_view::npos) {
      out += text;
      return;
    }
    out += text.substr(0, open);
    text.remove_prefix(open + 1);
    size_t close = text.find('%');
    if (close == std::string_view::npos) {
      out += '%';
      out += text;
      return;
    }
    if (close == 0) {
      out += '%';
      text.remove_prefix(1);
      continue;
    }
    std::string_view name = text.substr(0, close);
    text.remove_prefix(close + 1);
    if (out.size() > kMaxExpandedSize || state.exhausted()) continue;
    ++state.lookups;
    bool isMacro = false;
    for (const auto& [macroName, value] : macros_) {
      if (macroName == name) {
        out += value;
        isMacro = true;
        break;
      }
    }
    if (isMacro) continue;
    const std::string* found = strings_.Find(name);
    if (!found || depth >= kMaxExpansionDepth) continue;
    if (!trimLookups) {
      Expand(*found, false, depth + 1, state, out);
    } else {
      std::string sub;
      Expand(*found, false, depth + 1, state, sub);
      out += Trim(sub);
    }
  }
}

std::string TMultiLanguages::ExpandText(std::string_view text, bool trimLookups) const {
  std::string out;
  TExpansion state;
  Expand(text, trimLookups, 0, state, out);
  return out;
}

std::string TMultiLanguages::FormatThousands(int32_t n) const {
  int64_t magnitude = n;
  if (magnitude < 0) magnitude = -magnitude;
  std::string digits = std::to_string(magnitude);
  std::string separator = ExpandText("%thousand_separator%", false);
  std::string out = n < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

namespace {

std::unique_ptr<TMultiLanguages>& Instance() {
  static std::unique_ptr<TMultiLanguages> instance = std::make_unique<TMultiLanguages>();
  return instance;
}

}  // namespace

TMultiLanguages& Languages() {
  return *Instance();
}
void ResetLanguages() {
  Instance() = std::make_unique<TMultiLanguages>();
}

std::string GetLanguageId() {
  return Languages().LanguageId();
}
bool SelectLanguage(std::string_view language) {
  return Languages().SelectLanguage(language);
}
void SetMacro(std::string_view name, std::string_view value) {
  Languages().SetMacro(name, value);
}
std::string ExpandText(std::string_view text, bool trimLookups) {
  return Languages().ExpandText(text, trimLookups);
}
std::string FormatThousands(int32_t n) {
  return Languages().FormatThousands(n);
}

}  // namespace lumessa
