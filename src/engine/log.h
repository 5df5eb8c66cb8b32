// The diagnostic log for data authors: with --log (or LUMESSA_LOG=1) the program says on stderr
// why a file, resource or object was skipped. Without it the program is silent.
#pragma once

#include <cstdarg>

namespace lumessa {

// Off until enabled; LUMESSA_LOG=1 in the environment enables it at the first query.
bool LogEnabled();
void SetLogEnabled(bool enabled);

// printf-style; one line, the newline is added.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace lumessa
