// The cipher of the data files: a 64-bit block cipher of the XTEA family with its own round
// function, a chained tail for lengths that are not a multiple of 8, and the two text formats
// (the bytes as they are, or upper-case hexadecimal).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumessa {

constexpr uint32_t kCipherDelta = 0x9E3779B9;

// Text formats of enciphered data.
enum TTextFormat : int {
  kTextFormatBytes = 1,  // the enciphered bytes as they are
  kTextFormatHex = 16,   // two upper-case hexadecimal digits per byte, high nibble first
};

struct TCipherKey {
  std::array<uint32_t, 4> k{};
};

// The first 16 bytes of the key text as four little-endian words; missing bytes are 0.
TCipherKey MakeCipherKey(std::string_view keyText);

// One 8-byte block (y, z), 32 rounds.
void EncipherBlock(uint32_t& y, uint32_t& z, const TCipherKey& key);
void DecipherBlock(uint32_t& y, uint32_t& z, const TCipherKey& key);

// Whole byte strings; the output is as long as the input.
std::string EncipherBytes(std::string_view plain, const TCipherKey& key);
std::string DecipherBytes(std::string_view cipher, const TCipherKey& key);

// Hexadecimal text: upper-case digits, no separators.
std::string EncodeHex(std::string_view bytes);
// Lenient reading: digits of either case make nibbles, the first "$" restarts the output, any
// other character is skipped and a final unpaired digit is dropped.
std::string DecodeHex(std::string_view text);

// Enciphers plain text in one of the text formats; any other format yields empty text.
std::string EncodeText(std::string_view plain, std::string_view key, int format);
// The reverse of EncodeText; any other format yields empty text. A wrong key yields garbage.
std::string DecodeText(std::string_view text, std::string_view key, int format);

}  // namespace lumessa
