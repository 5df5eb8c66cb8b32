// Byte streams: what data files, archive members and written files are read and written through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace lumessa {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to n bytes; returns how many were read (0 at the end or on error).
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Writes n bytes; returns how many were written. Read-only streams write nothing.
  virtual size_t Write(const void* buffer, size_t n) {
    (void)buffer;
    (void)n;
    return 0;
  }
  virtual bool Seek(uint64_t position) = 0;
  virtual uint64_t Position() const = 0;
  virtual uint64_t Size() const = 0;
  // Finishes the stream. For a written file this is where the content is stored for good: false
  // when it could not be (the caller's data is then not on disk).
  virtual bool Close() { return true; }

  // The rest of the stream from the current position.
  std::string ReadRest();
  bool WriteText(std::string_view text) { return Write(text.data(), text.size()) == text.size(); }
};

using TStreamPtr = std::unique_ptr<TStream>;

// A stream over bytes held in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  bool Seek(uint64_t position) override;
  uint64_t Position() const override { return pos_; }
  uint64_t Size() const override { return bytes_.size(); }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t pos_ = 0;
};

// A plain file on disk.
class TFileStream : public TStream {
 public:
  enum class Mode { Read, Create };
  // Empty when the file cannot be opened (Create truncates or creates it).
  static std::unique_ptr<TFileStream> Open(const std::string& path, Mode mode);
  ~TFileStream() override;
  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  bool Seek(uint64_t position) override;
  uint64_t Position() const override;
  uint64_t Size() const override;
  bool Close() override;

 private:
  TFileStream(std::FILE* f, Mode mode) : file_(f), mode_(mode) {}
  std::FILE* file_;
  Mode mode_;
};

}  // namespace lumessa
