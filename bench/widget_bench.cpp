// A frame of a full screen of widgets (512: images, texts, groups three deep; the scene the
// widget tests run) in which 5 widgets move: advance, dirty pass and drawing only the
// invalidated area, beside the naive peer that redraws the whole screen every frame. A frame in
// which nothing changes must draw nothing and allocate nothing; the counters say so.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "widget_scene.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// Every allocation of the program is counted, so a frame's allocations can be read off. (The
// compiler takes the replaced pair for a mismatch once it inlines them; they do match.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace lumessa {
namespace {

using test::TWidgetScene;

// The scene after its first frame (everything drawn once), as a running game has it.
void Prepare(TWidgetScene& scene) {
  scene.Step(10);
  scene.DrawDirty();
}

// Advance, dirty pass, and drawing clipped to the invalidated rectangles.
void BM_FrameDirtyRects(benchmark::State& state) {
  TWidgetScene scene;
  Prepare(scene);
  const int moving = int(state.range(0));
  int64_t areas = 0;
  for (auto _ : state) {
    scene.MoveSome(moving);
    scene.Step(10);
    scene.DrawDirty();
    for (const TRect& r : scene.surface->GetDirtyRects()) areas += int64_t(r.Width()) * r.Height();
  }
  state.counters["widgets"] = scene.WidgetCount();
  state.counters["dirty_pixels"] =
      benchmark::Counter(double(areas), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FrameDirtyRects)->Arg(5)->Unit(benchmark::kMicrosecond);

// The peer: the same frame, then the whole screen drawn again.
void BM_FrameFullRedraw(benchmark::State& state) {
  TWidgetScene scene;
  Prepare(scene);
  const int moving = int(state.range(0));
  for (auto _ : state) {
    scene.MoveSome(moving);
    scene.Step(10);
    scene.DrawAll();
  }
  state.counters["widgets"] = scene.WidgetCount();
}
BENCHMARK(BM_FrameFullRedraw)->Arg(5)->Unit(benchmark::kMicrosecond);

// Nothing moves: the passes run, nothing is invalidated, nothing is drawn or allocated.
void BM_FrameIdle(benchmark::State& state) {
  TWidgetScene scene;
  Prepare(scene);
  // Counted outside the timing loop, where nothing but the frames runs.
  const long before = allocations.load();
  int64_t draws = 0;
  for (int i = 0; i < 1000; ++i) {
    scene.Step(10);
    draws += scene.DrawDirty() ? 1 : 0;
  }
  state.counters["allocs_in_1000_frames"] = double(allocations.load() - before);
  state.counters["draws_in_1000_frames"] = double(draws);
  for (auto _ : state) {
    scene.Step(10);
    benchmark::DoNotOptimize(scene.DrawDirty());
  }
}
BENCHMARK(BM_FrameIdle)->Unit(benchmark::kMicrosecond);

// The passes alone (advance and dirty pass over 512 widgets) with 5 widgets moving.
void BM_PassesOnly(benchmark::State& state) {
  TWidgetScene scene;
  Prepare(scene);
  for (auto _ : state) {
    scene.MoveSome(5);
    scene.Step(10);
    scene.screen->invalidated.clear();
  }
}
BENCHMARK(BM_PassesOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lumessa

BENCHMARK_MAIN();
