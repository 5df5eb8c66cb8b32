#include "resources/sound_resource.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "engine/random.h"
#include "resource_test_support.h"

namespace lumessa {
namespace {

using SoundResourceTest = test::ResourceTest;
using Calls = std::vector<std::string>;

// What each resource asks of the audio layer when it gets its owner and when it is released.
struct TAudioCase {
  const char* name;
  const char* xml;  // one resource named "r"
  Calls onLoad;
  Calls onRelease;
  int masterVolume;  // sounds only
};
void PrintTo(const TAudioCase& c, std::ostream* os) {
  *os << c.name;
}

const TAudioCase kAudioCases[] = {
    {"sound_raises_no_playbacks_to_one",
     R"(<resource name="r" type="SoundResource" file="s.wav"/>)",
     {"LoadSample s.wav 1 -> 1"},
     {"FreeSample 1"},
     100},
    {"sound_keeps_its_playbacks_and_volume",
     R"(<resource name="r" type="SoundResource" file="s.wav" maxplaybacks="4"
                  master_volume="40"/>)",
     {"LoadSample s.wav 4 -> 1"},
     {"FreeSample 1"},
     40},
    {"sound_volume_is_clamped",
     R"(<resource name="r" type="SoundResource" file="s.wav" master_volume="150"/>)",
     {"LoadSample s.wav 1 -> 1"},
     {"FreeSample 1"},
     100},
    {"module_music",
     R"(<resource name="r" type="MusicResource" file="m.mo3"/>)",
     {"LoadMusicModule m.mo3 -> 1"},
     {"FreeMusicModule 1"},
     0},
    // The channel (handle 2) goes with its sample (handle 1).
    {"ogg_music",
     R"(<resource name="r" type="MusicResource" file="m.ogg" format="ogg"/>)",
     {"LoadMusicSample m.ogg -> 1"},
     {"FreeSample 1"},
     0},
    {"by_demand_loads_nothing_and_frees_nothing",
     R"(<resource name="r" type="SoundResource" file="s.wav" loadbydemand="yes"/>)",
     {},
     {},
     100},
};

class AudioCaseTest : public test::ResourceTest, public testing::WithParamInterface<TAudioCase> {};

TEST_P(AudioCaseTest, LoadsThroughTheOwnerAndFreesOnRelease) {
  const TAudioCase& c = GetParam();
  LoadResources(std::string("<r><content>") + c.xml + "</content></r>");
  EXPECT_EQ(owner_->calls, c.onLoad);
  if (Ref<ISoundResource> sound = Get<ISoundResource>("r")) {
    EXPECT_EQ(sound->GetMasterVolume(), c.masterVolume);
  }
  owner_->calls.clear();
  owner_->catalogue->RemoveGroup("");
  EXPECT_EQ(owner_->calls, c.onRelease);
}

INSTANTIATE_TEST_SUITE_P(Resources, AudioCaseTest, testing::ValuesIn(kAudioCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundResourceTest, PendingDataLoadsOnFirstUse) {
  LoadResources(R"(<r><content>
    <resource name="s" type="SoundResource" file="s.wav" loadbydemand="yes"/>
    <resource name="m" type="MusicResource" file="m.ogg" format="ogg" loadbydemand="yes"/>
  </content></r>)");
  EXPECT_TRUE(owner_->calls.empty());
  EXPECT_EQ(Get<ISoundResource>("s")->GetSample(), 1u);
  EXPECT_EQ(Get<IMusicResource>("m")->GetHandle(), 3u);  // the channel of sample 2
  EXPECT_EQ(Get<IMusicResource>("m")->GetFormat(), IMusicResource::kOgg);
  Get<ISoundResource>("s")->GetSample();
  EXPECT_EQ(owner_->calls, (Calls{"LoadSample s.wav 1 -> 1", "LoadMusicSample m.ogg -> 2"}));
}

// ---------------------------------------------------------------------------------------------
// Groups

const char* const kGroupXml = R"(<r><content>
  <resource name="steps" type="SoundGroupResource">
    <resources>
      <resource name="s1" type="SoundResource" file="1.wav" master_volume="10"/>
      <sound name="s2" type="SoundResource" file="2.wav" master_volume="20"/>
      <resource name="s3" type="SoundResource" file="3.wav" master_volume="30"
                loadbydemand="yes"/>
      <resource name="pic" type="ImageResource" file="p.png"/>
      <resource name="odd" type="NoSuchResource"/>
    </resources>
  </resource>
  <resource name="tracks" type="MusicGroupResource">
    <resources>
      <resource name="t1" type="MusicResource" file="t1.mo3"/>
      <resource name="t2" type="MusicResource" file="t2.ogg" format="ogg"/>
    </resources>
  </resource>
</content></r>)";

TEST_F(SoundResourceTest, GroupMembersLoadUnlessPendingThemselves) {
  LoadResources(kGroupXml);
  auto steps = Query<TSoundGroupResource>(Get("steps"));
  ASSERT_TRUE(steps);
  // Any element is a member; unknown types are skipped.
  EXPECT_EQ(steps->Members()->Count(), 4);
  EXPECT_EQ(owner_->calls, (Calls{"LoadSample 1.wav 1 -> 1", "LoadSample 2.wav 1 -> 2",
                                  "LoadMusicModule t1.mo3 -> 3", "LoadMusicSample t2.ogg -> 4"}));
}

TEST_F(SoundResourceTest, GroupWithoutSelectionAnswersDefaults) {
  LoadResources(kGroupXml);
  Ref<ISoundResource> steps = Get<ISoundResource>("steps");
  Ref<IMusicResource> tracks = Get<IMusicResource>("tracks");
  EXPECT_EQ(steps->GetSample(), 0u);
  EXPECT_EQ(steps->GetMasterVolume(), 100);
  EXPECT_EQ(tracks->GetHandle(), 0u);
  EXPECT_EQ(tracks->GetFormat(), IMusicResource::kOgg);
}

// Select draws from the program's generator: one seed replays the same picks, every sound
// member comes up, and the image member never does.
TEST_F(SoundResourceTest, GroupSelectPicksSoundMembersUniformly) {
  LoadResources(kGroupXml);
  Ref<ISoundResource> steps = Get<ISoundResource>("steps");
  auto run = [&](uint64_t seed) {
    SeedProgramRandom(seed);
    std::vector<int> volumes;
    for (int i = 0; i < 300; ++i) {
      steps->Select();
      volumes.push_back(steps->GetMasterVolume());
    }
    return volumes;
  };
  std::vector<int> first = run(11);
  EXPECT_EQ(run(11), first);
  EXPECT_NE(run(12), first);
  std::map<int, int> counts;
  for (int v : first) ++counts[v];
  ASSERT_EQ(counts.size(), 3u);
  for (int volume : {10, 20, 30}) EXPECT_GT(counts[volume], 60) << volume;
}

TEST_F(SoundResourceTest, SelectedPendingMemberLoadsOnUse) {
  LoadResources(kGroupXml);
  auto steps = Query<TSoundGroupResource>(Get("steps"));
  SeedProgramRandom(3);
  owner_->calls.clear();
  TAudioHandle sample = 0;
  for (int i = 0; i < 50 && !sample; ++i) {
    steps->Select();
    if (steps->GetMasterVolume() == 30) sample = steps->GetSample();
  }
  EXPECT_EQ(sample, 6u);
  EXPECT_EQ(owner_->calls, Calls{"LoadSample 3.wav 1 -> 6"});
}

TEST_F(SoundResourceTest, ReleasingAGroupReleasesAndDropsItsMembers) {
  LoadResources(kGroupXml);
  auto steps = Query<TSoundGroupResource>(Get("steps"));
  steps->Select();
  owner_->calls.clear();
  steps->ReleaseResource();
  EXPECT_EQ(owner_->calls, (Calls{"FreeSample 1", "FreeSample 2"}));
  EXPECT_EQ(steps->Members()->Count(), 0);
  EXPECT_FALSE(steps->Current());
  EXPECT_EQ(steps->GetSample(), 0u);
}

TEST_F(SoundResourceTest, GroupSavesItsMembersAndLoadsThemBack) {
  LoadResources(kGroupXml);
  Ref<IHierStorage> saved = Query<IHierStorage>(CreateStorage("resource"));
  SaveObject(Ref<IInterface>(Get("steps")), saved);
  auto copy = Query<TSoundGroupResource>(CreateFromNode(saved));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->GetName(), "steps");
  ASSERT_EQ(copy->Members()->Count(), 4);
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i) names.push_back(copy->Members()->Get(TVariant(i))->GetName());
  EXPECT_EQ(names, (std::vector<std::string>{"s1", "s2", "s3", "pic"}));
  EXPECT_EQ(Query<ISoundResource>(copy->Members()->Get(TVariant("s2")))->GetMasterVolume(), 20);
}

}  // namespace
}  // namespace lumessa
