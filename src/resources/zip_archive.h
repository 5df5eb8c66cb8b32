// A ZIP archive read from a stream: members are found by name without regard to ASCII case and
// decompressed whole into memory. Damaged archives and members yield nothing, never a crash or
// an allocation larger than the archive could really hold.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/stream.h"

namespace lumessa {

class TZipArchive {
 public:
  // Members larger than this are refused whatever their header says.
  static constexpr uint64_t kMaxMemberSize = uint64_t(256) << 20;

  // Empty when the stream does not read as a ZIP archive (or its directory is damaged).
  static std::unique_ptr<TZipArchive> Open(TStreamPtr stream);
  ~TZipArchive();
  TZipArchive(const TZipArchive&) = delete;
  TZipArchive& operator=(const TZipArchive&) = delete;

  // The member's whole content, positioned at 0. The name uses "/" or "\" and any letter case.
  // Empty when the member is missing, encrypted, compressed other than stored or deflated,
  // claims an impossible size, or does not decompress to exactly its size and checksum.
  TStreamPtr OpenMember(std::string_view name);
  // The member names as stored, in directory order.
  const std::vector<std::string>& MemberNames() const { return names_; }

 private:
  struct TEntry {
    uint64_t directoryOffset;
    uint64_t index;
  };
  TZipArchive(TStreamPtr stream, void* unz) : stream_(std::move(stream)), unz_(unz) {}
  bool ReadDirectory();
  bool SizeIsPlausible(uint64_t compressed, uint64_t uncompressed, int method) const;
  std::optional<std::string> ReadCurrentMember(uint64_t size);

  TStreamPtr stream_;
  void* unz_;  // minizip's unzFile
  std::vector<std::string> names_;
  std::unordered_map<std::string, TEntry> entries_;  // keyed by the upper-cased "/" name
};

}  // namespace lumessa
