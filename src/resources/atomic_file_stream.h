// Files this program writes replace the previous file atomically: the data goes to a new file
// beside the target and is renamed over it only when complete, so a crash in the middle of
// writing leaves the previous file whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/stream.h"

namespace lumessa {

class TAtomicFileStream : public TStream {
 public:
  // Empty when the temporary file cannot be created (missing folder, no permission).
  static std::unique_ptr<TAtomicFileStream> Create(const std::string& diskPath);
  // Commits unless Commit or Abandon ran before.
  ~TAtomicFileStream() override;

  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  bool Seek(uint64_t position) override;
  uint64_t Position() const override { return pos_; }
  uint64_t Size() const override { return size_; }

  // Flushes the data to disk and renames the new file over the target. False (and the target
  // untouched) when any write failed or the rename did.
  bool Commit();
  // Removes the new file; the target stays as it was.
  void Abandon();

 private:
  TAtomicFileStream(int fd, std::string target, std::string temp)
      : fd_(fd), target_(std::move(target)), temp_(std::move(temp)) {}
  void CloseFile();

  int fd_;
  std::string target_;
  std::string temp_;
  uint64_t pos_ = 0;
  uint64_t size_ = 0;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace lumessa
