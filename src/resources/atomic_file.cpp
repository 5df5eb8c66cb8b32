#include "resources/atomic_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "engine/text.h"
#include "resources/atomic_file_stream.h"
#include "resources/data_file.h"
#include "resources/disk_path.h"

namespace lumessa {

namespace {

constexpr mode_t kFolderMode = 0755;

// Writes everything, then commits. A short write drops the new file: the old one stays.
bool WriteAll(TStreamPtr stream, std::string_view bytes) {
  if (!stream) return false;
  if (stream->Write(bytes.data(), bytes.size()) != bytes.size()) {
    if (auto* atomic = dynamic_cast<TAtomicFileStream*>(stream.get())) atomic->Abandon();
    return false;
  }
  return stream->Close();
}

}  // namespace

bool CreateFolders(std::string_view diskPath) {
  if (diskPath.empty() || diskPath.find('\0') != std::string_view::npos) return false;
  std::string resolved = diskPath.front() == '/' ? "/" : "";
  size_t start = 0;
  while (start < diskPath.size()) {
    size_t end = diskPath.find('/', start);
    if (end == std::string_view::npos) end = diskPath.size();
    std::string_view element = diskPath.substr(start, end - start);
    start = end + 1;
    if (element.empty()) continue;
    std::string candidate = resolved;
    if (!candidate.empty() && candidate.back() != '/') candidate += '/';
    candidate += element;
    if (IsDirectory(candidate)) {
      resolved = std::move(candidate);
      continue;
    }
    if (element != "." && element != "..") {
      std::optional<std::string> found = FindOnDisk(candidate);
      if (found && IsDirectory(*found)) {
        resolved = std::move(*found);
        continue;
      }
      if (found) return false;  // a file stands where the folder should be
    }
    if (::mkdir(candidate.c_str(), kFolderMode) != 0 &&
        !(errno == EEXIST && IsDirectory(candidate)))
      return false;
    resolved = std::move(candidate);
  }
  return true;
}

bool WriteFileAtomically(const std::string& diskPath, std::string_view bytes) {
  return WriteAll(TAtomicFileStream::Create(diskPath), bytes);
}

bool WriteDataFileAtomically(std::string_view dataPath, std::string_view bytes,
                             bool createFolders) {
  if (createFolders) {
    std::string disk = ToDiskPath(ExpandAppPath(ToDataPath(dataPath)));
    size_t slash = disk.rfind('/');
    if (slash != std::string::npos && slash > 0 && !CreateFolders(disk.substr(0, slash)))
      return false;
  }
  return WriteAll(OpenDataFile(dataPath, false), bytes);
}

}  // namespace lumessa
