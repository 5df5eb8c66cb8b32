// Data files by data path. A path such as "data\ini\Lumessa.ini" ("\" or "/" separators,
// "%apppath%" for the application folder) names a plain file, or a member of the archive that
// stands in for one of its folders ("data\ini.qvd" holding "Lumessa.ini", "data.qvd" holding
// "ini/Lumessa.ini"). A folder that exists as a directory always wins over its archive.
//
// Process-wide state (main thread only): the application folder, the archive extension and the
// current reader, the source that produced the last file and is tried first next time.
#pragma once

#include <string>
#include <string_view>

#include "engine/stream.h"

namespace lumessa {

// forReading: the file as a stream positioned at 0, or empty when it is found nowhere.
// Otherwise: a new plain file at that path (never an archive member; a "res:" path yields
// nothing). It replaces any previous file atomically when the stream is released, and its folder
// must exist.
TStreamPtr OpenDataFile(std::string_view path, bool forReading = true);
// The whole content of the file; empty when absent or unreadable.
std::string ReadDataFile(std::string_view path);
// Every "%apppath%" (any letter case) replaced by the application folder.
std::string ExpandAppPath(std::string path);

// What "%apppath%" stands for (stored in data form with a trailing "\"; empty means the current
// directory, which is the default).
void SetApplicationFolder(std::string_view folder);
const std::string& ApplicationFolder();
// The extension that turns a folder name into its archive's name; ".qvd" by default.
void SetArchiveExtension(std::string_view extension);
const std::string& ArchiveExtension();
// Forgets the current reader (and closes its archive).
void ResetCurrentReader();
// The folder path of the current reader; empty when there is none.
std::string CurrentReaderPath();

}  // namespace lumessa
