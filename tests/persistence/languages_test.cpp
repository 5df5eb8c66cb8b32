#include "persistence/languages.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "support/test_files.h"
#include "test_support.h"

namespace lumessa {
namespace {

namespace fs = std::filesystem;

std::string LanguageFile(std::string_view id, std::string_view strings) {
  return "<language id='" + std::string(id) + "' name='" + std::string(id) + " name'><strings>" +
         std::string(strings) + "</strings></language>";
}

class LanguagesTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetLanguages();
    folder_ = test::MakeTestFolder();
    SetApplicationFolder(folder_.string() + "/");
    test::WriteFile(folder_ / "lang" / "default.lng",
                    LanguageFile("en",
                                 "<string name='greeting'>Hello</string>"
                                 "<string name='username'>from the file</string>"
                                 "<string name='Title'>  The %game%  </string>"
                                 "<string name='game'>Salon</string>"
                                 "<string name='thousand_separator'>,</string>"
                                 "<string name='loop'>[%loop%]</string>"
                                 "<string name='ping'>%pong%</string>"
                                 "<string name='pong'>%ping%</string>"
                                 "<string>no name</string>"));
    Languages().SetDefaultFile((folder_ / "lang" / "default.lng").string());
  }
  void TearDown() override { ResetLanguages(); }

  test::TDataFileStateGuard guard_;
  fs::path folder_;
};

TEST_F(LanguagesTest, ExpandText) {
  ASSERT_TRUE(SelectLanguage(""));
  EXPECT_EQ(GetLanguageId(), "en");
  SetMacro("username", "Anna");
  SetMacro("level", "3");
  SetMacro("level", "4");  // replaces
  const struct {
    const char* text;
    bool trim;
    const char* expected;
  } cases[] = {
      {"100%%", false, "100%"},
      {"100%% done", false, "100% done"},
      {"50%", false, "50%"},
      {"a % b", false, "a % b"},
      {"%greeting%, %username%!", false, "Hello, Anna!"},  // the macro wins over the string
      {"%GREETING%", false, "Hello"},                      // strings ignore case
      {"%USERNAME%", false, "from the file"},              // macros do not
      {"%level%", false, "4"},
      {"%unknown%|", false, "|"},
      {"%title%", false, "  The Salon  "},  // nested expansion
      {"<%title%>", true, "<The Salon>"},   // trimmed lookups
      {"%%%greeting%%%", false, "%Hello%"},
      {"", false, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandText(c.text, c.trim), c.expected) << c.text;
}

TEST_F(LanguagesTest, SelfReferencesStop) {
  ASSERT_TRUE(SelectLanguage(""));
  std::string loop = ExpandText("%loop%");
  EXPECT_TRUE(loop.starts_with("[[[")) << loop;
  EXPECT_TRUE(loop.ends_with("]]]"));
  EXPECT_LT(loop.size(), 100u);
  EXPECT_EQ(ExpandText("%ping%"), "");

  // Strings that each name the next one many times would grow without bound.
  std::string strings;
  for (int i = 0; i < 30; ++i) {
    std::string next = "%s" + std::to_string(i + 1) + "%";
    strings +=
        "<string name='s" + std::to_string(i) + "'>" + next + next + next + next + "x</string>";
  }
  test::WriteFile(folder_ / "bomb.lng", LanguageFile("bomb", strings));
  ASSERT_TRUE(Languages().LoadLanguageFile((folder_ / "bomb.lng").string()));
  std::string out = ExpandText("%s0%");
  EXPECT_LE(out.size(), size_t(2) << 20);
}

TEST_F(LanguagesTest, SelectLanguageLoadsTheDefaultThenTheLanguageFolder) {
  test::WriteFile(folder_ / "Languages" / "fr.lng",
                  LanguageFile("fr", "<string name='greeting'>Bonjour</string>"));
  ASSERT_TRUE(SelectLanguage("fr"));
  EXPECT_EQ(GetLanguageId(), "fr");
  EXPECT_EQ(Languages().LanguageName(), "fr name");
  EXPECT_EQ(ExpandText("%greeting% %game%"), "Bonjour Salon");  // default strings stay

  // A recorded file wins over the folder.
  test::WriteFile(folder_ / "elsewhere.lng",
                  LanguageFile("fr2", "<string name='greeting'>Salut</string>"));
  Languages().SetLanguageFile("FR", (folder_ / "elsewhere.lng").string());
  ASSERT_TRUE(SelectLanguage("fr"));
  EXPECT_EQ(ExpandText("%greeting%"), "Salut");

  // Strings are cleared first: nothing loads, nothing is left.
  Languages().SetDefaultFile((folder_ / "missing.lng").string());
  EXPECT_FALSE(SelectLanguage("de"));
  EXPECT_EQ(ExpandText("[%greeting%]"), "[]");
  SetMacro("m", "still works");
  EXPECT_EQ(ExpandText("%m%"), "still works");
}

TEST_F(LanguagesTest, FilesWithoutStringsOrUnparsableDoNotLoad) {
  test::WriteFile(folder_ / "nostrings.lng", "<language id='x'><other/></language>");
  test::WriteFile(folder_ / "broken.lng", "<language id='y'><strings>");
  EXPECT_FALSE(Languages().LoadLanguageFile((folder_ / "nostrings.lng").string()));
  EXPECT_EQ(GetLanguageId(), "x");  // the root was read
  EXPECT_FALSE(Languages().LoadLanguageFile((folder_ / "broken.lng").string()));
  EXPECT_EQ(GetLanguageId(), "x");
}

TEST_F(LanguagesTest, FormatThousands) {
  ASSERT_TRUE(SelectLanguage(""));
  const struct {
    int32_t n;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {-1000, "-1,000"},
      {1234567, "1,234,567"},
      {-999999, "-999,999"},
      {INT32_MAX, "2,147,483,647"},
      {INT32_MIN, "-2,147,483,648"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatThousands(c.n), c.expected) << c.n;
  SetMacro("thousand_separator", " ");  // a blank separator is kept
  EXPECT_EQ(FormatThousands(12345), "12 345");
}

}  // namespace
}  // namespace lumessa
