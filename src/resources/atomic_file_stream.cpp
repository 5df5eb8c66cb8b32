#include "resources/atomic_file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace lumessa {

namespace {

// Owner read-write, everyone else read-only: written files are never world-writable.
constexpr mode_t kFileMode = 0644;

std::string TempPathFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename itself is durable only once the folder entry is on disk.
void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::unique_ptr<TAtomicFileStream> TAtomicFileStream::Create(const std::string& diskPath) {
  if (diskPath.empty() || diskPath.find('\0') != std::string::npos) return nullptr;
  std::string temp = TempPathFor(diskPath);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
  if (fd < 0) return nullptr;
  return std::unique_ptr<TAtomicFileStream>(new TAtomicFileStream(fd, diskPath, temp));
}

TAtomicFileStream::~TAtomicFileStream() {
  if (!finished_) Commit();
}

size_t TAtomicFileStream::Read(void* buffer, size_t n) {
  (void)buffer;
  (void)n;
  return 0;
}

size_t TAtomicFileStream::Write(const void* buffer, size_t n) {
  if (fd_ < 0 || failed_) return 0;
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd_, in + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      failed_ = true;
      break;
    }
    done += size_t(w);
  }
  pos_ += done;
  size_ = std::max(size_, pos_);
  return done;
}

bool TAtomicFileStream::Seek(uint64_t position) {
  if (fd_ < 0 || position > uint64_t(INT64_MAX)) return false;
  if (::lseek(fd_, off_t(position), SEEK_SET) < 0) return false;
  pos_ = position;
  return true;
}

void TAtomicFileStream::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TAtomicFileStream::Commit() {
  if (finished_) return false;
  finished_ = true;
  bool ok = !failed_ && fd_ >= 0 && ::fsync(fd_) == 0;
  if (fd_ >= 0 && ::close(fd_) != 0) ok = false;
  fd_ = -1;
  if (ok && ::rename(temp_.c_str(), target_.c_str()) == 0) {
    SyncFolder(FolderOf(target_));
    return true;
  }
  ::unlink(temp_.c_str());
  return false;
}

void TAtomicFileStream::Abandon() {
  if (finished_) return;
  finished_ = true;
  CloseFile();
  ::unlink(temp_.c_str());
}

}  // namespace lumessa
