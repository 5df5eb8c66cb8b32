// Writes a ZIP archive to a stream: what the data tool packs folders into, and how tests make
// archives. Entries carry a fixed date, so packing the same files gives the same bytes.
#pragma once

#include <memory>
#include <string_view>

#include "engine/stream.h"

namespace lumessa {

class TZipWriter {
 public:
  // The stream must outlive the writer. Empty if minizip refuses the stream.
  static std::unique_ptr<TZipWriter> Create(TStream& stream);
  // Closes an archive Finish did not close (callers that fail drop the stream anyway).
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // Adds a member named with "/" separators, deflated or stored.
  bool Add(std::string_view name, std::string_view bytes, bool deflate = true);
  // Writes the central directory; false when any write failed.
  bool Finish();

 private:
  explicit TZipWriter(void* zip) : zip_(zip) {}
  void* zip_;  // minizip's zipFile; empty once finished
};

}  // namespace lumessa
