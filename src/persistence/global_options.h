// Platform services and options: the options store that keeps settings between runs, and the
// small services between the engine and the system (access rights, registry, clipboard, the
// locale-free number conversion of the loaders).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "persistence/xml_storage.h"

namespace lumessa {

// The options store: the document "options" in the file "options.dat" of the user data folder,
// enciphered and written as hexadecimal text. Each option is a child element whose tag is the
// option's name and whose text is its value. The document is read on first use and the whole
// file is rewritten, atomically, on every change.
class TGlobalOptions {
 public:
  static constexpr std::string_view kFileName = "options.dat";
  static constexpr std::string_view kCipherKey = "m3kq8zvt1xw5rb0nyc7hpd";

  // The folder "options.dat" lives in (a disk path). Forgets the document read so far.
  void SetUserDataFolder(std::string_view folder);
  const std::string& UserDataFolder() const { return folder_; }

  // The option's text; nothing when it is not set.
  std::optional<std::string> Get(std::string_view name);
  // Sets the option and rewrites the file. False when the name is not a valid element name, or
  // the file could not be written (the option is then still set for this run).
  bool Set(std::string_view name, std::string_view value);
  // Forgets the document; the next use reads the file again.
  void Reset();

 private:
  void Open();
  std::string FilePath() const;

  std::string folder_;
  Ref<IHierStorageRoot> document_;
};

// The process-wide store.
TGlobalOptions& GlobalOptions();
std::optional<std::string> GetGlobalOption(std::string_view name);
bool SetGlobalOption(std::string_view name, std::string_view value);

// Written files and folders are created readable by all and writable by their owner; nothing
// needs opening further on this system, and nothing is ever made world-writable.
void OpenAccessRights(std::string_view path);

// The registry has no counterpart here; this game keeps its options in the file store.
enum class TRegistryRoot { CurrentUser, LocalMachine };
std::optional<std::string> ReadRegistryString(TRegistryRoot root, std::string_view key,
                                              std::string_view name);
bool WriteRegistryString(TRegistryRoot root, std::string_view key, std::string_view name,
                         std::string_view value);

// The clipboard's text, as the platform layer provides it (empty until it sets a source).
using TClipboardTextSource = std::function<std::string()>;
void SetClipboardTextSource(TClipboardTextSource source);
std::string GetClipboardText();

// "." is the decimal point whatever the locale; text that does not convert gives the fallback.
double ParseFloat(std::string_view text, double fallback);

}  // namespace lumessa
