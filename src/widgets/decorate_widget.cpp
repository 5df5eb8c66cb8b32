#include "widgets/decorate_widget.h"

#include <algorithm>
#include <cstdint>

#include "engine/log.h"
#include "widgets/widget_storage.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TDecorateWidget

void TDecorateWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TVisualWidget::LoadProperties(storage);
  SetDecorated(nullptr);
  if (storage->GetChildCount("widgets") == 0) return;
  Ref<IHierStorage> widgets = storage->GetChild("widgets", 0);
  if (widgets->GetChildCount("widget") == 0) return;
  Ref<IHierStorage> node = widgets->GetChild("widget", 0);
  Ref<IWidget> widget = Query<IWidget>(CreateFromNode(node));
  if (!widget)
    Log("widget '%s': its decorated widget of type \"%s\" is skipped", LogName().c_str(),
        ReadString(node, "type").c_str());
  SetDecorated(widget);
}

void TDecorateWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TVisualWidget::SaveProperties(storage);
  if (!decorated_) return;
  if (Ref<IHierStorage> widgets = storage->AddChild("widgets"))
    SaveObjectToChild(decorated_, widgets, "widget");
}

TVariant TDecorateWidget::GetProperty(std::string_view name) const {
  TVariant value = TVisualWidget::GetProperty(name);
  if (name == "widget") value = TVariant(decorated_);
  return value;
}

void TDecorateWidget::SetProperty(std::string_view name, const TVariant& value) {
  TVisualWidget::SetProperty(name, value);
  if (name == "widget") SetDecorated(value.ToInterface<IWidget>());
}

void TDecorateWidget::SetDecorated(const Ref<IWidget>& widget) {
  if (widget == decorated_) return;
  if (decorated_) decorated_->Detach();
  decorated_ = widget;
  if (decorated_) decorated_->SetOwner(this);
  SetMoved();
}

void TDecorateWidget::SetOwner(IWidgetOwner* owner) {
  TVisualWidget::SetOwner(owner);
  if (decorated_) decorated_->SetOwner(this);
}

void TDecorateWidget::Detach() {
  Ref<IWidget> keep(this);  // the decorated widget may hold the last other reference
  TVisualWidget::Detach();
  if (decorated_) decorated_->Detach();
}

void TDecorateWidget::Refresh() {
  if (decorated_) decorated_->Refresh();
  TVisualWidget::Refresh();
}

void TDecorateWidget::ClearReferences() {
  TVisualWidget::ClearReferences();
  if (decorated_) decorated_->Detach();
  decorated_.reset();
}

void TDecorateWidget::ResetAdvanced() {
  TVisualWidget::ResetAdvanced();
  if (decorated_) decorated_->ResetAdvanced();
}

void TDecorateWidget::Restart() {
  TVisualWidget::Restart();
  if (decorated_) decorated_->Restart();
}

void TDecorateWidget::Resume() {
  TVisualWidget::Resume();
  if (decorated_) decorated_->Resume();
}

void TDecorateWidget::Pause() {
  TVisualWidget::Pause();
  if (decorated_) decorated_->Pause();
}

Ref<IWidget> TDecorateWidget::GetChild(const TVariant& key) const {
  (void)key;
  return decorated_;
}

void TDecorateWidget::DoAdvanceTime(int dt) {
  TVisualWidget::DoAdvanceTime(dt);
  if (decorated_ && !decorated_->GetPaused()) {
    Ref<IWidget> keep = decorated_;
    keep->AdvanceTime(dt);
  }
}

Ref<IWidget> TDecorateWidget::WidgetAtPos(TPoint point) {
  Ref<IWidget> self = TVisualWidget::WidgetAtPos(point);
  if (!self || !decorated_) return self;
  const TPoint anchor = RoundedAnchors();
  Ref<IWidget> inner = decorated_->WidgetAtPos({point.x - anchor.x, point.y - anchor.y});
  return inner ? inner : self;
}

// Whatever the decorated widget redraws, the decorator's own picture (the decorated widget at
// another place, or many times) changes with it. The decorated widget's pass also keeps its
// subtree's advanced flags in step.
void TDecorateWidget::UpdateDirty(bool forceOld, bool forceNew) {
  if (decorated_) {
    decorated_->UpdateDirty(forceOld, forceNew);
    if (decorated_->GetInvalidated()) {
      SetChanged(true);
      SetMoved();
    }
  }
  VisualUpdateDirty(forceOld, forceNew);
}

Ref<IEngine> TDecorateWidget::GetEngine() const {
  return Owner() ? Owner()->GetEngine() : Ref<IEngine>();
}

Ref<IWindow> TDecorateWidget::GetWindow() const {
  return Owner() ? Owner()->GetWindow() : Ref<IWindow>();
}

Ref<IEventHandler> TDecorateWidget::GetEventHandler() const {
  return Owner() ? Owner()->GetEventHandler() : Ref<IEventHandler>();
}

TPoint TDecorateWidget::ScreenToChildLocal(TPoint point) const {
  const TPoint p = ScreenToLocal(point);
  const TPoint anchor = RoundedAnchors();
  return {p.x - anchor.x, p.y - anchor.y};
}

Ref<IWidget> TDecorateWidget::CreateWidget(std::string_view factoryName,
                                           const Ref<IParamCollection>& params) {
  return Owner() ? Owner()->CreateWidget(factoryName, params) : Ref<IWidget>();
}

std::string TDecorateWidget::GetPath() const {
  std::string path = Owner() ? Owner()->GetPath() : std::string();
  return path.empty() ? GetName() : path + "/" + GetName();
}

void TDecorateWidget::InvalidateRect(const TRect& rect) {
  if (Owner()) Owner()->InvalidateRect(rect);
}

// ---------------------------------------------------------------------------------------------
// TBehaviourWidget

double TBehaviourWidget::GetLeft() const {
  const Ref<IWidget>& d = GetDecorated();
  return GetAnchorLeft() + (d ? d->GetLeft() : 0);
}

double TBehaviourWidget::GetTop() const {
  const Ref<IWidget>& d = GetDecorated();
  return GetAnchorTop() + (d ? d->GetTop() : 0);
}

int TBehaviourWidget::GetWidth() const {
  return GetDecorated() ? GetDecorated()->GetWidth() : 0;
}

int TBehaviourWidget::GetHeight() const {
  return GetDecorated() ? GetDecorated()->GetHeight() : 0;
}

void TBehaviourWidget::Draw(ISurface* surface, int x, int y) {
  const Ref<IWidget>& d = GetDecorated();
  if (!surface || !d) return;
  d->Draw(surface, x + RoundCoord(d->GetAnchorLeft()), y + RoundCoord(d->GetAnchorTop()));
}

// ---------------------------------------------------------------------------------------------
// TReplicatorWidget

void TReplicatorWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TDecorateWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  cols_ = std::clamp(keys.Int("cols", 1), 0, kMaxGrid);
  rows_ = std::clamp(keys.Int("rows", 1), 0, kMaxGrid);
}

void TReplicatorWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TDecorateWidget::SaveProperties(storage);
  WriteInt(storage, "cols", cols_ != 1, cols_);
  WriteInt(storage, "rows", rows_ != 1, rows_);
}

TVariant TReplicatorWidget::GetProperty(std::string_view name) const {
  TVariant value = TDecorateWidget::GetProperty(name);
  if (name == "cols") value = cols_;
  if (name == "rows") value = rows_;
  return value;
}

void TReplicatorWidget::SetProperty(std::string_view name, const TVariant& value) {
  TDecorateWidget::SetProperty(name, value);
  if (name == "cols") SetGrid(VariantToInt(value, cols_), rows_);
  if (name == "rows") SetGrid(cols_, VariantToInt(value, rows_));
}

void TReplicatorWidget::SetGrid(int cols, int rows) {
  cols = std::clamp(cols, 0, kMaxGrid);
  rows = std::clamp(rows, 0, kMaxGrid);
  if (cols == cols_ && rows == rows_) return;
  cols_ = cols;
  rows_ = rows;
  SetMoved();
}

namespace {

int ClampedProduct(int a, int b) {
  return int(std::clamp<int64_t>(int64_t(a) * b, INT32_MIN, INT32_MAX));
}

}  // namespace

int TReplicatorWidget::GetWidth() const {
  return GetDecorated() ? ClampedProduct(GetDecorated()->GetWidth(), cols_) : 0;
}

int TReplicatorWidget::GetHeight() const {
  return GetDecorated() ? ClampedProduct(GetDecorated()->GetHeight(), rows_) : 0;
}

void TReplicatorWidget::Draw(ISurface* surface, int x, int y) {
  const Ref<IWidget>& d = GetDecorated();
  if (!surface || !d) return;
  const int64_t w = d->GetWidth();
  const int64_t h = d->GetHeight();
  for (int i = 0; i < cols_; ++i) {
    const int64_t left = x + i * w;
    if (left < INT32_MIN || left > INT32_MAX) break;
    for (int j = 0; j < rows_; ++j) {
      const int64_t top = y + j * h;
      if (top < INT32_MIN || top > INT32_MAX) break;
      d->Draw(surface, int(left), int(top));
    }
  }
}

}  // namespace lumessa
