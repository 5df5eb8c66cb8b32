// Appearance effects and transitions: show and hide effects tied to visibility, the frozen
// subtree and the picture handed to the effect, the mouse while an effect plays, the dirty pass
// after the end, and the sequence transition's indexes.
#include <gtest/gtest.h>

#include "persistence/param_collection.h"
#include "widget_test_util.h"
#include "widgets/effects.h"
#include "widgets/surface_widgets.h"

namespace lumessa {
namespace {

using test::Picture;
using test::ScreenFixture;

constexpr uint32_t kRed = 0xFFFF0000;

// A window at (10, 10) whose body covers (15, 15)-(35, 25) on the screen. Its hide effect
// lasts 300 ms and its show effect 200 ms; each shows the window's picture in a surface widget.
std::string Window(const char* windowAttributes, bool withShowEffect = true) {
  std::string effects = R"(
        <widget type="func_appearance_effect" name="hide_effect" durationtime="300"
                surfaceparamname="pic/surface">
          <widgets><widget type="surface_widget" name="pic" visible="yes"/></widgets>
        </widget>
        <widget type="rect_widget" name="not_an_effect"/>)";
  if (withShowEffect)
    effects += R"(
        <widget type="func_appearance_effect" name="show_effect" durationtime="200"
                surfaceparamname="pic/surface">
          <widgets><widget type="surface_widget" name="pic" visible="yes"/></widgets>
        </widget>)";
  return std::string(R"(
    <widget type="group_widget" name="root" visible="yes" mousestop="yes">
      <widgets>
        <widget type="appearance_effect_widget" name="win" visible="yes" mousestop="yes"
                anchor_left="10" anchor_top="10" )") +
         windowAttributes + R"(>
          <effects><widgets>)" +
         effects + R"(
          </widgets></effects>
          <widgets>
            <widget type="rect_widget" name="body" visible="yes" mousestop="yes"
                    anchor_left="5" anchor_top="5" width="20" height="10" color="$FFFF0000"/>
          </widgets>
        </widget>
      </widgets>
    </widget>)";
}

class Effects : public ScreenFixture {
 protected:
  Ref<TAppearanceEffectWdiget> Load(const char* attributes = "", bool withShowEffect = true) {
    Attach(Window(attributes, withShowEffect));
    screen->Frame(10);
    screen->TakeInvalidated();
    return FindWidget<TAppearanceEffectWdiget>(screen->root, "win");
  }
  bool Applying(IWidget& w) { return w.GetProperty("applyingeffect").ToBool(); }
  // Runs frames of 10 ms.
  void Run(int ms) {
    for (int t = 0; t < ms; t += 10) screen->Frame(10);
  }
};

TEST_F(Effects, AHideEffectKeepsTheWindowVisibleForItsDuration) {
  Ref<TAppearanceEffectWdiget> win = Load();
  Ref<test::TFakeSoundCollection> sounds = NewObject<test::TFakeSoundCollection>();
  sounds->AddSound("sound_effect");
  Query<TAbstractWidget>(win->GetEffects()->GetChild(TVariant("hide_effect")))->SetSounds(sounds);
  const int64_t bodyTime = win->FindWidget("body")->GetProperty("currenttime").ToInt();

  win->SetVisible(false);
  EXPECT_TRUE(win->GetVisible());
  EXPECT_TRUE(Applying(*win));
  EXPECT_FALSE(win->GetTargetVisible());
  EXPECT_EQ(win->GetProperty("effect_state").ToInt(), esRunning);
  ASSERT_EQ(screen->engine->plays.size(), 1u);
  EXPECT_EQ(screen->engine->plays[0].sound, "sound_effect");

  Run(290);
  EXPECT_TRUE(Applying(*win));
  EXPECT_TRUE(win->GetVisible());
  EXPECT_EQ(win->FindWidget("body")->GetProperty("currenttime").ToInt(), bodyTime)
      << "the window's children stand still while the effect plays";
  // The effect's restart counts as its step of the starting frame: it ends one frame late at
  // most.
  Run(20);
  EXPECT_FALSE(Applying(*win));
  EXPECT_FALSE(win->GetVisible());
  EXPECT_EQ(win->GetProperty("effect_state").ToInt(), esFinished);
}

TEST_F(Effects, TheEffectShowsTheWindowsPictureWhereTheWindowWas) {
  Ref<TAppearanceEffectWdiget> win = Load();
  win->SetVisible(false);
  Ref<IWidget> pic = win->GetEffects()->FindWidget("hide_effect/pic");
  ASSERT_TRUE(pic);
  Ref<ISurface> picture = pic->GetProperty("surface").ToInterface<ISurface>();
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->GetWidth(), 20);
  EXPECT_EQ(picture->GetPixel(0, 0), kRed);
  EXPECT_EQ(GetScreenRect(pic.get()), (TRect{15, 15, 35, 25})) << "the offset is kept";
  EXPECT_EQ(win->GetBounds(), (TRect{15, 15, 35, 25}));

  // The effect draws instead of the children: hide the body to tell them apart.
  win->FindWidget("body")->SetProperty("color", "$FF0000FF");
  Ref<TSurface> s = MakeSurface(40, 30, true);
  screen->root->Draw(s.get(), 0, 0);
  EXPECT_EQ(s->GetPixel(15, 15), kRed);
  EXPECT_EQ(s->GetPixel(34, 24), kRed);
  EXPECT_EQ(s->GetPixel(35, 25), 0u);
}

TEST_F(Effects, ShowingDuringAHideFinishesTheHideThenStartsTheShow) {
  Ref<TAppearanceEffectWdiget> win = Load();
  win->SetVisible(false);
  Run(100);
  win->SetVisible(true);
  EXPECT_TRUE(win->GetVisible());
  EXPECT_TRUE(Applying(*win));
  EXPECT_EQ(win->GetEffectName(), "show_effect");
  Run(210);
  EXPECT_FALSE(Applying(*win));
  EXPECT_TRUE(win->GetVisible());
}

TEST_F(Effects, HidingDuringAShowMakesTheWindowVanishAtOnce) {
  Ref<TAppearanceEffectWdiget> win = Load();
  win->SetVisible(false);
  Run(300);
  win->SetVisible(true);
  ASSERT_EQ(win->GetEffectName(), "show_effect");
  Run(50);
  win->SetVisible(false);
  EXPECT_FALSE(win->GetVisible()) << "finishing the show sets the new target at once";
  EXPECT_FALSE(win->GetTargetVisible());
  Run(310);
  EXPECT_FALSE(win->GetVisible());
  EXPECT_FALSE(Applying(*win));
}

TEST_F(Effects, WithoutAnEffectTheVisibilityChangesAtOnce) {
  struct TCase {
    const char* attributes;
    bool withShow;
    bool show;  // the change tried: show from hidden, or hide from visible
  };
  const TCase cases[] = {
      {"", false, true},                        // no "show_effect"
      {R"(enable_effects="no")", true, false},  // effects off
      {R"(enable_effects="no")", true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.attributes << (c.withShow ? " with" : " without")
                                    << " show, " << (c.show ? "show" : "hide"));
    screen->ReleaseTree();
    Ref<TAppearanceEffectWdiget> win = Load(c.attributes, c.withShow);
    if (c.show) {
      win->SetEnableEffects(false);
      win->SetVisible(false);
      win->SetEnableEffects(std::string(c.attributes).empty());
    }
    win->SetVisible(c.show);
    EXPECT_EQ(win->GetVisible(), c.show);
    EXPECT_FALSE(Applying(*win));
  }
}

TEST_F(Effects, AnEffectNameThatIsNotAnEffectPlaysNothing) {
  Ref<TAppearanceEffectWdiget> win = Load();
  win->StartEffect("not_an_effect");
  EXPECT_FALSE(win->GetApplying());
  win->StartEffect("no_such_effect");
  EXPECT_FALSE(win->GetApplying());
  EXPECT_TRUE(win->GetVisible()) << "other names leave the visibility alone";
}

TEST_F(Effects, TheMouseSkipsTheWindowWhileAnEffectPlaysUnlessToldOtherwise) {
  for (const char* skip : {"yes", "no"}) {
    SCOPED_TRACE(skip);
    screen->ReleaseTree();
    Ref<TAppearanceEffectWdiget> win =
        Load(std::string(R"(skip_process_mouse=")").append(skip).append("\"").c_str());
    EXPECT_EQ(screen->root->WidgetAtPos({20, 20}), win->FindWidget("body"));
    win->SetVisible(false);
    Ref<IWidget> hit = screen->root->WidgetAtPos({20, 20});
    EXPECT_EQ(hit ? hit->GetName() : "", std::string(skip) == "yes" ? "" : "body")
        << "children stay at their own positions";
  }
}

TEST_F(Effects, TheEffectAreaIsRedrawnOnceMoreWhenTheEffectEnds) {
  Ref<TAppearanceEffectWdiget> win = Load();
  win->SetVisible(false);
  Run(300);
  ASSERT_TRUE(win->GetApplying());
  screen->TakeInvalidated();
  screen->Frame(10);
  ASSERT_FALSE(win->GetApplying());
  std::vector<TRect> last = screen->TakeInvalidated();
  EXPECT_NE(std::find(last.begin(), last.end(), TRect{15, 15, 35, 25}), last.end());
  EXPECT_TRUE(win->GetInvalidated());
  screen->Frame(10);
  EXPECT_TRUE(screen->TakeInvalidated().empty()) << "after that the window is gone for good";
}

TEST_F(Effects, AnEffectReadsAndWritesItsStartParametersBeforeItsOwnNames) {
  Ref<TFunctionAppearanceEffect> effect = test::LoadAs<TFunctionAppearanceEffect>(R"(
      <widget type="func_appearance_effect" durationtime="50" surfaceparamname="pic/surface">
        <widgets><widget type="surface_widget" name="pic"/></widgets>
      </widget>)");
  Ref<IParamCollection> params = NewObject<TParamCollection>();
  params->SetValue("alpha", 5);
  params->SetValue("anchor_left", 7);
  Ref<ISurface> picture = MakeSurface(3, 2);
  effect->Start(picture, params);
  EXPECT_EQ(effect->GetState(), esRunning);
  EXPECT_EQ(effect->GetProperty("alpha").ToInt(), 5);
  EXPECT_EQ(effect->GetProperty("anchor_left").ToInt(), 7) << "the parameter wins";
  effect->SetProperty("alpha", 6);
  EXPECT_EQ(params->GetValue("alpha").ToInt(), 5) << "a copy of the parameters is kept";
  EXPECT_EQ(effect->GetStartParams()->GetValue("alpha").ToInt(), 6);
  EXPECT_EQ(effect->GetProperty("pic/width").ToInt(), 3) << "the picture reached the path";
  EXPECT_EQ(effect->GetProperty("durationtime").ToInt(), 50);
  effect->AdvanceTime(49);
  EXPECT_EQ(effect->GetState(), esRunning);
  effect->AdvanceTime(1);
  EXPECT_EQ(effect->GetState(), esFinished);
  ReleaseWidget(effect);
}

TEST_F(Effects, ASequenceTransitionShowsItsChildrenOneAfterAnother) {
  Ref<TSequienceTransitionEffectWdiget> t = Attach<TSequienceTransitionEffectWdiget>(R"(
    <widget type="sequience_transition_effect" visible="yes" durationtime="1000">
      <widgets>
        <widget type="rect_widget" name="c0" visible="yes" extraparams="\surface1=\surface2="/>
        <widget type="rect_widget" name="c1" visible="yes"/>
        <widget type="rect_widget" name="c2" visible="yes"/>
        <widget type="rect_widget" name="c3" visible="yes"/>
      </widgets>
    </widget>)");
  for (const char* name : {"c0", "c1", "c2", "c3"}) {
    EXPECT_FALSE(t->FindWidget(name)->GetVisible()) << name;
    EXPECT_TRUE(t->FindWidget(name)->GetPaused()) << name;
  }
  Ref<ISurface> first = MakeSurface(1, 1);
  t->SetProperty("surface1", TVariant(first));
  EXPECT_EQ(t->GetProperty("surface1").ToInterface<ISurface>(), first);

  struct TCase {
    int at;
    int index;
  };
  // round(4 * t / 1000), halves to even: 125 ms gives 0.5 -> 0, 375 ms 1.5 -> 2.
  const TCase cases[] = {{0, 0},   {120, 0}, {125, 0}, {130, 1}, {300, 1}, {375, 2},
                         {500, 2}, {620, 2}, {630, 3}, {870, 3}, {880, 4}, {900, 4}};
  int now = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.at);
    t->AdvanceTime(c.at - now);
    now = c.at;
    EXPECT_EQ(t->GetCurrentIndex(), c.index);
    for (int i = 0; i < 4; ++i) {
      Ref<IWidget> child = t->GetChildren()->GetByIndex(i);
      EXPECT_EQ(child->GetVisible(), i == c.index) << i;
      EXPECT_EQ(child->GetPaused(), i != c.index) << i;
    }
  }
  EXPECT_EQ(t->FindWidget("c0")->GetProperty("surface1").ToInterface<ISurface>(), first)
      << "the shown child got both surfaces";
}

}  // namespace
}  // namespace lumessa
