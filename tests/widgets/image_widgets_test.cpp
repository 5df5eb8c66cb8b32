// Image, animation, sequence, blink and sound widgets: drawing and hit testing of images, the
// playback phases at their boundaries, sequence positions, blink levels and loops, and the
// sound widget's plays and retries.
#include <gtest/gtest.h>

#include "widget_test_util.h"
#include "widgets/image_widgets.h"
#include "widgets/sound_widget.h"

namespace lumessa {
namespace {

using test::FilledSurface;
using test::Picture;
using test::ScreenFixture;
using test::TFakeImage;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;

// A frame grid: 10 columns by 2 rows of 1 x 1 frames; the pixel of frame f is 0xFF000000 + f.
Ref<TSurface> GridSurface() {
  Ref<TSurface> s = MakeSurface(10, 2, true);
  for (int f = 0; f < 20; ++f) s->SetPixel(f % 10, f / 10, 0xFF000000u + uint32_t(f));
  return s;
}

class ImageWidgets : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    screen->engine->AddResource("grid", MakeRef<TFakeImage>(GridSurface()));
  }
  // Loads a widget into a visible group on the screen.
  template <class T>
  Ref<T> AddWidget(const std::string& xml) {
    Attach(R"(<widget type="group_widget" visible="yes"><widgets>)" + xml + "</widgets></widget>");
    return Query<T>(screen->root->GetChild(TVariant(0)));
  }
  // Advances in frames of 10 ms until the widget's own clock has run `ms` in total.
  void RunTo(IWidget& w, int& elapsed, int ms) {
    for (; elapsed < ms; elapsed += 10) screen->Frame(10);
    (void)w;
  }
};

// ---------------------------------------------------------------------------------------------
// Images

TEST_F(ImageWidgets, AnImageDrawsItsSourceRectangleCopiedOrAsAColourThroughItsShape) {
  Ref<TSurface> pic = MakeSurface(3, 2, true);
  pic->SetPixel(1, 1, kRed);
  pic->SetPixel(2, 1, 0x80000000);
  screen->engine->AddResource("pic", MakeRef<TFakeImage>(pic));
  Ref<TImageWidget> w = AddWidget<TImageWidget>(
      R"(<widget type="image_widget" visible="yes" resourcename="pic" resourceleft="1"
                 resourcetop="1" width="2" height="1"/>)");
  Ref<TSurface> s = MakeSurface(4, 1, true);
  w->Draw(s.get(), 1, 0);
  EXPECT_EQ(s->GetPixel(1, 0), kRed);
  EXPECT_EQ(s->GetPixel(2, 0), 0x80000000u);

  w->SetProperty("drawmode", 1);
  w->SetProperty("fillcolor", "$FF00FF00");
  EXPECT_TRUE(w->GetChanged());
  s->ClearAll();
  w->Draw(s.get(), 1, 0);
  EXPECT_EQ(s->GetPixel(1, 0), kGreen);
  // Half the shape's alpha blends half the colour in: 0 + (255 * 128 >> 8).
  EXPECT_EQ(s->GetPixel(2, 0) >> 24, 0x7Fu);

  w->SetProperty("resourcename", "missing");
  s->ClearAll();
  w->Draw(s.get(), 1, 0);
  EXPECT_EQ(Picture(*s, {}), (std::vector<std::string>{"...."}));
}

TEST_F(ImageWidgets, HitTestingNeedsAnOpaquePixelUnderThePoint) {
  Ref<TSurface> pic = MakeSurface(4, 4, true);
  pic->SetPixel(1, 1, kRed);  // (resourceleft 1, resourcetop 1) is the widget's top-left
  screen->engine->AddResource("pic", MakeRef<TFakeImage>(pic));
  Ref<TImageWidget> w = AddWidget<TImageWidget>(
      R"(<widget type="image_widget" visible="yes" mousestop="yes" resourcename="pic"
                 resourceleft="1" resourcetop="1" anchor_left="10" anchor_top="20" width="3"
                 height="3"/>)");
  EXPECT_TRUE(w->ContainsPoint({10, 20}, false));
  EXPECT_FALSE(w->ContainsPoint({11, 20}, false)) << "a transparent pixel";
  EXPECT_FALSE(w->ContainsPoint({9, 20}, false)) << "outside the rectangle";
  screen->root->SetMouseStop(true);
  EXPECT_EQ(screen->root->WidgetAtPos({10, 20}), Ref<IWidget>(w));
  EXPECT_FALSE(screen->root->WidgetAtPos({11, 20}));

  w->SetResourceName("missing");
  EXPECT_TRUE(w->ContainsPoint({11, 20}, false)) << "without a resource the rectangle decides";
}

// ---------------------------------------------------------------------------------------------
// Frame animations

TEST_F(ImageWidgets, AnimationFramesAtThePhaseBoundaries) {
  struct TCase {
    const char* flags;
    int ms;
    int frame;
    bool active;
  };
  const TCase cases[] = {
      {"", 0, 0, true},
      {"", 90, 0, true},
      {"", 100, 1, true},
      {"", 950, 9, true},
      {"", 1000, 9, false},
      {R"(stoponfirst="yes")", 1000, 0, false},
      {R"(reverse="yes")", 0, 9, true},
      {R"(reverse="yes")", 950, 0, true},
      {R"(reverse="yes")", 1000, 0, false},
      {R"(reverse="yes" stoponfirst="yes")", 1000, 9, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.flags << " at " << c.ms << " ms");
    screen->ReleaseTree();
    Ref<TAnimationWidget> w = AddWidget<TAnimationWidget>(
        std::string(R"(<widget type="animation_widget" visible="yes" resourcename="grid"
            width="1" height="1" resourcewidth="10" framescount="10" animationtime="1000" )") +
        c.flags + "/>");
    int elapsed = 0;
    screen->Frame(0);
    RunTo(*w, elapsed, c.ms);
    EXPECT_EQ(w->GetProperty("currentframe").ToInt(), c.frame);
    EXPECT_EQ(w->Playback().active, c.active);
  }
}

TEST_F(ImageWidgets, ALoopingAnimationShowsFrameZeroBetweenCycles) {
  Ref<TAnimationWidget> w = AddWidget<TAnimationWidget>(
      R"(<widget type="animation_widget" visible="yes" resourcename="grid" width="1" height="1"
                 resourcewidth="10" framescount="10" animationtime="1000" loop="yes"
                 cycledelaytime="500"/>)");
  int elapsed = 0;
  RunTo(*w, elapsed, 990);
  EXPECT_EQ(w->GetCurrentFrame(), 9);
  for (int ms : {1000, 1250, 1490}) {
    RunTo(*w, elapsed, ms);
    EXPECT_EQ(w->GetCurrentFrame(), 0) << ms;
    EXPECT_EQ(w->Playback().phase, 2) << ms;
  }
  RunTo(*w, elapsed, 1600);
  EXPECT_EQ(w->GetCurrentFrame(), 1);
  EXPECT_TRUE(w->Playback().active);
}

TEST_F(ImageWidgets, TheRemainderOfAStartDelayIsPlayedInTheSameStep) {
  Ref<TAnimationWidget> w = AddWidget<TAnimationWidget>(
      R"(<widget type="animation_widget" visible="yes" resourcename="grid" width="1" height="1"
                 resourcewidth="10" framescount="10" animationtime="400"
                 startdelaytime="50"/>)");
  w->AdvanceTime(45);
  EXPECT_EQ(w->Playback().phase, 0);
  w->AdvanceTime(50);  // 95 ms: the delay ends 45 ms ago; frames last 40 ms
  EXPECT_EQ(w->Playback().phase, 1);
  EXPECT_EQ(w->GetCurrentTime(), 45);
  EXPECT_EQ(w->GetCurrentFrame(), 1);

  w->Restart();
  EXPECT_EQ(w->Playback().phase, 0) << "a restart begins with the start delay again";
  EXPECT_EQ(w->GetCurrentFrame(), 0);
}

TEST_F(ImageWidgets, FramesAreCutFromTheGridRowByRow) {
  Ref<TAnimationWidget> w = AddWidget<TAnimationWidget>(
      R"(<widget type="animation_widget" visible="yes" resourcename="grid" width="1" height="1"
                 resourcewidth="10" framescount="20" animationtime="2000"/>)");
  Ref<TSurface> s = MakeSurface(1, 1, true);
  for (int frame : {0, 7, 13}) {
    w->SetProperty("currentframe", frame);
    s->ClearAll();
    w->Draw(s.get(), 0, 0);
    EXPECT_EQ(s->GetPixel(0, 0), 0xFF000000u + uint32_t(frame)) << frame;
  }
  w->SetProperty("reverse", true);
  w->SetProperty("currentframe", 2);
  EXPECT_EQ(w->GetCurrentFrame(), 17) << "the property maps through reverse";
  EXPECT_EQ(w->GetProperty("currentframe").ToInt(), 17);
  EXPECT_EQ(w->GetProperty("framescount").ToInt(), 20);
}

// ---------------------------------------------------------------------------------------------
// Sequences

constexpr const char* kSequence = R"(
  <widget type="sequence_animation_widget" visible="yes" resourcename="grid" width="1"
          height="1" resourcewidth="10" default_duration="100" %s>
    <frame subimage_index="3"/>
    <frame subimage_index="5"/>
    <frame subimage_index="7" duration="100"/>
  </widget>)";

std::string Sequence(const char* flags) {
  std::string xml = kSequence;
  xml.replace(xml.find("%s"), 2, flags);
  return xml;
}

TEST_F(ImageWidgets, SequencePositionsIncludeBothEndsOfEachEntry) {
  struct TCase {
    int t;
    int forward;
    int backward;
  };
  const TCase cases[] = {
      {0, 0, 2},   {99, 0, 2},  {100, 0, 2}, {101, 1, 1},   {200, 1, 1},
      {201, 2, 0}, {299, 2, 0}, {300, 2, 0}, {301, -1, -1},
  };
  Ref<TSequenceAnimationWidget> w = AddWidget<TSequenceAnimationWidget>(Sequence(""));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.t);
    w->SetReverse(false);
    EXPECT_EQ(w->PositionForTime(c.t), c.forward);
    w->SetReverse(true);
    EXPECT_EQ(w->PositionForTime(c.t), c.backward);
  }
}

TEST_F(ImageWidgets, ASequencePlaysItsEntriesAndEndsOnTheLastOrFirst) {
  Ref<TSequenceAnimationWidget> w = AddWidget<TSequenceAnimationWidget>(Sequence(""));
  int elapsed = 0;
  screen->Frame(0);
  EXPECT_EQ(w->GetProperty("currentframe").ToInt(), 0);
  EXPECT_EQ(w->GetCurrentFrame(), 3);
  RunTo(*w, elapsed, 110);
  EXPECT_EQ(w->GetProperty("currentframe").ToInt(), 1);
  EXPECT_EQ(w->GetCurrentFrame(), 5);
  RunTo(*w, elapsed, 300);
  EXPECT_FALSE(w->Playback().active);
  EXPECT_EQ(w->GetCurrentFrame(), 7);

  screen->ReleaseTree();
  w = AddWidget<TSequenceAnimationWidget>(Sequence(R"(stoponfirst="yes")"));
  elapsed = 0;
  RunTo(*w, elapsed, 300);
  EXPECT_EQ(w->GetCurrentFrame(), 3);

  Ref<ISurface> frame = w->GetFrameImage(5);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->GetPixel(0, 0), 0xFF000005u);
  EXPECT_EQ(w->GetCurrentFrame(), 3) << "the frame shown is restored";
}

// ---------------------------------------------------------------------------------------------
// Blinks

TEST_F(ImageWidgets, ABlinkFadesUpAndDownItsLoopsThenDisappears) {
  AddWidget<TBlinkWidget>(
      R"(<widget type="blink_widget" name="blink" visible="yes" resourcename="grid" width="1"
                 height="1" firstperiod="200" secondperiod="200" start_transparentlevel="0"
                 peak_transparentlevel="255" end_transparentlevel="0" loop="yes"
                 loops_count="3"/>)");
  Ref<IWidget> blink = screen->root->FindWidget("blink");
  int peaks = 0;
  int elapsed = 0;
  std::vector<int> levels;
  while (elapsed < 1190) {
    screen->Frame(10);
    elapsed += 10;
    const int level = blink->GetTransparentLevel();
    if (level == 255) ++peaks;
    if (elapsed == 100 || elapsed == 300 || elapsed == 400) levels.push_back(level);
  }
  EXPECT_EQ(levels, (std::vector<int>{127, 128, 0}));  // 255 - 127.5 truncated toward zero
  EXPECT_EQ(peaks, 3);
  EXPECT_TRUE(screen->root->FindWidget("blink")) << "still there before the third loop ends";
  screen->Frame(10);
  EXPECT_FALSE(screen->root->FindWidget("blink")) << "removed after its last loop";
}

TEST_F(ImageWidgets, ABlinkWithoutALoopCountNeverEndsAndOnlyLoopRevivesAFinishedOne) {
  Ref<TBlinkWidget> endless = AddWidget<TBlinkWidget>(
      R"(<widget type="blink_widget" visible="yes" firstperiod="100" peak_transparentlevel="200"
                 loop="yes"/>)");
  for (int i = 0; i < 100; ++i) screen->Frame(50);
  EXPECT_TRUE(endless->Playback().active);
  EXPECT_FALSE(endless->GetDead());

  screen->ReleaseTree();
  Ref<TBlinkWidget> once = AddWidget<TBlinkWidget>(
      R"(<widget type="blink_widget" visible="yes" firstperiod="100" secondperiod="100"
                 start_transparentlevel="10" peak_transparentlevel="200"
                 end_transparentlevel="50"/>)");
  screen->Frame(100);
  EXPECT_EQ(once->GetTransparentLevel(), 200);
  screen->Frame(150);
  EXPECT_EQ(once->GetTransparentLevel(), 50) << "the end level when the cycle is over";
  EXPECT_FALSE(once->Playback().active);
  once->Restart();
  EXPECT_FALSE(once->Playback().active) << "a restart does not revive a blink";
  once->SetProperty("loop", true);
  EXPECT_TRUE(once->Playback().active);
  EXPECT_EQ(once->Playback().phase, 0);
}

TEST(BlinkLevels, RiseToThePeakThenMoveToTheEndTruncatingTowardZero) {
  test::EnsureWidgetClasses();
  Ref<TBlinkWidget> w = test::LoadAs<TBlinkWidget>(
      R"(<widget type="blink_widget" firstperiod="100" secondperiod="50"
                 start_transparentlevel="100" peak_transparentlevel="0"
                 end_transparentlevel="250"/>)");
  EXPECT_EQ(w->LevelForTime(0), 100);
  EXPECT_EQ(w->LevelForTime(50), 50);
  EXPECT_EQ(w->LevelForTime(99), 1);  // 100 - 99 truncates toward zero
  EXPECT_EQ(w->LevelForTime(100), 0);
  EXPECT_EQ(w->LevelForTime(125), 125);
  EXPECT_EQ(w->LevelForTime(149), 245);
}

TEST(AnimationLoading, ABadValueStopsTheReadingOfTheKeysAfterIt) {
  test::EnsureWidgetClasses();
  Ref<TAnimationWidget> w = test::LoadAs<TAnimationWidget>(
      R"(<widget type="animation_widget" framescount="4" resourcewidth="x" loop="yes"
                 reverse="yes"/>)");
  EXPECT_EQ(w->GetFramesCount(), 4);
  EXPECT_FALSE(w->GetLoop()) << "read after the bad value";
  EXPECT_FALSE(w->GetReverse());
}

// ---------------------------------------------------------------------------------------------
// Sound widgets

class SoundWidgets : public ScreenFixture {
 protected:
  Ref<TSoundWidget> AddSoundWidget(const char* attributes) {
    Attach(std::string(R"(<widget type="group_widget" visible="yes"><widgets>
        <widget type="sound_widget" name="snd" resourcename="ding" )") +
           attributes + "/></widgets></widget>");
    Ref<TSoundWidget> w = Query<TSoundWidget>(screen->root->FindWidget("snd"));
    Ref<test::TFakeSoundCollection> sounds = NewObject<test::TFakeSoundCollection>();
    sounds->AddSound("ding");
    w->SetSounds(sounds);
    return w;
  }
};

TEST_F(SoundWidgets, PlaysAfterTheStartDelayAndAgainAfterEachCycleDelay) {
  Ref<TSoundWidget> w = AddSoundWidget(R"(startdelaytime="100" loop="yes" cycledelaytime="50")");
  auto& engine = *screen->engine;
  for (int i = 0; i < 9; ++i) screen->Frame(10);
  EXPECT_TRUE(engine.plays.empty());
  screen->Frame(10);
  ASSERT_EQ(engine.plays.size(), 1u);
  EXPECT_EQ(w->GetPhase(), 1);
  screen->Frame(500);
  EXPECT_EQ(engine.plays.size(), 1u) << "nothing more while the channel plays";

  engine.playing.clear();  // the sound ended
  screen->Frame(10);
  EXPECT_EQ(w->GetPhase(), 2);
  screen->Frame(40);
  EXPECT_EQ(engine.plays.size(), 1u);
  screen->Frame(10);
  EXPECT_EQ(engine.plays.size(), 2u) << "50 ms after the end";

  w->Pause();
  EXPECT_EQ(w->GetPhase(), 3);
  EXPECT_TRUE(engine.stoppedChannels.count(w->GetChannel()));
}

TEST_F(SoundWidgets, AFailedStartIsTriedAgain200MsLaterAndASingleSoundEnds) {
  Ref<TSoundWidget> w = AddSoundWidget(R"(startdelaytime="300")");
  auto& engine = *screen->engine;
  engine.failPlays = true;
  screen->Frame(300);
  EXPECT_EQ(engine.plays.size(), 1u);
  EXPECT_EQ(w->GetCurrentTime(), 100);
  engine.failPlays = false;
  screen->Frame(190);
  EXPECT_EQ(engine.plays.size(), 1u);
  screen->Frame(10);
  EXPECT_EQ(engine.plays.size(), 2u);
  EXPECT_EQ(w->GetPhase(), 1);
  engine.playing.clear();
  screen->Frame(10);
  EXPECT_EQ(w->GetPhase(), 3);
  EXPECT_FALSE(w->GetActive());
}

}  // namespace
}  // namespace lumessa
