// Localized strings and text macros. Data files refer to visible texts as %name%; the language
// file supplies them, and the game sets a few run-time macros (the player's name, the level).
// One process-wide table holds both; the free functions below work on it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/collection.h"

namespace lumessa {

// The language table: the strings of the loaded language files and the run-time macros.
class TMultiLanguages {
 public:
  // Clears the strings, then loads the default file and the language's own file (a known
  // record's, else "%apppath%Languages\<language>.lng"). True if either loaded; later strings
  // replace earlier ones of the same name.
  bool SelectLanguage(std::string_view language);
  // Loads one language file into the table. False when it is missing, does not parse or has
  // no "strings" element.
  bool LoadLanguageFile(std::string_view path);
  // Where a language's file is, when it is not in the "Languages" folder.
  void SetLanguageFile(std::string_view language, std::string_view path);
  void SetDefaultFile(std::string_view path) { defaultFile_ = path; }

  // Replaces the macro of that name (exact case), appending it at the end.
  void SetMacro(std::string_view name, std::string_view value);
  // Expands %name% references: "%%" is one "%", a lone "%" at the end stays, macros (exact
  // case) win over strings (any case), strings are expanded in turn.
  std::string ExpandText(std::string_view text, bool trimLookups) const;
  // Decimal digits grouped by threes with the expansion of "%thousand_separator%".
  std::string FormatThousands(int32_t n) const;

  const std::string& LanguageId() const { return languageId_; }
  const std::string& LanguageName() const { return languageName_; }
  // The string of that name (ignoring case), unexpanded; empty when absent.
  std::string GetString(std::string_view name) const;

 private:
  struct TExpansion;
  void Expand(std::string_view text, bool trimLookups, int depth, TExpansion& state,
              std::string& out) const;

  std::string defaultFile_ = "lang\\default.lng";
  std::string languageId_;
  std::string languageName_;
  TStringCollection strings_;
  TStringCollection languages_;  // language name -> file path
  std::vector<std::pair<std::string, std::string>> macros_;
};

// The process-wide table.
TMultiLanguages& Languages();
// Starts the table afresh (no strings, no macros, default file "lang\default.lng"); for tests
// and start-up.
void ResetLanguages();

// The free functions of the table.
std::string GetLanguageId();
bool SelectLanguage(std::string_view language);
void SetMacro(std::string_view name, std::string_view value);
std::string ExpandText(std::string_view text, bool trimLookups = false);
std::string FormatThousands(int32_t n);

}  // namespace lumessa
