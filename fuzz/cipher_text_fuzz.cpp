// Enciphered text as the game reads it: hexadecimal decoding, then deciphering, with keys of
// every length. Besides crashes it checks that both text formats round-trip.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "resources/cipher.h"

using namespace lumessa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // The first byte says how much of the rest is the key (up to 24 bytes, past the 16 used).
  size_t keyLength = std::min<size_t>(data[0] % 25, size - 1);
  std::string_view key = input.substr(1, keyLength);
  std::string_view text = input.substr(1 + keyLength);

  std::string plain = DecodeText(text, key, kTextFormatHex);
  if (plain.size() > text.size() / 2) __builtin_trap();
  if (DecodeText(EncodeText(plain, key, kTextFormatHex), key, kTextFormatHex) != plain)
    __builtin_trap();

  // The bytes format is a permutation of byte strings of each length.
  std::string raw = DecodeText(text, key, kTextFormatBytes);
  if (EncodeText(raw, key, kTextFormatBytes) != text) __builtin_trap();
  return 0;
}
