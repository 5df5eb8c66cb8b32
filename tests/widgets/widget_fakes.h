// Stand-ins for what the widget tree talks to, shared by the widget tests and the widget
// benchmark: a small engine (resources, surfaces, sounds and channels, no devices), the top of
// the owner chain (a screen that records the invalidated rectangles and is the window "window:"
// paths reach), image and font resources made in memory, and sounds.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/engine_api.h"
#include "math/function.h"
#include "persistence/persist_object.h"
#include "persistence/xml_storage.h"
#include "widgets/abstract_widget.h"
#include "widgets/widget_classes.h"

namespace lumessa::test {

inline void EnsureWidgetClasses() {
  if (!FindObjectClass("function_sum").construct) RegisterMathClasses();
  if (!FindObjectClass("group_widget").construct) RegisterWidgetClasses();
}

// ---------------------------------------------------------------------------------------------
// Resources

class TFakeResourceBase : public TNamedObject, public virtual IResource {
 public:
  std::string GetGroup() const override { return {}; }
  void SetGroup(std::string_view) override {}
  void Load() override {}
  void Unload() override {}
  void SetOwner(IResourceOwner*) override {}
  void ReleaseResource() override {}
};

class TFakeImage : public TFakeResourceBase, public virtual IImageResource {
 public:
  explicit TFakeImage(Ref<ISurface> surface) : surface_(std::move(surface)) {}
  int GetWidth() override { return surface_ ? surface_->GetWidth() : 0; }
  int GetHeight() override { return surface_ ? surface_->GetHeight() : 0; }
  Ref<ISurface> GetSurface() override { return surface_; }

 private:
  Ref<ISurface> surface_;
};

class TFakeSymbol : public TNamedObject, public virtual ISymbol {
 public:
  TFakeSymbol(int code, TRect rect, int wleft, int wright)
      : code_(code), rect_(rect), wleft_(wleft), wright_(wright) {}
  int GetCode() const override { return code_; }
  void SetCode(int code) override { code_ = code; }
  TRect GetRect() const override { return rect_; }
  void SetRect(const TRect& rect) override { rect_ = rect; }
  int GetWidth() const override { return rect_.Width(); }
  int GetHeight() const override { return rect_.Height(); }
  int GetLeftBearing() const override { return wleft_; }
  int GetRightBearing() const override { return wright_; }

 private:
  int code_;
  TRect rect_;
  int wleft_, wright_;
};

// A font whose glyphs are opaque blocks cut from one surface, one column of it per glyph.
class TFakeFont : public TFakeResourceBase, public virtual IFontResource {
 public:
  TFakeFont(int lineHeight, uint32_t color = 0xFFFFFFFF)
      : lineHeight_(lineHeight), surface_(MakeSurface(256, 64, true)) {
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 256; ++x) surface_->SetPixel(x, y, color);
  }
  // A glyph of that size at its own place in the font surface.
  void AddGlyph(char c, int width, int height, int wleft = 0, int wright = 0) {
    TRect rect = RectOfSize(next_, 0, width, height);
    next_ += width;
    symbols_[c] = MakeRef<TFakeSymbol>(int(c), rect, wleft, wright);
  }
  int GetWidth() override { return surface_->GetWidth(); }
  int GetHeight() override { return surface_->GetHeight(); }
  Ref<ISurface> GetSurface() override { return surface_; }
  int GetLineHeight() override { return lineHeight_; }
  Ref<ISymbol> GetSymbol(std::string_view text) override {
    if (text.size() != 1) return {};
    auto it = symbols_.find(text[0]);
    return it == symbols_.end() ? Ref<ISymbol>() : Ref<ISymbol>(it->second);
  }

 private:
  int lineHeight_;
  Ref<TSurface> surface_;
  std::map<char, Ref<TFakeSymbol>> symbols_;
  int next_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Sounds

class TFakeSound : public TPropertyObject, public virtual ISound {
 public:
  std::string GetResourceName() const override { return GetName(); }
  int GetVolume() const override { return volume_; }
  void SetVolume(int volume) override { volume_ = volume; }
  int GetPan() const override { return pan_; }
  void SetPan(int pan) override { pan_ = pan; }
  bool GetMuteMusic() const override { return false; }
  void SetMuteMusic(bool) override {}

 private:
  int volume_ = -1;
  int pan_ = -101;
};

class TFakeSoundCollection : public TCollection, public virtual ISoundCollection {
 public:
  Ref<ISound> Get(const TVariant& key) const override { return GetAs<ISound>(key); }
  bool Add(const Ref<ISound>& sound) override {
    return items_.Add(Ref<IInterface>(sound.get()), false, -1, sound->GetName()) != nullptr;
  }
  // Adds a sound of that name.
  Ref<TFakeSound> AddSound(std::string_view name) {
    Ref<TFakeSound> sound = NewObject<TFakeSound>();
    sound->SetName(name);
    Add(sound);
    return sound;
  }
};

// ---------------------------------------------------------------------------------------------
// Engine

class TFakeEngine : public TAbstractObject, public virtual IEngine, public virtual IAudioChannels {
 public:
  struct TPlay {
    std::string sound;
    int volume;
    int pan;
    TAudioHandle channel;
  };

  std::map<std::string, Ref<IResource>> resources;
  std::vector<TPlay> plays;
  std::vector<std::string> stops;
  std::set<TAudioHandle> playing;  // channels that still play
  std::set<TAudioHandle> stoppedChannels;
  bool failPlays = false;
  int surfacesCreated = 0;
  TPoint cursorPos;                    // what GetCursorPos answers
  std::vector<std::string> urls;       // OpenUrl calls
  std::vector<std::string> documents;  // OpenDocument calls

  void AddResource(std::string_view name, Ref<IResource> resource) {
    resource->SetName(name);
    resources[std::string(name)] = std::move(resource);
  }

  // IAudioChannels
  bool IsChannelPlaying(TAudioHandle channel) const override { return playing.count(channel); }
  void StopChannel(TAudioHandle channel) override {
    playing.erase(channel);
    stoppedChannels.insert(channel);
  }

  // IEngine
  std::string GetApplicationFolder() const override { return {}; }
  std::string GetUserDataFolder() const override { return {}; }
  bool SaveUserDataFile(std::string_view, std::string_view) override { return false; }
  bool SaveApplicationFile(std::string_view, std::string_view) override { return false; }
  void SetParam(std::string_view, const TVariant&) override {}
  TVariant GetParam(std::string_view) const override { return TVariant::Null; }
  bool ApplyDisplaySettings() override { return true; }
  std::string LoadTextFile(std::string_view, std::string_view) override { return {}; }
  void LoadResources(const Ref<IHierStorage>&, std::string_view, bool) override {}
  void LoadResourceFile(std::string_view, std::string_view, bool) override {}
  void ReleaseResourceGroup(std::string_view) override {}
  Ref<IResource> FindResource(std::string_view name) override {
    auto it = resources.find(std::string(name));
    return it == resources.end() ? Ref<IResource>() : it->second;
  }
  void RemoveResource(std::string_view) override {}
  TPoint GetCursorPos() const override { return cursorPos; }
  void SetCursorPos(TPoint) override {}
  void HideSystemCursor() override {}
  void ShowSystemCursor() override {}
  TAudioHandle PlayMusic(const Ref<IMusic>&) override { return 0; }
  void StopMusic(const Ref<IMusic>&) override {}
  TAudioHandle PlaySound(const Ref<ISound>& sound) override {
    TAudioHandle channel = failPlays ? 0 : TAudioHandle(plays.size() + 1);
    plays.push_back({sound->GetResourceName(), sound->GetVolume(), sound->GetPan(), channel});
    if (channel) playing.insert(channel);
    return channel;
  }
  void StopSound(const Ref<ISound>& sound) override { stops.push_back(sound->GetResourceName()); }
  void StopAllSounds() override {}
  void SetMusicVolumeValue(const TVariant&) override {}
  void Quit() override {}
  void OpenDocument(std::string_view name) override { documents.emplace_back(name); }
  void OpenUrl(std::string_view url) override { urls.emplace_back(url); }
  Ref<ISurface> CreateSurface() override {
    ++surfacesCreated;
    return MakeSurface(0, 0);
  }
  Ref<IGame> GetGame() const override { return {}; }
  void InvalidateRect(const TRect&) override {}
  void ValidateAll() override {}
  void SetMessageHook(TMessageHook) override {}
  void ClearMessageHook() override {}
};

// ---------------------------------------------------------------------------------------------
// Screen: the top of the owner chain, and the window "window:" paths reach.

class TTestScreen : public TPropertyObject, public virtual IWidgetOwner, public virtual IWindow {
 public:
  Ref<TFakeEngine> engine = MakeRef<TFakeEngine>();
  Ref<IWidget> root;
  std::vector<TRect> invalidated;

  // Attaches the tree to this screen.
  void SetRoot(const Ref<IWidget>& widget) {
    root = widget;
    if (root) root->SetOwner(this);
  }
  // Breaks the cycles of the tree and lets it go.
  void ReleaseTree() { ReleaseWidget(root); }
  // One frame as the game screen runs it: advance, then the dirty pass.
  void Frame(int dt) {
    root->AdvanceTime(dt);
    root->UpdateDirty(false, false);
  }
  // The union of the rectangles invalidated so far, then forgets them.
  std::vector<TRect> TakeInvalidated() { return std::exchange(invalidated, {}); }

  // IWidgetOwner
  Ref<IEngine> GetEngine() const override { return engine; }
  Ref<IWindow> GetWindow() const override { return Ref<IWindow>(const_cast<TTestScreen*>(this)); }
  Ref<IEventHandler> GetEventHandler() const override { return {}; }
  TPoint ScreenToChildLocal(TPoint point) const override { return point; }
  Ref<IWidget> CreateWidget(std::string_view, const Ref<IParamCollection>&) override { return {}; }
  Ref<IWidget> FindWidget(std::string_view path) const override {
    return root ? root->FindWidget(path) : Ref<IWidget>();
  }
  std::string GetPath() const override { return {}; }
  void InvalidateRect(const TRect& rect) override { invalidated.push_back(rect); }

  // IWindow
  void SetCapture(const Ref<IWidget>&) override {}
  void ReleaseCapture() override {}
  Ref<IWidget> GetCapture() const override { return {}; }
  void SetFocus(const Ref<IWidget>&) override {}
  void KillFocus() override {}
  Ref<IWidget> GetFocus() const override { return {}; }
  Ref<IWidgetCollection> GetChildren() const override {
    return root ? root->GetChildren() : Ref<IWidgetCollection>();
  }
  void Reset() override {}
  Ref<IWidget> WidgetAtPos(TPoint point) override {
    return root ? root->WidgetAtPos(point) : Ref<IWidget>();
  }
  TAudioHandle PlaySound(std::string_view) override { return 0; }
  void StopSound(std::string_view) override {}
};

}  // namespace lumessa::test
