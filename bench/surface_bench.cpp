// Surface drawing speed beside its peers on the same pixels: pixman (OVER, SRC, a solid colour
// through a mask, a bilinear turn), SDL2's blended blit, and memcpy of the same bytes as the
// physical limit. Two scenes: one 800x600 frame, and 64x64 sprites scattered over it.
// Pixels are random, alpha uniform over 0..255, so no side can skip work on opaque or empty runs.
// After the table a summary gives each of our rates as a ratio to pixman OVER (a8r8g8b8 onto
// a8r8g8b8) and, for copies and fills, to memcpy. With --benchmark_repetitions=N the summary
// takes each benchmark's best run, which is what survives a machine busy with other work.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "engine/surface.h"

namespace lumessa {
namespace {

constexpr int kW = 800, kH = 600, kSprite = 64, kSprites = 64;
constexpr double kTurn = 30;  // degrees, for the rotated draws

std::vector<uint32_t> RandomPixels(int count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> v(static_cast<size_t>(count));
  for (auto& p : v) p = rng();
  return v;
}

Ref<TSurface> SurfaceOf(int w, int h, bool alpha, uint32_t seed) {
  Ref<TSurface> s = MakeSurface(w, h, alpha);
  std::vector<uint32_t> px = RandomPixels(w * h, seed);
  for (int y = 0; y < h; ++y) std::memcpy(s->GetRow(y), px.data() + y * w, size_t(w) * 4);
  return s;
}

// A pixman image over its own copy of the pixels.
struct TPixmanImage {
  std::vector<uint32_t> bits;
  pixman_image_t* image = nullptr;
  TPixmanImage(pixman_format_code_t format, int w, int h, uint32_t seed)
      : bits(RandomPixels(w * h, seed)) {
    image = pixman_image_create_bits(format, w, h, bits.data(), w * 4);
  }
  ~TPixmanImage() { pixman_image_unref(image); }
};

struct TSdlSurface {
  std::vector<uint32_t> bits;
  SDL_Surface* surface = nullptr;
  TSdlSurface(uint32_t format, int w, int h, uint32_t seed) : bits(RandomPixels(w * h, seed)) {
    surface = SDL_CreateRGBSurfaceWithFormatFrom(bits.data(), w, h, 32, w * 4, format);
  }
  ~TSdlSurface() { SDL_FreeSurface(surface); }
};

// Where the sprites go: fixed, spread over the frame, partly overlapping.
const std::vector<TPoint>& SpritePositions() {
  static const std::vector<TPoint> positions = [] {
    std::mt19937 rng(7);
    std::vector<TPoint> p;
    for (int i = 0; i < kSprites; ++i)
      p.push_back({int(rng() % (kW - kSprite)), int(rng() % (kH - kSprite))});
    return p;
  }();
  return positions;
}

enum class Scene { kFrame, kSprites };

int64_t PixelsPerIteration(Scene scene) {
  return scene == Scene::kFrame ? int64_t(kW) * kH : int64_t(kSprites) * kSprite * kSprite;
}

void Finish(benchmark::State& state, Scene scene) {
  state.counters["Mpix/s"] =
      benchmark::Counter(double(state.iterations()) * double(PixelsPerIteration(scene)) / 1e6,
                         benchmark::Counter::kIsRate);
}

// Runs draw(x, y, size) once for the frame or once per sprite.
template <class Draw>
void RunScene(benchmark::State& state, Scene scene, Draw&& draw) {
  for (auto _ : state) {
    if (scene == Scene::kFrame) {
      draw(0, 0, kW, kH);
    } else {
      for (TPoint p : SpritePositions()) draw(p.x, p.y, kSprite, kSprite);
    }
    benchmark::ClobberMemory();
  }
  Finish(state, scene);
}

// ---------------------------------------------------------------------------------------------
// Ours

struct TOurs {
  Ref<TSurface> opaqueSource = SurfaceOf(kW, kH, false, 1);
  Ref<TSurface> alphaSource = SurfaceOf(kW, kH, true, 2);
  Ref<TSurface> mask = SurfaceOf(kW, kH, true, 3);
  Ref<TSurface> dstAlpha = SurfaceOf(kW, kH, true, 4);
  Ref<TSurface> dstOpaque = SurfaceOf(kW, kH, false, 5);
};
TOurs& Ours() {
  static TOurs ours;
  return ours;
}

void OurDrawSurface(benchmark::State& state, Scene scene, bool srcAlpha, bool dstAlpha, int mode,
                    int opacity) {
  TOurs& o = Ours();
  ISurface* src = srcAlpha ? o.alphaSource.get() : o.opaqueSource.get();
  ISurface* dst = dstAlpha ? o.dstAlpha.get() : o.dstOpaque.get();
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    dst->DrawSurface(src, RectOfSize(x, y, w, h), mode, opacity, RectOfSize(x, y, w, h));
  });
}

void OurDrawColor(benchmark::State& state, Scene scene, bool maskAlpha) {
  TOurs& o = Ours();
  o.mask->SetHasAlpha(maskAlpha);
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    o.dstAlpha->DrawColor(0xFF3366CC, o.mask.get(), bmNormal, 255, RectOfSize(x, y, w, h),
                          RectOfSize(x, y, w, h));
  });
  o.mask->SetHasAlpha(true);
}

void OurTurn(benchmark::State& state, Scene scene) {
  TOurs& o = Ours();
  Ref<TSurface> sprite = SurfaceOf(kSprite, kSprite, true, 6);
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    if (scene == Scene::kFrame) {
      o.dstAlpha->DrawTransformed(o.alphaSource.get(), {kW / 2, kH / 2}, 0, 0, 1, 1, true, kTurn);
    } else {
      // The sprite's middle on the middle of its place.
      TPoint c{x + w / 2, y + h / 2};
      o.dstAlpha->DrawTransformed(sprite.get(), c, kSprite / 2.0 - c.x, kSprite / 2.0 - c.y, 1, 1,
                                  true, kTurn);
    }
  });
}

// ---------------------------------------------------------------------------------------------
// Peers

void PixmanComposite(benchmark::State& state, Scene scene, pixman_op_t op,
                     pixman_format_code_t srcFormat, pixman_format_code_t dstFormat) {
  TPixmanImage src(srcFormat, kW, kH, 2), dst(dstFormat, kW, kH, 4);
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    pixman_image_composite32(op, src.image, nullptr, dst.image, x, y, 0, 0, x, y, w, h);
  });
}

void PixmanColorThroughMask(benchmark::State& state, Scene scene) {
  pixman_color_t color{0x3333, 0x6666, 0xCCCC, 0xFFFF};
  pixman_image_t* solid = pixman_image_create_solid_fill(&color);
  TPixmanImage mask(PIXMAN_a8r8g8b8, kW, kH, 3), dst(PIXMAN_a8r8g8b8, kW, kH, 4);
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    pixman_image_composite32(PIXMAN_OP_OVER, solid, mask.image, dst.image, 0, 0, x, y, x, y, w, h);
  });
  pixman_image_unref(solid);
}

void PixmanTurn(benchmark::State& state, Scene scene) {
  const int sw = scene == Scene::kFrame ? kW : kSprite, sh = scene == Scene::kFrame ? kH : kSprite;
  TPixmanImage src(PIXMAN_a8r8g8b8, sw, sh, 6), dst(PIXMAN_a8r8g8b8, kW, kH, 4);
  pixman_image_set_filter(src.image, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  // Destination to source: move the middle to the origin, turn, move back.
  const double a = kTurn * std::numbers::pi / 180;
  pixman_f_transform ft;
  pixman_f_transform_init_translate(&ft, -sw / 2.0, -sh / 2.0);
  pixman_f_transform_rotate(&ft, nullptr, std::cos(a), std::sin(a));
  pixman_f_transform_translate(&ft, nullptr, sw / 2.0, sh / 2.0);
  pixman_transform t;
  pixman_transform_from_pixman_f_transform(&t, &ft);
  pixman_image_set_transform(src.image, &t);
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    pixman_image_composite32(PIXMAN_OP_SRC, src.image, nullptr, dst.image, 0, 0, 0, 0, x, y, w, h);
  });
}

void SdlBlend(benchmark::State& state, Scene scene, uint32_t dstFormat) {
  TSdlSurface src(SDL_PIXELFORMAT_ARGB8888, kW, kH, 2), dst(dstFormat, kW, kH, 4);
  SDL_SetSurfaceBlendMode(src.surface, SDL_BLENDMODE_BLEND);
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    SDL_Rect r{x, y, w, h};
    SDL_Rect d = r;
    SDL_BlitSurface(src.surface, &r, dst.surface, &d);
  });
}

void Memcpy(benchmark::State& state, Scene scene) {
  std::vector<uint32_t> src = RandomPixels(kW * kH, 1), dst(size_t(kW) * kH);
  RunScene(state, scene, [&](int x, int y, int w, int h) {
    for (int r = 0; r < h; ++r)
      std::memcpy(dst.data() + (y + r) * kW + x, src.data() + (y + r) * kW + x, size_t(w) * 4);
  });
}

// ---------------------------------------------------------------------------------------------
// Registration and the ratio summary

struct TEntry {
  std::string name;
  std::function<void(benchmark::State&, Scene)> run;
  enum Kind { kOurs, kOursCopy, kPeer } kind;
  std::string peer = {};  // the closest peer doing the same work, for the summary
};

const std::vector<TEntry>& Entries() {
  static const std::vector<TEntry> entries = {
      {"ours/copy", [](auto& s, Scene c) { OurDrawSurface(s, c, false, true, bmNormal, 255); },
       TEntry::kOursCopy, "pixman/src_xrgb"},
      {"ours/blend255", [](auto& s, Scene c) { OurDrawSurface(s, c, true, true, bmNormal, 255); },
       TEntry::kOurs},
      {"ours/blend255_noalpha_dst",
       [](auto& s, Scene c) { OurDrawSurface(s, c, true, false, bmNormal, 255); }, TEntry::kOurs,
       "pixman/over_argb_xrgb"},
      {"ours/blend128", [](auto& s, Scene c) { OurDrawSurface(s, c, true, true, bmNormal, 128); },
       TEntry::kOurs},
      {"ours/opaque128", [](auto& s, Scene c) { OurDrawSurface(s, c, false, true, bmNormal, 128); },
       TEntry::kOurs},
      {"ours/screen", [](auto& s, Scene c) { OurDrawSurface(s, c, true, true, bmScreen, 255); },
       TEntry::kOurs},
      {"ours/overlay", [](auto& s, Scene c) { OurDrawSurface(s, c, true, true, bmOverlay, 255); },
       TEntry::kOurs},
      {"ours/linearlight",
       [](auto& s, Scene c) { OurDrawSurface(s, c, true, true, bmLinearLight, 255); },
       TEntry::kOurs},
      {"ours/addition", [](auto& s, Scene c) { OurDrawSurface(s, c, true, true, bmAddition, 255); },
       TEntry::kOurs},
      {"ours/maxopaque",
       [](auto& s, Scene c) { OurDrawSurface(s, c, true, true, bmMaxOpaque, 255); }, TEntry::kOurs},
      {"ours/color_through_mask", [](auto& s, Scene c) { OurDrawColor(s, c, true); }, TEntry::kOurs,
       "pixman/color_through_mask"},
      {"ours/fill", [](auto& s, Scene c) { OurDrawColor(s, c, false); }, TEntry::kOursCopy},
      {"ours/turn_filtered", [](auto& s, Scene c) { OurTurn(s, c); }, TEntry::kOurs,
       "pixman/turn_bilinear"},
      {"pixman/over_argb_argb",
       [](auto& s, Scene c) {
         PixmanComposite(s, c, PIXMAN_OP_OVER, PIXMAN_a8r8g8b8, PIXMAN_a8r8g8b8);
       },
       TEntry::kPeer},
      {"pixman/over_argb_xrgb",
       [](auto& s, Scene c) {
         PixmanComposite(s, c, PIXMAN_OP_OVER, PIXMAN_a8r8g8b8, PIXMAN_x8r8g8b8);
       },
       TEntry::kPeer},
      {"pixman/src_xrgb",
       [](auto& s, Scene c) {
         PixmanComposite(s, c, PIXMAN_OP_SRC, PIXMAN_x8r8g8b8, PIXMAN_x8r8g8b8);
       },
       TEntry::kPeer},
      {"pixman/color_through_mask", [](auto& s, Scene c) { PixmanColorThroughMask(s, c); },
       TEntry::kPeer},
      {"pixman/turn_bilinear", [](auto& s, Scene c) { PixmanTurn(s, c); }, TEntry::kPeer},
      {"sdl/blend_argb_argb", [](auto& s, Scene c) { SdlBlend(s, c, SDL_PIXELFORMAT_ARGB8888); },
       TEntry::kPeer},
      {"sdl/blend_argb_xrgb", [](auto& s, Scene c) { SdlBlend(s, c, SDL_PIXELFORMAT_RGB888); },
       TEntry::kPeer},
      {"memcpy", [](auto& s, Scene c) { Memcpy(s, c); }, TEntry::kPeer},
  };
  return entries;
}

const char* SceneName(Scene s) {
  return s == Scene::kFrame ? "frame800x600" : "sprites64";
}

// Keeps the console table and remembers each rate for the summary.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      auto it = r.counters.find("Mpix/s");
      if (r.run_type == Run::RT_Iteration && !r.error_occurred && it != r.counters.end()) {
        double& best = rates_[r.run_name.str()];
        best = std::max(best, it->second.value);
      }
    }
  }

  void PrintSummary() const {
    std::printf("\nRatios (ours / peer, higher is faster):\n");
    for (Scene scene : {Scene::kFrame, Scene::kSprites}) {
      std::string sn = SceneName(scene);
      double over = Rate("pixman/over_argb_argb/" + sn), copy = Rate("memcpy/" + sn);
      for (const TEntry& e : Entries()) {
        if (e.kind == TEntry::kPeer) continue;
        double ours = Rate(e.name + "/" + sn);
        if (ours <= 0) continue;
        std::printf("  %-32s %-13s %8.0f Mpix/s", e.name.c_str(), sn.c_str(), ours);
        if (over > 0) std::printf("   x%.2f pixman OVER", ours / over);
        if (e.kind == TEntry::kOursCopy && copy > 0) std::printf("   x%.2f memcpy", ours / copy);
        if (double peer = e.peer.empty() ? 0 : Rate(e.peer + "/" + sn); peer > 0)
          std::printf("   x%.2f %s", ours / peer, e.peer.c_str());
        std::printf("\n");
      }
    }
    double b255 = Rate("ours/blend255/frame800x600"), b128 = Rate("ours/blend128/frame800x600");
    if (b255 > 0 && b128 > 0)
      std::printf("  opacity 128 / opacity 255 (frame): x%.2f\n", b128 / b255);
  }

 private:
  double Rate(const std::string& name) const {
    auto it = rates_.find(name);
    return it == rates_.end() ? 0 : it->second;
  }
  std::map<std::string, double> rates_;
};

}  // namespace
}  // namespace lumessa

int main(int argc, char** argv) {
  using namespace lumessa;
  for (const TEntry& e : Entries()) {
    for (Scene scene : {Scene::kFrame, Scene::kSprites}) {
      benchmark::RegisterBenchmark((e.name + "/" + SceneName(scene)).c_str(),
                                   [&e, scene](benchmark::State& s) { e.run(s, scene); })
          ->Unit(benchmark::kMicrosecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
