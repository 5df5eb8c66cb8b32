// minizip's file functions over one of our streams, so archives are read through a buffered
// file (or memory, for the fuzzer) and written through an atomic file. minizip "opens" the
// stream it is handed and never closes it: the caller owns the stream and must keep it alive
// while the archive is open.
#pragma once

#include <ioapi.h>

#include "engine/stream.h"

namespace lumessa {

zlib_filefunc64_def ZipStreamFunctions(TStream& stream);

}  // namespace lumessa
