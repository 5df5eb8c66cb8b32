// The base classes of every widget.
//
//   TAbstractWidget   time, life, owner, sounds, driver function, aliases, extra parameters and
//                     the property protocol; not visual
//   TVisualWidget     visibility, z, anchors, mouse stop and the dirty-rectangle pass
//   TSingleWidget     a widget with its own width and height
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "math/function.h"
#include "widgets/widget.h"

namespace lumessa {

class TAbstractWidget : public TPropertyObject, public virtual IWidget {
 public:
  // Element name "widget", time rate 1, never drawn yet.
  void Initialize() override;

  // IPropertyObject: paths ("child/name"), the built-in names, aliases, extra parameters.
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // IWidget
  void SetOwner(IWidgetOwner* owner) override;
  void Detach() override;
  void Refresh() override;
  Ref<IWidgetOwner> GetOwner() const override { return owner_; }
  void ClearReferences() override;
  bool GetDead() const override { return dead_; }
  void SetDead(bool dead) override { dead_ = dead; }
  bool GetPaused() const override { return paused_; }
  void SetPaused(bool paused) override { paused_ = paused; }
  bool GetAdvanced() const override { return advanced_; }
  void SetAdvanced(bool advanced) override { advanced_ = advanced; }
  void ResetAdvanced() override { advanced_ = false; }
  void AdvanceTime(int dt) override;
  void Restart() override;
  void Resume() override { paused_ = false; }
  void Pause() override { paused_ = true; }
  Ref<IWidgetCollection> GetChildren() const override { return {}; }
  Ref<IWidget> GetChild(const TVariant& key) const override;
  Ref<IWidget> FindWidget(std::string_view path) const override;
  bool GetVisible() const override { return false; }
  void SetVisible(bool visible) override { (void)visible; }
  int GetZ() const override { return -1; }
  void SetZ(int z) override { (void)z; }
  double GetAnchorLeft() const override { return 0; }
  void SetAnchorLeft(double left) override { (void)left; }
  double GetAnchorTop() const override { return 0; }
  void SetAnchorTop(double top) override { (void)top; }
  TPoint ScreenToLocal(TPoint point) const override;
  double GetTop() const override { return 0; }
  double GetLeft() const override { return 0; }
  int GetWidth() const override { return 0; }
  int GetHeight() const override { return 0; }
  TRect GetBounds() const override;
  int GetTransparentLevel() const override { return transparentLevel_; }
  void SetTransparentLevel(int level) override;
  void Draw(ISurface* surface, int x, int y) override;
  Ref<ISurface> GetImage() override { return {}; }
  bool GetEnabled() const override { return false; }
  void SetEnabled(bool enabled) override { (void)enabled; }
  bool GetTabStop() const override { return false; }
  void SetTabStop(bool tabStop) override { (void)tabStop; }
  bool GetMouseStop() const override { return false; }
  void SetMouseStop(bool mouseStop) override { (void)mouseStop; }
  Ref<IWidget> WidgetAtPos(TPoint point) override;
  bool ContainsPoint(TPoint point, bool ignoreVisibility) override;
  void OnCaptureLost() override {}
  void OnBlur() override {}
  void OnFocus() override {}
  bool HandleMouse(uint32_t message, TPoint point, uint32_t keys) override;
  bool HandleKey(uint32_t message, uint32_t key, uint32_t keyData) override;
  TAudioHandle PlaySound(std::string_view name, bool override, int volume, int pan) override;
  void StopSound(std::string_view name) override;
  Ref<ISoundCollection> GetSounds() const override { return sounds_; }
  void HandleMessage(int code, const TVariant& data) override;
  void UpdateDirty(bool forceOld, bool forceNew) override;
  bool GetWasVisible() const override { return false; }
  bool GetChanged() const override { return changed_; }
  void SetChanged(bool changed) override { changed_ = changed; }
  bool GetInvalidated() const override { return invalidated_; }
  TRect GetDirtyPassRect() const override { return {}; }
  void ShowWidget(bool show) override;
  void SetExtraParam(std::string_view name, const TVariant& value) override;

  // The current time in milliseconds (the widget's own clock, scaled by its time rate).
  int64_t GetCurrentTime() const { return currentTime_; }
  // Sets the current time; a different value marks the widget changed.
  void SetCurrentTime(int64_t time);
  int64_t GetTimeToLive() const { return timeToLive_; }
  void SetTimeToLive(int64_t ms) { timeToLive_ = ms; }
  double GetTimeRate() const { return timeRate_; }
  void SetTimeRate(double rate) { timeRate_ = rate; }
  void SetSounds(const Ref<ISoundCollection>& sounds) { sounds_ = sounds; }
  // The driver function ("function_widget"); bound and started when the widget gets an owner.
  const Ref<IFunction>& GetFunction() const { return function_; }
  void SetFunction(const Ref<IFunction>& function);
  // The engine, reached through the owners; none without one.
  Ref<IEngine> GetEngine() const;
  // The pair lists "aliases" and "redefinedparams".
  const std::string& GetAliases() const { return aliases_; }
  void SetAliases(std::string_view aliases) { aliases_ = aliases; }
  void SetRedefinedParams(std::string_view pairs) { redefinedParams_ = pairs; }
  Ref<IParamCollection> GetExtraParams() const { return extraParams_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

  // The unscaled step: advanced flag, current time, time to live, driver function.
  virtual void DoAdvanceTime(int dt);
  // The driver function's step after the time step (push, calculate, pull).
  void StepFunction();

  // Sets the clock without marking the widget changed (playback folds it into its phases).
  void AssignCurrentTime(int64_t time) { currentTime_ = time; }
  IWidgetOwner* Owner() const { return owner_.get(); }
  // The name in log lines.
  std::string LogName() const;
  bool NeverDrawn() const { return neverDrawn_; }
  void SetNeverDrawn(bool neverDrawn) { neverDrawn_ = neverDrawn; }
  void SetInvalidated(bool invalidated) { invalidated_ = invalidated; }
  // Invalidates a screen rectangle through the owner.
  void InvalidateScreenRect(const TRect& rect) const;

 private:
  // Property reading and writing of this class alone (after the path step).
  TVariant GetOwnProperty(std::string_view name, bool& found) const;
  bool SetOwnProperty(std::string_view name, const TVariant& value);
  // The alias target of name, when the aliases name it (see GetProperty).
  bool FindAlias(std::string_view name, std::string& target) const;
  void ApplyRedefinedParams();

  Ref<IWidgetOwner> owner_;
  bool dead_ = false;
  bool paused_ = false;
  bool advanced_ = false;
  int transparentLevel_ = 255;
  int64_t startTime_ = 0;
  int64_t currentTime_ = 0;
  int64_t timeToLive_ = 0;
  double timeRate_ = 1;
  Ref<ISoundCollection> sounds_;
  Ref<IFunction> function_;
  TFunctionHost functionHost_;
  std::string aliases_;
  Ref<IParamCollection> extraParams_;
  std::string redefinedParams_;
  bool changed_ = false;
  bool neverDrawn_ = true;
  bool invalidated_ = false;
};

class TVisualWidget : public TAbstractWidget {
 public:
  bool GetVisible() const override { return visible_; }
  void SetVisible(bool visible) override { visible_ = visible; }
  int GetZ() const override { return z_; }
  void SetZ(int z) override { z_ = z; }
  double GetAnchorLeft() const override { return anchorLeft_; }
  void SetAnchorLeft(double left) override;
  double GetAnchorTop() const override { return anchorTop_; }
  void SetAnchorTop(double top) override;
  double GetTop() const override { return anchorTop_; }
  double GetLeft() const override { return anchorLeft_; }
  bool GetMouseStop() const override { return mouseStop_; }
  void SetMouseStop(bool mouseStop) override { mouseStop_ = mouseStop; }
  Ref<ISurface> GetImage() override;
  void UpdateDirty(bool forceOld, bool forceNew) override;
  bool GetWasVisible() const override { return wasVisible_; }
  TRect GetDirtyPassRect() const override { return prevScreenRect_; }

  // Anchors rounded half to even: where the widget's own space starts in its owner's.
  TPoint RoundedAnchors() const;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

  // Changing an anchor, a size, a surface offset or the surface moves the widget: the dirty
  // pass redraws its old and new rectangles.
  void SetMoved() { moved_ = true; }
  bool Moved() const { return moved_; }
  // The steps of the dirty pass of a visual widget (UpdateDirty without the subclass' extras).
  // A caller that knows the widget's screen rectangle already passes it.
  void VisualUpdateDirty(bool forceOld, bool forceNew, const TRect* screenRect = nullptr);

 private:
  bool visible_ = false;
  int z_ = 0;
  double anchorLeft_ = 0;
  double anchorTop_ = 0;
  bool mouseStop_ = false;
  TRect prevScreenRect_;
  bool wasVisible_ = false;
  bool moved_ = false;
};

// A visual widget of its own width and height: the base of the rectangle, surface and resource
// widgets.
class TSingleWidget : public TVisualWidget {
 public:
  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  // A different size moves the widget.
  virtual void SetWidth(int width);
  virtual void SetHeight(int height);

  void SetProperty(std::string_view name, const TVariant& value) override;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  int width_ = 0;
  int height_ = 0;
};

// Positions and sizes taken from data or scripts are kept within this many pixels either way:
// far beyond any screen, and small enough that sums along the tree cannot overflow.
inline constexpr int kMaxCoord = 1 << 20;
// An anchor within +-kMaxCoord (NaN is 0).
inline double ClampAnchor(double v) {
  if (v >= -kMaxCoord && v <= kMaxCoord) return v;
  return v > 0 ? kMaxCoord : v < 0 ? -kMaxCoord : 0;
}
inline int ClampSize(int v) {
  return v < -kMaxCoord ? -kMaxCoord : v > kMaxCoord ? kMaxCoord : v;
}

// Value conversions of property writes: the current value stays when the value does not
// convert.
int VariantToInt(const TVariant& value, int current);
int64_t VariantToInt64(const TVariant& value, int64_t current);
double VariantToReal(const TVariant& value, double current);
bool VariantToBool(const TVariant& value, bool current);
// Rounds a coordinate half to even, clamped to the int range (NaN gives 0).
int RoundFarCoord(double v);
// Positions are rounded many times a frame (every dirty pass converts every widget's bounds):
// adding and subtracting 1.5 * 2^52 rounds to the nearest integer, halves to even, in the
// default rounding mode, without a library call. Values far off the screen take the general
// path.
inline int RoundCoord(double v) {
  constexpr double kMagic = 6755399441055744.0;
  if (v > -1e9 && v < 1e9) return int(v + kMagic - kMagic);
  return RoundFarCoord(v);
}

}  // namespace lumessa
