#include "resources/font_resource.h"

#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "resource_test_support.h"
#include "support/image_fixtures.h"

namespace lumessa {
namespace {

using FontResourceTest = test::ResourceTest;

// A font image of the given width (its height 8), fully opaque white.
std::string FontImage(int width) {
  return test::EncodePng(width, 8, PNG_COLOR_TYPE_RGB_ALPHA, 8,
                         std::vector<uint16_t>(size_t(width) * 8 * 4, 255));
}

const char* const kFontXml = R"(<r><content>
  <resource name="main" type="FontResource" file="main.png" format="png">
    <symbols>
      <symbol scancode="65" left="1" top="2" width="3" height="10" wleft="-1" wright="2"/>
      <symbol scancode="x" left="5" top="5" width="5" height="50"/>
      <symbol scancode="066" left="9" width="4" height="11"/>
      <symbol scancode="$43" width="2" height="3"/>
      <symbol scancode="233" width="6" height="12"/>
      <symbol scancode="65" width="99" height="99"/>
    </symbols>
  </resource>
</content></r>)";

TEST_F(FontResourceTest, SymbolsAreFoundByTheCodeOfTheFirstCharacter) {
  Write("main.png", FontImage(16));
  LoadResources(kFontXml);
  Ref<IFontResource> font = Get<IFontResource>("main");
  ASSERT_TRUE(font);
  struct TCase {
    const char* text;
    int code;  // -1: no symbol
    TRect rect;
  } cases[] = {
      {"A", 65, {1, 2, 4, 12}},          // looked up as "65"
      {"ABC", 65, {1, 2, 4, 12}},        // only the first character counts
      {"B", 66, {9, 0, 13, 11}},         // "066" names the symbol "66"
      {"C", 67, {0, 0, 2, 3}},           // and "$43" (hexadecimal) "67"
      {"\xC3\xA9", 233, {0, 0, 6, 12}},  // UTF-8: U+00E9
      {"D", -1, {}},
      {"", -1, {}},
  };
  for (const TCase& c : cases) {
    Ref<ISymbol> symbol = font->GetSymbol(c.text);
    if (c.code < 0) {
      EXPECT_FALSE(symbol) << c.text;
      continue;
    }
    ASSERT_TRUE(symbol) << c.text;
    EXPECT_EQ(symbol->GetCode(), c.code) << c.text;
    EXPECT_EQ(symbol->GetRect(), c.rect) << c.text;
  }
  Ref<ISymbol> a = font->GetSymbol("A");
  EXPECT_EQ(a->GetName(), "65");
  EXPECT_EQ(a->GetLeftBearing(), -1);
  EXPECT_EQ(a->GetRightBearing(), 2);
  EXPECT_EQ(a->GetWidth(), 3);
  EXPECT_EQ(a->GetHeight(), 10);
}

// A scancode that is no integer names the symbol but leaves the rest unread, so its height of
// 50 counts for nothing; the line height is the tallest of the others.
TEST_F(FontResourceTest, NonIntegerScancodeStopsThatSymbolOnly) {
  Write("main.png", FontImage(16));
  LoadResources(kFontXml);
  auto font = Query<TFontResource>(Get("main"));
  ASSERT_TRUE(font);
  Ref<ISymbol> x = font->Symbols()->Get(TVariant("x"));
  ASSERT_TRUE(x);
  EXPECT_EQ(x->GetCode(), 0);
  EXPECT_EQ(x->GetRect(), TRect{});
  EXPECT_EQ(font->Symbols()->Count(), 5);  // the second "65" is not added
  EXPECT_EQ(font->GetLineHeight(), 12);
}

TEST_F(FontResourceTest, LineHeightNeedsNoImage) {
  LoadResources(R"(<r><content>
    <resource name="f" type="FontResource" file="f.png" format="png" loadbydemand="yes">
      <symbols><symbol scancode="32" height="7"/><symbol scancode="33" height="9"/></symbols>
    </resource></content></r>)");
  EXPECT_EQ(Get<IFontResource>("f")->GetLineHeight(), 9);
  EXPECT_TRUE(owner_->opened.empty());
}

TEST_F(FontResourceTest, SymbolSavesItsSevenAttributes) {
  Write("main.png", FontImage(16));
  LoadResources(kFontXml);
  Ref<ISymbol> symbol = Get<IFontResource>("main")->GetSymbol("A");
  Ref<IHierStorage> out = Query<IHierStorage>(CreateStorage("symbol"));
  SaveObject(Ref<IInterface>(symbol), out);
  EXPECT_EQ(out->GetXml(),
            R"(<symbol scancode="65" left="1" top="2" width="3" height="10" wleft="-1" )"
            R"(wright="2"/>)");
}

// ---------------------------------------------------------------------------------------------
// Substitutes

const char* const kSubstituteXml = R"(<r><content>
  <resource name="main" type="FontResource" file="main.png" format="png">
    <symbols><symbol scancode="65" height="10"/><symbol scancode="66" height="10"/></symbols>
  </resource>
  <resource name="picture" type="ImageResource" file="main.png" format="png"/>
  <resource name="extra" type="FontResource" file="extra.png" format="png">
    <symbols><symbol scancode="66" height="14"/><symbol scancode="1041" height="14"/></symbols>
  </resource>
  <resource name="sub" type="FontSubstituteResource" fonts="main, nowhere,picture ,extra"/>
</content></r>)";

TEST_F(FontResourceTest, SubstituteSkipsNamesThatAreNoFonts) {
  Write("main.png", FontImage(16));
  Write("extra.png", FontImage(24));
  LoadResources(kSubstituteXml);
  auto sub = Query<TFontSubstituteResource>(Get("sub"));
  ASSERT_TRUE(sub);
  ASSERT_EQ(sub->Fonts().size(), 2u);
  EXPECT_EQ(sub->Fonts()[0], Get<IFontResource>("main"));
  EXPECT_EQ(sub->Fonts()[1], Get<IFontResource>("extra"));
  EXPECT_EQ(sub->GetLineHeight(), 14);
}

TEST_F(FontResourceTest, SubstituteAnswersFromTheFontThatHasTheSymbol) {
  Write("main.png", FontImage(16));
  Write("extra.png", FontImage(24));
  LoadResources(kSubstituteXml);
  Ref<IFontResource> sub = Get<IFontResource>("sub");
  EXPECT_FALSE(sub->GetSurface());  // no lookup yet, so no current font
  struct TCase {
    const char* text;
    bool found;
    const char* current;
    int width;  // of the current font's image
  } cases[] = {
      {"A", true, "main", 16},
      {"B", true, "main", 16},          // the first font that has it
      {"\xD0\x91", true, "extra", 24},  // U+0411 only in the second
      {"Z", false, "extra", 24},        // nobody has it: the last font stays current
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(bool(sub->GetSymbol(c.text)), c.found) << c.text;
    EXPECT_EQ(Query<TFontSubstituteResource>(sub)->Current(), Get<IFontResource>(c.current))
        << c.text;
    EXPECT_EQ(sub->GetWidth(), c.width) << c.text;
    EXPECT_EQ(sub->GetSurface(), Get<IFontResource>(c.current)->GetSurface()) << c.text;
  }
}

// Substitutes that list each other must neither recurse without end nor keep each other alive
// after the catalogue is released (the fixture's leak check).
TEST_F(FontResourceTest, SubstitutesThatListEachOtherEndTheirLookups) {
  LoadResources(R"(<r><content>
    <resource name="a" type="FontSubstituteResource" fonts="b,a"/>
    <resource name="b" type="FontSubstituteResource" fonts="a"/>
  </content></r>)");
  Ref<IFontResource> a = Get<IFontResource>("a");
  a->SetOwner(owner_.get());  // now b exists too: a keeps b, b keeps a; "a" itself is skipped
  EXPECT_EQ(Query<TFontSubstituteResource>(a)->Fonts().size(), 1u);
  EXPECT_FALSE(a->GetSymbol("A"));
  EXPECT_EQ(a->GetLineHeight(), 0);
  EXPECT_FALSE(a->GetSurface());
  EXPECT_EQ(a->GetWidth(), 0);
}

}  // namespace
}  // namespace lumessa
