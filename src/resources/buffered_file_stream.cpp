#include "resources/buffered_file_stream.h"

#include <algorithm>
#include <cstring>

#include "resources/disk_path.h"

namespace lumessa {

std::unique_ptr<TBufferedFileStream> TBufferedFileStream::Open(const std::string& diskPath) {
  // fopen() happily opens a directory on Linux; only regular files are archives.
  if (!IsRegularFile(diskPath)) return nullptr;
  std::unique_ptr<TFileStream> file = TFileStream::Open(diskPath, TFileStream::Mode::Read);
  if (!file) return nullptr;
  uint64_t size = file->Size();
  return std::unique_ptr<TBufferedFileStream>(new TBufferedFileStream(std::move(file), size));
}

bool TBufferedFileStream::Refill() {
  bufPos_ = 0;
  bufLen_ = file_->Read(buf_.data(), buf_.size());
  filePos_ += bufLen_;
  return bufLen_ > 0;
}

size_t TBufferedFileStream::Read(void* buffer, size_t n) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < n) {
    if (bufPos_ == bufLen_ && !Refill()) break;
    size_t chunk = std::min(n - done, bufLen_ - bufPos_);
    std::memcpy(out + done, buf_.data() + bufPos_, chunk);
    bufPos_ += chunk;
    done += chunk;
  }
  return done;
}

bool TBufferedFileStream::Seek(uint64_t position) {
  if (position > size_ || !file_->Seek(position)) return false;
  filePos_ = position;
  bufLen_ = bufPos_ = 0;
  return true;
}

}  // namespace lumessa
