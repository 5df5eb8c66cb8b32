#include "resources/data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>

#include "resources/buffered_file_stream.h"
#include "resources/resource_reader.h"
#include "support/test_files.h"

namespace lumessa {
namespace {

namespace fs = std::filesystem;
using test::MakeZip;
using test::ReadFile;
using test::WriteFile;

// Each test runs in a fresh folder that is also the current directory, as the application folder
// is for the game, with the process-wide state of the data files reset.
class DataFileTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = test::MakeTestFolder();
    previousDirectory_ = fs::current_path();
    fs::current_path(root_);
    SetApplicationFolder("");
    SetArchiveExtension(".qvd");
    ResetCurrentReader();
  }
  void TearDown() override {
    ResetCurrentReader();
    SetApplicationFolder("");
    fs::current_path(previousDirectory_);
    fs::remove_all(root_);
  }

  fs::path root_;
  fs::path previousDirectory_;
};

// "<none>" when the file is found nowhere, so an empty file and a missing one differ.
std::string Read(std::string_view path) {
  TStreamPtr stream = OpenDataFile(path, true);
  return stream ? stream->ReadRest() : "<none>";
}

TEST_F(DataFileTest, SlashAndBackslashPathsFindTheSameFile) {
  SetApplicationFolder(root_.string());
  const char* paths[] = {"data\\ini\\x.ini",          "data/ini/x.ini",
                         "data\\ini/x.ini",           "%apppath%data/ini/x.ini",
                         "%APPPATH%data\\ini\\x.ini", "./data/ini/x.ini"};
  WriteFile(root_ / "data/ini/x.ini", "plain");
  WriteFile(root_ / "packed.qvd", MakeZip({{"ini/x.ini", "packed"}}));
  for (const char* path : paths) {
    ResetCurrentReader();
    EXPECT_EQ(Read(path), "plain") << path;
    std::string packedPath = path;
    packedPath.replace(packedPath.find("data"), 4, "packed");
    ResetCurrentReader();
    EXPECT_EQ(Read(packedPath), "packed") << packedPath;
  }
}

TEST_F(DataFileTest, PlainFileWinsOverArchive) {
  WriteFile(root_ / "data/ini/x.ini", "plain");
  WriteFile(root_ / "data/ini.qvd", MakeZip({{"x.ini", "inner archive"}}));
  WriteFile(root_ / "data.qvd", MakeZip({{"ini/x.ini", "outer archive"}}));
  EXPECT_EQ(Read("data\\ini\\x.ini"), "plain");
  EXPECT_EQ(ReadDataFile("data\\ini\\x.ini"), "plain");
}

TEST_F(DataFileTest, ExistingDirectoryNeverConsultsItsArchive) {
  WriteFile(root_ / "data/other.txt", "other");
  WriteFile(root_ / "data.qvd", MakeZip({{"ini/y.ini", "packed"}, {"z.txt", "packed"}}));
  EXPECT_EQ(Read("data\\ini\\y.ini"), "<none>");
  EXPECT_EQ(Read("data\\z.txt"), "<none>");
  // Not even once a plain folder of the data is the current reader.
  EXPECT_EQ(Read("data\\other.txt"), "other");
  EXPECT_EQ(Read("data\\z.txt"), "<none>");
  EXPECT_EQ(ReadDataFile("data\\ini\\y.ini"), "");
}

TEST_F(DataFileTest, MemberDifferingInLetterCaseIsFound) {
  WriteFile(root_ / "data.qvd", MakeZip({{"Ini/X.INI", "packed"}}));
  EXPECT_EQ(Read("data\\ini\\x.ini"), "packed");
  EXPECT_EQ(Read("DATA\\INI\\x.Ini"), "packed");  // through the current reader
}

TEST_F(DataFileTest, DiskNamesDifferingInLetterCaseAreFound) {
  WriteFile(root_ / "Data/INI/Lumessa.ini", "plain");
  WriteFile(root_ / "Sounds.QVD", MakeZip({{"click.ogg", "packed"}}));
  EXPECT_EQ(Read("data\\ini\\lumessa.ini"), "plain");
  EXPECT_EQ(Read("DATA/Ini/LUMESSA.INI"), "plain");
  EXPECT_EQ(Read("sounds\\click.ogg"), "packed");
  EXPECT_EQ(Read("data\\ini\\missing.ini"), "<none>");
}

TEST_F(DataFileTest, ArchiveOfASubfolderIsFoundBelowAPlainFolder) {
  WriteFile(root_ / "data/a.txt", "a");
  WriteFile(root_ / "data/ini.qvd", MakeZip({{"x.ini", "packed"}}));
  EXPECT_EQ(Read("data\\ini\\x.ini"), "packed");
  EXPECT_EQ(CurrentReaderPath(), "data\\ini");
}

// The current reader answers first; when it is a plain folder its miss must not hide a packed
// folder below it.
TEST_F(DataFileTest, CurrentPlainFolderDoesNotHideAPackedSubfolder) {
  WriteFile(root_ / "data/a.txt", "a");
  WriteFile(root_ / "data/ini.qvd", MakeZip({{"x.ini", "packed"}}));
  EXPECT_EQ(Read("data\\a.txt"), "a");
  EXPECT_EQ(CurrentReaderPath(), "data");
  EXPECT_EQ(Read("data\\ini\\x.ini"), "packed");
  EXPECT_EQ(Read("data\\a.txt"), "a");
}

TEST_F(DataFileTest, CurrentArchiveServesLaterRequests) {
  WriteFile(root_ / "data.qvd", MakeZip({{"a.txt", "a"}, {"ini/x.ini", "x"}}));
  EXPECT_EQ(Read("data\\a.txt"), "a");
  EXPECT_EQ(CurrentReaderPath(), "data");
  EXPECT_EQ(Read("data\\ini\\x.ini"), "x");
  EXPECT_EQ(Read("data\\missing.txt"), "<none>");
  EXPECT_EQ(Read("datax\\a.txt"), "<none>");  // a longer folder name is not below "data"
  ResetCurrentReader();
  EXPECT_EQ(CurrentReaderPath(), "");
}

TEST_F(DataFileTest, PathWithoutFolderIsLookedUpInTheCurrentDirectory) {
  WriteFile(root_ / "top.txt", "top");
  EXPECT_EQ(Read("top.txt"), "top");
  EXPECT_EQ(CurrentReaderPath(), ".");
  EXPECT_EQ(Read("nothing.txt"), "<none>");
  EXPECT_EQ(Read(""), "<none>");
}

TEST_F(DataFileTest, DamagedArchivesYieldNothing) {
  std::string zip = MakeZip({{"ini/x.ini", std::string(3000, 'x')}});
  WriteFile(root_ / "cut.qvd", zip.substr(0, zip.size() / 2));
  WriteFile(root_ / "text.qvd", "not an archive at all");
  WriteFile(root_ / "empty.qvd", "");
  for (const char* path : {"cut\\ini\\x.ini", "text\\ini\\x.ini", "empty\\ini\\x.ini"}) {
    EXPECT_EQ(Read(path), "<none>") << path;
    EXPECT_EQ(ReadDataFile(path), "") << path;
  }
}

TEST_F(DataFileTest, MemberClaimingAHugeSizeOnDiskYieldsNothing) {
  std::string zip = MakeZip({{"x.ini", "hello"}}, /*deflate=*/false);
  // Claim 2 GiB in both the local header (offset 22) and the central directory (offset 24).
  const std::string huge = "\xF0\xFF\xFF\x7F";
  zip.replace(22, 4, huge);
  size_t central = zip.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  zip.replace(central + 24, 4, huge);
  WriteFile(root_ / "data.qvd", zip);
  EXPECT_EQ(Read("data\\x.ini"), "<none>");
}

TEST_F(DataFileTest, ResourceReaderKinds) {
  WriteFile(root_ / "plain/a.txt", "a");
  WriteFile(root_ / "packed.qvd", MakeZip({{"a.txt", "packed"}}));
  WriteFile(root_ / "bare", MakeZip({{"a.txt", "bare"}}));  // an archive named exactly so
  WriteFile(root_ / "broken.qvd", "PK but no archive");
  struct TCase {
    const char* folder;
    TReaderKind kind;
    const char* member;
  } cases[] = {
      {"plain", TReaderKind::Folder, "a"},        {"plain\\", TReaderKind::Folder, "a"},
      {"packed", TReaderKind::Archive, "packed"}, {"bare", TReaderKind::Archive, "bare"},
      {"broken", TReaderKind::None, "<none>"},    {"missing", TReaderKind::None, "<none>"},
      {"res:plain", TReaderKind::None, "<none>"}, {"", TReaderKind::None, "<none>"},
  };
  for (const TCase& c : cases) {
    Ref<TResourceReader> reader = TResourceReader::Create(c.folder);
    EXPECT_EQ(reader->BasePath(), c.folder);
    EXPECT_EQ(reader->Kind(), c.kind) << c.folder;
    TStreamPtr stream = reader->OpenMember("A.TXT");
    EXPECT_EQ(stream ? stream->ReadRest() : "<none>", c.member) << c.folder;
  }
}

TEST_F(DataFileTest, WritingNeverTouchesAnArchive) {
  const std::string archive = MakeZip({{"save.txt", "packed"}});
  WriteFile(root_ / "data.qvd", archive);
  EXPECT_FALSE(OpenDataFile("data\\save.txt", false));  // no plain folder to write into
  EXPECT_FALSE(OpenDataFile("res:data\\save.txt", false));
  EXPECT_FALSE(OpenDataFile("RES:save.txt", false));

  fs::create_directory(root_ / "data");
  TStreamPtr out = OpenDataFile("data/save.txt", false);
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->WriteText("written"));
  out.reset();
  EXPECT_EQ(ReadFile(root_ / "data/save.txt"), "written");
  EXPECT_EQ(ReadFile(root_ / "data.qvd"), archive);
  EXPECT_EQ(Read("data\\save.txt"), "written");
}

TEST_F(DataFileTest, WritingReplacesTheFileWhenTheStreamIsReleased) {
  WriteFile(root_ / "Saves/Users.DAT", "the previous, longer content");
  TStreamPtr out = OpenDataFile("saves\\users.dat", false);
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->WriteText("new"));
  EXPECT_EQ(ReadFile(root_ / "Saves/Users.DAT"), "the previous, longer content");
  out.reset();
  EXPECT_EQ(ReadFile(root_ / "Saves/Users.DAT"), "new");
  // One file, under the name it had: no twin in another letter case, no temporary left over.
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "Saves"), fs::directory_iterator()), 1);
  struct stat st {};
  ASSERT_EQ(stat((root_ / "Saves/Users.DAT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & S_IWOTH, 0u);
}

TEST_F(DataFileTest, WritingNeedsAFileName) {
  fs::create_directory(root_ / "dir");
  EXPECT_FALSE(OpenDataFile("dir", false));  // an existing folder is not a file
  EXPECT_FALSE(OpenDataFile("dir\\", false));
  EXPECT_FALSE(OpenDataFile("", false));
  EXPECT_TRUE(OpenDataFile("top.dat", false));
}

TEST(BufferedFileStream, ReadsAndSeeksLikeTheFile) {
  const fs::path folder = test::MakeTestFolder();
  std::string content(3500, '\0');
  std::mt19937 rng(3);
  for (char& c : content) c = static_cast<char>(rng());
  WriteFile(folder / "f.bin", content);
  std::unique_ptr<TBufferedFileStream> stream =
      TBufferedFileStream::Open((folder / "f.bin").string());
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Size(), content.size());
  uint64_t pos = 0;
  for (int step = 0; step < 500; ++step) {
    if (rng() % 4 == 0) {
      pos = rng() % (content.size() + 1);
      ASSERT_TRUE(stream->Seek(pos));
    }
    size_t n = rng() % 1500;
    std::string got(n, '\0');
    size_t read = stream->Read(got.data(), n);
    size_t expected = std::min<uint64_t>(n, content.size() - pos);
    ASSERT_EQ(read, expected);
    ASSERT_EQ(got.substr(0, read), content.substr(pos, read));
    pos += read;
    ASSERT_EQ(stream->Position(), pos);
  }
  EXPECT_FALSE(stream->Seek(content.size() + 1));
  EXPECT_EQ(stream->Write("x", 1), 0u);
  EXPECT_FALSE(TBufferedFileStream::Open(folder.string()));  // a folder is not a file
  fs::remove_all(folder);
}

}  // namespace
}  // namespace lumessa
