// The game object the engine drives ("Game"): the declared screens and the open stack, the
// options, the cursors, the resource files, and the start-up sequence (splash logos, splash
// with loading, main screen).
#pragma once

#include <string>
#include <string_view>

#include "persistence/param_collection.h"
#include "resources/resource_catalogue.h"
#include "shell/cursors.h"
#include "shell/game_screen.h"

namespace lumessa {

// Options kept between runs in the options store.
bool IsPersistedOptionName(std::string_view name);

class TGame : public TPersistObject,
              public virtual IGame,
              public virtual IGameScreenOwner,
              public virtual IWidgetOwner {
 public:
  void Initialize() override;

  // IGame
  void AttachEngine(IEngine* engine) override;
  void Detach() override;
  void Update(int elapsedMs) override;
  void Draw(ISurface* surface) override;
  bool MouseMessage(uint32_t message, TPoint point, uint32_t keys) override;
  bool KeyMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;
  void SetActive(bool active) override;
  bool CanClose() override;
  void SetOption(std::string_view name, std::string_view value) override;
  void PrepareFrame() override;

  // IGameScreenOwner
  void SetOptionValue(std::string_view name, const TVariant& value) override;
  TVariant GetOption(std::string_view name) const override;
  Ref<IEngine> GetEngine() const override { return engine_; }
  Ref<IGameScreenOwner> GetScreenOwner() override { return Ref<IGameScreenOwner>(this); }
  bool ShowScreen(std::string_view name, const Ref<IParamCollection>& params) override;
  bool CloseScreen(const Ref<IGameScreenSlave>& screen,
                   const Ref<IParamCollection>& result) override;
  Ref<IGSCollection> GetScreens() const override { return screens_; }
  Ref<IInterface> GetHighScores() const override { return {}; }
  Ref<IInterface> GetProfiles() const override { return {}; }
  Ref<IInterface> GetLevelRecords() const override { return {}; }
  Ref<ICursorCollection> GetCursors() const override { return cursors_; }
  void GoToMain() override;

  // IWidgetOwner (of the cursor widgets)
  Ref<IWindow> GetWindow() const override { return {}; }
  Ref<IEventHandler> GetEventHandler() const override { return {}; }
  TPoint ScreenToChildLocal(TPoint point) const override { return point; }
  Ref<IWidget> CreateWidget(std::string_view, const Ref<IParamCollection>&) override { return {}; }
  Ref<IWidget> FindWidget(std::string_view) const override { return {}; }
  std::string GetPath() const override { return {}; }
  void InvalidateRect(const TRect& rect) override;

  // The open stack, bottom first.
  const Ref<TGSCollection>& OpenScreens() const { return stack_; }
  Ref<IGameScreenSlave> TopScreen() const;
  bool IsOpen(std::string_view name) const { return stack_->Contains(name); }
  const Ref<IParamCollection>& Options() const { return options_; }
  const Ref<IParamCollection>& LastCloseResult() const { return lastResult_; }
  const Ref<TResourceFileCollection>& ResourceFiles() const { return resourceFiles_; }
  bool IsLoading() const { return loading_; }
  bool InSplashLogosPhase() const { return splashLogosPhase_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

  // Once, in the first Update after the splash-logos screen has closed.
  virtual void AfterLogos();
  // Persisted options: the stored value wins when there is one; else the definition's value is
  // stored.
  virtual void LoadStoredOptions();
  virtual void PushOptionsToEngine();

 private:
  // Removes every hidden screen from the stack and tells the screen below.
  void ClosedScreenPass();
  void RemoveFromStack(int index);
  // Sets the engine's setting when it differs; true when it was set.
  bool UpdateEngineSetting(std::string_view name, const TVariant& value);
  void ToggleEngineOption(std::string_view name);
  IWidget* CursorWidget() const;

  std::string splashLogosName_;
  std::string splashName_;
  std::string closeQueryName_;
  std::string mainName_;
  Ref<IParamCollection> options_;
  Ref<TGSCollection> screens_;
  Ref<TGSCollection> stack_;
  Ref<TResourceFileCollection> resourceFiles_;
  Ref<TCursorCollection> cursors_;
  Ref<IEngine> engine_;
  Ref<IParamCollection> lastResult_;
  bool splashLogosPhase_ = false;
  bool afterLogosDone_ = false;
  bool loading_ = true;
};

}  // namespace lumessa
