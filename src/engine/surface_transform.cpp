// The resampling draws of TSurface: DrawTransformed, DrawScaled and DrawAt. Each maps every
// destination pixel back into the source (inverse mapping, 16.16 fixed point along a row) and
// overwrites it with the sample; none of them blends.
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "engine/surface.h"

namespace lumessa {

// Where destination pixel (x, y) samples the source: its centre (x + 0.5, y + 0.5) maps to
// (u0 + x * dux + y * duy, v0 + x * dvx + y * dvy) in source pixels.
struct TSurface::TResampleMap {
  double u0 = 0, v0 = 0;
  double dux = 1, dvx = 0;
  double duy = 0, dvy = 1;
  TRect box;                  // destination pixels considered, within the surface and the clip
  bool filter = false;        // bilinear instead of nearest
  bool clearOutside = false;  // pixels that map outside the source become transparent
  bool wholeBox = false;      // every pixel of the box gets the (filtered) sample
};

namespace {

constexpr double kFixed = 65536.0;
// Positions and scales beyond these are refused rather than overflowing the fixed-point steps.
constexpr double kMaxCoordinate = 1e7;
constexpr double kMinScale = 1e-6;
constexpr double kMaxScale = 1e6;

bool SaneCoordinate(double v) {
  return std::isfinite(v) && std::fabs(v) <= kMaxCoordinate;
}
bool SaneScale(double s) {
  return std::isfinite(s) && std::fabs(s) >= kMinScale && std::fabs(s) <= kMaxScale;
}

// The source pixels, read straight from a TSurface's buffer; a private copy when the source is
// the destination itself (or some other ISurface).
class TSourcePixels {
 public:
  TSourcePixels(const ISurface& source, const ISurface* dest)
      : width_(source.GetWidth()), height_(source.GetHeight()), alpha_(source.GetHasAlpha()) {
    if (width_ <= 0 || height_ <= 0) return;
    const auto* plain = dynamic_cast<const TSurface*>(&source);
    if (plain && &source != dest) {
      bits_ = plain->Bits();
      return;
    }
    copy_.resize(size_t(width_) * size_t(height_));
    for (int y = 0; y < height_; ++y) {
      const uint32_t* row = source.GetRow(y);
      if (!row) return;  // a broken surface: nothing to sample
      std::memcpy(copy_.data() + size_t(y) * size_t(width_), row, size_t(width_) * 4);
    }
    bits_ = copy_.data();
  }
  bool Empty() const { return bits_ == nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The pixel, read as opaque when the source has no alpha channel; transparent black outside.
  uint32_t At(int64_t x, int64_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    uint32_t p = bits_[y * width_ + x];
    return alpha_ ? p : p | 0xFF000000u;
  }

  // Bilinear sample at the 16.16 position (u, v) measured from the source's corner, pixel centres
  // at half-integers, with 8-bit weights. Where the four pixels agree in alpha (the inside of a
  // picture, or its empty surroundings) the channels are interpolated directly, so a uniform area
  // stays exactly uniform; elsewhere colours are weighted by their alpha, so transparent
  // neighbours (and the outside) fade an edge instead of darkening it.
  uint32_t Bilinear(int64_t u, int64_t v) const {
    u -= 32768;
    v -= 32768;
    const int64_t x0 = u >> 16, y0 = v >> 16;
    const uint32_t fx = uint32_t(u >> 8) & 0xFF, fy = uint32_t(v >> 8) & 0xFF;
    uint32_t p00, p10, p01, p11;
    if (x0 >= 0 && y0 >= 0 && x0 + 1 < width_ && y0 + 1 < height_) {
      const uint32_t* r0 = bits_ + y0 * width_ + x0;
      const uint32_t* r1 = r0 + width_;
      const uint32_t opaque = alpha_ ? 0 : 0xFF000000u;
      p00 = r0[0] | opaque;
      p10 = r0[1] | opaque;
      p01 = r1[0] | opaque;
      p11 = r1[1] | opaque;
    } else {
      p00 = At(x0, y0);
      p10 = At(x0 + 1, y0);
      p01 = At(x0, y0 + 1);
      p11 = At(x0 + 1, y0 + 1);
    }
    const uint32_t a = p00 >> 24;
    if (a == p10 >> 24 && a == p01 >> 24 && a == p11 >> 24)
      return Lerp(Lerp(p00, p10, fx), Lerp(p01, p11, fx), fy);
    return Weighted(p00, p10, p01, p11, fx, fy);
  }

 private:
  // Per byte (a * (256 - f) + b * f + 128) >> 8, two bytes at a time.
  static uint32_t Lerp(uint32_t a, uint32_t b, uint32_t f) {
    const uint32_t g = 256 - f;
    uint32_t rb = (((a & 0x00FF00FF) * g + (b & 0x00FF00FF) * f + 0x00800080) >> 8) & 0x00FF00FF;
    uint32_t ga = ((a >> 8 & 0x00FF00FF) * g + (b >> 8 & 0x00FF00FF) * f + 0x00800080) & 0xFF00FF00;
    return rb | ga;
  }

  // Alpha-weighted: each colour counts with its weight times its alpha. The sums stay below
  // 2^32 (255 * 255 * 65536 at most), so 32-bit arithmetic is exact.
  static uint32_t Weighted(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, uint32_t fx,
                           uint32_t fy) {
    const uint32_t p[4] = {p00, p10, p01, p11};
    const uint32_t w[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
    uint32_t aw[4], total = 0;
    for (int i = 0; i < 4; ++i) total += aw[i] = w[i] * (p[i] >> 24);
    if (total == 0) return 0;
    uint32_t out = ((total + 32768) >> 16) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
      uint32_t sum = total / 2;
      for (int i = 0; i < 4; ++i) sum += aw[i] * (p[i] >> shift & 0xFF);
      out |= sum / total << shift;
    }
    return out;
  }

 private:
  int width_, height_;
  bool alpha_;
  const uint32_t* bits_ = nullptr;
  std::vector<uint32_t> copy_;
};

// The clip-limited integer box covering [x0, x1) x [y0, y1).
TRect BoxWithin(double x0, double y0, double x1, double y1, const TRect& clip) {
  auto cut = [](double v, int lo, int hi) { return int(std::clamp(v, double(lo), double(hi))); };
  return {cut(std::floor(x0), clip.left, clip.right), cut(std::floor(y0), clip.top, clip.bottom),
          cut(std::ceil(x1), clip.left, clip.right), cut(std::ceil(y1), clip.top, clip.bottom)};
}

}  // namespace

namespace {

// One row of a resampling draw; the filter is a template argument to keep the test out of the
// pixel loop.
template <bool kFilter>
void ResampleRow(uint32_t* d, int count, int64_t u, int64_t v, int64_t du, int64_t dv,
                 const TSourcePixels& src, uint32_t force, bool clearOutside, bool wholeBox) {
  const int64_t w = src.Width(), h = src.Height();
  for (int i = 0; i < count; ++i, ++d, u += du, v += dv) {
    const int64_t iu = u >> 16, iv = v >> 16;
    if ((iu >= 0 && iv >= 0 && iu < w && iv < h) || wholeBox)
      *d = (kFilter ? src.Bilinear(u, v) : src.At(iu, iv)) | force;
    else if (clearOutside)
      *d = (*d & 0x00FFFFFFu) | force;
  }
}

}  // namespace

bool TSurface::Resample(const ISurface& source, const TResampleMap& map) {
  if (map.box.IsEmpty()) return false;
  TSourcePixels src(source, this);
  if (src.Empty()) return false;
  const uint32_t force = hasAlpha_ ? 0 : 0xFF000000u;
  const int64_t du = std::llround(map.dux * kFixed), dv = std::llround(map.dvx * kFixed);
  const int count = map.box.Width();
  for (int y = map.box.top; y < map.box.bottom; ++y) {
    // Each row starts from an exact position, so rounding of the steps cannot pile up.
    int64_t u = std::llround((map.u0 + map.box.left * map.dux + y * map.duy) * kFixed);
    int64_t v = std::llround((map.v0 + map.box.left * map.dvx + y * map.dvy) * kFixed);
    uint32_t* d = PixelAddress(map.box.left, y);
    if (map.filter)
      ResampleRow<true>(d, count, u, v, du, dv, src, force, map.clearOutside, map.wholeBox);
    else
      ResampleRow<false>(d, count, u, v, du, dv, src, force, map.clearOutside, map.wholeBox);
  }
  return true;
}

bool TSurface::DrawTransformed(const ISurface* source, TPoint center, double offsetX,
                               double offsetY, double scaleX, double scaleY, bool filter,
                               double angle) {
  if (!source || bits_.empty() || source->GetWidth() <= 0 || source->GetHeight() <= 0) return false;
  if (!SaneScale(scaleX) || !SaneScale(scaleY) || !SaneCoordinate(offsetX) ||
      !SaneCoordinate(offsetY) || !std::isfinite(angle))
    return false;
  // Quarter turns use exact sines, so they move pixels without blur or drift.
  double turn = std::fmod(angle, 360.0);
  if (turn < 0) turn += 360.0;
  double c, s;
  const bool quarter = turn == 0 || turn == 90 || turn == 180 || turn == 270;
  if (quarter) {
    c = turn == 0 ? 1 : turn == 180 ? -1 : 0;
    s = turn == 90 ? 1 : turn == 270 ? -1 : 0;
  } else {
    c = std::cos(turn * std::numbers::pi / 180);
    s = std::sin(turn * std::numbers::pi / 180);
  }
  const double cx = center.x, cy = center.y;
  const double sw = source->GetWidth(), sh = source->GetHeight();

  // Forward map of the source corners gives the box of pixels that can change.
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (double u : {0.0, sw}) {
    for (double v : {0.0, sh}) {
      double qx = (u - cx - offsetX) * scaleX, qy = (v - cy - offsetY) * scaleY;
      double px = cx + qx * c + qy * s, py = cy - qx * s + qy * c;
      x0 = std::min(x0, px);
      y0 = std::min(y0, py);
      x1 = std::max(x1, px);
      y1 = std::max(y1, py);
    }
  }
  TResampleMap map;
  map.box = BoxWithin(x0 - 2, y0 - 2, x1 + 2, y1 + 2, CurrentClip());
  map.dux = c / scaleX;
  map.duy = -s / scaleX;
  map.dvx = s / scaleY;
  map.dvy = c / scaleY;
  map.u0 = cx + offsetX + ((0.5 - cx) * c - (0.5 - cy) * s) / scaleX;
  map.v0 = cy + offsetY + ((0.5 - cx) * s + (0.5 - cy) * c) / scaleY;
  map.filter = filter && !(quarter && scaleX == 1 && scaleY == 1);
  map.clearOutside = true;
  return Resample(*source, map);
}

bool TSurface::DrawScaled(const ISurface* source, bool filter, double x, double y, double scaleX,
                          double scaleY) {
  if (!source || bits_.empty() || source->GetWidth() <= 0 || source->GetHeight() <= 0) return false;
  if (!SaneScale(scaleX) || !SaneScale(scaleY) || !SaneCoordinate(x) || !SaneCoordinate(y))
    return false;
  const double left = -x * scaleX, right = (source->GetWidth() - x) * scaleX;
  const double top = -y * scaleY, bottom = (source->GetHeight() - y) * scaleY;
  TResampleMap map;
  map.box = BoxWithin(std::min(left, right), std::min(top, bottom), std::max(left, right),
                      std::max(top, bottom), CurrentClip());
  map.dux = 1 / scaleX;
  map.dvy = 1 / scaleY;
  map.u0 = 0.5 / scaleX + x;
  map.v0 = 0.5 / scaleY + y;
  map.filter = filter;
  return Resample(*source, map);
}

bool TSurface::DrawAt(const ISurface* source, double x, double y) {
  if (!source || bits_.empty() || source->GetWidth() <= 0 || source->GetHeight() <= 0) return false;
  if (!SaneCoordinate(x) || !SaneCoordinate(y)) return false;
  const int w = source->GetWidth(), h = source->GetHeight();
  const double ix = std::floor(x), iy = std::floor(y);
  if (ix == x && iy == y) {
    // Whole numbers: the plain row copy.
    TRect sourceRect{0, 0, w, h};
    TRect destRect = RectOfSize(int(ix), int(iy), w, h);
    return CopyRect(*source, sourceRect, destRect);
  }
  // A fractional position spreads the picture over one more column and row.
  TResampleMap map;
  map.box = BoxWithin(ix, iy, ix + w + (ix != x), iy + h + (iy != y), CurrentClip());
  map.u0 = 0.5 - x;
  map.v0 = 0.5 - y;
  map.filter = true;
  map.wholeBox = true;
  return Resample(*source, map);
}

}  // namespace lumessa
