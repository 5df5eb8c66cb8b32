// Archives as the data files read them: open the ZIP directory, then read every member whole.
// Lying sizes must be refused without taking the memory they claim.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/stream.h"
#include "resources/zip_archive.h"

using namespace lumessa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TZipArchive> archive =
      TZipArchive::Open(std::make_unique<TMemoryStream>(std::move(bytes)));
  if (!archive) return 0;
  for (const std::string& name : archive->MemberNames()) {
    TStreamPtr member = archive->OpenMember(name);
    if (member && member->ReadRest().size() != member->Size()) __builtin_trap();
  }
  return 0;
}
