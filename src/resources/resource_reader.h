// One opened source for a folder of the data: the plain folder on disk, or the archive standing
// in for it (the folder's name with the archive extension, ".qvd").
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/object.h"
#include "engine/stream.h"
#include "resources/zip_archive.h"

namespace lumessa {

// What a reader found for its folder path.
enum class TReaderKind : int { None = 0, Folder = 1, Archive = 2 };

class TResourceReader : public TAbstractObject {
 public:
  // Looks at folderPath (data form, "\" separators): a directory of that name, else a file of
  // exactly that name, else that name with the archive extension, read as a ZIP archive.
  // "res:" sources (resources embedded in a Windows executable) do not exist in this build.
  static Ref<TResourceReader> Create(std::string_view folderPath);

  // The folder path as given.
  const std::string& BasePath() const { return basePath_; }
  TReaderKind Kind() const { return kind_; }

  // The plain file below the folder, or the archive member of that name (with "\" or "/" and any
  // letter case). Empty when absent or unreadable.
  TStreamPtr OpenMember(std::string_view name);

 private:
  explicit TResourceReader(std::string_view folderPath) : basePath_(folderPath) {}
  void OpenSource();
  void OpenArchive(const std::string& diskPath);

  std::string basePath_;
  TReaderKind kind_ = TReaderKind::None;
  std::string diskFolder_;  // the directory as found on disk (Folder)
  std::unique_ptr<TZipArchive> archive_;
};

}  // namespace lumessa
