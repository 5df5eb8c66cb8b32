#include "resources/zip_archive.h"

#include <unzip.h>

#include <algorithm>

#include "engine/log.h"
#include "engine/text.h"
#include "resources/zip_stream_io.h"

namespace lumessa {

namespace {

// Deflate cannot expand data more than about 1032 times; a header claiming more lies.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint64_t kDeflateSlack = 1024;
// Memory is taken as the data really arrives, not as the header announces it.
constexpr uint64_t kInitialReserve = uint64_t(1) << 20;
constexpr unsigned kReadChunk = 1u << 16;

std::string MemberKey(std::string_view name) {
  std::string key = AsciiUpper(name);
  std::replace(key.begin(), key.end(), '\\', '/');
  return key;
}

unzFile Unz(void* p) {
  return static_cast<unzFile>(p);
}

TStreamPtr Refuse(std::string_view name, const char* why) {
  Log("archive member %.*s skipped: %s", int(name.size()), name.data(), why);
  return nullptr;
}

}  // namespace

std::unique_ptr<TZipArchive> TZipArchive::Open(TStreamPtr stream) {
  if (!stream) return nullptr;
  zlib_filefunc64_def io = ZipStreamFunctions(*stream);
  unzFile unz = unzOpen2_64("stream", &io);  // the name only reaches our own open function
  if (!unz) return nullptr;
  std::unique_ptr<TZipArchive> archive(new TZipArchive(std::move(stream), unz));
  if (!archive->ReadDirectory()) return nullptr;
  return archive;
}

TZipArchive::~TZipArchive() {
  unzClose(Unz(unz_));
}

// Reads the central directory once, so later opens go straight to their entry.
bool TZipArchive::ReadDirectory() {
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(Unz(unz_), &global) != UNZ_OK) return false;
  if (global.number_entry == 0) return true;
  int err = unzGoToFirstFile(Unz(unz_));
  while (err == UNZ_OK) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(Unz(unz_), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
      return false;
    std::string name(info.size_filename, '\0');
    if (unzGetCurrentFileInfo64(Unz(unz_), nullptr, name.data(), uLong(name.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
      return false;
    unz64_file_pos pos{};
    if (unzGetFilePos64(Unz(unz_), &pos) != UNZ_OK) return false;
    // The first of several members with the same name wins, as a search from the start would.
    entries_.try_emplace(MemberKey(name), TEntry{pos.pos_in_zip_directory, pos.num_of_file});
    names_.push_back(std::move(name));
    err = unzGoToNextFile(Unz(unz_));
  }
  return err == UNZ_END_OF_LIST_OF_FILE;
}

bool TZipArchive::SizeIsPlausible(uint64_t compressed, uint64_t uncompressed, int method) const {
  if (uncompressed > kMaxMemberSize || compressed > stream_->Size()) return false;
  if (method == 0) return compressed == uncompressed;
  if (method == Z_DEFLATED) return uncompressed <= compressed * kMaxDeflateRatio + kDeflateSlack;
  return false;
}

std::optional<std::string> TZipArchive::ReadCurrentMember(uint64_t size) {
  std::string data;
  data.reserve(size_t(std::min(size, kInitialReserve)));
  while (data.size() < size) {
    size_t old = data.size();
    auto want = unsigned(std::min<uint64_t>(size - old, kReadChunk));
    data.resize(old + want);
    int got = unzReadCurrentFile(Unz(unz_), data.data() + old, want);
    if (got <= 0) return std::nullopt;
    data.resize(old + size_t(got));
  }
  return data;
}

TStreamPtr TZipArchive::OpenMember(std::string_view name) {
  auto it = entries_.find(MemberKey(name));
  if (it == entries_.end()) return nullptr;
  unz64_file_pos pos{it->second.directoryOffset, it->second.index};
  unz_file_info64 info{};
  if (unzGoToFilePos64(Unz(unz_), &pos) != UNZ_OK ||
      unzGetCurrentFileInfo64(Unz(unz_), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    return Refuse(name, "damaged directory entry");
  constexpr uLong kEncrypted = 1;
  if ((info.flag & kEncrypted) != 0) return Refuse(name, "encrypted");
  if (!SizeIsPlausible(info.compressed_size, info.uncompressed_size, int(info.compression_method)))
    return Refuse(name, "unsupported compression or impossible size");
  if (unzOpenCurrentFile(Unz(unz_)) != UNZ_OK) return Refuse(name, "damaged local header");
  std::optional<std::string> data = ReadCurrentMember(info.uncompressed_size);
  // Closing checks the CRC once the whole member was read.
  int closed = unzCloseCurrentFile(Unz(unz_));
  if (!data || closed != UNZ_OK) return Refuse(name, "damaged data");
  return std::make_unique<TMemoryStream>(std::move(*data));
}

}  // namespace lumessa
