// Screenshots: the screen surface as an 8-bit RGB PNG file.
#pragma once

#include <string>

#include "engine/surface.h"

namespace lumessa {

// Writes the surface's colour channels (alpha dropped); replaces the file atomically.
bool WriteScreenshot(const ISurface& surface, const std::string& path);

}  // namespace lumessa
