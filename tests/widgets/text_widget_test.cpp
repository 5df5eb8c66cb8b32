// Text widgets: the single-line and multiline layouts (cut, wrap, line feeds, fixed width,
// bearings, alignment), the text values and their macros, and the rendered picture.
#include <gtest/gtest.h>

#include "persistence/languages.h"
#include "widget_test_util.h"
#include "widgets/text_widget.h"

namespace lumessa {
namespace {

using test::Picture;
using test::ScreenFixture;
using test::TFakeFont;

class TextWidgets : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    // Line height 8; A 4 wide, B 3, space 2, W 6 with 1 before and 2 after; all 6 high.
    Ref<TFakeFont> font = MakeRef<TFakeFont>(8);
    font->AddGlyph('A', 4, 6);
    font->AddGlyph('B', 3, 6);
    font->AddGlyph(' ', 2, 6);
    font->AddGlyph('W', 6, 6, 1, 2);
    screen->engine->AddResource("font", font);
    Ref<TFakeFont> small = MakeRef<TFakeFont>(2);
    small->AddGlyph('A', 2, 2);
    small->AddGlyph('B', 1, 2);
    screen->engine->AddResource("small", small);
  }
  void TearDown() override {
    ScreenFixture::TearDown();
    ResetLanguages();
  }
  // A text widget on the screen with these attributes and text.
  Ref<TTextWidget> Text(const std::string& attributes, std::string_view text) {
    Attach(R"(<widget type="group_widget" visible="yes"><widgets>
        <widget type="text_widget" name="t" visible="yes" resourcename="font" )" +
           attributes + "/></widgets></widget>");
    Ref<TTextWidget> t = FindWidget<TTextWidget>(screen->root, "t");
    t->SetText(text);
    return t;
  }
  // The rectangles of the placed characters, in text order ("-" for those not placed).
  static std::vector<std::string> Placed(const TTextWidget& t) {
    std::vector<std::string> out;
    for (const TSymbolInfo& s : t.Symbols()) {
      if (!s.present) {
        out.push_back("-");
        continue;
      }
      out.push_back(std::to_string(s.rect.left) + "," + std::to_string(s.rect.top) + "," +
                    std::to_string(s.rect.right) + "," + std::to_string(s.rect.bottom));
    }
    return out;
  }
};

using V = std::vector<std::string>;

TEST_F(TextWidgets, ASingleLineIsCutAtTheLastWholeCharacter) {
  Ref<TTextWidget> t = Text(R"(width="10" height="10")", "ABAB");
  EXPECT_EQ(Placed(*t), (V{"0,0,4,6", "4,0,7,6", "-", "-"}));
  EXPECT_EQ(t->TextBounds(), (TRect{0, 0, 7, 6}));
}

TEST_F(TextWidgets, ASingleLineIsAlignedOverItsWidthAndTheLineHeight) {
  struct TCase {
    const char* attributes;
    const char* first;
  };
  const TCase cases[] = {
      {"", "0,0,4,6"},
      {R"(textalign="right")", "13,0,17,6"},
      {R"(textalign="center" textvertalign="middle")", "6,1,10,7"},
      {R"(textvertalign="bottom")", "0,2,4,8"},
      {R"(usefixedwidth="yes" fixedwidth="5")", "0,0,4,6"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.attributes);
    screen->ReleaseTree();
    Ref<TTextWidget> t = Text(std::string(R"(width="20" height="10" )") + c.attributes, "AB");
    EXPECT_EQ(Placed(*t).front(), c.first);
  }
}

TEST_F(TextWidgets, FixedWidthCentresEachGlyphInItsCellAndIsForcedOffWithoutAWidth) {
  Ref<TTextWidget> t = Text(R"(width="9" height="10" usefixedwidth="yes" fixedwidth="5")", "AB");
  EXPECT_EQ(Placed(*t), (V{"0,0,4,6", "-"})) << "two cells of 5 need 10 pixels";
  t->SetWidth(10);
  EXPECT_EQ(Placed(*t), (V{"0,0,4,6", "6,0,9,6"}));

  screen->ReleaseTree();
  t = Text(R"(width="20" height="10" usefixedwidth="yes" fixedwidth="0")", "AB");
  EXPECT_FALSE(t->GetUseFixedWidth());
  EXPECT_EQ(Placed(*t), (V{"0,0,4,6", "4,0,7,6"}));
}

TEST_F(TextWidgets, MultilineBreaksAtLineFeedsSpacesAndInsideLongWords) {
  struct TCase {
    const char* attributes;
    const char* text;
    V placed;
  };
  const TCase cases[] = {
      // A line feed starts a new line even when the line is short.
      {R"(width="100" height="100")", "A\nB", {"0,0,4,6", "-", "0,8,3,14"}},
      {R"(width="100" height="100" textlineheight="10")", "A\nB", {"0,0,4,6", "-", "0,10,3,16"}},
      // The line breaks before the last space, which is dropped.
      {R"(width="12" height="100")", "AB AB", {"0,0,4,6", "4,0,7,6", "-", "0,8,4,14", "4,8,7,14"}},
      // A word longer than a line is cut.
      {R"(width="6" height="100")", "ABAB", {"0,0,4,6", "0,8,3,14", "0,16,4,22", "0,24,3,30"}},
      // Lines that would start below the widget are dropped.
      {R"(width="6" height="10")", "ABAB", {"0,0,4,6", "0,8,3,14", "-", "-"}},
      // Proportional glyphs take their extra space before and after.
      {R"(width="100" height="100")", "WA", {"1,0,7,6", "9,0,13,6"}},
      {R"(width="100" height="100" textalign="right")", "WA", {"88,0,94,6", "96,0,100,6"}},
      // Vertical alignment moves the whole block: 2 lines of 8 in 30.
      {R"(width="100" height="30" textvertalign="bottom")",
       "A\nB",
       {"0,14,4,20", "-", "0,22,3,28"}},
      {R"(width="100" height="30" textvertalign="middle")", "A\nB", {"0,7,4,13", "-", "0,15,3,21"}},
      // A character wider than the widget fits on no line.
      {R"(width="3" height="100")", "AB", {"-", "0,0,3,6"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.attributes << " '" << c.text << "'");
    screen->ReleaseTree();
    Ref<TTextWidget> t = Text(std::string(R"(multiline="yes" )") + c.attributes, c.text);
    EXPECT_EQ(Placed(*t), c.placed);
  }
}

TEST_F(TextWidgets, TheLineHeightPropertyTakesEffectAtTheNextLayout) {
  Ref<TTextWidget> t = Text(R"(multiline="yes" width="100" height="100")", "A\nB");
  t->SetProperty("textlineheight", 12);
  EXPECT_EQ(Placed(*t)[2], "0,8,3,14");
  t->Refresh();
  EXPECT_EQ(Placed(*t)[2], "0,12,3,18");
}

TEST_F(TextWidgets, CharactersWithoutGlyphTakeNoSpace) {
  Ref<TTextWidget> t = Text(R"(width="100" height="10")",
                            "A\xC3\xA9"
                            "B");
  ASSERT_EQ(t->GetText().size(), 3u) << "one UTF-16 unit for the accented letter";
  EXPECT_EQ(Placed(*t), (V{"0,0,4,6", "-", "4,0,7,6"}));
}

TEST_F(TextWidgets, BoundsJoinTheWidgetAndItsTextAndCharRectsAreInOwnerSpace) {
  Ref<TTextWidget> t =
      Text(R"(anchor_left="10" anchor_top="20" width="5" height="2" textvertalign="bottom")", "A");
  EXPECT_EQ(t->TextBounds(), (TRect{0, -6, 4, 0}));
  EXPECT_EQ(t->GetBounds(), (TRect{10, 14, 15, 22}));
  TRect r;
  ASSERT_TRUE(t->GetCharRect(1, r));
  EXPECT_EQ(r, (TRect{10, 14, 14, 20}));
  EXPECT_FALSE(t->GetCharRect(0, r));
  EXPECT_FALSE(t->GetCharRect(2, r));
  EXPECT_TRUE(t->ContainsPoint({12, 15}, false));
}

TEST_F(TextWidgets, TextValuesAreMacroExpandedAndTheResourceMustBeAFont) {
  SetMacro("who", "BA");
  Ref<TTextWidget> t = Text(R"(width="100" height="10")", "%who%!");
  EXPECT_EQ(t->GetProperty("text"), TVariant("BA!"));
  t->SetProperty("text_utf8", "%who%");
  EXPECT_EQ(t->GetProperty("text_utf8"), TVariant("BA"));
  EXPECT_EQ(Placed(*t), (V{"0,0,3,6", "3,0,7,6"}));

  screen->engine->AddResource("picture", MakeRef<test::TFakeImage>(MakeSurface(2, 2)));
  t->SetProperty("resourcename", "picture");
  EXPECT_TRUE(t->Symbols().empty()) << "an image is no font: nothing is laid out";
  EXPECT_EQ(t->GetBounds(), (TRect{0, 0, 100, 10}));
}

TEST_F(TextWidgets, TheTextIsDrawnFromItsCacheCopiedOrAsTheFillColour) {
  Ref<TTextWidget> t = Text(R"(anchor_left="1" width="10" height="2")", "AB");
  t->SetResourceName("small");
  Ref<TSurface> s = MakeSurface(6, 2, true);
  screen->root->Draw(s.get(), 0, 0);
  const std::map<uint32_t, char> legend = {{0xFFFFFFFF, 'W'}, {0xFFFF0000, 'R'}};
  EXPECT_EQ(Picture(*s, legend), (V{".WWW..", ".WWW.."}));
  const int surfaces = screen->engine->surfacesCreated;
  screen->root->Draw(s.get(), 0, 0);
  EXPECT_EQ(screen->engine->surfacesCreated, surfaces) << "the cache is kept between draws";

  t->SetProperty("drawmode", "1");
  t->SetProperty("fillcolor", "$FFFF0000");
  s->ClearAll();
  screen->root->Draw(s.get(), 0, 0);
  EXPECT_EQ(Picture(*s, legend), (V{".RRR..", ".RRR.."}));
}

}  // namespace
}  // namespace lumessa
