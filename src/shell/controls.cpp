#include "shell/controls.h"

#include <algorithm>
#include <cmath>

#include "engine/object.h"
#include "engine/text.h"
#include "persistence/param_collection.h"
#include "persistence/xml_storage.h"
#include "shell/game_api.h"
#include "widgets/widget_storage.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TControlWidget

void TControlWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TVisualGroupWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  width_ = ClampSize(keys.Int("width", 0));
  height_ = ClampSize(keys.Int("height", 0));
  enabled_ = keys.Bool("enabled", false);
  tabStop_ = keys.Bool("tabstop", false);
  maskWidget_ = keys.String("maskwidget");
}

void TControlWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TVisualGroupWidget::SaveProperties(storage);
  WriteInt(storage, "width", width_ != 0, width_);
  WriteInt(storage, "height", height_ != 0, height_);
  WriteBool(storage, "enabled", enabled_, enabled_);
  WriteBool(storage, "tabstop", tabStop_, tabStop_);
  WriteString(storage, "maskwidget", !maskWidget_.empty(), maskWidget_);
}

TVariant TControlWidget::GetProperty(std::string_view name) const {
  TVariant value = TVisualGroupWidget::GetProperty(name);
  if (name == "maskwidget") value = maskWidget_;
  return value;
}

void TControlWidget::SetProperty(std::string_view name, const TVariant& value) {
  TVisualGroupWidget::SetProperty(name, value);
  if (name == "width") SetWidth(VariantToInt(value, width_));
  if (name == "height") SetHeight(VariantToInt(value, height_));
  if (name == "maskwidget") maskWidget_ = value.ToString();
}

TRect TControlWidget::GetBounds() const {
  const TPoint anchor = RoundedAnchors();
  return {anchor.x, anchor.y, anchor.x + width_, anchor.y + height_};
}

void TControlWidget::SetWidth(int width) {
  width = ClampSize(width);
  if (width == width_) return;
  width_ = width;
  SetMoved();
}

void TControlWidget::SetHeight(int height) {
  height = ClampSize(height);
  if (height == height_) return;
  height_ = height;
  SetMoved();
}

void TControlWidget::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  SetChanged(true);
}

Ref<IWidget> TControlWidget::WidgetAtPos(TPoint point) {
  if (Ref<IWidget> hit = TVisualGroupWidget::WidgetAtPos(point)) return hit;
  if (GetVisible() && GetMouseStop() && ContainsPoint(point, false)) return Ref<IWidget>(this);
  return {};
}

bool TControlWidget::ContainsPoint(TPoint point, bool ignoreVisibility) {
  if (!GetVisible() && !ignoreVisibility) return false;
  const TRect r = GetBounds();
  if (point.x < r.left || point.x > r.right || point.y < r.top || point.y > r.bottom) return false;
  if (maskWidget_.empty()) return true;
  Ref<IWidget> mask = FindWidget(maskWidget_);
  if (!mask) return true;
  // An invisible picture can serve as the shape, hence visibility ignored.
  return mask->ContainsPoint({point.x - r.left, point.y - r.top}, true);
}

bool TControlWidget::HandleMouse(uint32_t message, TPoint point, uint32_t keys) {
  const TPoint local = ScreenToLocal(point);
  if (message == kMsgMouseMove) return OnMouseMove(local, keys);
  if (message < kMsgLeftDown || message > kMsgMiddleDoubleClick) return false;
  // Each button has a down, up and double-click message, in that order.
  const int button = int(message - kMsgLeftDown) / 3;
  switch ((message - kMsgLeftDown) % 3) {
    case 0:
      return OnMouseDown(local, keys, button);
    case 1:
      return OnMouseUp(local, keys, button);
    default:
      return OnDoubleClick(local, keys, button);
  }
}

bool TControlWidget::HandleKey(uint32_t message, uint32_t key, uint32_t keyData) {
  if (!focused_) return false;
  // Tab stops among the children, from `after` on (wrapping); none when no child qualifies.
  auto nextStop = [this](int after) -> Ref<IWidget> {
    const int count = Children().Count();
    for (int step = 1; step <= count; ++step) {
      const int i = ((after + step) % count + count) % count;
      Ref<IWidget> child = Children().GetByIndex(i);
      if (child && child->GetTabStop() && child->GetVisible()) return child;
    }
    return {};
  };
  if (!focusedChild_) {
    focusedChild_ = nextStop(-1);
    if (focusedChild_) focusedChild_->OnFocus();
  }
  if (!focusedChild_) return false;
  if (focusedChild_->HandleKey(message, key, keyData)) return true;
  if (message != kMsgKeyUp || key != kKeyTab) return false;
  Ref<IWidget> old = focusedChild_;
  old->OnBlur();
  focusedChild_ = nextStop(Children().IndexOfWidget(old.get()));
  if (focusedChild_) focusedChild_->OnFocus();
  return true;
}

void TControlWidget::OnBlur() {
  focused_ = false;
  if (Ref<IWidget> child = std::move(focusedChild_)) child->OnBlur();
}

void TControlWidget::Detach() {
  Ref<IWidget> keep(this);
  focusedChild_.reset();
  TVisualGroupWidget::Detach();
}

void TControlWidget::ClearReferences() {
  focusedChild_.reset();
  TVisualGroupWidget::ClearReferences();
}

bool TControlWidget::OnMouseMove(TPoint point, uint32_t keys) {
  (void)point;
  (void)keys;
  return false;
}

bool TControlWidget::OnMouseDown(TPoint point, uint32_t keys, int button) {
  (void)point;
  (void)keys;
  if (!focused_ && tabStop_ && button == 0)
    if (Ref<IWindow> window = Window()) window->SetFocus(Ref<IWidget>(this));
  return false;
}

bool TControlWidget::OnMouseUp(TPoint point, uint32_t keys, int button) {
  (void)point;
  (void)keys;
  (void)button;
  return false;
}

bool TControlWidget::OnDoubleClick(TPoint point, uint32_t keys, int button) {
  (void)point;
  (void)keys;
  (void)button;
  return false;
}

bool TControlWidget::ShowPicture(std::string_view name, bool show) {
  Ref<IWidget> picture = GetChild(name);
  if (!picture) return false;
  picture->SetVisible(show);
  if (show)
    picture->Resume();
  else
    picture->Pause();
  return true;
}

bool TControlWidget::CursorInside() const {
  Ref<IEngine> engine = GetEngine();
  if (!engine) return false;
  return const_cast<TControlWidget*>(this)->ContainsPoint(ScreenToLocal(engine->GetCursorPos()),
                                                          false);
}

Ref<IWindow> TControlWidget::Window() const {
  return Owner() ? Owner()->GetWindow() : Ref<IWindow>();
}

Ref<IEventHandler> TControlWidget::EventHandler() const {
  return Owner() ? Owner()->GetEventHandler() : Ref<IEventHandler>();
}

bool TControlWidget::SendEvent(int code, const TVariant& parameter) {
  Ref<IEventHandler> handler = EventHandler();
  return handler && handler->HandleEvent(Ref<IWidget>(this), code, parameter);
}

void TControlWidget::BeginPress() {
  if (Ref<IWindow> window = Window()) window->SetCapture(Ref<IWidget>(this));
  pressed_ = true;
}

void TControlWidget::EndPress() {
  // Cleared first: releasing the capture may report OnCaptureLost, which clears it as well.
  pressed_ = false;
  if (Ref<IWindow> window = Window(); window && window->GetCapture().get() == this)
    window->ReleaseCapture();
}

// ---------------------------------------------------------------------------------------------
// THoverControl

void THoverControl::SetOwner(IWidgetOwner* owner) {
  TControlWidget::SetOwner(owner);
  UpdateImage();
}

void THoverControl::SetEnabled(bool enabled) {
  TControlWidget::SetEnabled(enabled);
  UpdateImage();
}

void THoverControl::DoAdvanceTime(int dt) {
  TControlWidget::DoAdvanceTime(dt);
  if (!Owner()) return;
  const bool inside = CursorInside();
  if (inside == hovered_) return;
  hovered_ = inside;
  UpdateImage();
}

// ---------------------------------------------------------------------------------------------
// TButtonControl

void TButtonControl::LoadProperties(const Ref<IHierStorage>& storage) {
  THoverControl::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  actionType_ = AsciiLower(keys.String("actiontype"));
  gsParams_ = keys.String("GSParams");
  gameScreenName_ = keys.String("gamescreenname");
  url_ = keys.String("url");
  fileToRun_ = keys.String("file_to_run");
}

void TButtonControl::SaveProperties(const Ref<IHierStorage>& storage) {
  THoverControl::SaveProperties(storage);
  WriteString(storage, "actiontype", !actionType_.empty(), actionType_);
  WriteString(storage, "GSParams", !gsParams_.empty(), gsParams_);
  WriteString(storage, "gamescreenname", !gameScreenName_.empty(), gameScreenName_);
  WriteString(storage, "url", !url_.empty(), url_);
  WriteString(storage, "file_to_run", !fileToRun_.empty(), fileToRun_);
}

TVariant TButtonControl::GetProperty(std::string_view name) const {
  TVariant value = THoverControl::GetProperty(name);
  if (name == "actiontype") value = actionType_;
  if (name == "GSParams") value = gsParams_;
  if (name == "gamescreenname") value = gameScreenName_;
  if (name == "url") value = url_;
  if (name == "file_to_run") value = fileToRun_;
  return value;
}

void TButtonControl::SetProperty(std::string_view name, const TVariant& value) {
  THoverControl::SetProperty(name, value);
  if (name == "actiontype") actionType_ = AsciiLower(value.ToString());
  if (name == "GSParams") gsParams_ = value.ToString();
  if (name == "gamescreenname") gameScreenName_ = value.ToString();
  if (name == "url") url_ = value.ToString();
  if (name == "file_to_run") fileToRun_ = value.ToString();
}

void TButtonControl::SetOwner(IWidgetOwner* owner) {
  imageState_ = -1;
  THoverControl::SetOwner(owner);
}

void TButtonControl::SetEnabled(bool enabled) {
  imageState_ = -1;
  THoverControl::SetEnabled(enabled);
}

void TButtonControl::UpdateImage() {
  SetImageState(!GetEnabled() ? 2 : GetHovered() ? 1 : 0);
}

void TButtonControl::SetImageState(int state) {
  if (state == imageState_) return;
  imageState_ = state;
  ShowPicture("image_normal", false);
  ShowPicture("image_selected", false);
  ShowPicture("image_disabled", false);
  const char* picture = state == 1 ? "image_selected" : state == 2 ? "image_disabled" : nullptr;
  if (!picture || !ShowPicture(picture, true)) ShowPicture("image_normal", true);
  SetChanged(true);
}

bool TButtonControl::OnMouseDown(TPoint point, uint32_t keys, int button) {
  THoverControl::OnMouseDown(point, keys, button);
  if (button != 0 || !GetEnabled()) return false;
  BeginPress();
  PlaySound("sound_buttonclick", false, 0, 0);
  return true;
}

bool TButtonControl::OnMouseUp(TPoint point, uint32_t keys, int button) {
  if (button != 0 || !GetPressed()) return THoverControl::OnMouseUp(point, keys, button);
  // Keeps the button alive through the action: closing its screen may release the tree.
  Ref<IWidget> keep(this);
  EndPress();
  if (ContainsPoint(point, false)) {
    UpdateImage();
    PlaySound("sound_buttonclick", false, 0, 0);
    Act();
  }
  return true;
}

void TButtonControl::Act() {
  Ref<IEventHandler> handler = EventHandler();
  if (actionType_ == "url") {
    if (Ref<IEngine> engine = GetEngine()) engine->OpenUrl(url_);
  } else if (actionType_ == "run_file") {
    if (Ref<IEngine> engine = GetEngine()) engine->OpenDocument(fileToRun_);
  } else if (actionType_ == "closegamescreen" || actionType_ == "showgamescreen") {
    Ref<IGameScreenOwner> game =
        handler ? Query<IGameScreenOwner>(handler->GetScreenOwner()) : Ref<IGameScreenOwner>();
    if (!game) return;
    if (actionType_ == "closegamescreen") {
      game->CloseScreen(Query<IGameScreenSlave>(handler), {});
      return;
    }
    Ref<IParamCollection> params = NewObject<TParamCollection>();
    for (const auto& [name, value] : ParseParamPairs(gsParams_))
      params->SetValue(AsciiUpper(name), TVariant(value));
    game->ShowScreen(gameScreenName_, params);
  } else {
    SendEvent(kEventClick);
  }
}

// ---------------------------------------------------------------------------------------------
// TLabelControl

void TLabelControl::UpdateImage() {
  // A disabled label keeps its pictures as they are.
  if (!GetEnabled()) return;
  const bool selected = GetHovered() && HasPicture("image_selected");
  ShowPicture("image_selected", selected);
  ShowPicture("image_normal", !selected);
  SetChanged(true);
}

// ---------------------------------------------------------------------------------------------
// TCheckBoxControl

void TCheckBoxControl::LoadProperties(const Ref<IHierStorage>& storage) {
  THoverControl::LoadProperties(storage);
  checked_ = TKeyReader(storage, LogName()).Bool("CheckBoxState", false);
}

void TCheckBoxControl::SaveProperties(const Ref<IHierStorage>& storage) {
  THoverControl::SaveProperties(storage);
  WriteBool(storage, "CheckBoxState", checked_, checked_);
}

TVariant TCheckBoxControl::GetProperty(std::string_view name) const {
  TVariant value = THoverControl::GetProperty(name);
  if (name == "CheckBoxState") value = checked_;
  return value;
}

void TCheckBoxControl::SetProperty(std::string_view name, const TVariant& value) {
  THoverControl::SetProperty(name, value);
  if (name == "CheckBoxState") SetChecked(VariantToBool(value, checked_));
}

void TCheckBoxControl::SetChecked(bool checked) {
  checked_ = checked;
  UpdateImage();
}

void TCheckBoxControl::UpdateImage() {
  static constexpr const char* kPictures[] = {"image_check_normal",     "image_check_selected",
                                              "image_check_disabled",   "image_uncheck_normal",
                                              "image_uncheck_selected", "image_uncheck_disabled"};
  const int normal = checked_ ? 0 : 3;
  int choice = normal + (!GetEnabled() ? 2 : GetHovered() ? 1 : 0);
  if (!HasPicture(kPictures[choice])) choice = normal;
  for (int i = 0; i < 6; ++i) ShowPicture(kPictures[i], i == choice);
  SetChanged(true);
}

bool TCheckBoxControl::OnMouseDown(TPoint point, uint32_t keys, int button) {
  THoverControl::OnMouseDown(point, keys, button);
  if (button != 0 || !GetEnabled()) return false;
  BeginPress();
  return true;
}

bool TCheckBoxControl::OnMouseUp(TPoint point, uint32_t keys, int button) {
  if (button != 0 || !GetPressed()) return THoverControl::OnMouseUp(point, keys, button);
  Ref<IWidget> keep(this);
  EndPress();
  if (ContainsPoint(point, false)) {
    SetChecked(!checked_);
    SendEvent(kEventCheckToggled);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// TProgressBarControl

void TProgressBarControl::LoadProperties(const Ref<IHierStorage>& storage) {
  TControlWidget::LoadProperties(storage);
  vertical_ = TKeyReader(storage, LogName()).Bool("vertical", false);
}

void TProgressBarControl::SaveProperties(const Ref<IHierStorage>& storage) {
  TControlWidget::SaveProperties(storage);
  WriteBool(storage, "vertical", vertical_, vertical_);
}

TVariant TProgressBarControl::GetProperty(std::string_view name) const {
  TVariant value = TControlWidget::GetProperty(name);
  if (name == "position") value = position_;
  if (name == "vertical") value = vertical_;
  return value;
}

void TProgressBarControl::SetProperty(std::string_view name, const TVariant& value) {
  TControlWidget::SetProperty(name, value);
  if (name == "position") SetPosition(VariantToReal(value, position_));
  if (name == "vertical") vertical_ = VariantToBool(value, vertical_);
}

void TProgressBarControl::SetOwner(IWidgetOwner* owner) {
  TControlWidget::SetOwner(owner);
  Ref<IWidget> bar = Children().GetByIndex(0);
  if (!bar) return;
  fullWidth_ = bar->GetWidth();
  fullHeight_ = bar->GetHeight();
  bottom_ = RoundCoord(bar->GetAnchorTop()) + fullHeight_;
  resourceTop_ = VariantToInt(bar->GetProperty("resourcetop"), 0);
}

void TProgressBarControl::SetPosition(double position) {
  // NaN reads as empty.
  position_ = position >= 1 ? 1 : position > 0 ? position : 0;
  Ref<IWidget> bar = Children().GetByIndex(0);
  if (!bar) return;
  if (!vertical_) {
    const int w = RoundCoord(fullWidth_ * position_);
    if (bar->GetWidth() != w) bar->SetProperty("width", TVariant(int64_t(w)));
    return;
  }
  const int h = RoundCoord(fullHeight_ * position_);
  if (bar->GetHeight() == h) return;
  bar->SetProperty("height", TVariant(int64_t(h)));
  bar->SetProperty("resourcetop", TVariant(int64_t(resourceTop_ + fullHeight_ - h)));
  bar->SetAnchorTop(bottom_ - h);
}

// ---------------------------------------------------------------------------------------------

void RegisterControlClasses() {
  RegisterObjectClass<TControlWidget>("Control");
  RegisterObjectClass<TButtonControl>("ButtonControl");
  RegisterObjectClass<TLabelControl>("LabelControl");
  RegisterObjectClass<TCheckBoxControl>("CheckBoxControl");
  RegisterObjectClass<TProgressBarControl>("ProgressBarControl");
}

}  // namespace lumessa
