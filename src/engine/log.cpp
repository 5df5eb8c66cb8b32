#include "engine/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumessa {

namespace {

int& LogState() {
  static int state = [] {
    const char* env = std::getenv("LUMESSA_LOG");
    return env && *env && std::strcmp(env, "0") != 0 ? 1 : 0;
  }();
  return state;
}

}  // namespace

bool LogEnabled() {
  return LogState() != 0;
}

void SetLogEnabled(bool enabled) {
  LogState() = enabled ? 1 : 0;
}

void Log(const char* format, ...) {
  if (!LogEnabled()) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "lumessa: %s\n", line);
}

}  // namespace lumessa
