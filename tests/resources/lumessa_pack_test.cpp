// The data tool, run as the data build runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "resources/cipher.h"
#include "resources/data_file.h"
#include "resources/zip_archive.h"
#include "support/test_files.h"

namespace lumessa {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

struct TRun {
  int status = -1;
  std::string output;  // stdout and stderr together
};

TRun RunPack(const std::string& arguments) {
  std::string command = std::string("'") + LUMESSA_PACK_PATH + "' " + arguments + " 2>&1";
  TRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

class LumessaPackTest : public testing::Test {
 protected:
  void SetUp() override { root_ = test::MakeTestFolder(); }
  void TearDown() override {
    ResetCurrentReader();
    SetApplicationFolder("");
    fs::remove_all(root_);
  }
  fs::path root_;
};

TEST_F(LumessaPackTest, PackedFolderReadsBackThroughDataFiles) {
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 131) >> 3);
  const fs::path source = root_ / "stage/data";
  WriteFile(source / "ini/Lumessa.ini", "<root type=\"Game\"/>");
  WriteFile(source / "images/back.png", binary);
  WriteFile(source / "nested/deep/x.txt", "deep");
  WriteFile(source / "empty.txt", "");
  fs::create_directories(root_ / "game");

  TRun run = RunPack("qvd " + Quoted(source) + " " + Quoted(root_ / "game/data.qvd"));
  ASSERT_EQ(run.status, 0) << run.output;

  std::unique_ptr<TZipArchive> zip =
      TZipArchive::Open(std::make_unique<TMemoryStream>(ReadFile(root_ / "game/data.qvd")));
  ASSERT_TRUE(zip);
  EXPECT_EQ(zip->MemberNames(), (std::vector<std::string>{"empty.txt", "images/back.png",
                                                          "ini/Lumessa.ini", "nested/deep/x.txt"}));
  SetApplicationFolder((root_ / "game").string());
  EXPECT_EQ(ReadDataFile("%apppath%data\\ini\\Lumessa.ini"), "<root type=\"Game\"/>");
  EXPECT_EQ(ReadDataFile("%apppath%data/images/back.png"), binary);
  EXPECT_EQ(ReadDataFile("%apppath%data\\NESTED\\deep\\x.txt"), "deep");
  TStreamPtr empty = OpenDataFile("%apppath%data\\empty.txt");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Size(), 0u);
  EXPECT_LT(fs::file_size(root_ / "game/data.qvd"), binary.size() / 2);  // deflated
}

TEST_F(LumessaPackTest, PackingTheSameFolderGivesTheSameBytes) {
  WriteFile(root_ / "dir/b.txt", "b");
  WriteFile(root_ / "dir/a/c.txt", "c");
  ASSERT_EQ(RunPack("qvd " + Quoted(root_ / "dir") + " " + Quoted(root_ / "one.qvd")).status, 0);
  ASSERT_EQ(RunPack("qvd " + Quoted(root_ / "dir") + " " + Quoted(root_ / "two.qvd")).status, 0);
  EXPECT_EQ(ReadFile(root_ / "one.qvd"), ReadFile(root_ / "two.qvd"));
  // Packing into the folder itself leaves the archive out of itself.
  ASSERT_EQ(RunPack("qvd " + Quoted(root_ / "dir") + " " + Quoted(root_ / "dir/self.qvd")).status,
            0);
  ASSERT_EQ(RunPack("qvd " + Quoted(root_ / "dir") + " " + Quoted(root_ / "dir/self.qvd")).status,
            0);
  auto zip = TZipArchive::Open(std::make_unique<TMemoryStream>(ReadFile(root_ / "dir/self.qvd")));
  ASSERT_TRUE(zip);
  EXPECT_EQ(zip->MemberNames(), (std::vector<std::string>{"a/c.txt", "b.txt"}));
}

TEST_F(LumessaPackTest, EncodeAndDecodeRoundTrip) {
  std::string plain = "<root type=\"Game\">\r\n";
  for (int i = 0; i < 256; ++i) plain += static_cast<char>(i);
  WriteFile(root_ / "plain.xml", plain);
  WriteFile(root_ / "Lumessa.ini", "an older version");
  TRun encode = RunPack("encode --key 'Mirel key' " + Quoted(root_ / "plain.xml") + " " +
                        Quoted(root_ / "Lumessa.ini"));
  ASSERT_EQ(encode.status, 0) << encode.output;
  const std::string hex = ReadFile(root_ / "Lumessa.ini");
  EXPECT_EQ(hex, EncodeText(plain, "Mirel key", kTextFormatHex));
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);

  TRun decode = RunPack("decode --key='Mirel key' " + Quoted(root_ / "Lumessa.ini") + " " +
                        Quoted(root_ / "back.xml"));
  ASSERT_EQ(decode.status, 0) << decode.output;
  EXPECT_EQ(ReadFile(root_ / "back.xml"), plain);
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 3);
}

TEST_F(LumessaPackTest, BadArgumentsAndUnreadableInputFailClearly) {
  WriteFile(root_ / "in.txt", "in");
  const std::string in = Quoted(root_ / "in.txt");
  const std::string out = Quoted(root_ / "out.txt");
  struct TCase {
    std::string arguments;
    int status;
    const char* message;
  } cases[] = {
      {"", 2, "no command"},
      {"frobnicate", 2, "unknown command"},
      {"encode " + in + " " + out, 2, "--key"},
      {"encode " + in + " " + out + " --key", 2, "--key needs a value"},
      {"decode --key k " + in, 2, "IN and OUT"},
      {"encode --key k --force " + in + " " + out, 2, "unknown option"},
      {"qvd " + Quoted(root_), 2, "DIR and OUT"},
      {"encode --key k " + Quoted(root_ / "missing.txt") + " " + out, 1, "cannot read"},
      {"encode --key k " + Quoted(root_) + " " + out, 1, "cannot read"},
      {"encode --key k " + in + " " + Quoted(root_ / "no/such/folder/out.txt"), 1, "cannot write"},
      {"qvd " + Quoted(root_ / "missing") + " " + out, 1, "is not a folder"},
  };
  for (const TCase& c : cases) {
    TRun run = RunPack(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    EXPECT_FALSE(fs::exists(root_ / "out.txt")) << c.arguments;
  }
  TRun help = RunPack("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("Usage"), std::string::npos);
}

}  // namespace
}  // namespace lumessa
