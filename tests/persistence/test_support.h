// Helpers shared by the persistence tests.
#pragma once

#include <clocale>
#include <filesystem>
#include <locale>
#include <string>

#include "persistence/xml_storage.h"
#include "resources/data_file.h"

namespace lumessa::test {

// Parses text that the test states to be well-formed.
inline Ref<IHierStorage> Xml(std::string_view text) {
  return LoadStorageFromText(text);
}

// A storage reference naming a file by its absolute path.
inline std::string SpecFor(const std::filesystem::path& file, std::string_view key = {}) {
  std::string storageSpec = "file=" + file.string();
  if (!key.empty()) storageSpec += "\\cryptkey=" + std::string(key);
  return storageSpec;
}

// A decimal comma for the duration of a test: the C++ global locale always, and the C locale
// when the system has one installed that uses a comma.
class TCommaLocale {
 public:
  TCommaLocale() : oldCpp_(std::locale()) {
    struct Comma : std::numpunct<char> {
      char do_decimal_point() const override { return ','; }
    };
    std::locale::global(std::locale(std::locale::classic(), new Comma));
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    oldC_ = old ? old : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
      if (std::setlocale(LC_NUMERIC, name)) {
        cLocale_ = true;
        break;
      }
    }
  }
  ~TCommaLocale() {
    std::setlocale(LC_NUMERIC, oldC_.c_str());
    std::locale::global(oldCpp_);
  }
  // Whether the C library's conversions use the comma too.
  bool HasCLocale() const { return cLocale_; }

 private:
  std::locale oldCpp_;
  std::string oldC_;
  bool cLocale_ = false;
};

// Restores the data-file layer's process-wide state after a test that changes it.
class TDataFileStateGuard {
 public:
  TDataFileStateGuard() : appFolder_(ApplicationFolder()) {}
  ~TDataFileStateGuard() {
    SetApplicationFolder(appFolder_);
    ResetCurrentReader();
    ClearStorageCache();
  }

 private:
  std::string appFolder_;
};

}  // namespace lumessa::test
