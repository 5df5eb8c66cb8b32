// What the subsystems see of the engine (IEngine), what the engine drives in the game (IGame),
// and the entry's start/run/stop interface (IApplication).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/geometry.h"
#include "engine/object.h"
#include "engine/surface.h"
#include "engine/variant.h"
#include "platform/platform.h"
#include "resources/resource.h"

namespace lumessa {

class IHierStorage;
class ISound;
class IMusic;
class IGame;

// Sees every message the engine does not consume; true when it handled it.
using TMessageHook = std::function<bool(const TMessage&)>;

class IEngine : public virtual IInterface {
 public:
  // Folder of the game's data, with a trailing "/".
  virtual std::string GetApplicationFolder() const = 0;
  // The writable per-user data folder, with a trailing "/".
  virtual std::string GetUserDataFolder() const = 0;
  // Writes text to a file below the user data folder (atomically); false on failure.
  virtual bool SaveUserDataFile(std::string_view text, std::string_view fileName) = 0;
  // The same below the application folder.
  virtual bool SaveApplicationFile(std::string_view text, std::string_view fileName) = 0;
  // Stores a setting and applies its side effects ("MusicVolume", "SoundVolume", "ShowFPS",
  // "ShowRects").
  virtual void SetParam(std::string_view name, const TVariant& value) = 0;
  // The setting's value, or Null when unknown.
  virtual TVariant GetParam(std::string_view name) const = 0;
  // Applies "ScreenWidth", "ScreenHeight", "FullScreenMode", "ScreenBPP", then the caption.
  virtual bool ApplyDisplaySettings() = 0;
  // A text file through the data-file layer, deciphered when key is non-empty; empty on error.
  virtual std::string LoadTextFile(std::string_view fileName, std::string_view key) = 0;
  // Adds the resources listed under the storage's "content" child to the catalogue.
  virtual void LoadResources(const Ref<IHierStorage>& storage, std::string_view group,
                             bool pumpFrames) = 0;
  virtual void LoadResourceFile(std::string_view fileName, std::string_view group,
                                bool pumpFrames) = 0;
  // Unloads and removes every resource of the group ("" means all).
  virtual void ReleaseResourceGroup(std::string_view group) = 0;
  virtual Ref<IResource> FindResource(std::string_view name) = 0;
  virtual void RemoveResource(std::string_view name) = 0;
  // Mouse position in game coordinates.
  virtual TPoint GetCursorPos() const = 0;
  virtual void SetCursorPos(TPoint p) = 0;
  virtual void HideSystemCursor() = 0;
  virtual void ShowSystemCursor() = 0;
  virtual TAudioHandle PlayMusic(const Ref<IMusic>& music) = 0;
  virtual void StopMusic(const Ref<IMusic>& music) = 0;
  virtual TAudioHandle PlaySound(const Ref<ISound>& sound) = 0;
  virtual void StopSound(const Ref<ISound>& sound) = 0;
  virtual void StopAllSounds() = 0;
  virtual void SetMusicVolumeValue(const TVariant& value) = 0;
  // Asks the window to close and stops producing frames.
  virtual void Quit() = 0;
  // Opens an existing file with the desktop's program for it, and minimises the window.
  virtual void OpenDocument(std::string_view fileName) = 0;
  virtual void OpenUrl(std::string_view url) = 0;
  // A new, empty surface.
  virtual Ref<ISurface> CreateSurface() = 0;
  virtual Ref<IGame> GetGame() const = 0;
  // Marks an area of the screen for redraw (clamped to the screen).
  virtual void InvalidateRect(const TRect& rect) = 0;
  virtual void ValidateAll() = 0;
  virtual void SetMessageHook(TMessageHook hook) = 0;
  virtual void ClearMessageHook() = 0;
};

// Channel control of the audio layer, answered by the engine beside IEngine: a sound widget
// asks whether the channel PlaySound gave it still plays, and stops just that channel.
class IAudioChannels : public virtual IInterface {
 public:
  virtual bool IsChannelPlaying(TAudioHandle channel) const = 0;
  virtual void StopChannel(TAudioHandle channel) = 0;
};

// The game's side, driven by the engine.
class IGame : public virtual IInterface {
 public:
  // Once, after the game was created and loaded.
  virtual void AttachEngine(IEngine* engine) = 0;
  // Once, at shut-down.
  virtual void Detach() = 0;
  virtual void Update(int elapsedMs) = 0;
  // In a frame in which some area was invalidated.
  virtual void Draw(ISurface* surface) = 0;
  // Mouse messages (0x200..0x209); true when handled.
  virtual bool MouseMessage(uint32_t message, TPoint point, uint32_t keys) = 0;
  // WM_KEYDOWN, WM_KEYUP, WM_CHAR (and Alt+key as WM_CHAR with kAltContextBit).
  virtual bool KeyMessage(uint32_t message, uint32_t wParam, uint32_t lParam) = 0;
  // Focus gained or lost.
  virtual void SetActive(bool active) = 0;
  // The window is asked to close; false refuses.
  virtual bool CanClose() = 0;
  virtual void SetOption(std::string_view name, std::string_view value) = 0;
  // Every frame, right after Update.
  virtual void PrepareFrame() = 0;
};

class IApplication : public virtual IInterface {
 public:
  virtual bool Init(std::string_view definitionFile) = 0;
  // The run loop; returns when the window is gone.
  virtual void Run() = 0;
  // Shut-down; safe to call twice.
  virtual void Done() = 0;
};

}  // namespace lumessa
