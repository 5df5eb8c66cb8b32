#include "engine/surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/surface_blend.h"

namespace lumessa {
namespace {

// Rows wide enough that the vector loops and the reference tail both take part.
constexpr int kRow = 19;

Ref<TSurface> Filled(int w, int h, bool alpha, uint32_t pixel) {
  Ref<TSurface> s = MakeSurface(w, h, alpha);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) *s->PixelAddress(x, y) = pixel;
  return s;
}

// Every pixel x | y << 8 | 0xFF << 24, so a copied pixel tells where it came from.
Ref<TSurface> Numbered(int w, int h) {
  Ref<TSurface> s = MakeSurface(w, h, false);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      *s->PixelAddress(x, y) = 0xFF000000u | uint32_t(y) << 8 | uint32_t(x);
  return s;
}

// Pixels that differ from `background`, as a rectangle (empty when none changed).
TRect ChangedArea(const TSurface& s, uint32_t background) {
  TRect r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int y = 0; y < s.GetHeight(); ++y)
    for (int x = 0; x < s.GetWidth(); ++x)
      if (s.PixelAt(x, y) != background) r = r.Union({x, y, x + 1, y + 1});
  return r.IsEmpty() ? TRect{} : r;
}

class TFakeParams : public TAbstractObject, public virtual IParamCollection {
 public:
  int Count() const override { return int(values.size()); }
  void Delete(const TVariant&) override {}
  int IndexOf(std::string_view) const override { return -1; }
  bool Contains(std::string_view name) const override { return values.count(std::string(name)); }
  void Clear() override { values.clear(); }
  Ref<IParam> Get(const TVariant&) const override { return {}; }
  bool Add(const Ref<IParam>&) override { return false; }
  void SetValue(std::string_view name, const TVariant& value) override {
    values[std::string(name)] = value;
  }
  TVariant GetValue(std::string_view name, const TVariant& fallback) const override {
    auto it = values.find(std::string(name));
    return it == values.end() ? fallback : it->second;
  }
  std::map<std::string, TVariant> values;
};

// An ISurface that is not a TSurface: drawing must read it through GetRow alone.
class TForeignSurface : public TAbstractObject, public virtual ISurface {
 public:
  explicit TForeignSurface(Ref<TSurface> s) : s_(std::move(s)) {}
  int GetWidth() const override { return s_->GetWidth(); }
  int GetHeight() const override { return s_->GetHeight(); }
  void SetSize(int w, int h) override { s_->SetSize(w, h); }
  uint32_t* GetRow(int y) override { return s_->GetRow(y); }
  const uint32_t* GetRow(int y) const override { return std::as_const(*s_).GetRow(y); }
  uint32_t GetPixel(int x, int y) const override { return s_->GetPixel(x, y); }
  void SetPixel(int x, int y, uint32_t p) override { s_->SetPixel(x, y, p); }
  bool GetHasAlpha() const override { return s_->GetHasAlpha(); }
  void SetHasAlpha(bool a) override { s_->SetHasAlpha(a); }
  bool DrawSurface(const ISurface*, const TRect&, int, int, const TRect&) override { return false; }
  bool DrawColor(uint32_t, const ISurface*, int, int, const TRect&, const TRect&) override {
    return false;
  }
  bool DrawMasked(const ISurface*, const TRect&, const TRect&, const TRect&,
                  const ISurface*) override {
    return false;
  }
  bool DrawTransformed(const ISurface*, TPoint, double, double, double, double, bool,
                       double) override {
    return false;
  }
  bool DrawScaled(const ISurface*, bool, double, double, double, double) override { return false; }
  bool DrawAt(const ISurface*, double, double) override { return false; }
  void SetClipRect(bool, const TRect&) override {}
  void AddDirtyRect(const TRect&) override {}
  void ClearDirtyRects() override {}
  uint32_t* PixelAddress(int x, int y) override { return s_->PixelAddress(x, y); }
  uint32_t PixelAt(int x, int y) const override { return s_->PixelAt(x, y); }
  void ClearAll() override {}
  bool CountPixels(IParamCollection*, uint8_t) override { return false; }
  bool GetClipEnabled() const override { return false; }
  TRect GetClipRect() const override { return {}; }
  bool GetDirtyMode() const override { return false; }
  const TRegion& GetDirtyRects() const override { return s_->GetDirtyRects(); }

 private:
  Ref<TSurface> s_;
};

// ---------------------------------------------------------------------------------------------
// Pixels and size

TEST(SurfaceTest, SizeAndPixelAccess) {
  Ref<TSurface> s = MakeSurface(3, 2, false);
  EXPECT_EQ(s->GetWidth(), 3);
  EXPECT_EQ(s->GetPixel(2, 1), 0u);  // new pixels are transparent black
  EXPECT_EQ(s->GetRow(2), nullptr);
  EXPECT_EQ(s->GetRow(-1), nullptr);
  EXPECT_EQ(s->GetRow(1), s->PixelAddress(0, 1));

  s->SetPixel(1, 1, 0x00123456);
  EXPECT_EQ(s->GetPixel(1, 1), 0xFF123456u);  // no alpha channel: received pixels are opaque
  s->SetHasAlpha(true);
  s->SetPixel(1, 1, 0x00123456);
  EXPECT_EQ(s->GetPixel(1, 1), 0x00123456u);
  s->SetPixel(3, 0, 1);   // outside: ignored
  s->SetPixel(-1, 0, 1);  // outside: ignored
  EXPECT_EQ(s->GetPixel(3, 0), 0u);
  EXPECT_EQ(s->GetPixel(-1, 5), 0u);

  s->SetClipRect(true, {0, 0, 1, 1});
  s->SetPixel(2, 0, 7);
  EXPECT_EQ(s->GetPixel(2, 0), 0u);
  s->SetPixel(0, 0, 7);
  EXPECT_EQ(s->GetPixel(0, 0), 7u);

  s->SetSize(3, 2);  // resizing clears
  EXPECT_EQ(s->GetPixel(0, 0), 0u);
  s->SetSize(0, 0);
  EXPECT_EQ(s->GetRow(0), nullptr);
  EXPECT_FALSE(s->DrawSurface(Numbered(2, 2).get(), {0, 0, 2, 2}, 0, 255, {0, 0, 2, 2}));
}

TEST(SurfaceTest, AbsurdSizesLeaveTheSurfaceEmpty) {
  Ref<TSurface> s = MakeSurface(4, 4, false);
  const std::pair<int, int> sizes[] = {{-1, 10},
                                       {10, -5},
                                       {TSurface::kMaxSide + 1, 1},
                                       {TSurface::kMaxSide, TSurface::kMaxSide},
                                       {INT_MAX, INT_MAX}};
  for (auto [w, h] : sizes) {
    s->SetSize(w, h);
    EXPECT_EQ(s->GetWidth(), 0) << w << "x" << h;
    EXPECT_EQ(s->GetHeight(), 0);
    EXPECT_EQ(s->GetRow(0), nullptr);
  }
}

TEST(SurfaceTest, CountPixels) {
  Ref<TSurface> s = MakeSurface(4, 2, true);
  *s->PixelAddress(0, 0) = 0xFF000000;
  *s->PixelAddress(1, 0) = 0x80000000;
  *s->PixelAddress(2, 0) = 0x10FFFFFF;
  TFakeParams params;
  params.AddRef();  // lives on the stack; the reference keeps Release from deleting it
  ASSERT_TRUE(s->CountPixels(&params, 0x10));
  EXPECT_EQ(params.values["PixelsCount"].ToInt(), 8);
  EXPECT_EQ(params.values["OpaqueCount"].ToInt(), 2);  // alpha 0x10 is not above the threshold
  EXPECT_EQ(params.values["TransparentCount"].ToInt(), 6);
  EXPECT_FALSE(s->CountPixels(nullptr, 0));
}

// ---------------------------------------------------------------------------------------------
// Dirty rectangles

TEST(RegionTest, MergesOverlapsButNotTouches) {
  struct Case {
    const char* name;
    std::vector<TRect> added;
    std::vector<TRect> expected;
  } cases[] = {
      {"overlap", {{0, 0, 10, 10}, {5, 5, 20, 20}}, {{0, 0, 20, 20}}},
      {"touching edges stay apart",
       {{0, 0, 10, 10}, {10, 0, 20, 10}},
       {{0, 0, 10, 10}, {10, 0, 20, 10}}},
      {"bridge merges both",
       {{0, 0, 5, 5}, {10, 0, 15, 5}, {30, 30, 31, 31}, {4, 0, 11, 1}},
       {{30, 30, 31, 31}, {0, 0, 15, 5}}},
      // The merged box of the first pass grows into a rectangle it did not meet before.
      {"second pass", {{0, 10, 4, 14}, {10, 0, 14, 4}, {3, 3, 11, 11}}, {{0, 0, 14, 14}}},
      {"empty rectangles mark nothing", {{5, 5, 5, 9}, {3, 3, 2, 8}}, {}},
  };
  for (const Case& c : cases) {
    TRegion r;
    for (const TRect& rect : c.added) r.Add(rect);
    std::vector<TRect> got(r.begin(), r.end());
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST(SurfaceTest, DirtyAndClipState) {
  Ref<TSurface> s = MakeSurface(8, 8, false);
  s->AddDirtyRect({1, 1, 3, 3});
  EXPECT_TRUE(s->GetClipEnabled());
  EXPECT_TRUE(s->GetDirtyMode());
  s->SetClipRect(true, {0, 0, 4, 4});  // ends dirty mode, keeps the rectangles
  EXPECT_FALSE(s->GetDirtyMode());
  EXPECT_EQ(s->GetDirtyRects().Count(), 1);
  s->AddDirtyRect({5, 5, 6, 6});
  EXPECT_TRUE(s->GetDirtyMode());
  s->ClearDirtyRects();
  EXPECT_FALSE(s->GetClipEnabled());
  EXPECT_FALSE(s->GetDirtyMode());
  EXPECT_TRUE(s->GetDirtyRects().IsEmpty());
}

TEST(SurfaceTest, DirtyModeDrawsOncePerDirtyRectangle) {
  const uint32_t bg = 0xFF000000;
  Ref<TSurface> s = Filled(20, 10, false, bg);
  Ref<TSurface> src = Numbered(20, 10);
  s->AddDirtyRect({0, 0, 4, 4});
  s->AddDirtyRect({10, 2, 14, 6});
  ASSERT_EQ(s->GetDirtyRects().Count(), 2);
  EXPECT_TRUE(s->DrawSurface(src.get(), {0, 0, 20, 10}, bmNormal, 255, {2, 1, 22, 11}));
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      bool inDirty = TRect{0, 0, 4, 4}.Contains({x, y}) || TRect{10, 2, 14, 6}.Contains({x, y});
      bool drawn = inDirty && x >= 2 && y >= 1;
      EXPECT_EQ(s->PixelAt(x, y), drawn ? src->PixelAt(x - 2, y - 1) : bg) << x << "," << y;
    }
  }
  // The clip of the last run is left behind.
  EXPECT_EQ(s->GetClipRect(), (TRect{10, 2, 14, 6}));
  // A draw meeting no dirty rectangle draws nothing.
  EXPECT_FALSE(s->DrawSurface(src.get(), {0, 0, 2, 2}, bmNormal, 255, {6, 6, 8, 8}));
  EXPECT_FALSE(s->DrawColor(0xFFFFFFFF, src.get(), bmNormal, 255, {0, 0, 2, 2}, {6, 6, 8, 8}));
}

// ---------------------------------------------------------------------------------------------
// Clipping

TEST(SurfaceTest, ClippingOfRectangleDraws) {
  struct Case {
    const char* name;
    TRect sourceRect, destRect;
    bool clip;
    TRect clipRect;
    TRect expectedArea;  // empty: nothing drawn
    TPoint sourceAtAreaCorner;
  } cases[] = {
      // clang-format off
      {"plain",                   {0, 0, 4, 4},   {2, 3, 6, 7},   false, {}, {2, 3, 6, 7}, {0, 0}},
      {"negative left shifts the source right",
                                  {0, 0, 4, 4},   {-2, 0, 2, 4},  false, {}, {0, 0, 2, 4}, {2, 0}},
      {"beyond the right edge",   {0, 0, 4, 4},   {8, 5, 12, 9},  false, {}, {8, 5, 10, 8}, {0, 0}},
      {"source partly outside",   {-1, -1, 3, 3}, {5, 4, 9, 8},   false, {}, {6, 5, 9, 8}, {0, 0}},
      {"smaller destination",     {1, 1, 9, 9},   {0, 0, 3, 2},   false, {}, {0, 0, 3, 2}, {1, 1}},
      {"smaller source",          {4, 4, 6, 5},   {0, 0, 9, 9},   false, {}, {0, 0, 2, 1}, {4, 4}},
      {"clip moves the source",   {0, 0, 4, 4},   {2, 2, 6, 6},
                                  true, {3, 3, 5, 5},             {3, 3, 5, 5}, {1, 1}},
      {"clip outside the surface", {0, 0, 4, 4},  {-3, -3, 1, 1},
                                  true, {-10, -10, 20, 20},       {0, 0, 1, 1}, {3, 3}},
      {"destination past the far edge", {0, 0, 4, 4}, {10, 0, 14, 4}, false, {}, {}, {}},
      {"destination ending at 0", {0, 0, 4, 4},   {-4, 0, 0, 4},  false, {}, {}, {}},
      {"source starting at its far edge", {10, 0, 12, 2}, {0, 0, 2, 2}, false, {}, {}, {}},
      {"clip misses the destination", {0, 0, 4, 4}, {0, 0, 4, 4}, true, {5, 5, 8, 8}, {}, {}},
      {"absurd rectangles", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MIN, 0, INT_MAX, INT_MAX},
                                  false, {}, {}, {}},
      // clang-format on
  };

  const uint32_t bg = 0xFF000000 | 0xABCDEF;
  for (const Case& c : cases) {
    Ref<TSurface> dst = Filled(10, 8, false, bg);
    Ref<TSurface> src = Numbered(10, 10);
    if (c.clip) dst->SetClipRect(true, c.clipRect);
    bool drawn = dst->DrawSurface(src.get(), c.sourceRect, bmNormal, 255, c.destRect);
    EXPECT_EQ(drawn, !c.expectedArea.IsEmpty()) << c.name;
    EXPECT_EQ(ChangedArea(*dst, bg), c.expectedArea) << c.name;
    if (!c.expectedArea.IsEmpty()) {
      EXPECT_EQ(dst->GetPixel(c.expectedArea.left, c.expectedArea.top),
                src->GetPixel(c.sourceAtAreaCorner.x, c.sourceAtAreaCorner.y))
          << c.name;
      EXPECT_EQ(dst->GetPixel(c.expectedArea.right - 1, c.expectedArea.bottom - 1),
                src->GetPixel(c.sourceAtAreaCorner.x + c.expectedArea.Width() - 1,
                              c.sourceAtAreaCorner.y + c.expectedArea.Height() - 1))
          << c.name;
    }
  }
}

TEST(SurfaceTest, OpacityZeroReportsVisibilityOnly) {
  Ref<TSurface> dst = Filled(4, 4, false, 0xFF000000);
  Ref<TSurface> src = Filled(2, 2, false, 0xFFFFFFFF);
  EXPECT_TRUE(dst->DrawSurface(src.get(), {0, 0, 2, 2}, bmNormal, 0, {1, 1, 3, 3}));
  EXPECT_FALSE(dst->DrawSurface(src.get(), {0, 0, 2, 2}, bmNormal, 0, {5, 1, 7, 3}));
  EXPECT_EQ(ChangedArea(*dst, 0xFF000000), TRect{});
  EXPECT_FALSE(dst->DrawSurface(nullptr, {0, 0, 2, 2}, bmNormal, 255, {0, 0, 2, 2}));
}

TEST(SurfaceTest, OtherSurfaceImplementationsDrawTheSame) {
  std::mt19937 rng(5);
  Ref<TSurface> src = MakeSurface(23, 17, true);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x) *src->PixelAddress(x, y) = rng();
  Ref<TForeignSurface> foreign = MakeRef<TForeignSurface>(src);
  auto both = [&](auto draw) {
    Ref<TSurface> a = Filled(40, 30, true, 0x80402010), b = Filled(40, 30, true, 0x80402010);
    EXPECT_TRUE(draw(*a, static_cast<ISurface*>(src.get())));
    EXPECT_TRUE(draw(*b, static_cast<ISurface*>(foreign.get())));
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) ASSERT_EQ(a->PixelAt(x, y), b->PixelAt(x, y)) << x << "," << y;
  };
  both([](TSurface& d, ISurface* s) {
    return d.DrawSurface(s, {2, 3, 20, 15}, bmScreen, 200, {5, 6, 40, 40});
  });
  both([](TSurface& d, ISurface* s) {
    return d.DrawColor(0xC0FF8000, s, bmNormal, 255, {0, 0, 23, 17}, {1, 1, 30, 30});
  });
  both([](TSurface& d, ISurface* s) {
    return d.DrawTransformed(s, {20, 15}, -8, -6, 1.3, 0.8, true, 33);
  });
  both([](TSurface& d, ISurface* s) { return d.DrawAt(s, 3.25, 4.75); });
}

TEST(SurfaceTest, DrawingOntoItselfReadsTheOldPixels) {
  Ref<TSurface> s = Numbered(6, 3);
  Ref<TSurface> before = Numbered(6, 3);
  ASSERT_TRUE(s->DrawSurface(s.get(), {0, 0, 5, 3}, bmNormal, 255, {1, 0, 6, 3}));
  ASSERT_TRUE(s->DrawMasked(s.get(), {0, 0, 6, 2}, {0, 1, 6, 3}, {0, 0, 6, 2}, s.get()));
  for (int x = 1; x < 6; ++x) {
    EXPECT_EQ(s->PixelAt(x, 0), before->PixelAt(x - 1, 0));
    EXPECT_EQ(s->PixelAt(x, 1), before->PixelAt(x - 1, 0));  // from the shifted row 0
    EXPECT_EQ(s->PixelAt(x, 2), before->PixelAt(x - 1, 1));  // row 1 as it was before the copy
  }
}

// ---------------------------------------------------------------------------------------------
// Blending formulas (hand-computed)

struct BlendCase {
  const char* name;
  int mode;
  bool srcAlpha, dstAlpha;
  int opacity;
  uint32_t src, dst, expected;
};

TEST(SurfaceTest, DrawSurfaceFormulas) {
  const BlendCase cases[] = {
      // Opaque source, full opacity: the row is copied, alpha bytes included.
      {"copy", 0, false, true, 255, 0x00112233, 0xFFABCDEF, 0x00112233},
      {"copy, no alpha", 0, false, false, 255, 0x00112233, 0xFFABCDEF, 0x00112233},
      // (o*s + (255-o)*d + 255) >> 8: red (128*255+255)>>8 = 128, green (127*255+255)>>8 = 127,
      // blue (128*128+127*64+255)>>8 = 96; the alpha becomes o only with an alpha channel.
      {"opaque source at 128", 0, false, true, 128, 0xFFFF0080, 0x4000FF40, 0x80807F60},
      {"opaque source at 128, no alpha", 0, false, false, 128, 0xFFFF0080, 0x4000FF40, 0x40807F60},
      {"onto a transparent pixel", 0, true, true, 255, 0x80FF0000, 0x00123456, 0x80FF0000},
      {"onto a zero alpha byte, no alpha", 0, true, false, 255, 0x80FF0000, 0x00123456, 0xFFFF0000},
      // f = 128: red 0 + (255*128 >> 8) = 127, blue 255 + (-255*128 >> 8) = 255 - 128 = 127;
      // alpha 128 + (127*256 >> 8) = 255.
      {"half alpha over opaque", 0, true, true, 255, 0x80FF0000, 0xFF0000FF, 0xFF7F007F},
      {"half alpha over opaque, no alpha", 0, true, false, 255, 0x80FF0000, 0xFF0000FF, 0xFF7F007F},
      // The formula leaves 254 for a full source over 0.
      {"opaque alpha pixel over black", 0, true, true, 255, 0xFFFFFFFF, 0xFF000000, 0xFFFEFEFE},
      {"zero alpha source pixel", 0, true, true, 255, 0x00FFFFFF, 0xFF123456, 0xFF123456},
      // h = 128*255 >> 8 = 127: red 127*255 >> 8 = 126, blue 255 + (127*-255 >> 8) = 128;
      // alpha 127 - ((128*(127-256) + 255) >> 8) = 127 + 64 = 191.
      {"alpha source at 128", 0, true, true, 128, 0xFFFF0000, 0x800000FF, 0xBF7E0080},
      {"alpha source at 128, no alpha", 0, true, false, 128, 0xFFFF0000, 0x800000FF, 0x807E0080},
      {"alpha source at 128 onto transparent", 0, true, true, 128, 0xFF00FF00, 0x00000000,
       0x7F007E00},
      {"opacity 1 rounds to nothing", 0, true, true, 1, 0xFFFFFFFF, 0x80102030, 0x80102030},
      // Modes 1-5 with f = 255*255 >> 8 = 254 on channels (d, s) = (64, 200), (192, 100), (0, 255).
      // screen: 255 - ((255 - 254*s/256) * (256 - d) >> 8) = 213, 216, 253
      {"screen", 1, true, true, 255, 0xFFC864FF, 0x8040C000, 0xFED5D8FD},
      // overlay: d < 128: d*1/256 + (254*d*s >> 15) = 99; d >= 128:
      // (255 - 63*155/128) * 254 >> 8 = 177; 0. Alpha as in the other modes:
      // 254 + (1*128 >> 8) = 254.
      {"overlay", 2, true, true, 255, 0xFFC864FF, 0x8040C000, 0xFE63B100},
      // linearlight: d + 254*(2s - 255)/256 toward zero: 64 + 143, 192 - 54, 0 + 253
      {"linearlight", 3, true, true, 255, 0xFFC864FF, 0x8040C000, 0xFECF8AFD},
      {"addition", 4, true, true, 255, 0xFFC864FF, 0x8040C000, 0xFEFFFFFD},
      {"maxopaque wins", 5, true, true, 255, 0xFFC864FF, 0x8040C000, 0xFEC864FF},
      {"maxopaque loses", 5, true, true, 255, 0xFFC864FF, 0xFF40C000, 0xFF40C000},
      {"screen, no alpha", 1, true, false, 255, 0xFFC864FF, 0x8040C000, 0x80D5D8FD},
      {"maxopaque, no alpha", 5, true, false, 255, 0xFFC864FF, 0x8040C000, 0x80C864FF},
      // An opaque source at opacity 128: f = 128*255 >> 8 = 127. addition: 64 + (127*200 >> 8),
      // 192 + 49, 0 + 126; alpha 127 + (128*128 >> 8) = 191.
      {"addition at 128", 4, false, true, 128, 0xFFC864FF, 0x8040C000, 0xBFA3F17E},
      // screen: 255 - ((255 - 99) * 192 >> 8) = 138, 255 - (206 * 64 >> 8) = 204, 255 - 129.
      {"screen at 128, no alpha", 1, false, false, 128, 0xFFC864FF, 0x8040C000, 0x808ACC7E},
      // overlay, g = 128: 32 + (127*64*200 >> 15) = 81; 96 + (179*127 >> 8) = 184; 0.
      {"overlay at 128", 2, false, true, 128, 0xFFC864FF, 0x8040C000, 0xBF51B800},
      {"modes skip zero alpha", 4, true, true, 255, 0x00FFFFFF, 0x80102030, 0x80102030},
      {"unknown mode is normal", 9, false, true, 255, 0x00112233, 0xFFABCDEF, 0x00112233},
  };
  for (const BlendCase& c : cases) {
    Ref<TSurface> src = Filled(kRow, 2, c.srcAlpha, c.src);
    Ref<TSurface> dst = Filled(kRow, 2, c.dstAlpha, c.dst);
    ASSERT_TRUE(dst->DrawSurface(src.get(), {0, 0, kRow, 2}, c.mode, c.opacity, {0, 0, kRow, 2}));
    for (int x = 0; x < kRow; ++x)
      ASSERT_EQ(dst->PixelAt(x, 1), c.expected)
          << c.name << " at " << x << " got " << std::hex << dst->PixelAt(x, 1);
  }
}

TEST(SurfaceTest, DrawColorFormulas) {
  // src is the mask pixel; srcAlpha whether the mask has an alpha channel.
  struct ColorCase {
    const char* name;
    int mode;
    bool maskAlpha, dstAlpha;
    int opacity;
    uint32_t color, mask, dst, expected;
  } cases[] = {
      {"solid fill", 0, false, true, 255, 0xFF112233, 0, 0x40ABCDEF, 0xFF112233},
      {"solid fill, no alpha", 0, false, false, 255, 0xFF112233, 0, 0x40ABCDEF, 0xFF112233},
      // a = 255*128/255 = 128: red (128*255 + 255) >> 8 = 128, blue (127*255 + 255) >> 8 = 127;
      // alpha max(dA, a).
      {"translucent colour", 0, false, true, 255, 0x80FF0000, 0, 0xFF0000FF, 0xFF80007F},
      {"translucent colour, low alpha", 0, false, true, 255, 0x80FF0000, 0, 0x400000FF, 0x8080007F},
      {"translucent colour, no alpha", 0, false, false, 255, 0x80FF0000, 0, 0x400000FF, 0x4080007F},
      // m = 128: red 255 + (-255*128 >> 8) = 127, blue 255*128 >> 8 = 127; alpha 255*128 >> 8.
      {"mask half", 0, true, true, 255, 0xFF0000FF, 0x80000000, 0x00FF0000, 0x7F7F007F},
      {"mask half, no alpha", 0, true, false, 255, 0xFF0000FF, 0x80000000, 0x00FF0000, 0xFF7F007F},
      {"mask full", 0, true, true, 255, 0xFF0000FF, 0xFF000000, 0x00FF0000, 0xFF0000FF},
      {"mask empty", 0, true, true, 255, 0xFF0000FF, 0x00FFFFFF, 0x00FF0000, 0x00FF0000},
      // a = 128, f = 128*255 >> 8 = 127: red 255 - 127, blue 255*127 >> 8 = 126;
      // alpha 128 + (127*127 >> 8) = 191, unchanged without an alpha channel.
      {"mask at opacity 128", 0, true, true, 128, 0xFF0000FF, 0xFF000000, 0x80FF0000, 0xBF80007E},
      {"mask at opacity 128, no alpha", 0, true, false, 128, 0xFF0000FF, 0xFF000000, 0x80FF0000,
       0x8080007E},
      // f = ((255*255 >> 8) * 255) >> 8 = 253: red 16 + (253*128 >> 8) = 142 ...
      {"addition", 4, true, true, 255, 0xFF808080, 0xFF000000, 0xFF102030, 0xFE8E9EAE},
      {"addition, mask without alpha", 4, false, true, 255, 0xFF808080, 0x00000000, 0xFF102030,
       0xFE8E9EAE},
      {"modes skip an empty mask pixel", 4, true, true, 255, 0xFF808080, 0x00FFFFFF, 0xFF102030,
       0xFF102030},
  };
  for (const auto& c : cases) {
    Ref<TSurface> mask = Filled(kRow, 2, c.maskAlpha, c.mask);
    Ref<TSurface> dst = Filled(kRow, 2, c.dstAlpha, c.dst);
    ASSERT_TRUE(
        dst->DrawColor(c.color, mask.get(), c.mode, c.opacity, {0, 0, kRow, 2}, {0, 0, kRow, 2}));
    for (int x = 0; x < kRow; ++x)
      ASSERT_EQ(dst->PixelAt(x, 1), c.expected)
          << c.name << " at " << x << " got " << std::hex << dst->PixelAt(x, 1);
  }
  Ref<TSurface> dst = Filled(4, 4, true, 0x12345678);
  EXPECT_FALSE(dst->DrawColor(0xFFFFFFFF, nullptr, bmNormal, 255, {0, 0, 4, 4}, {0, 0, 4, 4}));
  EXPECT_EQ(ChangedArea(*dst, 0x12345678), TRect{});
}

TEST(SurfaceTest, DrawMaskedCopiesWhereTheMaskIsSet) {
  Ref<TSurface> src = Numbered(6, 6);
  src->SetHasAlpha(true);
  *src->PixelAddress(1, 0) = 0x00000001;  // a transparent source pixel is copied as it is
  Ref<TSurface> mask = MakeSurface(3, 2, true);
  *mask->PixelAddress(0, 0) = 0x01000000;
  *mask->PixelAddress(1, 0) = 0xFF000000;
  *mask->PixelAddress(2, 1) = 0x80FFFFFF;
  for (bool dstAlpha : {true, false}) {
    Ref<TSurface> dst = Filled(8, 8, dstAlpha, 0x11111111);
    ASSERT_TRUE(dst->DrawMasked(src.get(), {0, 0, 6, 6}, {2, 2, 8, 8}, {0, 0, 3, 2}, mask.get()));
    // The mask limits the block to 3 x 2; pixels under mask alpha 0 stay.
    EXPECT_EQ(ChangedArea(*dst, 0x11111111), (TRect{2, 2, 5, 4}));
    EXPECT_EQ(dst->PixelAt(2, 2), src->PixelAt(0, 0));
    EXPECT_EQ(dst->PixelAt(3, 2), dstAlpha ? 0x00000001u : 0xFF000001u);
    EXPECT_EQ(dst->PixelAt(4, 2), 0x11111111u);
    EXPECT_EQ(dst->PixelAt(4, 3), src->PixelAt(2, 1));
    EXPECT_FALSE(dst->DrawMasked(src.get(), {0, 0, 6, 6}, {2, 2, 8, 8}, {0, 0, 3, 2}, nullptr));
  }
}

// ---------------------------------------------------------------------------------------------
// Resampling draws

TEST(SurfaceTest, DrawTransformedQuarterTurnKeepsThePictureMiddleOnCenter) {
  // A 4 x 2 picture turned by 90 degrees the way a rotating widget asks for it: center (5, 5),
  // offsets = half the picture - center, so the picture's middle (2, 1) lands on (5, 5). The
  // turn is counter-clockwise on the screen: source pixel (i, j) lands on (4 + j, 6 - i).
  Ref<TSurface> src = Numbered(4, 2);
  const uint32_t bg = 0x00ABCDEF;
  Ref<TSurface> dst = Filled(10, 10, true, bg);
  ASSERT_TRUE(dst->DrawTransformed(src.get(), {5, 5}, 2 - 5, 1 - 5, 1, 1, true, 90));
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dst->PixelAt(4 + j, 6 - i), src->PixelAt(i, j));
  // Around the picture, within two pixels, only the alpha byte is cleared.
  EXPECT_EQ(dst->PixelAt(3, 5), bg & 0x00FFFFFF);
  EXPECT_EQ(dst->PixelAt(6, 2), bg & 0x00FFFFFF);
  EXPECT_EQ(dst->PixelAt(9, 9), bg);

  Ref<TSurface> turned = Filled(10, 10, true, bg);
  ASSERT_TRUE(turned->DrawTransformed(src.get(), {5, 5}, -3, -4, 1, 1, true, 90 + 360 * 3));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(turned->PixelAt(x, y), dst->PixelAt(x, y));
}

TEST(SurfaceTest, DrawTransformedScalesAndFilters) {
  Ref<TSurface> src = Numbered(2, 2);
  Ref<TSurface> dst = Filled(6, 6, false, 0xFF000000);
  ASSERT_TRUE(dst->DrawTransformed(src.get(), {0, 0}, 0, 0, 2, 2, false, 0));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst->PixelAt(x, y), src->PixelAt(x / 2, y / 2));

  // A turned opaque picture of one colour stays exactly that colour inside; the edge is partly
  // transparent, nothing outside the box changes.
  const uint32_t bg = 0x11223344;
  Ref<TSurface> solid = Filled(20, 20, false, 0xFF3080C0);
  Ref<TSurface> out = Filled(40, 40, true, bg);
  ASSERT_TRUE(out->DrawTransformed(solid.get(), {20, 20}, -10, -10, 1, 1, true, 30));
  EXPECT_EQ(out->PixelAt(20, 20), 0xFF3080C0u);
  EXPECT_EQ(out->PixelAt(0, 0), bg);
  int partial = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      uint32_t a = out->PixelAt(x, y) >> 24;
      partial += a > 0 && a < 255;
    }
  EXPECT_GT(partial, 20);  // the filtered edge fades

  Ref<TSurface> untouched = Filled(4, 4, true, bg);
  for (double scale : {0.0, double(NAN), double(INFINITY)})
    EXPECT_FALSE(untouched->DrawTransformed(src.get(), {0, 0}, 0, 0, scale, 1, true, 0));
  EXPECT_FALSE(untouched->DrawTransformed(src.get(), {0, 0}, 0, 0, 1, 1, true, NAN));
  EXPECT_FALSE(untouched->DrawTransformed(nullptr, {0, 0}, 0, 0, 1, 1, true, 0));
  EXPECT_EQ(ChangedArea(*untouched, bg), TRect{});
}

TEST(SurfaceTest, DrawScaledMapsTheDestinationCornerToTheSourcePoint) {
  Ref<TSurface> src = Numbered(2, 1);
  const uint32_t bg = 0xFF000000;
  Ref<TSurface> dst = Filled(6, 3, false, bg);
  ASSERT_TRUE(dst->DrawScaled(src.get(), false, 0, 0, 2, 2));
  const uint32_t a = src->PixelAt(0, 0), b = src->PixelAt(1, 0);
  std::vector<uint32_t> row0{a, a, b, b, bg, bg};
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(dst->PixelAt(x, 0), row0[size_t(x)]);
    EXPECT_EQ(dst->PixelAt(x, 1), row0[size_t(x)]);
    EXPECT_EQ(dst->PixelAt(x, 2), bg);
  }
  // Source point 0.5 on the destination's left edge: everything moves one pixel left.
  Ref<TSurface> moved = Filled(6, 3, false, bg);
  ASSERT_TRUE(moved->DrawScaled(src.get(), false, 0.5, 0, 2, 2));
  std::vector<uint32_t> row1{a, b, b, bg, bg, bg};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(moved->PixelAt(x, 0), row1[size_t(x)]);
}

TEST(SurfaceTest, DrawAt) {
  Ref<TSurface> src = MakeSurface(2, 1, true);
  *src->PixelAddress(0, 0) = 0x00FFFFFF;
  *src->PixelAddress(1, 0) = 0xFFFFFFFF;
  // Whole numbers: the row copy, alpha bytes included.
  Ref<TSurface> dst = Filled(5, 2, false, 0xFF000000);
  ASSERT_TRUE(dst->DrawAt(src.get(), 2, 1));
  EXPECT_EQ(dst->PixelAt(2, 1), 0x00FFFFFFu);
  EXPECT_EQ(dst->PixelAt(3, 1), 0xFFFFFFFFu);
  EXPECT_EQ(ChangedArea(*dst, 0xFF000000), (TRect{2, 1, 4, 2}));

  // Half a pixel to the right: one more column, each edge half covered, colour kept.
  Ref<TSurface> one = Filled(1, 1, false, 0xFFFFFFFF);
  Ref<TSurface> half = Filled(4, 2, true, 0x12345678);
  ASSERT_TRUE(half->DrawAt(one.get(), 1.5, 0));
  EXPECT_EQ(half->PixelAt(0, 0), 0x12345678u);
  EXPECT_EQ(half->PixelAt(1, 0), 0x80FFFFFFu);
  EXPECT_EQ(half->PixelAt(2, 0), 0x80FFFFFFu);
  EXPECT_EQ(half->PixelAt(3, 0), 0x12345678u);
  EXPECT_EQ(half->PixelAt(1, 1), 0x12345678u);  // whole y: no extra row

  Ref<TSurface> clipped = Filled(4, 2, true, 0);
  clipped->SetClipRect(true, {0, 0, 2, 2});
  ASSERT_TRUE(clipped->DrawAt(one.get(), 1.5, 0));
  EXPECT_EQ(clipped->PixelAt(2, 0), 0u);
  EXPECT_FALSE(clipped->DrawAt(one.get(), 2.5, 0));
}

TEST(SurfaceCollectionTest, NamedSurfaces) {
  Ref<TSurfaceCollection> c = MakeRef<TSurfaceCollection>();
  Ref<TSurface> a = MakeSurface(1, 1), b = MakeSurface(2, 2);
  EXPECT_TRUE(c->Add(a, "Glyphs"));
  EXPECT_TRUE(c->Add(b, "back"));
  EXPECT_FALSE(c->Add(b, "GLYPHS"));
  EXPECT_EQ(c->Get(TVariant("glyphs")).get(), a.get());
  EXPECT_EQ(c->Get(TVariant(1)).get(), b.get());
  EXPECT_FALSE(c->Get(TVariant("none")));
}

// ---------------------------------------------------------------------------------------------
// Vector loops against the reference loops

uint32_t RandomPixel(std::mt19937& rng, int pattern) {
  uint32_t p = rng();
  if (pattern == 1) {
    // Mostly the alpha values with their own branches: 0 and 255.
    uint32_t pick = rng() % 4;
    uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : rng() & 0xFF;
    p = (p & 0x00FFFFFF) | a << 24;
  } else if (pattern == 2) {
    p = (p & 0x00FFFFFF) | (rng() % 3 == 0 ? 0u : 0xFF000000u);
  }
  return p;
}

TEST(BlendLoopsTest, VectorLoopsMatchTheReferenceBitForBit) {
  const blend::TRowLoops& ref = blend::ReferenceLoops();
  std::vector<const blend::TRowLoops*> tables;
  if (auto* t = blend::Sse2Loops()) tables.push_back(t);
  if (auto* t = blend::Avx2Loops()) tables.push_back(t);
  if (tables.empty()) GTEST_SKIP() << "no vector loops on this processor";

  // Every loop of a table, named.
  auto loopsOf = [](const blend::TRowLoops& t) {
    std::vector<std::pair<std::string, blend::TRowLoop>> v = {
        {"sourceOpacity", t.sourceOpacity},
        {"alphaSource", t.alphaSource},
        {"alphaSourceOpacity", t.alphaSourceOpacity},
        {"fillSolid", t.fillSolid},
        {"fillConstant", t.fillConstant},
        {"fillMasked", t.fillMasked}};
    for (int m = 0; m < 5; ++m) {
      v.push_back({"blendMode" + std::to_string(m + 1), t.blendMode[m]});
      v.push_back({"fillMode" + std::to_string(m + 1), t.fillMode[m]});
    }
    return v;
  };
  std::mt19937 rng(1234);
  std::vector<uint32_t> src(96), dst(96), expected(96), got(96);
  for (const blend::TRowLoops* table : tables) {
    const auto reference = loopsOf(ref);
    const auto fast = loopsOf(*table);
    for (size_t l = 0; l < fast.size(); ++l) {
      const std::string& name = fast[l].first;
      for (int round = 0; round < 1500; ++round) {
        const int count = int(rng() % 70);
        const int offset = int(rng() % 9);  // misaligned starts
        const int pattern = int(rng() % 3);
        blend::TRowArgs args;
        const int opacities[] = {0, 1, 127, 128, 254, 255, int(rng() % 256)};
        args.opacity = opacities[rng() % 7];
        args.dstHasAlpha = rng() & 1;
        args.srcHasAlpha = name.starts_with("fillMode") ? bool(rng() & 1) : true;
        args.color = RandomPixel(rng, pattern);
        if (rng() % 4 == 0) args.color |= 0xFF000000;
        args.level = args.opacity * int(args.color >> 24) / 255;
        if (name == "fillConstant" && args.level == 255) args.level = 254;
        for (auto& p : src) p = RandomPixel(rng, pattern);
        for (auto& p : dst) p = RandomPixel(rng, pattern);
        expected = dst;
        got = dst;
        reference[l].second(expected.data() + offset, src.data() + offset, count, args);
        fast[l].second(got.data() + offset, src.data() + offset, count, args);
        ASSERT_EQ(got, expected) << table->name << " " << name << " count " << count << " opacity "
                                 << args.opacity << " level " << args.level << " dstHasAlpha "
                                 << args.dstHasAlpha;
      }
    }
  }
}

}  // namespace
}  // namespace lumessa
