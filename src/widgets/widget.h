// The widget contract: what every widget, every owner of widgets and every child collection
// answers, and the helpers game code uses on widgets.
//
//   IWidget                   one widget: time, life, geometry, drawing, hit testing, sounds
//   IWidgetOwner              what a widget asks of its owner (a group, a decorator, a screen)
//   ISimpleWidgetCollection   an ordered list of widgets (element "widgets", items "widget")
//   IWidgetCollection         a group's children: owner management, z order, the frame passes
//   IWindow, IEventHandler    the enclosing game screen as its widgets see it (the shell
//                             implements them)
//   IWidgetFactory(+Collection)  named widget XML that builds widgets on request
//   helpers                   FindWidget<I>, GetScreenRect, LocalToScreen, PixelsOverlap
//
// The classes live in abstract_widget.h (the bases), widget_group.h, decorate_widget.h,
// surface_widgets.h, image_widgets.h, text_widget.h, sound_widget.h, effects.h and
// widget_factory.h; RegisterWidgetClasses (widget_classes.h) registers their kind names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine_api.h"
#include "engine/geometry.h"
#include "engine/params.h"
#include "engine/surface.h"
#include "persistence/persist_object.h"
#include "resources/sound.h"

namespace lumessa {

class IWidget;
class IWidgetOwner;
class IWidgetCollection;
class IWindow;
class IEventHandler;

// One node of the widget tree. Times are integer milliseconds, positions pixels; anchors are
// reals in the owner's coordinate space.
class IWidget : public virtual IPropertyObject {
 public:
  // Stores the owner, applies "redefinedparams" and starts the driver function; groups and
  // decorators then attach their children to themselves.
  virtual void SetOwner(IWidgetOwner* owner) = 0;
  // Lets the driver function go and drops the owner (and, for groups and decorators, the
  // children's owners): what breaks the widget/owner reference cycle.
  virtual void Detach() = 0;
  // Recomputes derived state (layouts, group caches); the base only marks the widget changed.
  virtual void Refresh() = 0;
  virtual Ref<IWidgetOwner> GetOwner() const = 0;
  // Drops the references the widget holds (extra parameters, sounds, driver function,
  // children, factories, decorated widget). For tearing a tree down after Detach.
  virtual void ClearReferences() = 0;

  // A dead widget is removed by its owner's collection at the next reaping.
  virtual bool GetDead() const = 0;
  virtual void SetDead(bool dead) = 0;
  // A paused widget is not advanced.
  virtual bool GetPaused() const = 0;
  virtual void SetPaused(bool paused) = 0;
  // Set when the widget was advanced in the current pass; cleared by the dirty pass.
  virtual bool GetAdvanced() const = 0;
  virtual void SetAdvanced(bool advanced) = 0;
  // Clears the advanced flags of the widget and everything below it (for subtrees the dirty
  // pass skips, so that they advance again next frame).
  virtual void ResetAdvanced() = 0;

  // Scales dt by the time rate (rounded half to even) and advances the widget.
  virtual void AdvanceTime(int dt) = 0;
  // Current time 0, not paused, driver function reset, then one zero step.
  virtual void Restart() = 0;
  virtual void Resume() = 0;
  virtual void Pause() = 0;
  // The children of a group; none for other widgets.
  virtual Ref<IWidgetCollection> GetChildren() const = 0;
  // A direct child by index or name; a decorator answers its decorated widget for any key.
  virtual Ref<IWidget> GetChild(const TVariant& key) const = 0;
  // Resolves a path relative to this widget: "" is the widget itself, "." this widget, ".."
  // the owner, "window:" the screen's root, anything else a child name; steps are separated
  // by "/".
  virtual Ref<IWidget> FindWidget(std::string_view path) const = 0;
  // The widget at that path as interface (or class) I; empty when absent or of another kind:
  // window->Find<TTextWidget>("score").
  template <class I = IWidget>
  Ref<I> Find(std::string_view path) const {
    return Query<I>(FindWidget(path));
  }

  // Always false for widgets that are not visual.
  virtual bool GetVisible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  // -1 for widgets that are not visual.
  virtual int GetZ() const = 0;
  virtual void SetZ(int z) = 0;
  virtual double GetAnchorLeft() const = 0;
  virtual void SetAnchorLeft(double left) = 0;
  virtual double GetAnchorTop() const = 0;
  virtual void SetAnchorTop(double top) = 0;
  // A screen point in the space the widget's own anchors are expressed in.
  virtual TPoint ScreenToLocal(TPoint point) const = 0;
  virtual double GetTop() const = 0;
  virtual double GetLeft() const = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  // The rectangle covered, in owner coordinates.
  virtual TRect GetBounds() const = 0;

  // 0..255; 255 is opaque. Passed to every draw.
  virtual int GetTransparentLevel() const = 0;
  virtual void SetTransparentLevel(int level) = 0;
  // Draws the widget with its anchor point at (x, y) of the surface.
  virtual void Draw(ISurface* surface, int x, int y) = 0;
  // A new surface with per-pixel alpha holding the widget's picture (sized to its bounds);
  // none without an engine reachable through the owner.
  virtual Ref<ISurface> GetImage() = 0;

  virtual bool GetEnabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool GetTabStop() const = 0;
  virtual void SetTabStop(bool tabStop) = 0;
  // Only widgets with mouse stop (and all groups above them) are found by the mouse.
  virtual bool GetMouseStop() const = 0;
  virtual void SetMouseStop(bool mouseStop) = 0;
  // The widget under the point (owner coordinates), or none.
  virtual Ref<IWidget> WidgetAtPos(TPoint point) = 0;
  // Whether the point (owner coordinates) lies on the widget; both edges count.
  virtual bool ContainsPoint(TPoint point, bool ignoreVisibility) = 0;

  virtual void OnCaptureLost() = 0;
  virtual void OnBlur() = 0;
  virtual void OnFocus() = 0;
  // True when handled. The base handles nothing.
  virtual bool HandleMouse(uint32_t message, TPoint point, uint32_t keys) = 0;
  virtual bool HandleKey(uint32_t message, uint32_t key, uint32_t keyData) = 0;

  // Plays a sound of the widget's own "sounds" through the engine; with override, volume and
  // pan replace the sound's own for this one play. The channel, or 0.
  virtual TAudioHandle PlaySound(std::string_view name, bool override, int volume, int pan) = 0;
  virtual void StopSound(std::string_view name) = 0;
  virtual Ref<ISoundCollection> GetSounds() const = 0;

  virtual void HandleMessage(int code, const TVariant& data) = 0;
  // The dirty-rectangle pass: invalidates the old and new screen rectangles of what moved,
  // changed, appeared or disappeared.
  virtual void UpdateDirty(bool forceOld, bool forceNew) = 0;
  virtual bool GetWasVisible() const = 0;
  // Appearance changed since the last dirty pass.
  virtual bool GetChanged() const = 0;
  virtual void SetChanged(bool changed) = 0;
  // The last dirty pass invalidated a rectangle.
  virtual bool GetInvalidated() const = 0;
  // The screen rectangle the last dirty pass found the widget at (empty for widgets that are
  // not visual).
  virtual TRect GetDirtyPassRect() const = 0;

  // SetVisible(show), then SetPaused(!show).
  virtual void ShowWidget(bool show) = 0;
  // Sets (creating) a user-defined property.
  virtual void SetExtraParam(std::string_view name, const TVariant& value) = 0;
};

// What a widget asks of its owner. Groups and decorators forward the engine, window, event
// handler and invalidation requests to their own owner; the game screen ends the chain.
class IWidgetOwner : public virtual INamedObject {
 public:
  virtual Ref<IEngine> GetEngine() const = 0;
  // The window of the enclosing game screen.
  virtual Ref<IWindow> GetWindow() const = 0;
  virtual Ref<IEventHandler> GetEventHandler() const = 0;
  // The owner side of IWidget::ScreenToLocal: a screen point in the space the owner's
  // children's anchors are expressed in (a group subtracts its own rounded anchors; a screen
  // returns the point). It has its own name because a group is a widget and an owner at once
  // and the two conversions differ.
  virtual TPoint ScreenToChildLocal(TPoint point) const = 0;
  // A new widget from the named factory, looked up from here through the owners; none when no
  // factory answers.
  virtual Ref<IWidget> CreateWidget(std::string_view factoryName,
                                    const Ref<IParamCollection>& params) = 0;
  // Resolves a path from the owner ("" is the owner's own widget, if it is one).
  virtual Ref<IWidget> FindWidget(std::string_view path) const = 0;
  // The names from the top of the tree down to this owner, separated by "/".
  virtual std::string GetPath() const = 0;
  // Marks a screen area for redraw.
  virtual void InvalidateRect(const TRect& rect) = 0;
};

// An ordered list of widgets. Names are looked up ignoring ASCII case; several widgets may share
// a name (or have none), and a lookup finds the first.
class ISimpleWidgetCollection : public virtual ICollection {
 public:
  // Adds under the widget's own name; false when the widget is empty.
  virtual bool Add(const Ref<IWidget>& widget) = 0;
  // Adds under the given name.
  virtual bool AddNamed(const Ref<IWidget>& widget, std::string_view name) = 0;
  // By index (integer) or name (string); none otherwise.
  virtual Ref<IWidget> Get(const TVariant& key) const = 0;
  virtual Ref<IWidget> GetByIndex(int index) const = 0;
  virtual Ref<IWidget> GetByName(std::string_view name) const = 0;
  // The position of that very widget, or -1.
  virtual int IndexOfWidget(const IWidget* widget) const = 0;
};

// A group's children: kept in ascending z order (sorted insertion, then a bubble pass each
// frame), attached to the group, advanced, reaped and passed through the dirty pass.
class IWidgetCollection : public virtual ISimpleWidgetCollection {
 public:
  virtual bool IsSorted() const = 0;
  virtual void SetSorted(bool sorted) = 0;
  // Moves children with a smaller z in front of their predecessors; equal z keep their order.
  virtual void Resort() = 0;
  // Advances every child that is not paused, dead or advanced already; children added during
  // the walk are advanced in the same pass.
  virtual void AdvanceAll(int dt) = 0;
  // Removes the dead children (last to first), redrawing the area each covered.
  virtual void ReapDead() = 0;
  virtual void SetPropertyAll(std::string_view name, const TVariant& value) = 0;
  virtual void UpdateDirtyAll(bool forceOld, bool forceNew) = 0;
  virtual void SetOwnerAll(IWidgetOwner* owner) = 0;
  virtual void DetachAll() = 0;
  // A child was added, reaped, removed or invalidated something since the last AdvanceAll.
  virtual bool GetChanged() const = 0;
  // Removes that very widget (redrawing its area and detaching it); false when absent.
  virtual bool Remove(const IWidget* widget) = 0;
};

// The game screen as its widgets see it (implemented by the shell).
class IWindow : public virtual IPropertyObject {
 public:
  // The captured widget receives every mouse message.
  virtual void SetCapture(const Ref<IWidget>& widget) = 0;
  virtual void ReleaseCapture() = 0;
  virtual Ref<IWidget> GetCapture() const = 0;
  // The focused widget receives the keys.
  virtual void SetFocus(const Ref<IWidget>& widget) = 0;
  virtual void KillFocus() = 0;
  virtual Ref<IWidget> GetFocus() const = 0;
  // The children of the window's root widget.
  virtual Ref<IWidgetCollection> GetChildren() const = 0;
  virtual void Reset() = 0;
  virtual Ref<IWidget> WidgetAtPos(TPoint point) = 0;
  // Resolves a path from the window's root widget ("" is the root).
  virtual Ref<IWidget> FindWidget(std::string_view path) const = 0;
  // A sound of the screen's own sounds; the channel, or 0.
  virtual TAudioHandle PlaySound(std::string_view name) = 0;
  virtual void StopSound(std::string_view name) = 0;
};

// The enclosing screen as the receiver of widget events (code 1 is a click).
class IEventHandler : public virtual IInterface {
 public:
  // True when the event was handled.
  virtual bool HandleEvent(const Ref<IWidget>& sender, int code, const TVariant& parameter) = 0;
  virtual Ref<IEngine> GetEngine() const = 0;
  // The game as its screens see it (the shell's IGameScreenOwner).
  virtual Ref<IInterface> GetScreenOwner() const = 0;
};

// Widget XML kept under a name, filled with parameters on request (element "widgetfactory").
class IWidgetFactory : public virtual INamedObject {
 public:
  virtual std::string GetWidgetString() const = 0;
  virtual void SetWidgetString(std::string_view text) = 0;
  // The widget text with every "%name%" of a parameter replaced by its value.
  virtual std::string ExpandMacros(const Ref<IParamCollection>& params) const = 0;
  // A new widget tree from the text (params may be empty); none when it does not build.
  virtual Ref<IWidget> CreateWidget(const Ref<IParamCollection>& params) = 0;
};

class IWidgetFactoryCollection : public virtual ICollection {
 public:
  virtual Ref<IWidgetFactory> Get(const TVariant& key) const = 0;
  // Keyed by the factory's name; a second factory of the same name is not added.
  virtual bool Add(const Ref<IWidgetFactory>& factory) = 0;
};

// ---------------------------------------------------------------------------------------------
// Helpers for game code

// The widget at that path from `from`, as interface I; empty when absent or of another kind.
template <class I = IWidget>
Ref<I> FindWidget(const IWidget* from, std::string_view path) {
  return from ? Query<I>(from->FindWidget(path)) : Ref<I>();
}
template <class I = IWidget, class W>
Ref<I> FindWidget(const Ref<W>& from, std::string_view path) {
  return FindWidget<I>(static_cast<const IWidget*>(from.get()), path);
}

// GetBounds in screen coordinates; the empty rectangle for an absent widget.
TRect GetScreenRect(const IWidget* widget);
// A point in the widget's owner coordinates, in screen coordinates.
TPoint LocalToScreen(const IWidget* widget, TPoint point);
// Whether the two widgets' pictures, placed at rectA and rectB (their screen rectangles), have
// a pixel where both are not fully transparent.
bool PixelsOverlap(IWidget* widgetA, const TRect& rectA, IWidget* widgetB, const TRect& rectB);

// Detaches the widget, clears its references and empties the reference: the end of a tree.
template <class W>
void ReleaseWidget(Ref<W>& widget) {
  if (widget) {
    widget->Detach();
    widget->ClearReferences();
  }
  widget.reset();
}

}  // namespace lumessa
