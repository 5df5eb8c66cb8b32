#include "engine/stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lumessa {

std::string TStream::ReadRest() {
  std::string out;
  uint64_t size = Size();
  uint64_t pos = Position();
  if (size > pos) out.reserve(size_t(size - pos));
  char buf[65536];
  while (size_t n = Read(buf, sizeof buf)) out.append(buf, n);
  return out;
}

size_t TMemoryStream::Read(void* buffer, size_t n) {
  if (pos_ >= bytes_.size()) return 0;
  n = std::min(n, bytes_.size() - pos_);
  std::memcpy(buffer, bytes_.data() + pos_, n);
  pos_ += n;
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t n) {
  if (pos_ + n > bytes_.size()) bytes_.resize(pos_ + n);
  std::memcpy(bytes_.data() + pos_, buffer, n);
  pos_ += n;
  return n;
}

bool TMemoryStream::Seek(uint64_t position) {
  if (position > bytes_.size()) return false;
  pos_ = size_t(position);
  return true;
}

std::unique_ptr<TFileStream> TFileStream::Open(const std::string& path, Mode mode) {
  std::FILE* f = std::fopen(path.c_str(), mode == Mode::Read ? "rb" : "wb");
  if (!f) return nullptr;
  // A directory opens for reading on Linux; it is not a file.
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return nullptr;
  }
  return std::unique_ptr<TFileStream>(new TFileStream(f, mode));
}

TFileStream::~TFileStream() {
  Close();
}

bool TFileStream::Close() {
  if (!file_) return true;
  bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

size_t TFileStream::Read(void* buffer, size_t n) {
  if (!file_ || mode_ != Mode::Read) return 0;
  return std::fread(buffer, 1, n, file_);
}

size_t TFileStream::Write(const void* buffer, size_t n) {
  if (!file_ || mode_ != Mode::Create) return 0;
  return std::fwrite(buffer, 1, n, file_);
}

bool TFileStream::Seek(uint64_t position) {
  if (!file_ || position > uint64_t(INT64_MAX)) return false;
  return fseeko(file_, off_t(position), SEEK_SET) == 0;
}

uint64_t TFileStream::Position() const {
  if (!file_) return 0;
  off_t p = ftello(file_);
  return p < 0 ? 0 : uint64_t(p);
}

uint64_t TFileStream::Size() const {
  if (!file_) return 0;
  if (mode_ == Mode::Create) std::fflush(file_);
  struct stat st;
  return fstat(fileno(file_), &st) == 0 ? uint64_t(st.st_size) : 0;
}

}  // namespace lumessa
