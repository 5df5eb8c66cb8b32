// 32-bit software surfaces: pixels 0xAARRGGBB, an optional alpha channel, a clip rectangle and a
// list of dirty rectangles. Every picture in the program is drawn by these operations.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/collection.h"
#include "engine/geometry.h"
#include "engine/object.h"
#include "engine/params.h"

namespace lumessa {

// "blendingmode" in data files: "/normal/screen/overlay/linearlight/addition/maxopaque".
enum TBlendingMode : int {
  bmNormal = 0,
  bmScreen = 1,
  bmOverlay = 2,
  bmLinearLight = 3,
  bmAddition = 4,
  bmMaxOpaque = 5,
};
inline constexpr std::string_view kBlendingModeChoices =
    "/normal/screen/overlay/linearlight/addition/maxopaque";
// "drawmode" in data files.
enum TDrawMode : int { dmCopyRect = 0, dmFillColor = 1 };
inline constexpr std::string_view kDrawModeChoices = "/copyrect/fillcolor";

// Non-overlapping rectangles.
class TRegion {
 public:
  // Merges rect with every rectangle it overlaps (repeatedly, last to first) and appends the
  // result. An empty rect marks nothing and is dropped.
  void Add(TRect rect);
  void Clear() { rects_.clear(); }
  bool IsEmpty() const { return rects_.empty(); }
  int Count() const { return int(rects_.size()); }
  const TRect& operator[](int i) const { return rects_[size_t(i)]; }
  auto begin() const { return rects_.begin(); }
  auto end() const { return rects_.end(); }

 private:
  std::vector<TRect> rects_;
};

class ISurface : public virtual IInterface {
 public:
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  // Reallocates the pixels, all 0 (transparent black); 0 x 0 frees them.
  virtual void SetSize(int width, int height) = 0;
  // Row y, or nullptr outside 0..Height-1.
  virtual uint32_t* GetRow(int y) = 0;
  virtual const uint32_t* GetRow(int y) const = 0;
  // 0 outside the surface.
  virtual uint32_t GetPixel(int x, int y) const = 0;
  // Ignored outside the surface or the clip; alpha forced to 255 unless HasAlpha.
  virtual void SetPixel(int x, int y, uint32_t pixel) = 0;
  virtual bool GetHasAlpha() const = 0;
  virtual void SetHasAlpha(bool hasAlpha) = 0;
  // Copies or blends sourceRect of source at destRect's position (no stretching), in blending
  // mode 0..5 (anything else draws as 0) at opacity 0..255 (clamped); in dirty mode once per
  // dirty rectangle. True if anything was
  // (or, at opacity 0, would have been) drawn.
  virtual bool DrawSurface(const ISurface* source, const TRect& sourceRect, int blendingMode,
                           int opacity, const TRect& destRect) = 0;
  // Fills destRect with color (its alpha byte included), shaped by the mask's alpha when the mask
  // has alpha. Needs a mask; in dirty mode once per dirty rectangle.
  virtual bool DrawColor(uint32_t color, const ISurface* mask, int blendingMode, int opacity,
                         const TRect& maskRect, const TRect& destRect) = 0;
  // Copies source pixels where the mask's alpha is non-zero.
  virtual bool DrawMasked(const ISurface* source, const TRect& sourceRect, const TRect& destRect,
                          const TRect& maskRect, const ISurface* mask) = 0;
  // The resampling draws below overwrite pixels (no blending) and run once within the current
  // clip; filter means bilinear, otherwise nearest.
  //
  // Scaled and turned by angle degrees (counter-clockwise on the screen). Inverse mapping: the
  // destination point p samples the source at
  //   center + (offsetX, offsetY) + unscale(unturn(p - center)),
  // so the source point center + offset lands on center; the offsets are in source pixels (a
  // turning widget passes half its picture's size minus center to keep the picture's middle on
  // center). Pixels near the picture that map outside it become transparent.
  virtual bool DrawTransformed(const ISurface* source, TPoint center, double offsetX,
                               double offsetY, double scaleX, double scaleY, bool filter,
                               double angle) = 0;
  // The whole source scaled, the destination's top-left corner at source point (x, y): the
  // destination point p samples the source at (p.x / scaleX + x, p.y / scaleY + y).
  virtual bool DrawScaled(const ISurface* source, bool filter, double x, double y, double scaleX,
                          double scaleY) = 0;
  // The whole source with its top-left corner at (x, y): the plain row copy at whole positions,
  // else resampled bilinearly over one more column and row.
  virtual bool DrawAt(const ISurface* source, double x, double y) = 0;
  // Also ends dirty mode until the next AddDirtyRect.
  virtual void SetClipRect(bool enabled, const TRect& rect) = 0;
  virtual void AddDirtyRect(const TRect& rect) = 0;
  // Removes every dirty rectangle; clipping and dirty mode off.
  virtual void ClearDirtyRects() = 0;
  // Unchecked: the caller guarantees the range.
  virtual uint32_t* PixelAddress(int x, int y) = 0;
  virtual uint32_t PixelAt(int x, int y) const = 0;
  virtual void ClearAll() = 0;
  // Sets "PixelsCount", "OpaqueCount" (alpha > threshold) and "TransparentCount".
  virtual bool CountPixels(IParamCollection* params, uint8_t threshold) = 0;

  // State the drawing code above the surface reads back.
  virtual bool GetClipEnabled() const = 0;
  virtual TRect GetClipRect() const = 0;
  virtual bool GetDirtyMode() const = 0;
  virtual const TRegion& GetDirtyRects() const = 0;
};

// The one implementation of ISurface. Rows are stored top to bottom without padding.
class TSurface : public TAbstractObject, public virtual ISurface {
 public:
  // SetSize leaves the surface empty (0 x 0) for sizes beyond these, so a corrupt image header
  // cannot ask for gigabytes.
  static constexpr int kMaxSide = 16384;
  static constexpr int64_t kMaxPixels = int64_t(1) << 26;

  int GetWidth() const override { return width_; }
  int GetHeight() const override { return height_; }
  void SetSize(int width, int height) override;
  uint32_t* GetRow(int y) override;
  const uint32_t* GetRow(int y) const override;
  uint32_t GetPixel(int x, int y) const override;
  void SetPixel(int x, int y, uint32_t pixel) override;
  bool GetHasAlpha() const override { return hasAlpha_; }
  void SetHasAlpha(bool hasAlpha) override { hasAlpha_ = hasAlpha; }
  bool DrawSurface(const ISurface* source, const TRect& sourceRect, int blendingMode, int opacity,
                   const TRect& destRect) override;
  bool DrawColor(uint32_t color, const ISurface* mask, int blendingMode, int opacity,
                 const TRect& maskRect, const TRect& destRect) override;
  bool DrawMasked(const ISurface* source, const TRect& sourceRect, const TRect& destRect,
                  const TRect& maskRect, const ISurface* mask) override;
  bool DrawTransformed(const ISurface* source, TPoint center, double offsetX, double offsetY,
                       double scaleX, double scaleY, bool filter, double angle) override;
  bool DrawScaled(const ISurface* source, bool filter, double x, double y, double scaleX,
                  double scaleY) override;
  bool DrawAt(const ISurface* source, double x, double y) override;
  void SetClipRect(bool enabled, const TRect& rect) override;
  void AddDirtyRect(const TRect& rect) override;
  void ClearDirtyRects() override;
  uint32_t* PixelAddress(int x, int y) override {
    return bits_.data() + size_t(y) * size_t(width_) + size_t(x);
  }
  uint32_t PixelAt(int x, int y) const override {
    return bits_[size_t(y) * size_t(width_) + size_t(x)];
  }
  void ClearAll() override;
  bool CountPixels(IParamCollection* params, uint8_t threshold) override;

  bool GetClipEnabled() const override { return clipEnabled_; }
  TRect GetClipRect() const override { return clipRect_; }
  bool GetDirtyMode() const override { return dirtyMode_; }
  const TRegion& GetDirtyRects() const override { return dirtyRects_; }

  // All pixels, Width x Height, rows top to bottom.
  const uint32_t* Bits() const { return bits_.data(); }

 private:
  struct TResampleMap;
  // What one run of a draw may touch: the whole surface, or ClipRect within it when clipping.
  TRect CurrentClip() const;
  // In dirty mode runs draw() once per dirty rectangle with ClipRect := that rectangle
  // intersected with destRect (skipping empty ones), else once; true if any run drew.
  template <class Draw>
  bool ForEachDirtyRun(const TRect& destRect, Draw&& draw);
  bool DrawSurfaceOnce(const ISurface& source, const TRect& sourceRect, int mode, int opacity,
                       const TRect& destRect);
  bool DrawColorOnce(uint32_t color, const ISurface& mask, int mode, int opacity,
                     const TRect& maskRect, const TRect& destRect);
  // The plain row copy (alpha bytes included) within the current clip.
  bool CopyRect(const ISurface& source, const TRect& sourceRect, const TRect& destRect);
  bool Resample(const ISurface& source, const TResampleMap& map);

  int width_ = 0;
  int height_ = 0;
  bool hasAlpha_ = false;
  std::vector<uint32_t> bits_;
  bool clipEnabled_ = false;
  TRect clipRect_;
  TRegion dirtyRects_;
  bool dirtyMode_ = false;
};

// A new surface of the given size, all pixels 0.
Ref<TSurface> MakeSurface(int width, int height, bool hasAlpha = false);

class ISurfaceCollection : public virtual ICollection {
 public:
  virtual bool Add(const Ref<ISurface>& surface, std::string_view name) = 0;
  virtual Ref<ISurface> Get(const TVariant& key) const = 0;
};

class TSurfaceCollection : public TCollection, public virtual ISurfaceCollection {
 public:
  bool Add(const Ref<ISurface>& surface, std::string_view name) override {
    return items_.Add(Ref<IInterface>(surface.get()), false, -1, name) != nullptr;
  }
  Ref<ISurface> Get(const TVariant& key) const override { return GetAs<ISurface>(key); }
};

}  // namespace lumessa
