#include "resources/cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace lumessa {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// Expected values were computed outside this program by an independent implementation of the
// round function exactly as the data files need it (the word is added to its XOR with sum).
struct TBlockVector {
  const char* key;
  uint32_t y, z;
  uint32_t cipherY, cipherZ;
};

TEST(CipherBlock, MatchesKnownAnswers) {
  const TBlockVector vectors[] = {
      {"", 0, 0, 0xE59622AA, 0x45F3616C},
      {"0123456789ABCDEF", 0x64636261, 0x68676665, 0x199CFF0A, 0x5268FF96},
      {"Lumessa", 0x01234567, 0x89ABCDEF, 0x8CA99CC6, 0xB4793304},
  };
  for (const TBlockVector& v : vectors) {
    TCipherKey key = MakeCipherKey(v.key);
    uint32_t y = v.y, z = v.z;
    EncipherBlock(y, z, key);
    EXPECT_EQ(y, v.cipherY) << "key '" << v.key << "'";
    EXPECT_EQ(z, v.cipherZ) << "key '" << v.key << "'";
    DecipherBlock(y, z, key);
    EXPECT_EQ(y, v.y);
    EXPECT_EQ(z, v.z);
  }
}

TEST(CipherBlock, DecipherUndoesEncipherForRandomKeysAndBlocks) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 2000; ++i) {
    TCipherKey key{{uint32_t(rng()), uint32_t(rng()), uint32_t(rng()), uint32_t(rng())}};
    auto y0 = uint32_t(rng()), z0 = uint32_t(rng());
    uint32_t y = y0, z = z0;
    EncipherBlock(y, z, key);
    ASSERT_FALSE(y == y0 && z == z0);
    DecipherBlock(y, z, key);
    ASSERT_EQ(y, y0);
    ASSERT_EQ(z, z0);
  }
}

TEST(CipherKey, UsesTheFirstSixteenBytesPaddedWithZeros) {
  TCipherKey key = MakeCipherKey("0123456789ABCDEF");
  EXPECT_EQ(key.k[0], 0x33323130u);
  EXPECT_EQ(key.k[3], 0x46454443u);
  TCipherKey shortKey = MakeCipherKey("Lumessa");
  EXPECT_EQ(shortKey.k[0], 0x656D754Cu);  // "Lume"
  EXPECT_EQ(shortKey.k[1], 0x00617373u);  // "ssa" and a zero byte
  EXPECT_EQ(shortKey.k[2], 0u);
  EXPECT_EQ(EncodeText("payload!", "0123456789ABCDEF and more", 16),
            EncodeText("payload!", "0123456789ABCDEF", 16));
  EXPECT_EQ(EncodeText("payload!", std::string("abc\0\0", 5), 16),
            EncodeText("payload!", "abc", 16));
}

class CipherMessage : public testing::Test {
 protected:
  // k0 = 0x33323130, k1 = 0x37363534, k2 = 0x42413938, k3 = 0x46454443.
  const TCipherKey key_ = MakeCipherKey("0123456789ABCDEF");
  // The key-derived chain: (k0 ^ k2 ^ delta, k1 ^ k3 ^ delta), little-endian.
  std::string KeyChain() const {
    uint32_t y = 0x33323130u ^ 0x42413938u ^ 0x9E3779B9u;
    uint32_t z = 0x37363534u ^ 0x46454443u ^ 0x9E3779B9u;
    std::string chain;
    for (uint32_t w : {y, z}) {
      for (int i = 0; i < 4; ++i) chain += static_cast<char>(w >> (8 * i));
    }
    return chain;
  }
};

TEST_F(CipherMessage, FiveBytesAreXoredWithTheKeyChainOnly) {
  const std::string plain = "abcde";
  std::string expected = plain;
  const std::string chain = KeyChain();
  for (size_t i = 0; i < plain.size(); ++i) expected[i] ^= chain[i];
  EXPECT_EQ(EncipherBytes(plain, key_), expected);
  EXPECT_EQ(EncipherBytes(plain, key_), Bytes({0xD0, 0x13, 0x27, 0x8B, 0xAB}));
  EXPECT_EQ(DecipherBytes(expected, key_), plain);
}

TEST_F(CipherMessage, ThirteenBytesChainTheTailToTheFirstCiphertextBlock) {
  const std::string plain = "Hello, world!";
  const std::string cipher = EncipherBytes(plain, key_);
  ASSERT_EQ(cipher.size(), 13u);
  EXPECT_EQ(EncodeHex(cipher), "CFCB3FCF1EB4D4A7A0B953AB3F");  // computed independently
  for (size_t i = 8; i < 13; ++i) {
    EXPECT_EQ(char(cipher[i] ^ plain[i]), cipher[i - 8]) << "tail byte " << i;
  }
  EXPECT_EQ(DecipherBytes(cipher, key_), plain);
}

TEST_F(CipherMessage, BlocksAreNotChainedAndTheTailFollowsTheLastBlock) {
  const std::string plain =
      "12345678"
      "12345678"
      "xyz";
  const std::string cipher = EncipherBytes(plain, key_);
  EXPECT_EQ(cipher.substr(0, 8), cipher.substr(8, 8));  // equal blocks, equal ciphertext
  const std::string other = EncipherBytes(
      "ABCDEFGH"
      "12345678"
      "xyz",
      key_);
  EXPECT_EQ(other.substr(16), cipher.substr(16));  // the tail depends on the last block only
}

TEST(CipherText, RoundTripsEveryLengthInBothFormats) {
  std::mt19937 rng(7);
  for (int format : {1, 16}) {
    for (size_t n = 0; n <= 40; ++n) {
      std::string plain(n, '\0');
      for (char& c : plain) c = static_cast<char>(rng());
      std::string text = EncodeText(plain, "a key", format);
      ASSERT_EQ(text.size(), format == 16 ? 2 * n : n);
      ASSERT_EQ(DecodeText(text, "a key", format), plain) << "format " << format << " length " << n;
    }
  }
}

TEST(CipherText, OtherFormatsYieldEmptyText) {
  for (int format : {0, 2, 8, 15, 17, -1}) {
    EXPECT_EQ(EncodeText("plain", "key", format), "") << format;
    EXPECT_EQ(DecodeText("0011223344", "key", format), "") << format;
  }
}

TEST(CipherText, WrongKeyYieldsGarbageOfTheSameLength) {
  const std::string plain = "<root type=\"Game\"/>";
  std::string decoded = DecodeText(EncodeText(plain, "right", 16), "wrong", 16);
  EXPECT_EQ(decoded.size(), plain.size());
  EXPECT_NE(decoded, plain);
}

TEST(CipherText, HexWithLineBreaksEvery64CharactersDecodesAsOneLine) {
  std::string plain;
  for (int i = 0; i < 300; ++i) plain += static_cast<char>(i * 7);
  const std::string hex = EncodeText(plain, "key", 16);
  std::string wrapped;
  for (size_t at = 0; at < hex.size(); at += 64) wrapped += hex.substr(at, 64) + "\r\n";
  EXPECT_EQ(DecodeText(wrapped, "key", 16), plain);
}

TEST(Hex, EncodesUpperCaseDigitsHighNibbleFirst) {
  EXPECT_EQ(EncodeHex(Bytes({0x00, 0xAB, 0x7F, 0xFF, 0x10})), "00AB7FFF10");
}

TEST(Hex, DecodingRules) {
  struct TCase {
    const char* text;
    std::string bytes;
  } cases[] = {
      {"", ""},
      {"4142", "AB"},
      {"6a6B", "jk"},               // either case
      {"41 42\r\n43\t44", "ABCD"},  // blanks and line breaks skipped
      {"4g1h4z2", "AB"},            // any other character skipped
      {"414", "A"},                 // a final unpaired digit is dropped
      {"zz$4142", "AB"},            // "$" marks the start
      {"41$42", "B"},               // and restarts the output
      {"4$142", Bytes({0x14})},     // a pending nibble too
      {"$41$42", "AB"},             // only the first "$" restarts
      {"0x41", Bytes({0x04})},      // "x" is just another character
  };
  for (const TCase& c : cases) EXPECT_EQ(DecodeHex(c.text), c.bytes) << "'" << c.text << "'";
}

}  // namespace
}  // namespace lumessa
