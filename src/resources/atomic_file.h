// Whole-file writes that replace the previous file atomically. The bytes go to a new file beside
// the target (TAtomicFileStream), which is flushed to disk and renamed over the target only when
// complete, so a crash or a full disk in the middle of a save leaves the old file intact. Files
// are created 0644 and folders 0755 (both before the umask): nothing is made world-writable.
#pragma once

#include <string>
#include <string_view>

namespace lumessa {

// Creates a folder and its missing parents. Existing folders are matched ignoring ASCII case,
// as data paths are. True when the folder exists afterwards.
bool CreateFolders(std::string_view diskPath);

// Replaces the file at a disk path ("/" separators) with bytes. Its folder must exist. False,
// with the old file untouched, when anything fails.
bool WriteFileAtomically(const std::string& diskPath, std::string_view bytes);

// The same for a data path ("\" or "/" separators, "%apppath%"), resolved like OpenDataFile for
// writing: always a plain file, never an archive member. With createFolders the missing folders
// above it are created first.
bool WriteDataFileAtomically(std::string_view dataPath, std::string_view bytes,
                             bool createFolders = false);

}  // namespace lumessa
