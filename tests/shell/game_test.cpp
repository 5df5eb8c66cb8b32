#include <gtest/gtest.h>

#include "persistence/global_options.h"
#include "shell/shell_fakes.h"
#include "support/test_files.h"

namespace lumessa::test {
namespace {

// Screen A covers the whole 100x100 area; dialog D is a small box over it.
constexpr std::string_view kGame =
    R"(<game type="Game" splashlogosgs="L" maings="A" closequerygs="Q">
  <params>
    <param name="FullScreenMode" value="no"/>
    <param name="ShowHints" value="yes"/>
    <param name="Difficulty" value="2"/>
  </params>
  <resourcefiles>
    <resourcefile name="base" filename="base.xml" loadmode="synch"/>
    <resourcefile name="late" filename="late.xml" loadmode="asynch"/>
  </resourcefiles>
  <gamescreens>
    <gamescreen type="test_recording_screen" name="L"><window/></gamescreen>
    <gamescreen type="test_recording_screen" name="A"><window>
      <widgets><widget type="rect_widget" name="bg" visible="yes" width="100" height="100" color="$FFFF0000"/></widgets>
    </window></gamescreen>
    <gamescreen type="GameScreenQueryDialog" name="D"><window left="10" top="20">
      <widgets><widget type="rect_widget" name="ok" visible="yes" width="30" height="10"/>
        <widget type="text_widget" name="question" visible="yes"/></widgets>
    </window></gamescreen>
    <gamescreen type="test_recording_screen" name="Q"><window/></gamescreen>
  </gamescreens>
</game>)";

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTestFolder();
    GlobalOptions().SetUserDataFolder(folder_.string() + "/");
    game_ = LoadGame(kGame);
    ASSERT_TRUE(game_);
  }
  void TearDown() override {
    if (game_) game_->Detach();
    GlobalOptions().SetUserDataFolder({});
  }
  void Attach() { game_->AttachEngine(engine_.get()); }
  Ref<TRecordingScreen> Screen(std::string_view name) {
    return Query<TRecordingScreen>(game_->GetScreens()->Get(name));
  }
  std::vector<std::string> StackNames() {
    std::vector<std::string> names;
    for (int i = 0; i < game_->OpenScreens()->Count(); ++i)
      names.push_back(game_->OpenScreens()->Get(i)->GetName());
    return names;
  }
  // Closes the splash logos and runs the frame that ends the logos phase.
  void PastLogos() {
    ASSERT_TRUE(game_->CloseScreen(game_->GetScreens()->Get("L"), {}));
    game_->Update(10);
  }

  std::filesystem::path folder_;
  Ref<TShellEngine> engine_ = MakeRef<TShellEngine>();
  Ref<TGame> game_;
};

TEST_F(GameTest, StartUpLoadsSynchFilesThenAsynchAfterLogosAndOpensMain) {
  Attach();
  EXPECT_EQ(engine_->loads, std::vector<std::string>{"base.xml:base:now"});
  EXPECT_EQ(StackNames(), std::vector<std::string>{"L"});
  EXPECT_TRUE(game_->InSplashLogosPhase());
  game_->Update(10);  // the logos screen is still open: nothing more happens
  EXPECT_EQ(engine_->loads.size(), 1u);
  EXPECT_TRUE(game_->IsLoading());
  PastLogos();
  EXPECT_EQ(engine_->loads.back(), "late.xml:late:pump");
  EXPECT_EQ(StackNames(), std::vector<std::string>{"A"});
  EXPECT_FALSE(game_->IsLoading());
}

TEST_F(GameTest, StackOpensOnceAndClosesOnlyTheTop) {
  Attach();
  PastLogos();
  Ref<TRecordingScreen> a = Screen("A");
  EXPECT_TRUE(a->IsActive());
  EXPECT_FALSE(game_->ShowScreen("A", {}));        // open already
  EXPECT_FALSE(game_->ShowScreen("nowhere", {}));  // unknown
  ASSERT_TRUE(game_->ShowScreen("D", {}));
  EXPECT_FALSE(a->IsActive());
  EXPECT_EQ(StackNames(), (std::vector<std::string>{"A", "D"}));
  EXPECT_FALSE(game_->CloseScreen(game_->GetScreens()->Get("A"), {}));  // not the top
  EXPECT_EQ(StackNames().size(), 2u);
}

TEST_F(GameTest, InactiveScreenDoesNotAdvance) {
  Attach();
  PastLogos();
  ASSERT_TRUE(game_->ShowScreen("D", {}));
  Ref<TAppearanceEffectWdiget> aWindow = Screen("A")->Window();
  int64_t before = aWindow->GetCurrentTime();
  game_->Update(50);
  EXPECT_EQ(aWindow->GetCurrentTime(), before);
}

TEST_F(GameTest, QueryDialogFillsTextsAndReportsTheButtonToTheScreenBelow) {
  Attach();
  PastLogos();
  Ref<IParamCollection> params = NewObject<TParamCollection>();
  params->SetValue("question", "Sure?");
  ASSERT_TRUE(game_->ShowScreen("D", params));
  Ref<TGameScreen> dialog = Query<TGameScreen>(game_->GetScreens()->Get("D"));
  Ref<IWidget> ok = dialog->FindWidget("ok");
  ASSERT_TRUE(ok);
  EXPECT_EQ(dialog->FindWidget("question")->GetProperty("text_utf8").ToString(), "Sure?");
  Ref<TRecordingScreen> a = Screen("A");
  a->calls.clear();
  EXPECT_TRUE(dialog->HandleEvent(ok, 1, {}));
  EXPECT_EQ(StackNames(), std::vector<std::string>{"A"});
  EXPECT_TRUE(a->IsActive());
  EXPECT_EQ(a->calls, std::vector<std::string>{"child:D"});
  ASSERT_TRUE(a->lastChildResult);
  EXPECT_EQ(a->lastChildResult->GetValue("Button").ToString(), "ok");
}

TEST_F(GameTest, AfterShowRunsOnceWithoutShowEffect) {
  Attach();
  PastLogos();
  Ref<TRecordingScreen> a = Screen("A");
  EXPECT_EQ(a->calls, (std::vector<std::string>{"before", "after"}));
  game_->Update(10);
  EXPECT_EQ(a->calls.size(), 2u);
}

struct TAltCase {
  uint32_t ch;
  const char* setting;
};

class AltShortcutTest : public GameTest, public ::testing::WithParamInterface<TAltCase> {};

TEST_P(AltShortcutTest, TogglesTheEngineSettingBothWays) {
  Attach();
  const TAltCase& c = GetParam();
  EXPECT_TRUE(game_->KeyMessage(WM_CHAR, c.ch, kAltContextBit));
  EXPECT_EQ(engine_->settings[c.setting], "yes");
  EXPECT_TRUE(game_->KeyMessage(WM_CHAR, c.ch, kAltContextBit));
  EXPECT_EQ(engine_->settings[c.setting], "no");
  // Without Alt the character is an ordinary key.
  EXPECT_FALSE(game_->KeyMessage(WM_CHAR, c.ch, 0));
  EXPECT_EQ(engine_->settings[c.setting], "no");
}

INSTANTIATE_TEST_SUITE_P(Keys, AltShortcutTest,
                         ::testing::Values(TAltCase{VK_RETURN, "FullScreenMode"},
                                           TAltCase{'F', "ShowFPS"}, TAltCase{'f', "ShowFPS"},
                                           TAltCase{'R', "ShowRects"}, TAltCase{'r', "ShowRects"}),
                         [](const auto& info) {
                           return std::string(info.param.setting) + "_" +
                                  std::to_string(info.index);
                         });

TEST_F(GameTest, AltEnterIsStoredAsPersistedOptionButShowFpsIsNot) {
  Attach();
  game_->KeyMessage(WM_CHAR, VK_RETURN, kAltContextBit);
  game_->KeyMessage(WM_CHAR, 'F', kAltContextBit);
  GlobalOptions().Reset();  // read the file again
  EXPECT_EQ(GetGlobalOption("FullScreenMode").value_or(""), "yes");
  EXPECT_FALSE(GetGlobalOption("ShowFPS").has_value());
  EXPECT_GE(engine_->displayApplied, 1);
}

TEST_F(GameTest, StoredOptionsWinOverTheDefinitionAndReachTheEngine) {
  SetGlobalOption("ShowHints", "no");
  Attach();
  EXPECT_EQ(game_->GetOption("ShowHints").ToString(), "no");
  EXPECT_EQ(engine_->settings["ShowHints"], "no");
  // Not stored yet: the definition's value is stored.
  EXPECT_EQ(GetGlobalOption("FullScreenMode").value_or("?"), "no");
  // Not a persisted name: never stored.
  EXPECT_FALSE(GetGlobalOption("Difficulty").has_value());
  EXPECT_EQ(engine_->settings["Difficulty"], "2");
  EXPECT_TRUE(game_->GetOption("Unknown").IsNull());
}

TEST_F(GameTest, CloseIsRefusedWhileLoadingThenAsksOnce) {
  Attach();
  EXPECT_FALSE(game_->CanClose());
  EXPECT_TRUE(game_->OpenScreens()->Contains("L"));
  EXPECT_FALSE(game_->OpenScreens()->Contains("Q"));
  PastLogos();
  EXPECT_FALSE(game_->CanClose());
  EXPECT_TRUE(game_->IsOpen("Q"));
  EXPECT_TRUE(game_->CanClose());  // the question is open already
}

TEST_F(GameTest, FullCoverHidesScreensBelowFromDrawing) {
  Attach();
  PastLogos();
  Ref<ISurface> surface = MakeSurface(100, 100);
  ASSERT_TRUE(game_->ShowScreen("D", {}));
  game_->Draw(surface.get());
  // A small dialog leaves A drawn around it (the rect widget's colour, not the fill).
  EXPECT_EQ(surface->GetPixel(90, 90) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(Screen("A")->GetRect(), (TRect{0, 0, 100, 100}));
  EXPECT_EQ(Query<TGameScreen>(game_->GetScreens()->Get("D"))->GetRect(), (TRect{10, 20, 40, 30}));
}

TEST_F(GameTest, SetActiveReachesEveryOpenScreen) {
  Attach();
  PastLogos();
  game_->ShowScreen("Q", {});
  Screen("A")->calls.clear();
  Screen("Q")->calls.clear();
  game_->SetActive(false);
  EXPECT_EQ(Screen("A")->calls, std::vector<std::string>{"app:off"});
  EXPECT_EQ(Screen("Q")->calls, std::vector<std::string>{"app:off"});
}

TEST_F(GameTest, DetachEmptiesTheStackAndReleasesResourceGroups) {
  Attach();
  PastLogos();
  game_->Detach();
  EXPECT_EQ(game_->OpenScreens()->Count(), 0);
  EXPECT_EQ(engine_->released, (std::vector<std::string>{"base", "late"}));
  EXPECT_FALSE(game_->GetEngine());
}

}  // namespace
}  // namespace lumessa::test
