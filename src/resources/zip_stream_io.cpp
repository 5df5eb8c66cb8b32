#include "resources/zip_stream_io.h"

#include <cstdint>
#include <limits>

namespace lumessa {

namespace {

TStream& StreamOf(voidpf stream) {
  return *static_cast<TStream*>(stream);
}

voidpf OpenStream(voidpf opaque, const void* /*filename*/, int /*mode*/) {
  return opaque;
}

uLong ReadStream(voidpf /*opaque*/, voidpf stream, void* buffer, uLong size) {
  return uLong(StreamOf(stream).Read(buffer, size));
}

uLong WriteStream(voidpf /*opaque*/, voidpf stream, const void* buffer, uLong size) {
  return uLong(StreamOf(stream).Write(buffer, size));
}

ZPOS64_T TellStream(voidpf /*opaque*/, voidpf stream) {
  return StreamOf(stream).Position();
}

long SeekStream(voidpf /*opaque*/, voidpf stream, ZPOS64_T offset, int origin) {
  TStream& s = StreamOf(stream);
  uint64_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      base = 0;
      break;
    case ZLIB_FILEFUNC_SEEK_CUR:
      base = s.Position();
      break;
    case ZLIB_FILEFUNC_SEEK_END:
      base = s.Size();
      break;
    default:
      return -1;
  }
  // Offsets come from the archive itself; one that runs past 2^64 is damage, not a position.
  if (offset > std::numeric_limits<uint64_t>::max() - base) return -1;
  return s.Seek(base + offset) ? 0 : -1;
}

int CloseStream(voidpf /*opaque*/, voidpf /*stream*/) {
  return 0;
}

// minizip asks only after a one-byte read came up short, and takes "no error" to mean a zero
// byte at the end of the file: a header cut off by truncation would then read as zeros.
int ShortReadIsAnError(voidpf /*opaque*/, voidpf /*stream*/) {
  return 1;
}

}  // namespace

zlib_filefunc64_def ZipStreamFunctions(TStream& stream) {
  zlib_filefunc64_def io{};
  io.zopen64_file = OpenStream;
  io.zread_file = ReadStream;
  io.zwrite_file = WriteStream;
  io.ztell64_file = TellStream;
  io.zseek64_file = SeekStream;
  io.zclose_file = CloseStream;
  io.zerror_file = ShortReadIsAnError;
  io.opaque = &stream;
  return io;
}

}  // namespace lumessa
