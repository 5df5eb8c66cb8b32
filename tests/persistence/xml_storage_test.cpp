#include "persistence/xml_storage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "persistence/text_encoding.h"
#include "resources/cipher.h"
#include "support/test_files.h"
#include "test_support.h"

namespace lumessa {
namespace {

namespace fs = std::filesystem;
using test::Xml;

// ---------------------------------------------------------------------------------------------
// Typed accessors

struct TIntCase {
  const char* text;
  int fallback;
  int expected;
};

TEST(TypedAccessorTest, ReadInt) {
  const TIntCase cases[] = {
      {"42", 0, 42},        {"-7", 0, -7},        {"+5", 0, 5},
      {"$1F", 0, 31},       {"0x1f", 0, 31},      {"-$10", 0, -16},
      {"$FFFFFFFF", 0, -1}, {" 12 ", 0, 12},      {"2147483647", 0, 2147483647},
      {"2147483648", 3, 3}, {"$100000000", 3, 3}, {"1.5", 3, 3},
      {"12abc", 3, 3},      {"", 3, 3},           {"$", 3, 3},
      {"0x", 3, 3},         {"--1", 3, 3},
  };
  for (const TIntCase& c : cases) {
    Ref<IHierStorage> s = Xml("<a/>");
    s->WriteValue("v", c.text);
    EXPECT_EQ(ReadInt(s, "v", c.fallback), c.expected) << "text '" << c.text << "'";
  }
  EXPECT_EQ(ReadInt(Xml("<a/>"), "missing", 9), 9);
  EXPECT_EQ(ReadInt(nullptr, "v", 9), 9);
}

TEST(TypedAccessorTest, ReadBoolIsExact) {
  const struct {
    const char* text;
    bool fallback;
    bool expected;
  } cases[] = {
      {"yes", false, true},   {"no", true, false}, {"Yes", false, false}, {"NO", true, true},
      {"true", false, false}, {"1", false, false}, {"", true, true},      {" yes", false, false},
  };
  for (const auto& c : cases) {
    Ref<IHierStorage> s = Xml("<a/>");
    s->WriteValue("v", c.text);
    EXPECT_EQ(ReadBool(s, "v", c.fallback), c.expected) << "text '" << c.text << "'";
  }
}

TEST(TypedAccessorTest, ReadEnumIsCaseSensitive) {
  constexpr const char* kModes = "/normal/screen/overlay/linearlight/addition/maxopaque";
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"normal", 0}, {"screen", 1}, {"maxopaque", 5}, {"Screen", -1},
      {"", -1},      {"scr", -1},   {"/screen", -1},  {"screen/", -1},
  };
  for (const auto& c : cases) {
    Ref<IHierStorage> s = Xml("<a/>");
    s->WriteValue("mode", c.text);
    EXPECT_EQ(ReadEnum(s, "mode", kModes, -1), c.expected) << "text '" << c.text << "'";
  }
  // The text before the first "/" is not an item.
  Ref<IHierStorage> s = Xml("<a mode='x'/>");
  EXPECT_EQ(ReadEnum(s, "mode", "x/y", 7), 7);
  EXPECT_EQ(ReadEnum(s, "mode", "/y/x", 7), 1);
}

// The C locale part bites only where a locale with a decimal comma is installed; the C++ global
// locale always has one here.
TEST(TypedAccessorTest, FloatsUseAPointWhateverTheLocale) {
  test::TCommaLocale comma;
  Ref<IHierStorage> s = Xml("<a f='1.5' g='1,5' h='-2.5e-3' i='' j='inf'/>");
  EXPECT_EQ(ReadFloat(s, "f", 0), 1.5);
  EXPECT_EQ(ReadFloat(s, "g", 7), 7);
  EXPECT_EQ(ReadFloat(s, "h", 0), -0.0025);
  EXPECT_EQ(ReadFloat(s, "i", 7), 7);
  EXPECT_TRUE(std::isinf(ReadFloat(s, "j", 0)));

  const struct {
    double value;
    const char* text;
  } writes[] = {
      {1.5, "1.5"},
      {-0.25, "-0.25"},
      {100, "100"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {1e20, "1e+20"},
  };
  for (const auto& w : writes) {
    WriteFloat(s, "w", true, w.value);
    EXPECT_EQ(ReadString(s, "w"), w.text);
  }
}

TEST(TypedAccessorTest, WritesHonourDoWriteAndTheirForms) {
  Ref<IHierStorage> s = Xml("<a/>");
  WriteBool(s, "b", false, true);
  WriteInt(s, "i", false, 1);
  WriteString(s, "s", false, "x");
  WriteFloat(s, "f", false, 1);
  WriteEnum(s, "e", "/a/b", false, 1);
  EXPECT_EQ(s->GetValueCount(), 0);

  WriteBool(s, "b", true, true);
  WriteInt(s, "i", true, -12);
  WriteEnum(s, "e", "/a/b", true, 1);
  WriteEnum(s, "out", "/a/b", true, 2);  // no such item: nothing
  WriteEnum(s, "neg", "/a/b", true, -1);
  EXPECT_EQ(s->GetXml(), "<a b=\"yes\" i=\"-12\" e=\"b\"/>");
  WriteBool(nullptr, "b", true, true);  // empty storage: nothing, no crash
}

TEST(TypedAccessorTest, ReadTextExpandsMacrosIntoUtf16) {
  Ref<IHierStorage> s = Xml("<a t='caf\xC3\xA9 \xF0\x9F\x98\x80 100%%'/>");
  EXPECT_EQ(ReadText(s, "t"), u"caf\u00e9 \U0001F600 100%");
  EXPECT_EQ(ReadText(s, "missing", "d"), u"d");
}

// ---------------------------------------------------------------------------------------------
// Templates ("_outstorage")

class TemplateTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTestFolder();
    test::WriteFile(folder_ / "base.xml",
                    "<base width='100' height='7' mode='screen'>"
                    "<item name='one'/><item name='two'/><only/></base>");
    spec_ = test::SpecFor(folder_ / "base.xml");
  }
  Ref<IHierStorage> Node(std::string_view attributes, std::string_view children = "") {
    return Xml("<n _outstorage='" + spec_ + "' " + std::string(attributes) + ">" +
               std::string(children) + "</n>");
  }

  test::TDataFileStateGuard guard_;
  fs::path folder_;
  std::string spec_;
};

TEST_F(TemplateTest, MissingOrDefaultValuedAttributesComeFromTheTemplate) {
  const struct {
    const char* attributes;
    const char* fallback;
    const char* expected;
  } cases[] = {
      {"", "0", "100"},           // missing: the template's
      {"width='0'", "0", "100"},  // states the caller's default: still the template's
      {"width='5'", "0", "5"},    // a value of its own
      {"width='0'", "1", "0"},    // differs from this caller's default: its own
      {"width=''", "", "100"},    // empty equals the empty default
  };
  for (const auto& c : cases) {
    Ref<IHierStorage> n = Node(c.attributes);
    EXPECT_EQ(n->ReadValue("width", c.fallback).ToString(), c.expected) << c.attributes;
  }
  // The typed accessors compare with their fallback's text.
  EXPECT_EQ(ReadInt(Node("width='0'"), "width", 0), 100);
  EXPECT_EQ(ReadInt(Node("width='0'"), "width", 3), 0);
  EXPECT_EQ(ReadEnum(Node("mode='normal'"), "mode", "/normal/screen", 0), 1);
  EXPECT_EQ(ReadString(Node(""), "absent", "d"), "d");
  // By index, the fallback goes by the attribute's name.
  Ref<IHierStorage> n = Node("width='0'");
  ASSERT_EQ(n->GetValueName(1), "width");
  EXPECT_EQ(n->ReadValueAt(1, "0").ToString(), "100");
}

TEST_F(TemplateTest, ChildrenFallBackPerTagWhenTheNodeHasNone) {
  Ref<IHierStorage> bare = Node("");
  EXPECT_EQ(bare->GetChildCount("item"), 2);
  EXPECT_EQ(ReadString(bare->GetChild("item", 1), "name"), "two");
  EXPECT_FALSE(bare->FindChild("item"));  // FindChild has no fallback

  Ref<IHierStorage> own = Node("", "<item name='mine'/>");
  EXPECT_EQ(own->GetChildCount("item"), 1);
  EXPECT_EQ(ReadString(own->GetChild("item", 0), "name"), "mine");
  EXPECT_EQ(ReadString(own->GetChild("item", 1), "name"), "two");  // index past its own
  EXPECT_EQ(own->GetChildCount("only"), 1);
  EXPECT_EQ(own->GetChildCount("none"), 0);
  EXPECT_FALSE(own->GetChild("none", 0));
}

TEST_F(TemplateTest, WritesNeverReachTheSharedTemplate) {
  Ref<IHierStorage> n = Node("");
  ASSERT_TRUE(n->WriteChildText("only", "changed"));
  Ref<IHierStorage> again = OpenStorageSpec(spec_);
  EXPECT_EQ(again->FindChild("only")->GetText(), "");
  EXPECT_EQ(n->FindChild("only")->GetText(), "changed");
}

TEST_F(TemplateTest, ChainsThatLeadBackStop) {
  // a names b, b names a; c names itself.
  test::WriteFile(folder_ / "a.xml",
                  "<a _outstorage='" + test::SpecFor(folder_ / "b.xml") + "' x='a'/>");
  test::WriteFile(folder_ / "b.xml",
                  "<b _outstorage='" + test::SpecFor(folder_ / "a.xml") + "' y='b'/>");
  test::WriteFile(folder_ / "c.xml",
                  "<c _outstorage='" + test::SpecFor(folder_ / "c.xml") + "' z='c'/>");
  Ref<IHierStorage> a = OpenStorageSpec(test::SpecFor(folder_ / "a.xml"));
  ASSERT_TRUE(a);
  EXPECT_EQ(ReadString(a, "y"), "b");  // through b
  EXPECT_EQ(ReadString(a, "missing", "d"), "d");
  EXPECT_EQ(a->GetChildCount("nothing"), 0);
  Ref<IHierStorage> c = OpenStorageSpec(test::SpecFor(folder_ / "c.xml"));
  ASSERT_TRUE(c);
  EXPECT_EQ(ReadString(c, "missing", "d"), "d");

  // A cached root reloaded to name a file whose chain leads back to it keeps no template.
  Ref<IHierStorage> b = OpenStorageSpec(test::SpecFor(folder_ / "b.xml"));
  Ref<IHierStorageRoot> bRoot = Query<IHierStorageRoot>(b);
  ASSERT_TRUE(bRoot->LoadFromText("<b _outstorage='" + test::SpecFor(folder_ / "a.xml") + "'/>"));
  EXPECT_EQ(ReadString(b, "missing", "d"), "d");
}

// ---------------------------------------------------------------------------------------------
// Loading text

TEST(XmlStorageLoadTest, DeclaredEncodingSelectsTheCodePage) {
  // "\xE9\x80" is "é€" in Windows-1252 and not valid UTF-8.
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><a t='\xE9\x80'/>",
       "\xC3\xA9\xE2\x82\xAC"},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><a t='\xE9\x80'/>", "\xC3\xA9\xE2\x82\xAC"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a t='\xC3\xA9'/>", "\xC3\xA9"},
      {"<?xml version=\"1.0\"?><a t='\xC3\xA9'/>", "\xC3\xA9"},
      {"<a t='\xC3\xA9'/>", "\xC3\xA9"},
      // A declaration that does not read as one: UTF-8, the bytes as they are.
      {"<?xml version=\"1.0\" encoding=windows-1252?><a t='\xE9'/>", "\xE9"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1252\"?><a t='\xC3\xA9'/>",
       "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    Ref<IHierStorage> s = LoadStorageFromText(c.text);
    ASSERT_TRUE(s) << c.text;
    EXPECT_EQ(ReadString(s, "t"), c.expected) << c.text;
  }
}

TEST(XmlStorageLoadTest, AnsiTableCoversTheUpperHalf) {
  EXPECT_EQ(AnsiToUtf8("\x80\x81\x8A\x9F\xA0\xFF"),
            "\xE2\x82\xAC\xC2\x81\xC5\xA0\xC5\xB8\xC2\xA0\xC3\xBF");
  EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00e9\u20ac\U0001F600");
  // Stray continuation byte, overlong form, encoded surrogate, truncated tail.
  EXPECT_EQ(Utf8ToUtf16("\x80"
                        "\xC0\xAF"
                        "\xED\xA0\x80"
                        "\xE2\x82"),
            u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(XmlStorageLoadTest, MalformedTextGivesNothing) {
  const std::string cases[] = {
      "",
      "   ",
      "<a>",
      "<a></b>",
      "<?xml version='1.0'?>",
      "text only",
      "<a b='1>",
      "<a b='1' b>",
      "<!-- only a comment -->",
      std::string("<a>\0</a>", 8),
      std::string("\xFF\xFE<\0a\0/\0>\0", 10),  // UTF-16 is not read
  };
  for (const std::string& text : cases) EXPECT_FALSE(LoadStorageFromText(text)) << text;
  Ref<IHierStorageRoot> root = NewStorage();
  EXPECT_FALSE(root->LoadFromText("<broken"));
  EXPECT_FALSE(root->GetDocumentText());
  EXPECT_FALSE(LoadStorageFromFile("/nonexistent/folder/file.xml"));
}

// The parser lets a repeated attribute through; lookups by name must not depend on what was read
// before.
TEST(XmlStorageLoadTest, RepeatedAttributesAnswerWithTheFirst) {
  std::string many = "<a";
  for (int i = 0; i < 40; ++i) many += " k" + std::to_string(i) + "='" + std::to_string(i) + "'";
  many += " k3='again' x='1' x='2'/>";
  for (const std::string& text : {std::string("<a y='0' x='1' x='2'/>"), many}) {
    Ref<IHierStorage> s = Xml(text);
    ASSERT_TRUE(s);
    for (int round = 0; round < 3; ++round) {
      EXPECT_EQ(ReadString(s, "x"), "1") << text;
      EXPECT_EQ(ReadString(s, "y", "0"), "0");
    }
  }
  Ref<IHierStorage> s = Xml(many);
  EXPECT_EQ(ReadString(s, "k3"), "3");
  EXPECT_EQ(ReadString(s, "k39"), "39");
  EXPECT_EQ(ReadString(s, "k3"), "3");
}

TEST(XmlStorageLoadTest, OrderAndTextSurviveARoundTrip) {
  const char* text =
      "<root z='1' a='2' m='&amp;&lt;&quot;&#10;'><b>one</b>mixed<a k='v'/>"
      "<sep> </sep><![CDATA[raw <text>]]></root>";
  Ref<IHierStorage> s = Xml(text);
  ASSERT_TRUE(s);
  std::vector<std::string> names;
  for (int i = 0; i < s->GetValueCount(); ++i) names.push_back(s->GetValueName(i));
  EXPECT_EQ(names, (std::vector<std::string>{"z", "a", "m"}));
  EXPECT_EQ(ReadString(s, "m"), "&<\"\n");
  EXPECT_EQ(s->GetChildCount(""), 5);
  EXPECT_EQ(s->FindChild("sep")->GetText(), " ");

  std::optional<std::string> saved = Query<IHierStorageRoot>(s)->GetDocumentText();
  ASSERT_TRUE(saved);
  Ref<IHierStorage> again = Xml(*saved);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->GetXml(), s->GetXml());
  EXPECT_EQ(again->GetText(), "onemixed raw <text>");
}

// ---------------------------------------------------------------------------------------------
// Nodes

TEST(XmlStorageNodeTest, ChildListsFollowChangesMadeThroughAnyStorage) {
  Ref<IHierStorage> root = Xml("<r><list><i/><i/><j/></list></r>");
  // Two storages of the same element: each caches its own child list.
  Ref<IHierStorage> reader = root->FindChild("list");
  Ref<IHierStorage> writer = root->GetChild("list", 0);
  EXPECT_EQ(reader->GetChildCount("i"), 2);
  ASSERT_TRUE(writer->AddChild("i"));
  EXPECT_EQ(reader->GetChildCount("i"), 3);
  Ref<IHierStorage> first = reader->GetChild("i", 0);
  EXPECT_FALSE(root->RemoveChild(first));         // not a child of <r>
  EXPECT_FALSE(Xml("<x/>")->RemoveChild(first));  // another document
  EXPECT_TRUE(writer->RemoveChild(first));
  EXPECT_FALSE(writer->RemoveChild(first));  // no longer a child
  EXPECT_EQ(reader->GetChildCount("i"), 2);
  EXPECT_EQ(reader->GetChildCount(""), 3);
  EXPECT_EQ(reader->GetChild("", 2)->GetNodeName(), "i");
}

TEST(XmlStorageNodeTest, RemovedElementsStayUsableThroughTheirStorages) {
  Ref<IHierStorage> root = Xml("<r><a x='1'><b y='2'><c/></b></a><keep/></r>");
  Ref<IHierStorage> a = root->FindChild("a");
  Ref<IHierStorage> b = a->FindChild("b");
  ASSERT_TRUE(root->RemoveChild(a));
  root.reset();  // the document stays alive through the storages
  a.reset();
  EXPECT_EQ(ReadString(b, "y"), "2");
  Ref<IHierStorage> c = b->FindChild("c");
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->WriteValue("z", 3));
  b->SetText("replaced");  // removes c's element; c's storage keeps it
  EXPECT_EQ(ReadString(c, "z"), "3");
  EXPECT_EQ(b->GetXml(), "<b y=\"2\">replaced</b>");
}

TEST(XmlStorageNodeTest, InnerTextAndInnerXml) {
  Ref<IHierStorage> s = Xml("<r><t>hi</t><e/><m><b/>x</m></r>");
  EXPECT_EQ(s->ReadChildInner("t").ToString(), "hi");
  EXPECT_EQ(s->ReadChildInner("e").ToString(), "");
  EXPECT_EQ(s->ReadChildInner("m").ToString(), "<b/>x");
  EXPECT_TRUE(s->ReadChildInner("none").IsUnassigned());
  EXPECT_TRUE(s->ReadChildText("none").IsUnassigned());

  ASSERT_TRUE(s->WriteChildInner("new", "<c k='1'><d/></c>"));
  EXPECT_EQ(s->FindChild("new")->GetXml(), "<new><c k=\"1\"><d/></c></new>");
  ASSERT_TRUE(s->WriteChildInner("new", "<e/>"));  // appended
  EXPECT_EQ(s->FindChild("new")->GetChildCount(""), 2);
  ASSERT_TRUE(s->WriteChildInner("plain", "a < b & c"));
  EXPECT_EQ(s->ReadChildText("plain").ToString(), "a < b & c");
  EXPECT_EQ(s->FindChild("plain")->GetXml(), "<plain>a &lt; b &amp; c</plain>");
}

TEST(XmlStorageNodeTest, ByPathWithSection) {
  Ref<IHierStorage> s =
      Xml("<screen><widgets><w name='OK' v='section'/><panel><x v='deep'/></panel></widgets>"
          "<ok v='own'/><Panel v='own panel'/></screen>");
  EXPECT_EQ(ReadString(s->GetByPath("ok", "widgets"), "v"), "section");
  EXPECT_EQ(ReadString(s->GetByPath("ok", ""), "v"), "own");
  EXPECT_EQ(ReadString(s->GetByPath("OK", ""), "v"), "own");
  EXPECT_EQ(ReadString(s->GetByPath("panel", ""), "v"), "own panel");
  EXPECT_EQ(ReadString(s->GetByPath("panel", "widgets"), "v"), "");
  EXPECT_EQ(ReadString(s->GetByPath("widgets/panel/x", ""), "v"), "deep");
  EXPECT_FALSE(s->GetByPath("widgets/nothing", ""));
  EXPECT_EQ(s->GetByPath("", "")->GetNodeName(), "screen");
}

TEST(XmlStorageNodeTest, CopiesAcrossDocuments) {
  Ref<IHierStorage> src = Xml("<s><a k='1'><b/></a></s>");
  Ref<IHierStorage> dst = Xml("<d/>");
  EXPECT_TRUE(dst->AppendCopy(src->FindChild("a")));
  EXPECT_TRUE(dst->AppendCopy(dst));  // into itself: a snapshot
  EXPECT_EQ(dst->GetXml(), "<d><a k=\"1\"><b/></a><d><a k=\"1\"><b/></a></d></d>");
  src->FindChild("a")->WriteValue("k", 2);
  EXPECT_EQ(ReadString(dst->FindChild("a"), "k"), "1");
  EXPECT_FALSE(dst->AppendCopy(nullptr));
}

TEST(XmlStorageNodeTest, InvalidNamesAreRefused) {
  Ref<IHierStorage> s = Xml("<r/>");
  for (const char* bad : {"", "a b", "1x", "-x", "a<b", "a\"", "x=y"}) {
    EXPECT_FALSE(s->AddChild(bad)) << bad;
    EXPECT_FALSE(s->WriteValue(bad, "v")) << bad;
  }
  EXPECT_FALSE(CreateStorage("no good"));
  EXPECT_TRUE(s->AddChild("ns:x_1.y-z"));
  EXPECT_TRUE(s->WriteValue("\xC3\xA9t\xC3\xA9", "v"));
  // Whatever is written reads back.
  EXPECT_TRUE(Xml(*Query<IHierStorageRoot>(s)->GetDocumentText()));
}

// ---------------------------------------------------------------------------------------------
// Bad and extreme input

TEST(XmlStorageLimitsTest, VeryDeepNesting) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<a>";
  text += "bottom";
  for (int i = 0; i < kDepth; ++i) text += "</a>";
  Ref<IHierStorage> root = LoadStorageFromText(text);
  ASSERT_TRUE(root);

  Ref<IHierStorage> node = root;
  int depth = 1;
  while (Ref<IHierStorage> next = node->GetChild("a", 0)) {
    node = next;
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(node->GetText(), "bottom");
  EXPECT_EQ(root->GetText(), "bottom");
  // Output stays linear in the input (no indentation at this depth).
  std::optional<std::string> saved = Query<IHierStorageRoot>(root)->GetDocumentText();
  ASSERT_TRUE(saved);
  EXPECT_LT(saved->size(), text.size() * 2);
  EXPECT_EQ(root->GetXml().size(), saved->size());
  EXPECT_EQ(root->GetByPath("a/a/a", "")->GetChildCount("a"), 1);

  // Copying, removing and destroying the deep tree must not recurse per level.
  Ref<IHierStorage> holder = Xml("<h/>");
  EXPECT_TRUE(holder->AppendCopy(root));
  Ref<IHierStorage> top = root->FindChild("a");
  node.reset();
  EXPECT_TRUE(root->RemoveChild(top));  // a live storage: moved aside
  top.reset();                          // now freed
  EXPECT_EQ(root->GetChildCount(""), 0);
  Ref<IHierStorage> copy = holder->FindChild("a");
  EXPECT_TRUE(holder->RemoveChild(copy));
  copy.reset();
  root->SetText("flat");
}

TEST(XmlStorageLimitsTest, HugeAttributeCounts) {
  constexpr int kCount = 100000;
  std::string text = "<a";
  for (int i = 0; i < kCount; ++i)
    text += " k" + std::to_string(i) + "='" + std::to_string(i) + "'";
  text += "/>";
  Ref<IHierStorage> s = LoadStorageFromText(text);
  ASSERT_TRUE(s);
  ASSERT_EQ(s->GetValueCount(), kCount);
  // In order, by name and by index: each lookup continues where the last one ended.
  int64_t sum = 0;
  for (int i = 0; i < kCount; ++i) sum += ReadInt(s, "k" + std::to_string(i), 0);
  for (int i = 0; i < kCount; ++i) sum += ReadInt(s, s->GetValueName(i), 0);
  for (int i = 0; i < kCount; ++i) sum -= s->ReadValueAt(i, "").ToInt();
  EXPECT_EQ(sum, int64_t(kCount) * (kCount - 1) / 2);
  EXPECT_EQ(ReadInt(s, "k0", -1), 0);  // wraps around to the start
  EXPECT_TRUE(s->RemoveValue("k5"));
  EXPECT_EQ(ReadInt(s, "k5", -1), -1);
  EXPECT_EQ(s->GetValueName(5), "k6");
  EXPECT_EQ(s->GetValueCount(), kCount - 1);
}

// ---------------------------------------------------------------------------------------------
// Referenced files and saving

class StorageFileTest : public testing::Test {
 protected:
  void SetUp() override { folder_ = test::MakeTestFolder(); }
  void TearDown() override {
    if (!folder_.empty()) fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
  }
  test::TDataFileStateGuard guard_;
  fs::path folder_;
};

TEST_F(StorageFileTest, SpecsAreCachedByFileIgnoringCase) {
  test::WriteFile(folder_ / "Level.xml", "<level v='1'/>");
  std::string storageSpec = test::SpecFor(folder_ / "Level.xml");
  Ref<IHierStorage> first = OpenStorageSpec(storageSpec);
  ASSERT_TRUE(first);
  test::WriteFile(folder_ / "Level.xml", "<level v='2'/>");
  EXPECT_EQ(OpenStorageSpec(storageSpec), first);
  std::string upper = test::SpecFor(folder_ / "LEVEL.XML");
  EXPECT_EQ(OpenStorageSpec(upper), first);
  ClearStorageCache();
  EXPECT_EQ(ReadString(OpenStorageSpec(storageSpec), "v"), "2");
  EXPECT_FALSE(OpenStorageSpec("cryptkey=abc"));
  EXPECT_FALSE(OpenStorageSpec(test::SpecFor(folder_ / "absent.xml")));
}

TEST_F(StorageFileTest, SpecPathsMayUseBackslashesAndBraces) {
  test::WriteFile(folder_ / "data" / "levels" / "common.xml", "<c v='ok'/>");
  std::string dataPath = (folder_ / "data").string() + "\\levels\\common.xml";
  EXPECT_EQ(ReadString(OpenStorageSpec("file=" + dataPath), "v"), "ok");
  ClearStorageCache();
  EXPECT_EQ(ReadString(OpenStorageSpec("file={" + dataPath + "}"), "v"), "ok");
}

TEST_F(StorageFileTest, EncipheredSpecsRoundTrip) {
  const std::string key = "k3yk3yk3yk3yk3yk";
  std::string storageSpec = test::SpecFor(folder_ / "new" / "deeper" / "s.dat", key);
  Ref<IHierStorageRoot> doc = CreateStorage("save");
  Query<IHierStorage>(doc)->WriteValue("score", 1200);
  ASSERT_TRUE(SaveStorageToSpec(Query<IHierStorage>(doc), storageSpec));  // creates the folders
  std::string onDisk = test::ReadFile(folder_ / "new" / "deeper" / "s.dat");
  EXPECT_EQ(onDisk.find("score"), std::string::npos);
  EXPECT_EQ(DecodeText(onDisk, key, 16).find("<save score=\"1200\""), 0u);
  EXPECT_EQ(ReadInt(OpenStorageSpec(storageSpec), "score", 0), 1200);

  // Saving again replaces the file and the cached copy.
  Query<IHierStorage>(doc)->WriteValue("score", 1300);
  ASSERT_TRUE(SaveStorageToSpec(Query<IHierStorage>(doc), storageSpec));
  EXPECT_EQ(ReadInt(OpenStorageSpec(storageSpec), "score", 0), 1300);

  ClearStorageCache();
  EXPECT_FALSE(OpenStorageSpec(test::SpecFor(folder_ / "new" / "deeper" / "s.dat", "wrong key")));
}

TEST_F(StorageFileTest, SavedFilesAreNotWritableByOthers) {
  Ref<IHierStorageRoot> doc = CreateStorage("r");
  std::string path = (folder_ / "sub" / "x.xml").string();
  ASSERT_TRUE(SaveStorageToSpec(Query<IHierStorage>(doc), "file=" + path));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0022, 0u);
  ASSERT_EQ(::stat((folder_ / "sub").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0002, 0u);
  EXPECT_TRUE(doc->SaveToFile(path));
  EXPECT_EQ(test::ReadFile(path), "<r />\n");
  Ref<IHierStorage> back = LoadStorageFromFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->GetNodeName(), "r");
  EXPECT_EQ(fs::directory_iterator(folder_ / "sub")->path().filename(), "x.xml");  // no leftovers
}

// A write that fails half-way (a full disk, here a file size limit; permissions do not bind
// root) leaves the old file as it was and no temporary file behind.
TEST_F(StorageFileTest, AFailedSaveLeavesTheOldFileIntact) {
  fs::path file = folder_ / "keep.xml";
  test::WriteFile(file, "<old/>");
  Ref<IHierStorageRoot> doc = CreateStorage("new");
  Query<IHierStorage>(doc)->WriteValue("big", std::string(100000, 'x'));

  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
  rlimit limit{}, saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  limit = saved;
  limit.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  bool savedOk = doc->SaveToFile(file.string());
  bool specOk = SaveStorageToSpec(Query<IHierStorage>(doc), test::SpecFor(file));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &old, nullptr);

  EXPECT_FALSE(savedOk);
  EXPECT_FALSE(specOk);
  EXPECT_EQ(test::ReadFile(file), "<old/>");
  int entries = 0;
  for (const auto& e : fs::directory_iterator(folder_)) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1);

  // A folder that is a file cannot take the save either.
  EXPECT_FALSE(doc->SaveToFile((file / "inside.xml").string()));
  EXPECT_FALSE(SaveStorageToSpec(Query<IHierStorage>(doc), test::SpecFor(file / "in" / "x.xml")));
  EXPECT_EQ(test::ReadFile(file), "<old/>");
}

TEST_F(StorageFileTest, AReadOnlyFolderKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "read-only folders do not stop root";
  fs::path file = folder_ / "keep.xml";
  test::WriteFile(file, "<old/>");
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(CreateStorage("new")->SaveToFile(file.string()));
  fs::permissions(folder_, fs::perms::owner_all);
  EXPECT_EQ(test::ReadFile(file), "<old/>");
}

}  // namespace
}  // namespace lumessa
