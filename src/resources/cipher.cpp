#include "resources/cipher.h"

#include <algorithm>
#include <cstring>

#include "engine/text.h"

namespace lumessa {

namespace {

constexpr uint32_t kCipherRounds = 32;
constexpr uint32_t kDecipherStartSum = kCipherDelta * kCipherRounds;  // 0xC6EF3720 modulo 2^32

uint32_t LoadLE32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLE32(uint32_t v, unsigned char* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The mixing term of one half round. The word itself is added to its XOR with sum rather than
// to the XOR of sum and key as in the textbook cipher; the data files depend on this form.
uint32_t Mix(uint32_t w, uint32_t sum, uint32_t keyWord) {
  return keyWord + (((w << 4) ^ (w >> 5)) + (w ^ sum));
}

using TBlock = std::array<unsigned char, 8>;

// The tail of a message shorter than a block is XORed with the last ciphertext block, or with a
// key-derived block when there is none.
TBlock InitialChain(const TCipherKey& key) {
  TBlock chain;
  StoreLE32(key.k[0] ^ key.k[2] ^ kCipherDelta, chain.data());
  StoreLE32(key.k[1] ^ key.k[3] ^ kCipherDelta, chain.data() + 4);
  return chain;
}

// Runs the block function over every complete block and XORs the tail with the chain. The chain
// is always the ciphertext block, whichever direction we go.
template <bool Encipher>
std::string Transform(std::string_view in, const TCipherKey& key) {
  std::string out(in);
  auto* bytes = reinterpret_cast<unsigned char*>(out.data());
  TBlock chain = InitialChain(key);
  size_t pos = 0;
  for (; pos + 8 <= out.size(); pos += 8) {
    unsigned char* block = bytes + pos;
    if (!Encipher) std::memcpy(chain.data(), block, 8);
    uint32_t y = LoadLE32(block);
    uint32_t z = LoadLE32(block + 4);
    if (Encipher) {
      EncipherBlock(y, z, key);
    } else {
      DecipherBlock(y, z, key);
    }
    StoreLE32(y, block);
    StoreLE32(z, block + 4);
    if (Encipher) std::memcpy(chain.data(), block, 8);
  }
  for (size_t i = 0; pos + i < out.size(); ++i) bytes[pos + i] ^= chain[i];
  return out;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TCipherKey MakeCipherKey(std::string_view keyText) {
  unsigned char raw[16] = {};
  std::memcpy(raw, keyText.data(), std::min(keyText.size(), sizeof raw));
  TCipherKey key;
  for (int i = 0; i < 4; ++i) key.k[i] = LoadLE32(raw + 4 * i);
  return key;
}

void EncipherBlock(uint32_t& y, uint32_t& z, const TCipherKey& key) {
  uint32_t sum = 0;
  for (uint32_t round = 0; round < kCipherRounds; ++round) {
    y += Mix(z, sum, key.k[sum & 3]);
    sum += kCipherDelta;
    z += Mix(y, sum, key.k[(sum >> 11) & 3]);
  }
}

void DecipherBlock(uint32_t& y, uint32_t& z, const TCipherKey& key) {
  uint32_t sum = kDecipherStartSum;
  for (uint32_t round = 0; round < kCipherRounds; ++round) {
    z -= Mix(y, sum, key.k[(sum >> 11) & 3]);
    sum -= kCipherDelta;
    y -= Mix(z, sum, key.k[sum & 3]);
  }
}

std::string EncipherBytes(std::string_view plain, const TCipherKey& key) {
  return Transform<true>(plain, key);
}

std::string DecipherBytes(std::string_view cipher, const TCipherKey& key) {
  return Transform<false>(cipher, key);
}

std::string EncodeHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string DecodeHex(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 2);
  int high = -1;  // the pending high nibble
  bool restarted = false;
  for (char c : text) {
    if (c == '$' && !restarted) {
      // A leading "$" marks the text as hexadecimal; whatever came before it is not data.
      restarted = true;
      out.clear();
      high = -1;
      continue;
    }
    int v = HexDigitValue(AsciiUpper(c));
    if (v < 0) continue;  // line breaks, blanks and anything else ("X" included)
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return out;
}

std::string EncodeText(std::string_view plain, std::string_view key, int format) {
  if (format != kTextFormatBytes && format != kTextFormatHex) return {};
  std::string cipher = EncipherBytes(plain, MakeCipherKey(key));
  return format == kTextFormatHex ? EncodeHex(cipher) : cipher;
}

std::string DecodeText(std::string_view text, std::string_view key, int format) {
  if (format == kTextFormatBytes) return DecipherBytes(text, MakeCipherKey(key));
  if (format == kTextFormatHex) return DecipherBytes(DecodeHex(text), MakeCipherKey(key));
  return {};
}

}  // namespace lumessa
