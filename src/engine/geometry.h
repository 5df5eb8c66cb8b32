// Points and rectangles. Rectangles are (left, top, right, bottom), right and bottom exclusive.
#pragma once

#include <algorithm>

namespace lumessa {

struct TPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(TPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  // A non-empty intersection; rectangles that only touch do not overlap.
  bool Overlaps(const TRect& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
  TRect Intersect(const TRect& o) const {
    return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
            std::min(bottom, o.bottom)};
  }
  // Bounding box of both.
  TRect Union(const TRect& o) const {
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
            std::max(bottom, o.bottom)};
  }
  TRect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect RectOfSize(int x, int y, int width, int height) {
  return {x, y, x + width, y + height};
}

}  // namespace lumessa
