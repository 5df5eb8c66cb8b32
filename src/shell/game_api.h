// What screens and widgets see of the game, and what the game sees of a screen.
//
//   IGameScreenOwner   the game as its screens (and their widgets) call it
//   IGameScreenSlave   a screen as the game drives it
//   IGSCollection      the declared screens and the open stack
//   ICursor(+Collection)  the mouse cursors the game draws itself
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine_api.h"
#include "engine/params.h"
#include "widgets/widget.h"

namespace lumessa {

class IGameScreenSlave;
class IGSCollection;
class ICursorCollection;

class IGameScreenOwner : public virtual IInterface {
 public:
  // Stores the option (persisted names also in the options store) and applies it to the
  // engine's settings.
  virtual void SetOption(std::string_view name, std::string_view value) = 0;
  // Stores the option and updates the engine's setting when it differs.
  virtual void SetOptionValue(std::string_view name, const TVariant& value) = 0;
  // Null when unknown.
  virtual TVariant GetOption(std::string_view name) const = 0;
  virtual Ref<IEngine> GetEngine() const = 0;
  // The game itself.
  virtual Ref<IGameScreenOwner> GetScreenOwner() = 0;
  // Opens a declared screen on top; false when unknown or open already.
  virtual bool ShowScreen(std::string_view name, const Ref<IParamCollection>& params) = 0;
  // Closes the top screen (recognised by name); false for any other screen.
  virtual bool CloseScreen(const Ref<IGameScreenSlave>& screen,
                           const Ref<IParamCollection>& result) = 0;
  virtual Ref<IGSCollection> GetScreens() const = 0;
  // Profiles, high scores and level records belong to their own module; empty until it exists.
  virtual Ref<IInterface> GetHighScores() const = 0;
  virtual Ref<IInterface> GetProfiles() const = 0;
  virtual Ref<IInterface> GetLevelRecords() const = 0;
  virtual Ref<ICursorCollection> GetCursors() const = 0;
  // Closes the splash screen when open and opens the main screen.
  virtual void GoToMain() = 0;
};

class IGameScreenSlave : public virtual INamedObject {
 public:
  virtual void SetOwner(IGameScreenOwner* owner) = 0;
  // Shut-down: drops parameters, capture, focus and owner, detaches the window.
  virtual void Done() = 0;
  virtual void Show(const Ref<IParamCollection>& params) = 0;
  virtual void Hide() = 0;
  virtual void Activate() = 0;
  virtual void Deactivate() = 0;
  // Does nothing while the screen is not on top.
  virtual void AdvanceTime(int dt) = 0;
  virtual void Draw(ISurface* surface) = 0;
  // The window's bounds; empty without a window.
  virtual TRect GetRect() const = 0;
  virtual void OnAppActivate(bool active) = 0;
  virtual bool HandleMouse(uint32_t message, TPoint point, uint32_t keys) = 0;
  virtual bool HandleKey(uint32_t message, uint32_t key, uint32_t keyData) = 0;
  // A screen opened over this one has closed with that result.
  virtual void OnChildClosed(std::string_view name, const Ref<IParamCollection>& result) = 0;
  virtual Ref<IWindow> GetWindow() const = 0;
  virtual Ref<IWidget> GetWindowWidget() const = 0;
  // The dirty pass of an active (or just deactivated) screen; answers whether it is active.
  virtual bool UpdateDirty() = 0;
  // The window's visibility; true without a window.
  virtual bool IsVisible() const = 0;
  // Closed while its hide effect still plays: it keeps advancing until the effect ends.
  virtual bool IsClosing() const = 0;
};

class IGSCollection : public virtual ICollection {
 public:
  virtual Ref<IGameScreenSlave> Get(const TVariant& key) const = 0;
  virtual bool Add(const Ref<IGameScreenSlave>& screen) = 0;
};

class ICursor : public virtual INamedObject {
 public:
  virtual Ref<IWidget> GetWidget() const = 0;
  // The new widget starts hidden.
  virtual void SetWidget(const Ref<IWidget>& widget) = 0;
  virtual TPoint GetHotspot() const = 0;
  virtual void SetHotspot(TPoint hotspot) = 0;
};

class ICursorCollection : public virtual ICollection {
 public:
  virtual Ref<ICursor> Get(const TVariant& key) const = 0;
  virtual bool Add(const Ref<ICursor>& cursor) = 0;
  virtual Ref<ICursor> GetCurrentCursor() const = 0;
  // Hides the current cursor's widget and shows the named one; false when there is none.
  virtual bool SelectCursor(std::string_view name) = 0;
  // "default_cursor_name" when such a cursor exists, else the first cursor's name, else "".
  virtual std::string GetDefaultCursorName() const = 0;
};

}  // namespace lumessa
