// Where data paths meet the file system. Data paths use "\" and were written for a file system
// that ignores letter case; the disk uses "/" and names that must match exactly, so a name is
// looked up exactly first and then element by element without regard to ASCII case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumessa {

// Every "/" becomes "\" (the form data paths are handled in).
std::string ToDataPath(std::string_view path);
// Every "\" becomes "/" (the form the file system takes).
std::string ToDiskPath(std::string_view dataPath);

// The existing file or folder a disk path names: the path itself when it exists, otherwise the
// one whose path elements match it ignoring ASCII case (the first in name order when several
// do). Empty when there is none.
std::optional<std::string> FindOnDisk(std::string_view diskPath);

bool IsDirectory(const std::string& diskPath);
bool IsRegularFile(const std::string& diskPath);

}  // namespace lumessa
