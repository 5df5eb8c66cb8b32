// The game's command line.
#pragma once

#include <string>

#include "engine/engine.h"

namespace lumessa {

struct TCommandLine {
  TEngineOptions options;
  std::string screenshot;  // after the last frame
  bool log = false;
  bool help = false;
};

// Paths are taken relative to the directory the program was started in. The input script is
// read and parsed here, and --user-dir is created when missing. False with a one-line reason.
bool ParseCommandLine(int argc, const char* const* argv, TCommandLine& out, std::string& error);

extern const char* const kCommandLineHelp;

}  // namespace lumessa
