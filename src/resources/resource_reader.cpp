#include "resources/resource_reader.h"

#include "engine/log.h"
#include "engine/text.h"
#include "resources/buffered_file_stream.h"
#include "resources/data_file.h"
#include "resources/disk_path.h"

namespace lumessa {

namespace {

std::string_view WithoutTrailingSeparator(std::string_view path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  return path;
}

}  // namespace

Ref<TResourceReader> TResourceReader::Create(std::string_view folderPath) {
  Ref<TResourceReader> reader(new TResourceReader(folderPath));
  reader->OpenSource();
  return reader;
}

void TResourceReader::OpenSource() {
  std::string_view folder = WithoutTrailingSeparator(basePath_);
  // An empty folder is what is left above an absolute path; the root holds no data folders.
  if (folder.empty() || StartsWithIgnoreCase(folder, "res:")) return;
  std::string disk = ToDiskPath(folder);
  std::optional<std::string> found = FindOnDisk(disk);
  if (found && IsDirectory(*found)) {
    kind_ = TReaderKind::Folder;
    diskFolder_ = std::move(*found);
    return;
  }
  if (!found) found = FindOnDisk(disk + ArchiveExtension());
  if (found) OpenArchive(*found);
}

void TResourceReader::OpenArchive(const std::string& diskPath) {
  archive_ = TZipArchive::Open(TBufferedFileStream::Open(diskPath));
  if (archive_) {
    kind_ = TReaderKind::Archive;
  } else {
    Log("%s is not a readable archive; ignored", diskPath.c_str());
  }
}

TStreamPtr TResourceReader::OpenMember(std::string_view name) {
  switch (kind_) {
    case TReaderKind::Folder: {
      std::optional<std::string> file = FindOnDisk(diskFolder_ + "/" + ToDiskPath(name));
      if (!file || !IsRegularFile(*file)) return nullptr;
      return TFileStream::Open(*file, TFileStream::Mode::Read);
    }
    case TReaderKind::Archive:
      return archive_->OpenMember(name);
    case TReaderKind::None:
      break;
  }
  return nullptr;
}

}  // namespace lumessa
