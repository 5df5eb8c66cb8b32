#include "resources/data_file.h"

#include <optional>

#include "engine/text.h"
#include "resources/atomic_file_stream.h"
#include "resources/disk_path.h"
#include "resources/resource_reader.h"

namespace lumessa {

namespace {

constexpr std::string_view kAppPathMacro = "%apppath%";
constexpr std::string_view kDefaultArchiveExtension = ".qvd";

struct TDataFileState {
  std::string applicationFolder;
  std::string archiveExtension{kDefaultArchiveExtension};
  Ref<TResourceReader> currentReader;
};

TDataFileState& State() {
  static TDataFileState state;
  return state;
}

}  // namespace

std::string ExpandAppPath(std::string path) {
  const std::string& folder = State().applicationFolder;
  size_t at = 0;
  while (at + kAppPathMacro.size() <= path.size()) {
    if (EqualsIgnoreCase(std::string_view(path).substr(at, kAppPathMacro.size()), kAppPathMacro)) {
      path.replace(at, kAppPathMacro.size(), folder);
      at += folder.size();
    } else {
      ++at;
    }
  }
  return path;
}

namespace {

// A path without any folder is looked up in the current directory.
std::string WithFolder(std::string path) {
  if (path.find('\\') == std::string::npos) path.insert(0, ".\\");
  return path;
}

// The current reader answers first for every path below its folder; empty when it has no final
// answer. An archive's answer is final, found or not: no deeper folder can exist inside it. A
// plain folder's miss is not, since a deeper folder may be packed (data\ini.qvd inside the
// directory data), which the full walk still finds.
std::optional<TStreamPtr> AskCurrentReader(const std::string& path) {
  const Ref<TResourceReader>& reader = State().currentReader;
  if (!reader) return std::nullopt;
  const std::string& base = reader->BasePath();
  if (path.size() <= base.size() + 1 || path[base.size()] != '\\' ||
      !StartsWithIgnoreCase(path, base))
    return std::nullopt;
  TStreamPtr stream = reader->OpenMember(std::string_view(path).substr(base.size() + 1));
  if (!stream && reader->Kind() != TReaderKind::Archive) return std::nullopt;
  return stream;
}

// Tries each folder of the path from the deepest up, with the rest of the path as the member.
TStreamPtr OpenByWalkingUp(const std::string& path) {
  size_t cut = path.rfind('\\');
  std::string folder = path.substr(0, cut);
  std::string member = path.substr(cut + 1);
  for (;;) {
    Ref<TResourceReader> reader = TResourceReader::Create(folder);
    if (reader->Kind() != TReaderKind::None) {
      if (TStreamPtr stream = reader->OpenMember(member)) {
        State().currentReader = reader;
        return stream;
      }
    }
    size_t up = folder.rfind('\\');
    if (up == std::string::npos) return nullptr;
    member = folder.substr(up + 1) + "\\" + member;
    folder.resize(up);
  }
}

// Writing goes to the plain file, into the folder as found on disk (in whatever letter case) and
// over an existing file whose name differs only in case, as on the system the data came from.
TStreamPtr CreatePlainFile(const std::string& path) {
  if (StartsWithIgnoreCase(path, "res:")) return nullptr;
  std::string disk = ToDiskPath(path);
  std::optional<std::string> existing = FindOnDisk(disk);
  if (existing && IsRegularFile(*existing)) return TAtomicFileStream::Create(*existing);
  if (existing) return nullptr;  // a folder, or something that is not a file
  size_t slash = disk.rfind('/');
  std::string name = slash == std::string::npos ? disk : disk.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return nullptr;
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : disk.substr(0, slash);
  std::optional<std::string> foundFolder = FindOnDisk(folder);
  if (!foundFolder || !IsDirectory(*foundFolder)) return nullptr;
  return TAtomicFileStream::Create(*foundFolder + "/" + name);
}

}  // namespace

TStreamPtr OpenDataFile(std::string_view path, bool forReading) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return nullptr;
  std::string expanded = ExpandAppPath(ToDataPath(path));
  if (!forReading) return CreatePlainFile(expanded);
  std::string normal = WithFolder(std::move(expanded));
  if (std::optional<TStreamPtr> answer = AskCurrentReader(normal)) return std::move(*answer);
  return OpenByWalkingUp(normal);
}

std::string ReadDataFile(std::string_view path) {
  TStreamPtr stream = OpenDataFile(path, true);
  return stream ? stream->ReadRest() : std::string();
}

void SetApplicationFolder(std::string_view folder) {
  std::string data = ToDataPath(folder);
  if (!data.empty() && data.back() != '\\') data += '\\';
  State().applicationFolder = std::move(data);
}

const std::string& ApplicationFolder() {
  return State().applicationFolder;
}

void SetArchiveExtension(std::string_view extension) {
  State().archiveExtension = std::string(extension);
}

const std::string& ArchiveExtension() {
  return State().archiveExtension;
}

void ResetCurrentReader() {
  State().currentReader.reset();
}

std::string CurrentReaderPath() {
  const Ref<TResourceReader>& reader = State().currentReader;
  return reader ? reader->BasePath() : std::string();
}

}  // namespace lumessa
