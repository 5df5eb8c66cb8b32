// Presenting a frame: converting the 800x600 screen surface into the back buffer (and, with a
// display, uploading it to the window) beside a plain memcpy of the same bytes; and the cost of
// a frame in which nothing changed.
//
// Run under Xvfb for the window figures: xvfb-run -a build/bin/present_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/engine.h"
#include "engine/present.h"
#include "engine/surface.h"
#include "platform/platform.h"
#include "resources/cipher.h"

namespace lumessa {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

Ref<TSurface> Screen() {
  Ref<TSurface> s = MakeSurface(kWidth, kHeight, false);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) s->SetPixel(x, y, uint32_t(x * 7 + y * 13) * 2654435761u);
  return s;
}

void SetFrameCounters(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * int64_t(kWidth) * kHeight * 4);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint32_t> src(size_t(kWidth) * kHeight, 0x123456), dst(src.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size() * 4);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state);
}
BENCHMARK(BM_Memcpy);

void BM_ConvertStandard32(benchmark::State& state) {
  Ref<TSurface> screen = Screen();
  std::vector<uint32_t> back(size_t(kWidth) * kHeight);
  TBackBuffer b{reinterpret_cast<uint8_t*>(back.data()),
                kWidth * 4,
                kWidth,
                kHeight,
                32,
                0xFF0000,
                0xFF00,
                0xFF};
  for (auto _ : state) {
    PresentSurface(*screen, b);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state);
}
BENCHMARK(BM_ConvertStandard32);

void BM_Convert16(benchmark::State& state) {
  Ref<TSurface> screen = Screen();
  std::vector<uint16_t> back(size_t(kWidth) * kHeight);
  TBackBuffer b{reinterpret_cast<uint8_t*>(back.data()),
                kWidth * 2,
                kWidth,
                kHeight,
                16,
                0xF800,
                0x07E0,
                0x001F};
  for (auto _ : state) {
    PresentSurface(*screen, b);
    benchmark::ClobberMemory();
  }
  SetFrameCounters(state);
}
BENCHMARK(BM_Convert16);

// Conversion and upload into a real window (needs a display).
void BM_PresentToWindow(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  std::unique_ptr<IPlatform> p = CreatePlatform(TPlatformKind::Sdl);
  if (!p->CreateWindow("present_bench") || !p->SetDisplayMode(kWidth, kHeight, false)) {
    state.SkipWithError("the window did not open");
    return;
  }
  Ref<TSurface> screen = Screen();
  for (auto _ : state) {
    TBackBuffer b;
    if (!p->LockBackBuffer(b)) break;
    PresentSurface(*screen, b);
    p->UnlockBackBuffer();
    p->Flip();
  }
  SetFrameCounters(state);
}
BENCHMARK(BM_PresentToWindow)->UseRealTime();

// A game that never changes anything: every frame is idle.
class TIdleGame : public TAbstractObject, public virtual IGame {
 public:
  void AttachEngine(IEngine*) override {}
  void Detach() override {}
  void Update(int) override {}
  void Draw(ISurface*) override { ++draws; }
  bool MouseMessage(uint32_t, TPoint, uint32_t) override { return false; }
  bool KeyMessage(uint32_t, uint32_t, uint32_t) override { return false; }
  void SetActive(bool) override {}
  bool CanClose() override { return true; }
  void SetOption(std::string_view, std::string_view) override {}
  void PrepareFrame() override {}
  int draws = 0;
};

// The whole engine frame (headless: the clock is virtual, so no time is slept) when nothing
// was invalidated: no drawing and no conversion.
void BM_IdleEngineFrame(benchmark::State& state) {
  char folder[] = "/tmp/lumessa_bench_XXXXXX";
  if (!mkdtemp(folder)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  std::string app = folder;
  std::filesystem::create_directories(app + "/data/ini");
  std::ofstream(app + "/data/ini/Lumessa.ini")
      << EncodeText("<game type='IdleGame'/>", kDefinitionFileKey, kTextFormatHex);
  static bool registered = false;
  if (!registered) {
    RegisterObjectClass<TIdleGame>("IdleGame");
    registered = true;
  }
  TEngineOptions options;
  options.platform = TPlatformKind::Headless;
  options.applicationFolder = app;
  options.userDataFolder = app + "/user";
  options.mute = true;
  Ref<TEngine> engine = MakeRef<TEngine>();
  engine->Configure(options);
  if (!engine->Init(kGameDefinitionFile) || !engine->ApplyDisplaySettings()) {
    state.SkipWithError("the engine did not start");
    return;
  }
  engine->Step();  // the first frame draws the blank screen
  auto* game = dynamic_cast<TIdleGame*>(engine->GetGame().get());
  int drawsBefore = game->draws;
  for (auto _ : state) engine->Step();
  state.counters["draws"] = double(game->draws - drawsBefore);
  engine->Done();
  std::filesystem::remove_all(app);
}
BENCHMARK(BM_IdleEngineFrame);

}  // namespace
}  // namespace lumessa

BENCHMARK_MAIN();
