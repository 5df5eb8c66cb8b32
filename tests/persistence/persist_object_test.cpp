#include "persistence/persist_object.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "test_support.h"

namespace lumessa {
namespace {

namespace fs = std::filesystem;
using test::Xml;

// A property object as the widgets will be: own keys with defaults, written when they differ.
class TTestWidget : public TPropertyObject {
 public:
  void Initialize() override {
    TPropertyObject::Initialize();
    SetNodeName("widget");
  }
  void SetProperty(std::string_view name, const TVariant& value) override {
    if (name == "width")
      width = int(value.ToInt(width));
    else if (name == "color")
      color = value.ToString();
    else
      TPropertyObject::SetProperty(name, value);
  }
  TVariant GetProperty(std::string_view name) const override {
    if (name == "width") return width;
    if (name == "color") return color;
    return TPropertyObject::GetProperty(name);
  }
  int width = 0;
  std::string color = "white";

 protected:
  void LoadProperties(const Ref<IHierStorage>& s) override {
    TPropertyObject::LoadProperties(s);
    width = ReadInt(s, "width", 0);
    color = ReadString(s, "color", "white");
  }
  void SaveProperties(const Ref<IHierStorage>& s) override {
    TPropertyObject::SaveProperties(s);
    WriteInt(s, "width", width != 0, width);
    WriteString(s, "color", color != "white", color);
  }
};

// An unregistered storable class and a class that is not storable at all.
class TPlainItem : public TPersistObject {};
class TNotStorable : public TNamedObject {};

// Keeps its items by name, as concrete collections do.
class TTestWidgets : public TTypedCreationPersistItemCollection {
 public:
  void Initialize() override {
    TTypedCreationPersistItemCollection::Initialize();
    SetNodeName("widgets");
    SetItemNodeName("widget");
  }

 protected:
  void AddItem(const Ref<IInterface>& item) override {
    Ref<INamedObject> named = Query<INamedObject>(item);
    items_.Add(item, !named || named->GetName().empty(), -1, named ? named->GetName() : "");
  }
};

class TTestPlainItems : public TStaticCreationPersistItemCollection {
 public:
  void Initialize() override {
    TStaticCreationPersistItemCollection::Initialize();
    SetItemNodeName("item");
    SetItemClass(TObjectClass::Of<TPlainItem>());
  }

 protected:
  void AddItem(const Ref<IInterface>& item) override { items_.Add(item, true); }
};

class PersistObjectTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterObjectClass<TTestWidget>("test_widget");
    RegisterObjectClass<TNotStorable>("test_not_storable");
    folder_ = test::MakeTestFolder();
  }
  void TearDown() override {
    UnregisterObjectClass("test_widget");
    UnregisterObjectClass("test_not_storable");
  }
  Ref<TTestWidget> Widget() { return NewObject<TTestWidget>(); }

  test::TDataFileStateGuard guard_;
  fs::path folder_;
};

TEST_F(PersistObjectTest, LoadAndSaveTheBaseAttributes) {
  Ref<TTestWidget> w = Widget();
  EXPECT_EQ(w->TypeName(), "test_widget");
  EXPECT_EQ(w->GetNodeName(), "widget");
  EXPECT_TRUE(w->IsStored());

  w->SetName("given at creation");
  w->Load(Xml("<widget width='5'/>"));
  EXPECT_EQ(w->GetName(), "");  // a node without "name" clears it
  EXPECT_EQ(w->width, 5);

  w->Load(Xml("<widget name='ok' color='red'/>"));
  Ref<IHierStorage> out = Xml("<widget/>");
  w->Save(out);
  EXPECT_EQ(out->GetXml(), "<widget name=\"ok\" type=\"test_widget\" color=\"red\"/>");

  // An unregistered class writes no "type"; an unnamed object no "name".
  Ref<TPlainItem> plain = NewObject<TPlainItem>();
  EXPECT_EQ(plain->TypeName(), "");
  Ref<IHierStorage> plainOut = Xml("<item/>");
  plain->Save(plainOut);
  EXPECT_EQ(plainOut->GetValueCount(), 0);
}

TEST_F(PersistObjectTest, PropertiesByName) {
  Ref<TTestWidget> w = Widget();
  Ref<IPropertyObject> p = Query<IPropertyObject>(w);
  p->SetProperty("width", "12");
  p->SetProperty("unknown", 5);  // ignored
  EXPECT_EQ(p->GetProperty("width").ToInt(), 12);
  EXPECT_TRUE(p->GetProperty("unknown").IsNull());
  EXPECT_EQ(p->GetPropertyDef("unknown", "dflt").ToString(), "dflt");
  EXPECT_EQ(p->GetPropertyDef("color", "dflt").ToString(), "white");
  p->SetProperty("color", "");
  EXPECT_EQ(p->GetPropertyDef("color", "dflt").ToString(), "");  // a value, if empty
}

// With "template" = "yes" only what differs from the referenced file goes into the node; the
// file stays as it was.
TEST_F(PersistObjectTest, TemplateSaveWritesOnlyTheDifferences) {
  test::WriteFile(folder_ / "base.xml", "<widget width='100' color='red'/>");
  std::string storageSpec = test::SpecFor(folder_ / "base.xml");
  std::string before = test::ReadFile(folder_ / "base.xml");

  Ref<TTestWidget> w = Widget();
  w->Load(Xml("<widget name='w1' _outstorage='" + storageSpec + "' template='yes' width='5'/>"));
  EXPECT_EQ(w->width, 5);
  EXPECT_EQ(w->color, "red");  // from the referenced file
  EXPECT_TRUE(w->IsTemplateNode());

  w->color = "blue";
  Ref<IHierStorage> out = Xml("<widget/>");
  w->Save(out);
  std::vector<std::pair<std::string, std::string>> written;
  for (int i = 0; i < out->GetValueCount(); ++i)
    written.emplace_back(out->GetValueName(i), out->ReadValueAt(i, "").ToString());
  EXPECT_EQ(written,
            (std::vector<std::pair<std::string, std::string>>{{"name", "w1"},
                                                              {"type", "test_widget"},
                                                              {"width", "5"},
                                                              {"color", "blue"},
                                                              {"template", "yes"},
                                                              {"_outstorage", storageSpec}}));
  EXPECT_EQ(test::ReadFile(folder_ / "base.xml"), before);

  // Equal to the file: nothing but the reference.
  w->width = 100;
  w->color = "red";
  w->SetName("");
  Ref<IHierStorage> same = Xml("<widget/>");
  w->Save(same);
  EXPECT_EQ(same->GetXml(),
            "<widget type=\"test_widget\" template=\"yes\" _outstorage=\"" + storageSpec + "\"/>");
}

// Without "template" the whole content rewrites the referenced file and the node keeps only
// the reference (and what it already held).
TEST_F(PersistObjectTest, OutStorageSaveRewritesTheReferencedFile) {
  fs::path file = folder_ / "defs" / "w.xml";
  test::WriteFile(file, "<widget width='100'/>");
  std::string storageSpec = test::SpecFor(file);
  Ref<TTestWidget> w = Widget();
  w->Load(Xml("<widget _outstorage='" + storageSpec + "'/>"));
  EXPECT_EQ(w->width, 100);

  w->width = 7;
  w->color = "green";
  Ref<IHierStorage> out = Xml("<widget keep='me'/>");
  w->Save(out);
  EXPECT_EQ(out->GetXml(), "<widget keep=\"me\" _outstorage=\"" + storageSpec + "\"/>");
  Ref<IHierStorage> rewritten = LoadStorageFromText(test::ReadFile(file));
  ASSERT_TRUE(rewritten);
  EXPECT_EQ(rewritten->GetXml(), "<widget type=\"test_widget\" width=\"7\" color=\"green\"/>");
  // And the next load sees the new content, not a stale cached copy.
  Ref<TTestWidget> again = Widget();
  again->Load(Xml("<widget _outstorage='" + storageSpec + "'/>"));
  EXPECT_EQ(again->width, 7);
}

TEST_F(PersistObjectTest, TypedCollectionSkipsUnknownTypesAndUnstoredItems) {
  Ref<TTestWidgets> list = NewObject<TTestWidgets>();
  list->Load(
      Xml("<widgets>"
          "<widget type='test_widget' name='a' width='1'/>"
          "<widget type='no_such_type' name='b'/>"
          "<widget type='test_widget{}' name='c' width='3'/>"
          "<widget name='no type'/>"
          "<widget type='test_not_storable' name='d'/>"
          "</widgets>"));
  ASSERT_EQ(list->Count(), 3);
  EXPECT_EQ(list->GetAs<TTestWidget>(TVariant("c"))->width, 3);
  EXPECT_TRUE(list->Contains("d"));  // created and added, though it cannot load

  list->GetAs<TTestWidget>(TVariant("a"))->SetStored(false);
  Ref<IHierStorage> out = Xml("<widgets/>");
  list->Save(out);
  // "a" is not stored and "d" is not storable: neither leaves an element.
  EXPECT_EQ(out->GetXml(),
            "<widgets><widget name=\"c\" type=\"test_widget\" width=\"3\"/></widgets>");

  list->Reset();
  EXPECT_EQ(list->Count(), 0);
}

TEST_F(PersistObjectTest, StaticCollectionCreatesItsOneClass) {
  Ref<TTestPlainItems> items = NewObject<TTestPlainItems>();
  items->Load(Xml("<items><item name='x' type='test_widget'/><other/><item/></items>"));
  ASSERT_EQ(items->Count(), 2);
  EXPECT_TRUE(items->GetAs<TPlainItem>(TVariant(0)));
  EXPECT_EQ(items->GetAs<INamedObject>(TVariant(0))->GetName(), "x");

  Ref<TTestPlainItems> none = NewObject<TTestPlainItems>();
  none->SetItemClass(TObjectClass{});
  none->Load(Xml("<items><item/></items>"));
  EXPECT_EQ(none->Count(), 0);
}

TEST_F(PersistObjectTest, ObjectHelpers) {
  Ref<IHierStorage> s =
      Xml("<screen><widget name='first' width='1'/><widget name='second' width='2'/>"
          "<panel type='test_widget' name='p' width='9'/><bad type='test_not_storable'/></screen>");

  Ref<TAbstractObject> named = CreateNamedObject("test_widget", "n");
  EXPECT_EQ(Query<INamedObject>(named)->GetName(), "n");
  EXPECT_FALSE(CreateNamedObject("nothing_registered", "n"));

  Ref<TTestWidget> w = Widget();
  EXPECT_TRUE(LoadObjectFromChild(Ref<IInterface>(w), s, "", 1));  // the node name "widget"
  EXPECT_EQ(w->width, 2);
  EXPECT_FALSE(LoadObjectFromChild(Ref<IInterface>(w), s, "widget", 2));
  EXPECT_FALSE(LoadObject(Ref<IInterface>(NewObject<TNotStorable>()), s));

  EXPECT_FALSE(CreateAndLoad(TObjectClass::Of<TTestWidget>(), s, "widget", 2));
  Ref<TAbstractObject> loaded = CreateAndLoad(TObjectClass::Of<TTestWidget>(), s, "widget", 0);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(Query<INamedObject>(loaded)->GetName(), "first");
  EXPECT_FALSE(CreateAndLoad(TObjectClass::Of<TNotStorable>(), s, "bad", 0));

  Ref<TAbstractObject> panel = CreateFromChild(s, "panel", 0);
  ASSERT_TRUE(panel);
  EXPECT_EQ(Query<TTestWidget>(panel)->width, 9);
  EXPECT_FALSE(CreateFromChild(s, "bad", 0));     // not storable: discarded
  EXPECT_FALSE(CreateFromChild(s, "widget", 0));  // no type
  EXPECT_FALSE(CreateFromChild(s, "panel", 1));

  Ref<IHierStorage> out = Xml("<out/>");
  w->SetStored(false);
  EXPECT_TRUE(SaveObjectToChild(Ref<IInterface>(w), out, ""));  // true, nothing written
  EXPECT_EQ(out->GetChildCount(""), 0);
  w->SetStored(true);
  EXPECT_TRUE(SaveObjectToChild(Ref<IInterface>(w), out, ""));
  EXPECT_TRUE(SaveObjectToChild(Ref<IInterface>(w), out, "renamed"));
  EXPECT_EQ(out->GetChildCount("widget"), 1);
  EXPECT_EQ(out->GetChildCount("renamed"), 1);
  EXPECT_FALSE(SaveObjectToChild(Ref<IInterface>(NewObject<TPlainItem>()), out, ""));  // no name
  EXPECT_TRUE(SaveObject(Ref<IInterface>(w), out->FindChild("renamed")));
}

TEST_F(PersistObjectTest, RootStorageLoadsAndSavesObjects) {
  Ref<IHierStorageRoot> root = CreateStorage("widget");
  Ref<TTestWidget> w = Widget();
  w->width = 42;
  ASSERT_TRUE(root->SaveObject(Ref<IStorable>(w)));
  Ref<TTestWidget> back = Widget();
  Ref<IHierStorageRoot> reread = NewStorage();
  ASSERT_TRUE(reread->LoadFromText(*root->GetDocumentText()));
  ASSERT_TRUE(reread->LoadObject(Ref<IStorable>(back)));
  EXPECT_EQ(back->width, 42);
  EXPECT_FALSE(NewStorage()->LoadObject(Ref<IStorable>(back)));  // no document
}

}  // namespace
}  // namespace lumessa
