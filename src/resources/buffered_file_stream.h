// A read-only file stream with a small read buffer, for archives: the ZIP reader asks for many
// small pieces (headers, names) and seeks between them. Writing is refused (the base writes
// nothing).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/stream.h"

namespace lumessa {

class TBufferedFileStream : public TStream {
 public:
  static constexpr size_t kBufferSize = 1000;

  // Empty unless diskPath names a regular file that can be opened for reading.
  static std::unique_ptr<TBufferedFileStream> Open(const std::string& diskPath);

  size_t Read(void* buffer, size_t n) override;
  // Empties the buffer; false beyond the end of the file.
  bool Seek(uint64_t position) override;
  uint64_t Position() const override { return filePos_ - (bufLen_ - bufPos_); }
  uint64_t Size() const override { return size_; }

 private:
  TBufferedFileStream(std::unique_ptr<TFileStream> file, uint64_t size)
      : file_(std::move(file)), size_(size) {}
  bool Refill();

  std::unique_ptr<TFileStream> file_;
  uint64_t size_;
  uint64_t filePos_ = 0;  // where the file stands: just past the buffered bytes
  std::array<char, kBufferSize> buf_{};
  size_t bufLen_ = 0;
  size_t bufPos_ = 0;
};

}  // namespace lumessa
