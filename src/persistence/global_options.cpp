#include "persistence/global_options.h"

#include "engine/log.h"
#include "engine/stream.h"
#include "engine/text.h"
#include "resources/atomic_file.h"
#include "resources/cipher.h"

namespace lumessa {

namespace {

constexpr std::string_view kRootName = "options";
// Far beyond any real options file; a larger one is treated as damaged rather than read whole.
constexpr uint64_t kMaxFileSize = uint64_t(16) << 20;

std::string ReadSmallFile(const std::string& path) {
  std::unique_ptr<TFileStream> f = TFileStream::Open(path, TFileStream::Mode::Read);
  if (!f || f->Size() > kMaxFileSize) return {};
  return f->ReadRest();
}

}  // namespace

void TGlobalOptions::SetUserDataFolder(std::string_view folder) {
  folder_ = folder;
  Reset();
}

void TGlobalOptions::Reset() {
  document_.reset();
}

std::string TGlobalOptions::FilePath() const {
  if (folder_.empty()) return {};
  std::string path = folder_;
  if (path.back() != '/') path += '/';
  return path + std::string(kFileName);
}

// A missing, damaged or undecipherable file gives an empty document: defaults everywhere.
void TGlobalOptions::Open() {
  if (document_) return;
  std::string path = FilePath();
  std::string text = path.empty() ? std::string() : ReadSmallFile(path);
  if (!text.empty()) {
    Ref<IHierStorageRoot> doc = NewStorage();
    if (doc->LoadFromText(DecodeText(text, kCipherKey, kTextFormatHex)))
      document_ = doc;
    else
      Log("%s: damaged; the options start empty", path.c_str());
  }
  if (!document_) document_ = CreateStorage(kRootName);
}

std::optional<std::string> TGlobalOptions::Get(std::string_view name) {
  Open();
  TVariant v = Query<IHierStorage>(document_)->ReadChildText(name);
  if (v.IsUnassigned()) return std::nullopt;
  return v.ToString();
}

bool TGlobalOptions::Set(std::string_view name, std::string_view value) {
  Open();
  if (!Query<IHierStorage>(document_)->WriteChildText(name, TVariant(value))) return false;
  std::string path = FilePath();
  std::optional<std::string> text = document_->GetDocumentText();
  if (path.empty() || !text || !CreateFolders(folder_)) return false;
  return WriteFileAtomically(path, EncodeText(*text, kCipherKey, kTextFormatHex));
}

TGlobalOptions& GlobalOptions() {
  static TGlobalOptions options;
  return options;
}

std::optional<std::string> GetGlobalOption(std::string_view name) {
  return GlobalOptions().Get(name);
}

bool SetGlobalOption(std::string_view name, std::string_view value) {
  return GlobalOptions().Set(name, value);
}

void OpenAccessRights(std::string_view path) {
  (void)path;
}

std::optional<std::string> ReadRegistryString(TRegistryRoot root, std::string_view key,
                                              std::string_view name) {
  (void)root, (void)key, (void)name;
  return std::nullopt;
}

bool WriteRegistryString(TRegistryRoot root, std::string_view key, std::string_view name,
                         std::string_view value) {
  (void)root, (void)key, (void)name, (void)value;
  return false;
}

namespace {

TClipboardTextSource& ClipboardSource() {
  static TClipboardTextSource source;
  return source;
}

}  // namespace

void SetClipboardTextSource(TClipboardTextSource source) {
  ClipboardSource() = std::move(source);
}

std::string GetClipboardText() {
  const TClipboardTextSource& source = ClipboardSource();
  return source ? source() : std::string();
}

double ParseFloat(std::string_view text, double fallback) {
  return ParseFloat(text).value_or(fallback);
}

}  // namespace lumessa
