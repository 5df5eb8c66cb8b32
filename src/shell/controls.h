// The widgets the player operates. A control is a group whose pictures are its children,
// switched on and off by name; it has its own rectangle, an enabled flag and a tab stop, turns
// mouse messages into press/release/move/double-click calls and reports to its screen's event
// handler with a numeric code (kEvent*).
//
//   TControlWidget      the base: mouse dispatch, hit area (with a mask child), focus and Tab
//   TButtonControl      clicks with an action type and a click sound
//   TLabelControl       lights up under the mouse
//   TCheckBoxControl    a checked flag flipped by clicks
//   TProgressBarControl a bar picture cut to a position in [0, 1]
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "widgets/widget_group.h"

namespace lumessa {

// Event codes controls send to IEventHandler::HandleEvent.
enum : int {
  kEventClick = 1,
  kEventCheckToggled = 2,
  kEventTrackPosition = 3,
  kEventEditChar = 4,
  kEventListSelect = 5,
  kEventListDoubleClick = 6,
  kEventTextShown = 7,
  kEventTextClicked = 8,
  kEventRadioChanged = 9,
  kEventSequenceEnd = 10,
};

// Mouse and key messages controls understand.
enum : uint32_t {
  kMsgKeyUp = 257,
  kMsgMouseMove = 512,
  kMsgLeftDown = 513,
  kMsgLeftUp = 514,
  kMsgLeftDoubleClick = 515,
  kMsgMiddleDoubleClick = 521,
};
inline constexpr uint32_t kKeyTab = 9;

class TControlWidget : public TVisualGroupWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // The control's own rectangle, independent of its children.
  TRect GetBounds() const override;
  double GetLeft() const override { return RoundedAnchors().x; }
  double GetTop() const override { return RoundedAnchors().y; }
  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  void SetWidth(int width);
  void SetHeight(int height);

  bool GetEnabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override;
  bool GetTabStop() const override { return tabStop_; }
  void SetTabStop(bool tabStop) override { tabStop_ = tabStop; }

  Ref<IWidget> WidgetAtPos(TPoint point) override;
  // The own rectangle (edges inclusive), narrowed by the mask child when one is named.
  bool ContainsPoint(TPoint point, bool ignoreVisibility) override;
  bool HandleMouse(uint32_t message, TPoint point, uint32_t keys) override;
  bool HandleKey(uint32_t message, uint32_t key, uint32_t keyData) override;
  void OnCaptureLost() override { pressed_ = false; }
  void OnFocus() override { focused_ = true; }
  void OnBlur() override;
  void Detach() override;
  void ClearReferences() override;

  // Point in the control's owner space; button 0 left, 1 right, 2 middle. True when handled.
  virtual bool OnMouseMove(TPoint point, uint32_t keys);
  // Takes the screen focus on a left press when the control has tab stop.
  virtual bool OnMouseDown(TPoint point, uint32_t keys, int button);
  virtual bool OnMouseUp(TPoint point, uint32_t keys, int button);
  virtual bool OnDoubleClick(TPoint point, uint32_t keys, int button);

  bool GetPressed() const { return pressed_; }
  bool GetFocused() const { return focused_; }
  const std::string& GetMaskWidget() const { return maskWidget_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;
  bool BoundsAreChildrenUnion() const override { return false; }

  // Shows (visible, resumed) or hides (invisible, paused) the named child; false when absent.
  bool ShowPicture(std::string_view name, bool show);
  bool HasPicture(std::string_view name) const { return bool(GetChild(name)); }
  // Whether the engine's cursor lies on the control now (false without an engine).
  bool CursorInside() const;
  Ref<IWindow> Window() const;
  Ref<IEventHandler> EventHandler() const;
  // HandleEvent(this, code, parameter) on the event handler; false without one.
  bool SendEvent(int code, const TVariant& parameter = TVariant(int64_t(0)));
  // Capture with pressed set / release with pressed cleared.
  void BeginPress();
  void EndPress();

 private:
  int width_ = 0;
  int height_ = 0;
  bool enabled_ = false;
  bool tabStop_ = false;
  std::string maskWidget_;
  bool pressed_ = false;
  bool focused_ = false;
  Ref<IWidget> focusedChild_;
};

// Picture, hover and click logic shared by buttons, labels and check boxes: the hover flag is
// recomputed after every time step and a change updates the pictures.
class THoverControl : public TControlWidget {
 public:
  void SetOwner(IWidgetOwner* owner) override;
  void SetEnabled(bool enabled) override;
  bool GetHovered() const { return hovered_; }

 protected:
  void DoAdvanceTime(int dt) override;
  // Chooses the pictures for the current flags.
  virtual void UpdateImage() = 0;
  void SetHovered(bool hovered) { hovered_ = hovered; }

 private:
  bool hovered_ = false;
};

class TButtonControl : public THoverControl {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  // 0 normal, 1 selected (hovered), 2 disabled.
  void SetImageState(int state);
  int GetImageState() const { return imageState_; }
  void UpdateImage() override;
  void SetOwner(IWidgetOwner* owner) override;
  void SetEnabled(bool enabled) override;

  bool OnMouseDown(TPoint point, uint32_t keys, int button) override;
  bool OnMouseUp(TPoint point, uint32_t keys, int button) override;

  const std::string& GetActionType() const { return actionType_; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  void Act();

  std::string actionType_;  // lower-cased
  std::string gsParams_;
  std::string gameScreenName_;
  std::string url_;
  std::string fileToRun_;
  int imageState_ = -1;  // none chosen yet
};

class TLabelControl : public THoverControl {
 public:
  void UpdateImage() override;
};

class TCheckBoxControl : public THoverControl {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;

  bool GetChecked() const { return checked_; }
  // Updates the pictures; sends no event.
  void SetChecked(bool checked);
  void UpdateImage() override;

  bool OnMouseDown(TPoint point, uint32_t keys, int button) override;
  bool OnMouseUp(TPoint point, uint32_t keys, int button) override;

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  bool checked_ = false;
};

// Its first child is the bar picture, cut to the position.
class TProgressBarControl : public TControlWidget {
 public:
  TVariant GetProperty(std::string_view name) const override;
  void SetProperty(std::string_view name, const TVariant& value) override;
  void SetOwner(IWidgetOwner* owner) override;

  double GetPosition() const { return position_; }
  // Clamped to [0, 1].
  void SetPosition(double position);
  bool GetVertical() const { return vertical_; }
  void SetVertical(bool vertical) { vertical_ = vertical; }

 protected:
  void LoadProperties(const Ref<IHierStorage>& storage) override;
  void SaveProperties(const Ref<IHierStorage>& storage) override;

 private:
  bool vertical_ = false;
  double position_ = 0;
  int fullWidth_ = 0;
  int fullHeight_ = 0;
  int bottom_ = 0;
  int resourceTop_ = 0;
};

// Registers the control kind names.
void RegisterControlClasses();

}  // namespace lumessa
