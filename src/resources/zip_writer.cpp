#include "resources/zip_writer.h"

#include <zip.h>

#include <cstdint>
#include <string>

#include "resources/zip_stream_io.h"

namespace lumessa {

namespace {

zipFile Zip(void* p) {
  return static_cast<zipFile>(p);
}

// 1980-01-01 00:00:00, the earliest date a ZIP entry can hold.
zip_fileinfo FixedDateInfo() {
  zip_fileinfo info{};
  info.tmz_date.tm_year = 1980;
  info.tmz_date.tm_mon = 0;
  info.tmz_date.tm_mday = 1;
  return info;
}

}  // namespace

std::unique_ptr<TZipWriter> TZipWriter::Create(TStream& stream) {
  zlib_filefunc64_def io = ZipStreamFunctions(stream);
  zipFile zip = zipOpen2_64("stream", APPEND_STATUS_CREATE, nullptr, &io);
  if (!zip) return nullptr;
  return std::unique_ptr<TZipWriter>(new TZipWriter(zip));
}

TZipWriter::~TZipWriter() {
  if (zip_) zipClose(Zip(zip_), nullptr);
}

bool TZipWriter::Add(std::string_view name, std::string_view bytes, bool deflate) {
  if (!zip_) return false;
  zip_fileinfo info = FixedDateInfo();
  std::string member(name);
  int zip64 = bytes.size() >= 0xFFFFFFFFu ? 1 : 0;
  if (zipOpenNewFileInZip64(Zip(zip_), member.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            deflate ? Z_DEFLATED : 0, Z_BEST_COMPRESSION, zip64) != ZIP_OK)
    return false;
  bool ok = true;
  constexpr size_t kChunk = size_t(1) << 20;
  for (size_t at = 0; ok && at < bytes.size(); at += kChunk) {
    std::string_view piece = bytes.substr(at, kChunk);
    ok = zipWriteInFileInZip(Zip(zip_), piece.data(), unsigned(piece.size())) == ZIP_OK;
  }
  return zipCloseFileInZip(Zip(zip_)) == ZIP_OK && ok;
}

bool TZipWriter::Finish() {
  if (!zip_) return false;
  int result = zipClose(Zip(zip_), nullptr);
  zip_ = nullptr;
  return result == ZIP_OK;
}

}  // namespace lumessa
