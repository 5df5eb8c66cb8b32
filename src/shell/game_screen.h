// Game screens: a named, persistent object whose visible part is one root widget, its window.
//
//   TGameScreen             "GameScreen": show/hide with media, focus, capture, cursor, the
//                           appearing check that runs AfterShow once the show effect ended
//   TGameScreenQueryDialog  "GameScreenQueryDialog": fills texts from its parameters and closes
//                           with {"Button" = name} when a button is clicked
//   TGSCollection           "gamescreens" / "gamescreen", items created by "type"
//
// A game screen subclass overrides the hooks BeforeShow, AfterShow, OnChildClosed,
// HandleEvent and OnAppActivate; Params(), Owner() and Window() give it what it works on.
#pragma once

#include <string>
#include <string_view>

#include "resources/sound.h"
#include "shell/game_api.h"
#include "widgets/effects.h"

namespace lumessa {

class TGameScreen : public TPropertyObject,
                    public virtual IGameScreenSlave,
                    public virtual IWindow,
                    public virtual IEventHandler,
                    public virtual IWidgetOwner {
 public:
  // Creates the window (an appearance effect widget with mouse stop) and the media lists.
  void Initialize() override;

  // IGameScreenSlave
  void SetOwner(IGameScreenOwner* owner) override;
  void Done() override;
  void Show(const Ref<IParamCollection>& params) override;
  void Hide() override;
  void Activate() override { active_ = true; }
  void Deactivate() override { active_ = false; }
  void AdvanceTime(int dt) override;
  void Draw(ISurface* surface) override;
  TRect GetRect() const override;
  void OnAppActivate(bool active) override { (void)active; }
  bool HandleMouse(uint32_t message, TPoint point, uint32_t keys) override;
  bool HandleKey(uint32_t message, uint32_t key, uint32_t keyData) override;
  void OnChildClosed(std::string_view name, const Ref<IParamCollection>& result) override;
  Ref<IWindow> GetWindow() const override;
  Ref<IWidget> GetWindowWidget() const override { return window_; }
  bool UpdateDirty() override;
  bool IsVisible() const override { return !window_ || window_->GetVisible(); }
  bool IsClosing() const override { return closing_; }

  // IWindow
  void SetCapture(const Ref<IWidget>& widget) override;
  void ReleaseCapture() override;
  Ref<IWidget> GetCapture() const override { return capture_; }
  void SetFocus(const Ref<IWidget>& widget) override;
  void KillFocus() override;
  Ref<IWidget> GetFocus() const override { return focus_; }
  Ref<IWidgetCollection> GetChildren() const override;
  // Drops capture and focus and refreshes the window (also IPersistObject::Reset).
  void Reset() override;
  Ref<IWidget> WidgetAtPos(TPoint point) override;
  Ref<IWidget> FindWidget(std::string_view path) const override;
  TAudioHandle PlaySound(std::string_view name) override;
  void StopSound(std::string_view name) override;

  // IEventHandler: nothing is handled here.
  bool HandleEvent(const Ref<IWidget>& sender, int code, const TVariant& parameter) override;
  Ref<IEngine> GetEngine() const override;
  Ref<IInterface> GetScreenOwner() const override;

  // IWidgetOwner (of the window)
  Ref<IEventHandler> GetEventHandler() const override {
    return Ref<IEventHandler>(const_cast<TGameScreen*>(this));
  }
  TPoint ScreenToChildLocal(TPoint point) const override { return point; }
  Ref<IWidget> CreateWidget(std::string_view, const Ref<IParamCollection>&) override { return {}; }
  std::string GetPath() const override { return GetName(); }
  void InvalidateRect(const TRect& rect) override;

  bool IsActive() const { return active_; }
  bool IsAppearing() const { return appearing_; }
  const std::string& GetCursorName() const { return cursorName_; }
  const Ref<IParamCollection>& Params() const { return params_; }
  IGameScreenOwner* Owner() const { return owner_.get(); }
  const Ref<TAppearanceEffectWdiget>& Window() const { return window_; }
  // The first visible tab stop among the window's children after index `after` (wrapping to
  // the start, up to and including it); none when there is no tab stop.
  Ref<IWidget> NextTabStop(int after) const;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

  // "sound_show_window" and "music_background".
  virtual void OnShowMedia();
  // "sound_hide_window", and the music stops.
  virtual void OnHideMedia();
  // Before the window appears; the parameters are those of ShowScreen.
  virtual void BeforeShow(const Ref<IParamCollection>& params) { (void)params; }
  // Once, in the frame the show effect has finished (at once without one).
  virtual void AfterShow(const Ref<IParamCollection>& params) { (void)params; }

 private:
  void CheckAppearing();

  Ref<IGameScreenOwner> owner_;
  std::string cursorName_;
  Ref<TAppearanceEffectWdiget> window_;
  Ref<IMusicCollection> musics_;
  Ref<ISoundCollection> sounds_;
  bool active_ = false;
  bool wasActive_ = false;
  bool appearing_ = false;
  bool closing_ = false;
  Ref<IParamCollection> params_;
  Ref<IWidget> capture_;
  Ref<IWidget> focus_;
  std::string previousCursor_;
};

class TGameScreenQueryDialog : public TGameScreen {
 public:
  // Any code-1 event (a click) closes the dialog with {"Button" = the sender's name}.
  bool HandleEvent(const Ref<IWidget>& sender, int code, const TVariant& parameter) override;

 protected:
  // Each parameter naming a widget of the window sets that widget's "text_utf8".
  void BeforeShow(const Ref<IParamCollection>& params) override;
};

class TGSCollection : public TTypedCreationPersistItemCollection, public virtual IGSCollection {
 public:
  void Initialize() override;
  Ref<IGameScreenSlave> Get(const TVariant& key) const override {
    return GetAs<IGameScreenSlave>(key);
  }
  bool Add(const Ref<IGameScreenSlave>& screen) override;

 protected:
  void AddItem(const Ref<IInterface>& item) override;
};

}  // namespace lumessa
