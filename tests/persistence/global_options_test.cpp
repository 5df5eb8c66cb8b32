#include "persistence/global_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "resources/cipher.h"
#include "support/test_files.h"
#include "test_support.h"

namespace lumessa {
namespace {

namespace fs = std::filesystem;

class GlobalOptionsTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTestFolder() / "user data";
    options_.SetUserDataFolder(folder_.string());
  }
  fs::path File() const { return folder_ / "options.dat"; }
  std::string DecodedFile() const {
    return DecodeText(test::ReadFile(File()), TGlobalOptions::kCipherKey, 16);
  }

  fs::path folder_;
  TGlobalOptions options_;
};

TEST_F(GlobalOptionsTest, FirstSetCreatesTheFileAndEverySetRewritesIt) {
  EXPECT_FALSE(options_.Get("music"));
  EXPECT_FALSE(fs::exists(File()));

  ASSERT_TRUE(options_.Set("music", "80"));  // creates the folder and the file
  std::string first = test::ReadFile(File());
  EXPECT_EQ(first.find_first_not_of("0123456789ABCDEF"), std::string::npos);  // hexadecimal
  EXPECT_EQ(DecodedFile().find("<options>"), 0u);

  ASSERT_TRUE(options_.Set("sound", "55"));
  ASSERT_TRUE(options_.Set("music", "70"));
  EXPECT_NE(test::ReadFile(File()), first);

  // A fresh store reads the whole document back.
  TGlobalOptions reread;
  reread.SetUserDataFolder(folder_.string());
  EXPECT_EQ(reread.Get("music"), "70");
  EXPECT_EQ(reread.Get("sound"), "55");
  EXPECT_FALSE(reread.Get("Music"));  // element names are case-sensitive
  ASSERT_TRUE(reread.Set("empty", ""));
  EXPECT_EQ(reread.Get("empty"), "");  // set, if empty

  struct stat st {};
  ASSERT_EQ(::stat(File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0022, 0u);
  ASSERT_EQ(::stat(folder_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0002, 0u);
}

TEST_F(GlobalOptionsTest, DamagedFilesGiveAnEmptyDocument) {
  const std::string cases[] = {
      "not hexadecimal at all",
      EncodeText("<options><music>1</music></options>", "another key", 16),
      EncodeText("<options><music>1</music>", TGlobalOptions::kCipherKey, 16),  // truncated
      std::string(1000, '\0'),
  };
  for (const std::string& bytes : cases) {
    test::WriteFile(File(), bytes);
    TGlobalOptions options;
    options.SetUserDataFolder(folder_.string());
    EXPECT_FALSE(options.Get("music"));
    ASSERT_TRUE(options.Set("sound", "1"));  // and the next save replaces the damage
    EXPECT_EQ(DecodedFile().find("<options>"), 0u);
  }
}

TEST_F(GlobalOptionsTest, BadNamesAndUnwritableFoldersFail) {
  ASSERT_TRUE(options_.Set("music", "1"));
  std::string before = test::ReadFile(File());
  EXPECT_FALSE(options_.Set("not a tag", "1"));
  EXPECT_FALSE(options_.Set("", "1"));
  EXPECT_EQ(test::ReadFile(File()), before);

  // The folder is a file: nothing can be written, the value still holds for this run.
  fs::path blocked = folder_ / "blocked";
  test::WriteFile(blocked, "x");
  TGlobalOptions options;
  options.SetUserDataFolder((blocked / "inner").string());
  EXPECT_FALSE(options.Set("music", "2"));
  EXPECT_EQ(options.Get("music"), "2");

  TGlobalOptions nowhere;  // no folder set
  EXPECT_FALSE(nowhere.Set("music", "3"));
}

TEST(PlatformServicesTest, ConversionsClipboardAndRegistry) {
  test::TCommaLocale comma;
  EXPECT_EQ(ParseFloat("2.5", 0.0), 2.5);
  EXPECT_EQ(ParseFloat("2,5", -1.0), -1.0);
  EXPECT_EQ(ParseFloat("", 4.0), 4.0);

  EXPECT_EQ(GetClipboardText(), "");
  SetClipboardTextSource([] { return std::string("pasted"); });
  EXPECT_EQ(GetClipboardText(), "pasted");
  SetClipboardTextSource(nullptr);
  EXPECT_EQ(GetClipboardText(), "");

  EXPECT_FALSE(ReadRegistryString(TRegistryRoot::CurrentUser, "Software\\x", "y"));
  EXPECT_FALSE(WriteRegistryString(TRegistryRoot::LocalMachine, "Software\\x", "y", "z"));
}

TEST(PlatformServicesTest, ProcessWideStoreUsesItsFolder) {
  fs::path folder = test::MakeTestFolder();
  GlobalOptions().SetUserDataFolder(folder.string());
  EXPECT_TRUE(SetGlobalOption("fullscreen", "yes"));
  EXPECT_EQ(GetGlobalOption("fullscreen"), "yes");
  EXPECT_TRUE(fs::exists(folder / "options.dat"));
  GlobalOptions().SetUserDataFolder("");
  EXPECT_FALSE(GetGlobalOption("fullscreen"));
}

}  // namespace
}  // namespace lumessa
