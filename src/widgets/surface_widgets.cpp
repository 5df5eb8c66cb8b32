#include "widgets/surface_widgets.h"

#include "widgets/widget_storage.h"

namespace lumessa {

// ---------------------------------------------------------------------------------------------
// TSurfaceWidget

void TSurfaceWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TSingleWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  drawMode_ = keys.Enum("drawmode", kDrawModeChoices, dmCopyRect);
  fillColor_ = keys.Color("fillcolor", 0);
}

void TSurfaceWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TSingleWidget::SaveProperties(storage);
  WriteEnum(storage, "drawmode", kDrawModeChoices, drawMode_ != dmCopyRect, drawMode_);
  WriteColor(storage, "fillcolor", fillColor_ != 0, fillColor_);
}

TVariant TSurfaceWidget::GetProperty(std::string_view name) const {
  TVariant value = TSingleWidget::GetProperty(name);
  if (name == "surface") value = TVariant(surface_);
  if (name == "drawmode") value = drawMode_;
  if (name == "fillcolor") value = int64_t(fillColor_);
  if (name == "shiftleft") value = shiftLeft_;
  if (name == "shifttop") value = shiftTop_;
  return value;
}

void TSurfaceWidget::SetProperty(std::string_view name, const TVariant& value) {
  TSingleWidget::SetProperty(name, value);
  if (name == "surface") SetSurface(value.ToInterface<ISurface>());
  if (name == "drawmode") SetDrawMode(VariantToInt(value, drawMode_));
  if (name == "fillcolor") SetFillColor(ColorFromVariant(value));
  if (name == "shiftleft") SetShift(VariantToInt(value, shiftLeft_), shiftTop_);
  if (name == "shifttop") SetShift(shiftLeft_, VariantToInt(value, shiftTop_));
}

void TSurfaceWidget::SetSurface(const Ref<ISurface>& surface) {
  surface_ = surface;
  SetMoved();
  shiftLeft_ = 0;
  shiftTop_ = 0;
  SetWidth(surface_ ? surface_->GetWidth() : 0);
  SetHeight(surface_ ? surface_->GetHeight() : 0);
}

void TSurfaceWidget::SetDrawMode(int mode) {
  if (mode == drawMode_) return;
  drawMode_ = mode;
  SetChanged(true);
}

void TSurfaceWidget::SetFillColor(uint32_t color) {
  if (color == fillColor_) return;
  fillColor_ = color;
  SetChanged(true);
}

void TSurfaceWidget::SetShift(int left, int top) {
  left = ClampSize(left);
  top = ClampSize(top);
  if (left == shiftLeft_ && top == shiftTop_) return;
  shiftLeft_ = left;
  shiftTop_ = top;
  SetMoved();
}

void TSurfaceWidget::Draw(ISurface* surface, int x, int y) {
  if (!surface || !surface_) return;
  const int w = GetWidth();
  const int h = GetHeight();
  const TRect source = RectOfSize(shiftLeft_, shiftTop_, w, h);
  const TRect dest = RectOfSize(x, y, w, h);
  if (drawMode_ == dmFillColor)
    surface->DrawColor(fillColor_, surface_.get(), bmNormal, GetTransparentLevel(), source, dest);
  else
    surface->DrawSurface(surface_.get(), source, bmNormal, GetTransparentLevel(), dest);
}

// ---------------------------------------------------------------------------------------------
// TLinkedSurfaceWidget

void TLinkedSurfaceWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TSurfaceWidget::LoadProperties(storage);
  linkedName_ = ReadString(storage, "linked_widget_name");
}

void TLinkedSurfaceWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TSurfaceWidget::SaveProperties(storage);
  WriteString(storage, "linked_widget_name", !linkedName_.empty(), linkedName_);
}

TVariant TLinkedSurfaceWidget::GetProperty(std::string_view name) const {
  TVariant value = TSurfaceWidget::GetProperty(name);
  if (name == "linked_widget_name") value = linkedName_;
  return value;
}

void TLinkedSurfaceWidget::SetProperty(std::string_view name, const TVariant& value) {
  TSurfaceWidget::SetProperty(name, value);
  if (name == "linked_widget_name") linkedName_ = value.ToString();
}

void TLinkedSurfaceWidget::DoAdvanceTime(int dt) {
  TSurfaceWidget::DoAdvanceTime(dt);
  // An empty path names this widget itself: a picture of itself would show nothing new.
  if (linkedName_.empty()) return;
  Ref<IWidget> linked = FindWidget(linkedName_);
  if (linked && linked.get() != static_cast<IWidget*>(this)) SetSurface(linked->GetImage());
}

// ---------------------------------------------------------------------------------------------
// TRectWidget

void TRectWidget::LoadProperties(const Ref<IHierStorage>& storage) {
  TSingleWidget::LoadProperties(storage);
  TKeyReader keys(storage, LogName());
  color_ = keys.Color("color", 0);
}

void TRectWidget::SaveProperties(const Ref<IHierStorage>& storage) {
  TSingleWidget::SaveProperties(storage);
  WriteColor(storage, "color", color_ != 0, color_);
}

void TRectWidget::SetProperty(std::string_view name, const TVariant& value) {
  TSingleWidget::SetProperty(name, value);
  if (name == "color") SetColor(ColorFromVariant(value));
}

void TRectWidget::SetColor(uint32_t color) {
  if (color == color_) return;
  color_ = color;
  SetChanged(true);
}

void TRectWidget::Draw(ISurface* surface, int x, int y) {
  const int w = GetWidth();
  const int h = GetHeight();
  if (!surface || w <= 0 || h <= 0) return;
  if (!mask_ || mask_->GetWidth() != w || mask_->GetHeight() != h) mask_ = MakeSurface(w, h);
  surface->DrawColor(color_, mask_.get(), bmNormal, GetTransparentLevel(), {0, 0, w, h},
                     RectOfSize(x, y, w, h));
}

}  // namespace lumessa
