#include "resources/resource_catalogue.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "resource_test_support.h"
#include "resources/sound_resource.h"

namespace lumessa {
namespace {

using NameList = std::vector<std::string>;
using Calls = std::vector<std::string>;
using CatalogueTest = test::ResourceTest;

// ---------------------------------------------------------------------------------------------
// RemoveGroup

struct TRemoveCase {
  const char* name;
  const char* group;
  NameList remaining;
  Calls freed;  // in the order the resources were released
};
void PrintTo(const TRemoveCase& c, std::ostream* os) {
  *os << c.name;
}

const TRemoveCase kRemoveCases[] = {
    {"exact_group", "Salon1", {"b", "c"}, {"FreeSample 4", "FreeSample 1"}},
    // Group tags compare exactly: letter case counts.
    {"other_letter_case", "salon1", {"a", "c", "d"}, {"FreeSample 2"}},
    {"empty_means_all", "", {}, {"FreeSample 4", "FreeSample 3", "FreeSample 2", "FreeSample 1"}},
    {"unknown_group", "Salon2", {"a", "b", "c", "d"}, {}},
};

class RemoveGroupTest : public test::ResourceTest,
                        public testing::WithParamInterface<TRemoveCase> {};

TEST_P(RemoveGroupTest, ReleasesAndRemovesFromLastToFirst) {
  auto sound = [](const char* name) {
    return std::string("<r><content><resource type=\"SoundResource\" file=\"x.wav\" name=\"") +
           name + "\"/></content></r>";
  };
  LoadResources(sound("a"), "Salon1");
  LoadResources(sound("b"), "salon1");
  LoadResources(sound("c"), "Menu");
  LoadResources(sound("d"), "Salon1");
  Ref<IResource> a = Get("a");
  owner_->calls.clear();
  owner_->catalogue->RemoveGroup(GetParam().group);
  EXPECT_EQ(Names(), GetParam().remaining);
  EXPECT_EQ(owner_->calls, GetParam().freed);
  // A released resource has no data and no owner: it cannot load again.
  bool removed = !owner_->catalogue->Contains("a");
  EXPECT_EQ(Query<ISoundResource>(a)->GetSample(), removed ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Groups, RemoveGroupTest, testing::ValuesIn(kRemoveCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST_F(CatalogueTest, NamesAreKeysIgnoringCase) {
  Ref<TResourceCollection> catalogue = owner_->catalogue;
  auto make = [](const char* name) {
    Ref<TAbstractObject> object = CreateNamedObject("ImageResource", name);
    return Query<IResource>(object);
  };
  EXPECT_TRUE(catalogue->Add(make("Logo")));
  EXPECT_FALSE(catalogue->Add(make("LOGO")));
  EXPECT_FALSE(catalogue->Add(nullptr));
  EXPECT_TRUE(catalogue->Add(make("Back")));
  EXPECT_EQ(Names(), (NameList{"Logo", "Back"}));
  EXPECT_EQ(catalogue->Get(TVariant("logo"))->GetName(), "Logo");
  EXPECT_EQ(catalogue->Get(TVariant(1))->GetName(), "Back");
  EXPECT_FALSE(catalogue->Get(TVariant(2)));
}

TEST_F(CatalogueTest, ResourceSavesFileAlwaysAndLoadByDemandOnlyWhilePending) {
  LoadResources(R"(<r><content>
    <resource name="now" type="SoundResource" file="a.wav"/>
    <resource name="later" type="SoundResource" file="b.wav" loadbydemand="yes"/>
    <resource name="nofile" type="MusicResource" format="ogg" loadbydemand="no"/>
  </content></r>)");
  auto saved = [&](const char* name) {
    Ref<IHierStorage> out = Query<IHierStorage>(CreateStorage("resource"));
    SaveObject(Ref<IInterface>(Get(name)), out);
    return out->GetXml();
  };
  EXPECT_EQ(saved("now"), R"(<resource name="now" type="SoundResource" file="a.wav" )"
                          R"(maxplaybacks="1"/>)");
  EXPECT_EQ(saved("later"), R"(<resource name="later" type="SoundResource" file="b.wav" )"
                            R"(loadbydemand="yes" maxplaybacks="1"/>)");
  EXPECT_EQ(saved("nofile"),
            R"(<resource name="nofile" type="MusicResource" file="" format="ogg"/>)");
}

// ---------------------------------------------------------------------------------------------
// Resource files

TEST(ResourceFiles, LoadKeyedByNameWithAsynchAsTheDefault) {
  test::EnsureResourceClasses();
  Ref<IHierStorage> xml = LoadStorageFromText(R"(<resourcefiles>
      <resourcefile name="common" filename="data\res\common.xml" loadmode="synch"/>
      <resourcefile name="salon" filename="data\res\salon.xml"/>
      <resourcefile name="odd" filename="odd.xml" loadmode="sometimes"/>
      <resourcefile name="COMMON" filename="again.xml"/>
      <resourcefile filename="unnamed1.xml"/>
      <resourcefile filename="unnamed2.xml"/>
    </resourcefiles>)");
  Ref<TResourceFileCollection> files = NewObject<TResourceFileCollection>();
  files->Load(xml);
  struct TExpected {
    const char* file;
    int mode;
  } expected[] = {{"data\\res\\common.xml", lmSynch},
                  {"data\\res\\salon.xml", lmAsynch},
                  {"odd.xml", lmAsynch},
                  {"unnamed1.xml", lmAsynch},
                  {"unnamed2.xml", lmAsynch}};
  ASSERT_EQ(files->Count(), 5);
  for (int i = 0; i < 5; ++i) {
    Ref<IResourceFile> file = files->Get(TVariant(i));
    EXPECT_EQ(file->GetFileName(), expected[i].file);
    EXPECT_EQ(file->GetLoadMode(), expected[i].mode) << expected[i].file;
  }
  EXPECT_EQ(files->Get(TVariant("Common"))->GetFileName(), "data\\res\\common.xml");

  Ref<IHierStorage> out = Query<IHierStorage>(CreateStorage("resourcefiles"));
  files->Save(out);
  EXPECT_EQ(out->GetChild("resourcefile", 0)->GetXml(),
            R"(<resourcefile name="common" type="ResourceFile" filename="data\res\common.xml" )"
            R"(loadmode="synch"/>)");
  EXPECT_EQ(out->GetChild("resourcefile", 1)->GetXml(),
            R"(<resourcefile name="salon" type="ResourceFile" filename="data\res\salon.xml"/>)");
}

}  // namespace
}  // namespace lumessa
