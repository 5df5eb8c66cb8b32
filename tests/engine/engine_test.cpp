#include "engine/engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "persistence/global_options.h"
#include "persistence/persist_object.h"
#include "persistence/xml_storage.h"
#include "platform/headless/headless_platform.h"
#include "resources/cipher.h"
#include "resources/data_file.h"
#include "resources/resource_catalogue.h"
#include "support/image_fixtures.h"
#include "support/test_files.h"

namespace lumessa {
namespace {

// Records what the engine asks of it; fills the screen with its colour when drawing.
class TRecordingGame : public TPersistObject, public virtual IGame {
 public:
  struct TCall {
    std::string what;
    uint32_t a = 0, b = 0, c = 0;
  };

  void AttachEngine(IEngine* engine) override { engine_ = engine; }
  void Detach() override { engine_ = nullptr; }
  void Update(int elapsedMs) override {
    calls.push_back({"update", uint32_t(elapsedMs)});
    if (stallMs > 0) {
      dynamic_cast<TEngine*>(engine_)->Platform()->Sleep(uint32_t(stallMs));
      stallMs = 0;
    }
  }
  void Draw(ISurface* surface) override {
    ++draws;
    TRect all{0, 0, surface->GetWidth(), surface->GetHeight()};
    Ref<TSurface> mask = MakeSurface(surface->GetWidth(), surface->GetHeight(), false);
    surface->DrawColor(color, mask.get(), bmNormal, 255, all, all);
  }
  bool MouseMessage(uint32_t message, TPoint p, uint32_t keys) override {
    calls.push_back({"mouse", message, uint32_t(p.x) << 16 | uint32_t(p.y), keys});
    return true;
  }
  bool KeyMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override {
    calls.push_back({"key", message, wParam, lParam});
    return true;
  }
  void SetActive(bool active) override { calls.push_back({"active", active}); }
  bool CanClose() override {
    calls.push_back({"canclose"});
    return allowClose;
  }
  void SetOption(std::string_view, std::string_view) override {}
  void PrepareFrame() override {}

  std::vector<TCall> Calls(std::string_view what) const {
    std::vector<TCall> out;
    for (const TCall& c : calls)
      if (c.what == what) out.push_back(c);
    return out;
  }

  IEngine* engine_ = nullptr;
  std::vector<TCall> calls;
  uint32_t color = 0xFF336699;
  int draws = 0;
  int stallMs = 0;
  bool allowClose = true;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override {
    TPersistObject::LoadProperties(storage);
    color = uint32_t(ReadInt(storage, "color", int(color)));
  }
};

class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterObjectClass<TRecordingGame>("RecordingGame");
    RegisterResourceClasses();
  }
  void TearDown() override {
    if (engine) engine->Done();
    ResetCurrentReader();
    SetApplicationFolder("");
  }

  // An application folder whose definition names the recording game.
  std::string MakeAppFolder(std::string_view definition = R"(<game type="RecordingGame"
      name="test" color="$FF102030"/>)",
                            std::string_view key = kDefinitionFileKey) {
    auto folder = test::MakeTestFolder();
    test::WriteFile(folder / "data/ini/Lumessa.ini", EncodeText(definition, key, kTextFormatHex));
    return folder.string();
  }

  bool Start(std::string appFolder, TEngineOptions options = {}) {
    options.platform = TPlatformKind::Headless;
    options.applicationFolder = appFolder;
    options.userDataFolder = appFolder + "/user";
    engine = MakeRef<TEngine>();
    engine->Configure(std::move(options));
    return engine->Init(kGameDefinitionFile);
  }

  TRecordingGame& Game() { return *dynamic_cast<TRecordingGame*>(engine->GetGame().get()); }
  THeadlessPlatform& Platform() { return *dynamic_cast<THeadlessPlatform*>(engine->Platform()); }
  // Run's first part without the loop: the display settings.
  void Show() { ASSERT_TRUE(engine->ApplyDisplaySettings()); }

  Ref<TEngine> engine;
};

TEST_F(EngineTest, StartsTheGameNamedByTheDefinitionAndDrawsIt) {
  ASSERT_TRUE(Start(MakeAppFolder())) << engine->StartupError();
  EXPECT_EQ(engine->GetParam("ScreenWidth").ToString(), "640");
  EXPECT_EQ(engine->GetParam("ApplicationCaption").ToString(), "mirelslumessa");
  EXPECT_TRUE(engine->GetParam("NoSuchSetting").IsNull());
  Show();
  engine->Step();
  EXPECT_EQ(Game().draws, 1);
  EXPECT_EQ(engine->ScreenSurface()->GetPixel(5, 5) & 0xFFFFFF, 0x102030u);
  // Nothing invalidated: the next frame draws nothing.
  engine->Step();
  EXPECT_EQ(Game().draws, 1);
  EXPECT_EQ(engine->FrameCount(), 2);
}

TEST_F(EngineTest, StartUpFailuresSayWhy) {
  struct Case {
    std::string definition, key, error;
  };
  const Case cases[] = {
      {"<game type='RecordingGame'/>", "wrong-key-entirely",
       "the game definition data\\ini\\Lumessa.ini does not decipher or parse"},
      {"<game type='NoSuchGame'/>", kDefinitionFileKey,
       "the game definition names an unknown game type \"NoSuchGame\""},
      {"<game type='Engine'/>", kDefinitionFileKey,
       "the game definition names \"Engine\", which is not a game"},
  };
  RegisterEngineClasses();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.definition);
    EXPECT_FALSE(Start(MakeAppFolder(c.definition, c.key)));
    EXPECT_EQ(engine->StartupError(), c.error);
    engine->Done();  // a second Done after the failed Init changes nothing
  }
  UnregisterObjectClass("Engine");
  auto empty = test::MakeTestFolder();
  EXPECT_FALSE(Start(empty.string()));
  EXPECT_EQ(engine->StartupError(),
            "the game definition data\\ini\\Lumessa.ini is missing or empty");
}

TEST_F(EngineTest, FramesComeEveryIntervalAndALateFrameIsFollowedAtOnce) {
  ASSERT_TRUE(Start(MakeAppFolder()));
  Show();
  engine->Step();
  engine->Step();
  Game().stallMs = 25;  // the next update takes 25 ms
  engine->Step();
  uint32_t before = Platform().Now();
  engine->Step();
  EXPECT_EQ(Platform().Now(), before);  // no sleep after a late frame
  engine->Step();
  std::vector<uint32_t> elapsed;
  for (auto& c : Game().Calls("update")) elapsed.push_back(c.a);
  EXPECT_EQ(elapsed, (std::vector<uint32_t>{10, 10, 10, 25, 10}));
}

TEST_F(EngineTest, InvalidateRectClampsToTheScreen) {
  ASSERT_TRUE(Start(MakeAppFolder()));
  Show();
  engine->ValidateAll();
  struct Case {
    TRect rect;
    std::vector<TRect> dirty;
  };
  const Case cases[] = {
      {{-5, -5, 10, 10}, {{0, 0, 10, 10}}},
      {{20, 20, 20, 40}, {}},
      {{630, 470, 700, 500}, {{630, 470, 640, 480}}},
      {{641, 0, 700, 10}, {}},
      {{0, 0, 0, 5}, {}},
  };
  for (const Case& c : cases) {
    engine->InvalidateRect(c.rect);
    std::vector<TRect> dirty(engine->ScreenSurface()->GetDirtyRects().begin(),
                             engine->ScreenSurface()->GetDirtyRects().end());
    EXPECT_EQ(dirty, c.dirty);
    engine->ValidateAll();
  }
}

TEST_F(EngineTest, ScriptedInputReachesTheGameAsWindowMessagesBeforeTheUpdate) {
  TEngineOptions options;
  std::string error;
  ASSERT_TRUE(options.input.Parse("2 down left 30 40\n2 altchar 13\n2 keydown 9\n", error));
  ASSERT_TRUE(Start(MakeAppFolder(), std::move(options)));
  Show();
  engine->Step();
  Game().calls.clear();
  engine->Step();
  auto& calls = Game().calls;
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0].what, "mouse");
  EXPECT_EQ(calls[0].a, WM_LBUTTONDOWN);
  EXPECT_EQ(calls[0].b, 30u << 16 | 40u);
  EXPECT_EQ(Platform().GetCursorPos(), (TPoint{30, 40}));
  // Alt+Enter: a character message for carriage return with the Alt context bit.
  EXPECT_EQ(calls[1].what, "key");
  EXPECT_EQ(calls[1].a, WM_CHAR);
  EXPECT_EQ(calls[1].b, 13u);
  EXPECT_EQ(calls[1].c, kAltContextBit);
  EXPECT_EQ(calls[2].a, WM_KEYDOWN);
  EXPECT_EQ(calls[3].what, "update");
}

TEST_F(EngineTest, ClosingAsksTheGameAndARefusalKeepsRunning) {
  ASSERT_TRUE(Start(MakeAppFolder()));
  Show();
  Game().allowClose = false;
  Platform().PostMessage({WM_CLOSE, 0, 0});
  for (int i = 0; i < 5; ++i) engine->Step();
  EXPECT_EQ(Game().Calls("canclose").size(), 1u);
  EXPECT_EQ(engine->FrameCount(), 4);  // the message took one step, frames went on

  Game().allowClose = true;
  Platform().PostMessage({WM_CLOSE, 0, 0});
  engine->Run();  // returns once the window is gone
  EXPECT_EQ(Game().Calls("canclose").size(), 2u);
}

TEST_F(EngineTest, MinimisingStopsFramesAndFocusTellsTheGame) {
  ASSERT_TRUE(Start(MakeAppFolder()));
  Show();
  engine->WindowProc({WM_SYSCOMMAND, SC_MINIMIZE, 0});
  int frames = engine->FrameCount();
  engine->Step();
  EXPECT_EQ(engine->FrameCount(), frames);
  engine->WindowProc({WM_SYSCOMMAND, SC_RESTORE, 0});
  engine->Step();
  EXPECT_EQ(engine->FrameCount(), frames + 1);
  engine->WindowProc({WM_KILLFOCUS, 0, 0});
  auto active = Game().Calls("active");
  ASSERT_FALSE(active.empty());
  EXPECT_EQ(active.back().a, 0u);
}

TEST_F(EngineTest, TheSystemCursorFollowsTheGameOnlyInsideTheClientArea) {
  ASSERT_TRUE(Start(MakeAppFolder()));
  Show();
  engine->HideSystemCursor();
  EXPECT_FALSE(Platform().SystemCursorShown());
  engine->WindowProc({WM_NCHITTEST, HTNOWHERE, 0});  // over the frame: the cursor shows
  EXPECT_TRUE(Platform().SystemCursorShown());
  engine->WindowProc({WM_NCHITTEST, HTCLIENT, 0});
  EXPECT_FALSE(Platform().SystemCursorShown());
  engine->ShowSystemCursor();
  EXPECT_TRUE(Platform().SystemCursorShown());
}

TEST_F(EngineTest, SettingsSideEffectsAndTextFiles) {
  std::string app = MakeAppFolder();
  test::WriteFile(app + "/data/plain.txt", "a\nb\r\nc");
  ASSERT_TRUE(Start(app));
  EXPECT_EQ(engine->LoadTextFile("data\\plain.txt", ""), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(engine->LoadTextFile("data/missing.txt", ""), "");
  EXPECT_TRUE(engine->SaveUserDataFile("hello", "notes.txt"));
  EXPECT_EQ(test::ReadFile(app + "/user/notes.txt"), "hello");
  // The options store and the clipboard are the engine's.
  EXPECT_TRUE(SetGlobalOption("Probe", "1"));
  EXPECT_TRUE(std::filesystem::exists(app + "/user/options.dat"));
  Platform().SetClipboardText("pasted");
  EXPECT_EQ(GetClipboardText(), "pasted");
}

TEST_F(EngineTest, LoadsResourceFilesFromArchivesAndReleasesThemByGroup) {
  std::string app = MakeAppFolder();
  // A 2 x 1 PNG inside data/art.qvd, listed by an enciphered resource file.
  std::string png = test::EncodePng(2, 1, 6, 8, {255, 0, 0, 255, 0, 0, 255, 128});
  test::WriteFile(app + "/data/art.qvd", test::MakeZip({{"Logo.png", png}}));
  std::string list = R"(<resources><content>
      <resource name="logo" type="ImageResource" file="data\art\logo.png" format="png"/>
      <resource name="logo" type="ImageResource" file="data\art\other.png" format="png"/>
      <resource name="odd" type="NoSuchResource"/>
      <resource name="later" type="ImageResource" file="data\art\logo.png" format="png"
                loadbydemand="yes"/>
    </content></resources>)";
  test::WriteFile(app + "/data/res.xml", EncodeText(list, kDefinitionFileKey, kTextFormatHex));
  ASSERT_TRUE(Start(app));

  engine->LoadResourceFile("data\\res.xml", "menu", false);
  Ref<IImageResource> logo = Query<IImageResource>(engine->FindResource("logo"));
  ASSERT_TRUE(logo);
  EXPECT_EQ(logo->GetGroup(), "menu");
  ASSERT_TRUE(logo->GetSurface());
  EXPECT_EQ(logo->GetSurface()->GetPixel(1, 0), 0x800000FFu);
  EXPECT_FALSE(engine->FindResource("odd"));  // unknown types are skipped
  EXPECT_TRUE(engine->FindResource("later"));

  engine->ReleaseResourceGroup("Menu");  // groups compare exactly
  EXPECT_TRUE(engine->FindResource("logo"));
  engine->ReleaseResourceGroup("menu");
  EXPECT_FALSE(engine->FindResource("logo"));
  EXPECT_FALSE(engine->FindResource("later"));
}

}  // namespace
}  // namespace lumessa
