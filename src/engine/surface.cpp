// TSurface: pixels, clipping, dirty rectangles and the rectangle draws (DrawSurface, DrawColor,
// DrawMasked). The resampling draws live in surface_transform.cpp, the row loops in
// surface_blend.cpp and its vector twins.
#include "engine/surface.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "engine/log.h"
#include "engine/surface_blend.h"

namespace lumessa {

namespace {

// One area taking part in a draw: a source or mask surface's size and the rectangle asked for.
struct TBlitSource {
  int width = 0;
  int height = 0;
  TRect rect;
  int64_t x = 0;  // after clipping: where the copied block starts on this surface
  int64_t y = 0;
};

// The destination block after clipping: w x h pixels at (x, y).
struct TBlit {
  int64_t x = 0, y = 0, w = 0, h = 0;
};

bool OutsideOf(const TRect& r, int width, int height) {
  return r.right <= 0 || r.bottom <= 0 || r.left >= width || r.top >= height;
}

// The clipping rule of every rectangle draw. The block keeps the size of the smaller of the
// rectangles (there is no stretching); whatever falls off the destination, its clip or any source
// is cut from all of them alike, so the pixels stay paired. 64-bit arithmetic: rectangles come
// from data and may be absurd.
bool ClipBlit(int width, int height, const TRect* clip, const TRect& destRect,
              std::span<TBlitSource> sources, TBlit& out) {
  if (OutsideOf(destRect, width, height)) return false;
  for (const TBlitSource& s : sources)
    if (OutsideOf(s.rect, s.width, s.height)) return false;

  int64_t dl = destRect.left, dt = destRect.top, dr = destRect.right, db = destRect.bottom;
  for (TBlitSource& s : sources) {
    s.x = s.rect.left;
    s.y = s.rect.top;
  }
  if (clip) {
    if (clip->left > dl) {
      for (TBlitSource& s : sources) s.x += clip->left - dl;
      dl = clip->left;
    }
    if (clip->top > dt) {
      for (TBlitSource& s : sources) s.y += clip->top - dt;
      dt = clip->top;
    }
    dr = std::min<int64_t>(dr, clip->right);
    db = std::min<int64_t>(db, clip->bottom);
  }
  int64_t w = dr - dl, h = db - dt;
  for (const TBlitSource& s : sources) {
    w = std::min<int64_t>(w, int64_t(s.rect.right) - s.x);
    h = std::min<int64_t>(h, int64_t(s.rect.bottom) - s.y);
  }
  // Moves the block's start by (ax, ay) everywhere and shrinks it to match.
  auto advance = [&](int64_t ax, int64_t ay) {
    dl += ax;
    dt += ay;
    w -= ax;
    h -= ay;
    for (TBlitSource& s : sources) {
      s.x += ax;
      s.y += ay;
    }
  };
  advance(std::max<int64_t>(0, -dl), std::max<int64_t>(0, -dt));
  w = std::min<int64_t>(w, width - dl);
  h = std::min<int64_t>(h, height - dt);
  for (size_t i = 0; i < sources.size(); ++i) {
    advance(std::max<int64_t>(0, -sources[i].x), std::max<int64_t>(0, -sources[i].y));
    w = std::min<int64_t>(w, sources[i].width - sources[i].x);
    h = std::min<int64_t>(h, sources[i].height - sources[i].y);
  }
  if (w <= 0 || h <= 0) return false;
  out = {dl, dt, w, h};
  return true;
}

// Rows of a source block. Reads go to a private copy when the source is the destination itself,
// so a draw from a surface onto an overlapping part of it reads the pixels as they were. A
// TSurface is read straight from its buffer: a virtual call per row costs as much as copying a
// sprite's row.
class TBlockRows {
 public:
  TBlockRows(const ISurface& source, const ISurface* dest, const TBlitSource& at, const TBlit& b)
      : source_(source), x_(at.x), y_(at.y) {
    if (const auto* plain = dynamic_cast<const TSurface*>(&source)) {
      first_ = plain->Bits() + y_ * plain->GetWidth() + x_;
      stride_ = plain->GetWidth();
    }
    if (&source != dest) return;
    copy_.resize(size_t(b.w) * size_t(b.h));
    for (int64_t r = 0; r < b.h; ++r) std::memcpy(copy_.data() + r * b.w, Row(r), size_t(b.w) * 4);
    first_ = copy_.data();
    stride_ = b.w;
  }
  // Row r of the block, from its first pixel.
  const uint32_t* Row(int64_t r) const {
    if (first_) return first_ + r * stride_;
    const uint32_t* row = source_.GetRow(int(y_ + r));
    return row ? row + x_ : nullptr;
  }

 private:
  const ISurface& source_;
  int64_t x_, y_;
  const uint32_t* first_ = nullptr;
  int64_t stride_ = 0;
  std::vector<uint32_t> copy_;
};

int NormalizeMode(int mode) {
  return mode >= bmNormal && mode <= bmMaxOpaque ? mode : bmNormal;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TRegion

void TRegion::Add(TRect rect) {
  if (rect.IsEmpty()) return;  // marks nothing; kept out so it cannot start dirty mode
  bool merged;
  do {
    merged = false;
    for (size_t i = rects_.size(); i-- > 0;) {
      if (rects_[i].Overlaps(rect)) {
        rect = rect.Union(rects_[i]);
        rects_.erase(rects_.begin() + ptrdiff_t(i));
        merged = true;
      }
    }
  } while (merged);
  rects_.push_back(rect);
}

// ---------------------------------------------------------------------------------------------
// Pixels

Ref<TSurface> MakeSurface(int width, int height, bool hasAlpha) {
  Ref<TSurface> s = MakeRef<TSurface>();
  s->Initialize();
  s->SetHasAlpha(hasAlpha);
  s->SetSize(width, height);
  return s;
}

void TSurface::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide ||
      int64_t(width) * height > kMaxPixels) {
    Log("surface: size %d x %d refused; the surface is left empty", width, height);
    width = height = 0;
  }
  width_ = width;
  height_ = height;
  // A fresh zeroed buffer every time: resizing clears, and the old memory is released.
  std::vector<uint32_t>(size_t(width) * size_t(height)).swap(bits_);
}

uint32_t* TSurface::GetRow(int y) {
  if (y < 0 || y >= height_ || width_ == 0) return nullptr;
  return bits_.data() + size_t(y) * size_t(width_);
}

const uint32_t* TSurface::GetRow(int y) const {
  if (y < 0 || y >= height_ || width_ == 0) return nullptr;
  return bits_.data() + size_t(y) * size_t(width_);
}

uint32_t TSurface::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return PixelAt(x, y);
}

void TSurface::SetPixel(int x, int y, uint32_t pixel) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  if (clipEnabled_ && !clipRect_.Contains({x, y})) return;
  *PixelAddress(x, y) = hasAlpha_ ? pixel : pixel | 0xFF000000u;
}

void TSurface::ClearAll() {
  std::fill(bits_.begin(), bits_.end(), 0u);
}

bool TSurface::CountPixels(IParamCollection* params, uint8_t threshold) {
  if (!params) return false;
  int64_t opaque = 0;
  for (uint32_t p : bits_) opaque += (p >> 24) > threshold;
  const int64_t all = int64_t(bits_.size());
  params->SetValue("PixelsCount", TVariant(all));
  params->SetValue("OpaqueCount", TVariant(opaque));
  params->SetValue("TransparentCount", TVariant(all - opaque));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Clipping and dirty rectangles

void TSurface::SetClipRect(bool enabled, const TRect& rect) {
  clipEnabled_ = enabled;
  clipRect_ = rect;
  dirtyMode_ = false;
}

void TSurface::AddDirtyRect(const TRect& rect) {
  dirtyRects_.Add(rect);
  if (!dirtyRects_.IsEmpty()) {
    clipEnabled_ = true;
    dirtyMode_ = true;
  }
}

void TSurface::ClearDirtyRects() {
  dirtyRects_.Clear();
  clipEnabled_ = false;
  dirtyMode_ = false;
}

TRect TSurface::CurrentClip() const {
  TRect all{0, 0, width_, height_};
  return clipEnabled_ ? all.Intersect(clipRect_) : all;
}

template <class Draw>
bool TSurface::ForEachDirtyRun(const TRect& destRect, Draw&& draw) {
  if (!(clipEnabled_ && dirtyMode_)) return draw();
  bool any = false;
  for (const TRect& dirty : dirtyRects_) {
    clipRect_ = dirty.Intersect(destRect);
    if (!clipRect_.IsEmpty()) any |= draw();
  }
  return any;
}

// ---------------------------------------------------------------------------------------------
// Rectangle draws

bool TSurface::DrawSurface(const ISurface* source, const TRect& sourceRect, int blendingMode,
                           int opacity, const TRect& destRect) {
  if (!source || bits_.empty()) return false;
  const int mode = NormalizeMode(blendingMode);
  const int o = std::clamp(opacity, 0, 255);
  return ForEachDirtyRun(destRect,
                         [&] { return DrawSurfaceOnce(*source, sourceRect, mode, o, destRect); });
}

bool TSurface::DrawSurfaceOnce(const ISurface& source, const TRect& sourceRect, int mode,
                               int opacity, const TRect& destRect) {
  std::array<TBlitSource, 1> src{TBlitSource{source.GetWidth(), source.GetHeight(), sourceRect}};
  TBlit b;
  if (!ClipBlit(width_, height_, clipEnabled_ ? &clipRect_ : nullptr, destRect, src, b))
    return false;
  if (opacity == 0) return true;  // visible, but nothing to draw

  TBlockRows rows(source, this, src[0], b);
  blend::TRowArgs args;
  args.opacity = opacity;
  args.dstHasAlpha = hasAlpha_;
  args.srcHasAlpha = source.GetHasAlpha();
  const blend::TRowLoops& loops = blend::BlendLoops();
  blend::TRowLoop loop = nullptr;
  if (mode == bmNormal) {
    if (!args.srcHasAlpha)
      loop = opacity == 255 ? nullptr : loops.sourceOpacity;
    else
      loop = opacity == 255 ? loops.alphaSource : loops.alphaSourceOpacity;
  }
  const int w = int(b.w);
  for (int64_t r = 0; r < b.h; ++r) {
    const uint32_t* s = rows.Row(r);
    if (!s) continue;
    uint32_t* d = PixelAddress(int(b.x), int(b.y + r));
    if (mode != bmNormal)
      loops.blendMode[mode - 1](d, s, w, args);
    else if (loop)
      loop(d, s, w, args);
    else
      std::memcpy(d, s, size_t(w) * 4);  // opaque source at full opacity: rows as they are
  }
  return true;
}

bool TSurface::CopyRect(const ISurface& source, const TRect& sourceRect, const TRect& destRect) {
  if (bits_.empty()) return false;
  std::array<TBlitSource, 1> src{TBlitSource{source.GetWidth(), source.GetHeight(), sourceRect}};
  TBlit b;
  if (!ClipBlit(width_, height_, clipEnabled_ ? &clipRect_ : nullptr, destRect, src, b))
    return false;
  TBlockRows rows(source, this, src[0], b);
  for (int64_t r = 0; r < b.h; ++r)
    if (const uint32_t* s = rows.Row(r))
      std::memcpy(PixelAddress(int(b.x), int(b.y + r)), s, size_t(b.w) * 4);
  return true;
}

bool TSurface::DrawColor(uint32_t color, const ISurface* mask, int blendingMode, int opacity,
                         const TRect& maskRect, const TRect& destRect) {
  if (!mask || bits_.empty()) return false;
  const int mode = NormalizeMode(blendingMode);
  const int o = std::clamp(opacity, 0, 255);
  return ForEachDirtyRun(destRect,
                         [&] { return DrawColorOnce(color, *mask, mode, o, maskRect, destRect); });
}

bool TSurface::DrawColorOnce(uint32_t color, const ISurface& mask, int mode, int opacity,
                             const TRect& maskRect, const TRect& destRect) {
  std::array<TBlitSource, 1> src{TBlitSource{mask.GetWidth(), mask.GetHeight(), maskRect}};
  TBlit b;
  if (!ClipBlit(width_, height_, clipEnabled_ ? &clipRect_ : nullptr, destRect, src, b))
    return false;

  TBlockRows rows(mask, this, src[0], b);
  blend::TRowArgs args;
  args.opacity = opacity;
  args.dstHasAlpha = hasAlpha_;
  args.srcHasAlpha = mask.GetHasAlpha();
  args.color = color;
  args.level = opacity * int(color >> 24) / 255;
  const blend::TRowLoops& loops = blend::BlendLoops();
  const int w = int(b.w);
  for (int64_t r = 0; r < b.h; ++r) {
    const uint32_t* m = rows.Row(r);
    if (!m) continue;
    uint32_t* d = PixelAddress(int(b.x), int(b.y + r));
    if (mode != bmNormal)
      loops.fillMode[mode - 1](d, m, w, args);
    else if (args.srcHasAlpha)
      loops.fillMasked(d, m, w, args);
    else if (args.level == 255)
      loops.fillSolid(d, m, w, args);  // the colour is opaque here, so its alpha byte is 255
    else
      loops.fillConstant(d, m, w, args);
  }
  return true;
}

bool TSurface::DrawMasked(const ISurface* source, const TRect& sourceRect, const TRect& destRect,
                          const TRect& maskRect, const ISurface* mask) {
  if (!source || !mask || bits_.empty()) return false;
  std::array<TBlitSource, 2> src{TBlitSource{source->GetWidth(), source->GetHeight(), sourceRect},
                                 TBlitSource{mask->GetWidth(), mask->GetHeight(), maskRect}};
  TBlit b;
  if (!ClipBlit(width_, height_, clipEnabled_ ? &clipRect_ : nullptr, destRect, src, b))
    return false;
  TBlockRows srcRows(*source, this, src[0], b);
  TBlockRows maskRows(*mask, this, src[1], b);
  const uint32_t force = hasAlpha_ ? 0 : 0xFF000000u;
  for (int64_t r = 0; r < b.h; ++r) {
    const uint32_t* s = srcRows.Row(r);
    const uint32_t* m = maskRows.Row(r);
    if (!s || !m) continue;
    uint32_t* d = PixelAddress(int(b.x), int(b.y + r));
    for (int64_t i = 0; i < b.w; ++i)
      if (m[i] >> 24) d[i] = s[i] | force;
  }
  return true;
}

}  // namespace lumessa
