#include "engine/collection.h"

#include <array>

namespace lumessa {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t NameKey(std::string_view name) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char ch : name) {
    auto u = static_cast<uint8_t>(AsciiUpper(ch));
    crc = kCrcTable[(crc ^ u) & 0xFF] ^ (crc >> 8);
  }
  return ~crc;
}

TKeyRef ResolveKey(const TVariant& key) {
  TKeyRef r;
  if (key.IsInt())
    r.index = key.AsIntRaw();
  else if (key.IsString())
    r.name = key.AsStringRef();
  return r;
}

}  // namespace lumessa
