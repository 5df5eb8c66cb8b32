// Widget paths and the screen-space helpers of game code.
#include <algorithm>

#include "widgets/abstract_widget.h"

namespace lumessa {

// "" is the widget itself; otherwise the path splits at its first "/" (a leading "/" is a head
// of its own, which names no child): ".", "..", "window:" or a child name, then the rest.
Ref<IWidget> TAbstractWidget::FindWidget(std::string_view path) const {
  if (path.empty()) return Ref<IWidget>(const_cast<TAbstractWidget*>(this));
  std::string_view head, rest;
  if (path.front() == '/') {
    head = path.substr(0, 1);
    rest = path.substr(1);
  } else if (size_t slash = path.find('/'); slash != std::string_view::npos) {
    head = path.substr(0, slash);
    rest = path.substr(slash + 1);
  } else {
    head = path;
  }
  if (head == ".") return FindWidget(rest);
  if (head == "..") return owner_ ? owner_->FindWidget(rest) : Ref<IWidget>();
  if (head == "window:") {
    Ref<IWindow> window = owner_ ? owner_->GetWindow() : Ref<IWindow>();
    return window ? window->FindWidget(rest) : Ref<IWidget>();
  }
  Ref<IWidget> child = GetChild(TVariant(head));
  if (child && !rest.empty()) return child->FindWidget(rest);
  return child;
}

TRect GetScreenRect(const IWidget* widget) {
  if (!widget) return {};
  const TPoint origin = widget->ScreenToLocal({0, 0});
  return widget->GetBounds().Offset(-origin.x, -origin.y);
}

TPoint LocalToScreen(const IWidget* widget, TPoint point) {
  if (!widget) return point;
  const TPoint origin = widget->ScreenToLocal({0, 0});
  return {point.x - origin.x, point.y - origin.y};
}

bool PixelsOverlap(IWidget* widgetA, const TRect& rectA, IWidget* widgetB, const TRect& rectB) {
  if (!widgetA || !widgetB || !rectA.Overlaps(rectB)) return false;
  Ref<ISurface> a = widgetA->GetImage();
  Ref<ISurface> b = widgetB->GetImage();
  if (!a || !b) return false;
  const TRect common = rectA.Intersect(rectB);
  for (int y = common.top; y < common.bottom; ++y)
    for (int x = common.left; x < common.right; ++x)
      if ((a->GetPixel(x - rectA.left, y - rectA.top) >> 24) != 0 &&
          (b->GetPixel(x - rectB.left, y - rectB.top) >> 24) != 0)
        return true;
  return false;
}

}  // namespace lumessa
