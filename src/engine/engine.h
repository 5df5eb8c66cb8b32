// TEngine: the application object. It owns the window (through the platform layer), the screen
// surface, the settings, the resource catalogue and the audio, runs the frame loop, and drives
// the game named by the game definition file through IGame.
//
//   start-up    Init: settings, window, display, sound, then the game definition
//   frame loop  Run / Step: one message, or one frame at most every FrameInterval ms
//   window      WindowProc: desktop window messages to the game
//   services    IEngine (settings, files, resources, cursor, sounds) and IResourceOwner
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_api.h"
#include "engine/input_script.h"
#include "engine/present.h"
#include "engine/surface.h"
#include "platform/platform.h"

namespace lumessa {

class IParamCollection;
class TAudioPlayer;

// Fixed values of this game.
inline constexpr const char* kGameDefinitionFile = "data\\ini\\Lumessa.ini";
// Key of the game definition and the resource files.
inline constexpr const char* kDefinitionFileKey = "t4wqpz81mhvc2r7bnxe";
inline constexpr const char* kProductKey = "mirelslumessa";
inline constexpr const char* kMakerFolder = "QuorvelGames";
inline constexpr const char* kWindowClassName = "QuorvelGameEngineWindow";
inline constexpr uint32_t kFrameInterval = 10;

// What the command line decides for one run.
struct TEngineOptions {
  TPlatformKind platform = TPlatformKind::Sdl;
  std::string applicationFolder;  // absolute, with a trailing "/"
  std::string userDataFolder;     // empty: the per-user default
  int frames = 0;                 // end after this many frames; 0 runs until closed
  uint32_t headlessFrameMs = kFrameInterval;
  TInputScript input;
  std::vector<std::pair<int, std::string>> screenshotsAt;  // (frame, file)
  std::optional<bool> fullScreen;                          // overrides the stored mode
  std::optional<uint64_t> seed;
  bool mute = false;
};

class TEngine : public TAbstractObject,
                public virtual IEngine,
                public virtual IAudioChannels,
                public virtual IResourceOwner,
                public virtual IApplication {
 public:
  TEngine();
  ~TEngine() override;

  // Must come before Init.
  void Configure(TEngineOptions options);
  // Why Init failed, in one line.
  const std::string& StartupError() const { return startupError_; }
  // Frames produced so far.
  int FrameCount() const { return frameCount_; }
  IPlatform* Platform() const { return platform_.get(); }
  ISurface* ScreenSurface() const { return screen_.get(); }

  // IApplication
  bool Init(std::string_view definitionFile) override;
  void Run() override;
  void Done() override;
  // One message or one frame.
  void Step();

  // IEngine
  std::string GetApplicationFolder() const override { return options_.applicationFolder; }
  std::string GetUserDataFolder() const override;
  bool SaveUserDataFile(std::string_view text, std::string_view fileName) override;
  bool SaveApplicationFile(std::string_view text, std::string_view fileName) override;
  void SetParam(std::string_view name, const TVariant& value) override;
  TVariant GetParam(std::string_view name) const override;
  bool ApplyDisplaySettings() override;
  std::string LoadTextFile(std::string_view fileName, std::string_view key) override;
  void LoadResources(const Ref<IHierStorage>& storage, std::string_view group,
                     bool pumpFrames) override;
  void LoadResourceFile(std::string_view fileName, std::string_view group,
                        bool pumpFrames) override;
  void ReleaseResourceGroup(std::string_view group) override;
  Ref<IResource> FindResource(std::string_view name) override;
  void RemoveResource(std::string_view name) override;
  TPoint GetCursorPos() const override;
  void SetCursorPos(TPoint p) override;
  void HideSystemCursor() override;
  void ShowSystemCursor() override;
  TAudioHandle PlayMusic(const Ref<IMusic>& music) override;
  void StopMusic(const Ref<IMusic>& music) override;
  TAudioHandle PlaySound(const Ref<ISound>& sound) override;
  void StopSound(const Ref<ISound>& sound) override;
  void StopAllSounds() override;
  void SetMusicVolumeValue(const TVariant& value) override;
  void Quit() override;
  void OpenDocument(std::string_view fileName) override;
  void OpenUrl(std::string_view url) override;
  Ref<ISurface> CreateSurface() override;
  Ref<IGame> GetGame() const override { return game_; }
  void InvalidateRect(const TRect& rect) override;
  void ValidateAll() override;
  void SetMessageHook(TMessageHook hook) override { messageHook_ = std::move(hook); }
  void ClearMessageHook() override { messageHook_ = nullptr; }

  // IResourceOwner
  TStreamPtr OpenDataStream(std::string_view fileName) override;
  TPixelFormatRecord GetPixelFormat() const override;
  uint32_t ConvertColor(uint32_t rgb) const override;
  TAudioHandle LoadMusicModule(std::string_view fileName) override;
  void FreeMusicModule(TAudioHandle handle) override;
  TAudioHandle LoadSample(std::string_view fileName, uint16_t maxPlaybacks, bool loop) override;
  TAudioHandle LoadMusicSample(std::string_view fileName, TAudioHandle& sample) override;
  void FreeSample(TAudioHandle handle) override;

  // IAudioChannels
  bool IsChannelPlaying(TAudioHandle channel) const override;
  void StopChannel(TAudioHandle channel) override;

  // The window procedure: true when the message was handled (default processing skipped).
  bool WindowProc(const TMessage& message);

 private:
  void InitSettings();
  bool CreateEngineWindow();
  void ReadPixelFormat();
  void InitSound();
  bool LoadGame(std::string_view definitionFile);
  void SetFocused(bool focused);
  void SetOverNonClient(bool over);
  void DefaultWindowProc(const TMessage& message);
  void Present();
  void DeliverScriptedInput(int frame);
  void TakeScreenshots(int frame);
  bool Fail(std::string reason);

  TEngineOptions options_;
  std::unique_ptr<IPlatform> platform_;
  std::unique_ptr<TAudioPlayer> audio_;
  Ref<IGame> game_;
  Ref<ISurface> screen_;
  Ref<IResourceCollection> resources_;
  Ref<IParamCollection> params_;
  TMessageHook messageHook_;
  TPixelFormat pixelFormat_;
  std::string caption_;
  std::string startupError_;

  int screenWidth_ = 0;
  int screenHeight_ = 0;
  int screenBpp_ = 0;
  int desktopBpp_ = 0;
  bool fullScreen_ = false;
  bool windowCreated_ = false;
  bool surfacesReady_ = false;
  bool soundReady_ = false;
  bool active_ = false;
  bool focused_ = false;
  bool overNonClient_ = false;
  bool cursorShown_ = true;
  bool showFps_ = false;
  bool showRects_ = true;
  bool dirty_ = false;
  bool presentNeeded_ = true;
  bool terminated_ = false;
  bool done_ = false;
  bool displayApplied_ = false;
  uint32_t frameInterval_ = kFrameInterval;
  uint32_t lastFrameTime_ = 0;
  int frameCount_ = 0;
};

// Registers "Engine".
void RegisterEngineClasses();

}  // namespace lumessa
