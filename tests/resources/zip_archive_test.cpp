#include "resources/zip_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "support/test_files.h"

namespace lumessa {
namespace {

using test::MakeZip;
using test::TMembers;

std::unique_ptr<TZipArchive> OpenZip(std::string bytes) {
  return TZipArchive::Open(std::make_unique<TMemoryStream>(std::move(bytes)));
}

// The member's content, or "<none>" when it does not open.
std::string Member(TZipArchive& zip, std::string_view name) {
  TStreamPtr stream = zip.OpenMember(name);
  return stream ? stream->ReadRest() : "<none>";
}

const TMembers kMembers = {
    {"ini/Lumessa.ini", "<root type=\"Game\"/>"},
    {"images/back.png", std::string(5000, 'x') + "tail"},
    {"empty.txt", ""},
};

TEST(ZipArchive, FindsMembersIgnoringCaseAndSeparatorInBothStorageMethods) {
  for (bool deflate : {true, false}) {
    std::unique_ptr<TZipArchive> zip = OpenZip(MakeZip(kMembers, deflate));
    ASSERT_TRUE(zip);
    EXPECT_EQ(Member(*zip, "ini/Lumessa.ini"), kMembers[0].second);
    EXPECT_EQ(Member(*zip, "INI\\lumessa.INI"), kMembers[0].second);
    EXPECT_EQ(Member(*zip, "Images/Back.png"), kMembers[1].second);
    EXPECT_EQ(Member(*zip, "empty.txt"), "");
    EXPECT_EQ(Member(*zip, "ini/missing.ini"), "<none>");
    EXPECT_EQ(Member(*zip, "ini"), "<none>");
  }
}

TEST(ZipArchive, TruncatedArchiveDoesNotOpen) {
  const std::string whole = MakeZip(kMembers);
  for (size_t n = 0; n < whole.size(); ++n) {
    EXPECT_FALSE(OpenZip(whole.substr(0, n))) << "cut at " << n << " of " << whole.size();
  }
}

TEST(ZipArchive, DamagedBytesNeverYieldWrongContent) {
  const std::string whole = MakeZip(kMembers);
  for (size_t at = 0; at < whole.size(); ++at) {
    std::string damaged = whole;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    std::unique_ptr<TZipArchive> zip = OpenZip(damaged);
    if (!zip) continue;
    for (const auto& [name, content] : kMembers) {
      std::string got = Member(*zip, name);
      EXPECT_TRUE(got == content || got == "<none>") << name << " with byte " << at << " damaged";
    }
  }
}

// A one-member archive written field by field, so the headers can claim anything.
struct TRawMember {
  std::string data = "hello";
  uint16_t method = 0;
  uint32_t compressed = 5;
  uint32_t uncompressed = 5;
};

void Put16(std::string& out, uint32_t v) {
  for (int i = 0; i < 2; ++i) out += static_cast<char>(v >> (8 * i));
}
void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

std::string RawZip(const TRawMember& m) {
  const std::string name = "big.bin";
  auto crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), uInt(m.data.size())));
  std::string zip;
  Put32(zip, 0x04034B50);  // local header
  Put16(zip, 20);
  Put16(zip, 0);
  Put16(zip, m.method);
  Put32(zip, 0);  // time and date
  Put32(zip, crc);
  Put32(zip, m.compressed);
  Put32(zip, m.uncompressed);
  Put16(zip, uint32_t(name.size()));
  Put16(zip, 0);  // extra field
  zip += name + m.data;
  const size_t directory = zip.size();
  Put32(zip, 0x02014B50);  // central directory header
  Put16(zip, 45);
  Put16(zip, 20);
  Put16(zip, 0);
  Put16(zip, m.method);
  Put32(zip, 0);
  Put32(zip, crc);
  Put32(zip, m.compressed);
  Put32(zip, m.uncompressed);
  Put16(zip, uint32_t(name.size()));
  Put16(zip, 0);  // extra field
  Put16(zip, 0);  // comment
  Put16(zip, 0);  // disk
  Put16(zip, 0);  // internal attributes
  Put32(zip, 0);  // external attributes
  Put32(zip, 0);  // local header offset
  zip += name;
  const size_t directorySize = zip.size() - directory;
  Put32(zip, 0x06054B50);  // end of central directory
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, 1);
  Put16(zip, 1);
  Put32(zip, uint32_t(directorySize));
  Put32(zip, uint32_t(directory));
  Put16(zip, 0);
  return zip;
}

TEST(ZipArchive, HandWrittenMemberReadsBack) {
  std::unique_ptr<TZipArchive> zip = OpenZip(RawZip(TRawMember{}));
  ASSERT_TRUE(zip);
  EXPECT_EQ(Member(*zip, "BIG.BIN"), "hello");
}

// A header that lies about the size must be refused before memory is taken for it. Both
// headers make the same claim, as a forged archive would.
TEST(ZipArchive, MemberClaimingAHugeSizeIsRefused) {
  struct TCase {
    const char* what;
    TRawMember member;
  } cases[] = {
      {"deflated, 4 GiB from 5 bytes", {"hello", 8, 5, 0xFFFFFFF0u}},
      {"stored, sizes disagree", {"hello", 0, 5, 0x7FFFFFFFu}},
      {"deflated, the ZIP64 marker 0xFFFFFFFF from 5 bytes", {"hello", 8, 5, 0xFFFFFFFFu}},
      {"compressed larger than the archive", {"hello", 8, 1u << 20, 1u << 20}},
      {"stored, both sizes 2 GiB", {"hello", 0, 0x7FFFFFFFu, 0x7FFFFFFFu}},
  };
  for (const TCase& c : cases) {
    std::unique_ptr<TZipArchive> zip = OpenZip(RawZip(c.member));
    ASSERT_TRUE(zip) << c.what;  // the directory is sound; only the member lies
    EXPECT_EQ(Member(*zip, "big.bin"), "<none>") << c.what;
  }
}

TEST(ZipArchive, UnsupportedMethodAndEncryptionAreRefused) {
  TRawMember bzip2;
  bzip2.method = 12;
  std::unique_ptr<TZipArchive> zip = OpenZip(RawZip(bzip2));
  ASSERT_TRUE(zip);
  EXPECT_EQ(Member(*zip, "big.bin"), "<none>");

  std::string encrypted = RawZip(TRawMember{});
  encrypted[6] = 1;               // local header flag: encrypted
  encrypted[30 + 7 + 5 + 8] = 1;  // central header flag (local header 30 + name + data, +8)
  zip = OpenZip(encrypted);
  ASSERT_TRUE(zip);
  EXPECT_EQ(Member(*zip, "big.bin"), "<none>");
}

}  // namespace
}  // namespace lumessa
