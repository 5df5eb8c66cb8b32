// One second of game audio through the mixer, pulled in device-sized blocks: sixteen sample
// channels (mono and stereo, loops, different volumes and pans, some sliding) plus one
// eight-voice module track, against the peer: libopenmpt rendering that same module alone.
// The summary gives the mixer's own cost beside the peer and the share of one core it takes in
// real time.
#include <benchmark/benchmark.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "audio_fixtures.h"
#include "resources/audio_mixer.h"

namespace lumessa {
namespace {

constexpr int kBlock = 1024;  // what the SDL device asks for per callback
constexpr int kSecond = kAudioRate;

const std::string& Tune() {
  static const std::string tune = test::MakeModule(8, 64);
  return tune;
}

// The scene: 16 playing sample channels and, when withModule, the module track.
struct TScene {
  TAudioMixer mixer;
  std::vector<TAudioHandle> channels;
  TAudioHandle module = 0;

  explicit TScene(bool withModule) {
    const std::string mono =
        test::MakeWav16(test::Sine(kSecond, 440, kAudioRate, 0.3), 1, kAudioRate);
    std::vector<float> stereoValues = test::Sine(kSecond * 2, 330, kAudioRate * 2, 0.3);
    const std::string stereo = test::MakeWav16(stereoValues, 2, kAudioRate);
    const TAudioHandle a = mixer.LoadSample(mono, 8, true);
    const TAudioHandle b = mixer.LoadSample(stereo, 8, true);
    for (int i = 0; i < 16; ++i) {
      TAudioHandle ch = mixer.GetChannel(i % 2 ? b : a);
      mixer.SetAttributes(ch, 40 + i * 3, -80 + i * 10);
      mixer.Play(ch, true);
      channels.push_back(ch);
    }
    if (withModule) {
      module = mixer.LoadModule(Tune());
      mixer.SetAttributes(module, 80, 0);
      mixer.Play(module, true);
    }
  }

  // Keeps a quarter of the channels sliding, as fades do in play.
  void Slide() {
    for (size_t i = 0; i < channels.size(); i += 4)
      mixer.SlideVolume(channels[i], mixer.GetVolume(channels[i]) > 50.0 ? 20 : 90, 500);
  }
};

void MixOneSecond(benchmark::State& state, bool withModule) {
  TScene scene(withModule);
  std::vector<float> out(size_t(kBlock) * 2);
  for (auto _ : state) {
    scene.Slide();
    for (int done = 0; done < kSecond; done += kBlock) {
      scene.mixer.Render(out.data(), std::min(kBlock, kSecond - done));
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSecond);
}

void BM_Mixer16ChannelsAndModule(benchmark::State& state) {
  MixOneSecond(state, true);
}
void BM_Mixer16Channels(benchmark::State& state) {
  MixOneSecond(state, false);
}

// The peer: the module rendered by libopenmpt alone, in the same blocks.
void BM_OpenmptModuleAlone(benchmark::State& state) {
  const std::string& tune = Tune();
  openmpt_module* mod = openmpt_module_create_from_memory2(
      tune.data(), tune.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
      nullptr, nullptr, nullptr, nullptr);
  if (!mod) {
    state.SkipWithError("the module does not load");
    return;
  }
  openmpt_module_set_repeat_count(mod, -1);
  std::vector<float> out(size_t(kBlock) * 2);
  for (auto _ : state) {
    for (int done = 0; done < kSecond; done += kBlock) {
      openmpt_module_read_interleaved_float_stereo(
          mod, kAudioRate, size_t(std::min(kBlock, kSecond - done)), out.data());
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSecond);
  openmpt_module_destroy(mod);
}

// Keeps the console table and each benchmark's best processor time per second of audio (the
// machine may be shared: wall time would count the other programs).
class TShareReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if ((r.run_type != Run::RT_Iteration && !median) || r.error_occurred) continue;
      double seconds = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
      auto [it, added] = best_.emplace(r.run_name.function_name, seconds);
      if (!added) it->second = std::min(it->second, seconds);
    }
  }

  void PrintSummary() const {
    double all = Best("BM_Mixer16ChannelsAndModule");
    double samples = Best("BM_Mixer16Channels");
    double peer = Best("BM_OpenmptModuleAlone");
    if (all <= 0 || peer <= 0) return;
    std::printf("\nOne second of audio (16 sample channels + one 8-voice module):\n");
    std::printf("  whole mix            %7.3f ms  = %.2f%% of one core in real time\n", all * 1e3,
                all * 100);
    std::printf("  libopenmpt alone     %7.3f ms  (the peer)\n", peer * 1e3);
    std::printf("  the mixer's own part %7.3f ms  = x%.2f of the peer; whole / peer = x%.2f\n",
                (all - peer) * 1e3, (all - peer) / peer, all / peer);
    if (samples > 0) std::printf("  16 channels, no module %5.3f ms\n", samples * 1e3);
  }

 private:
  double Best(const std::string& name) const {
    auto it = best_.find(name);
    return it == best_.end() ? 0 : it->second;
  }
  std::map<std::string, double> best_;
};

}  // namespace
}  // namespace lumessa

int main(int argc, char** argv) {
  using namespace lumessa;
  benchmark::RegisterBenchmark("BM_Mixer16ChannelsAndModule", BM_Mixer16ChannelsAndModule)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_OpenmptModuleAlone", BM_OpenmptModuleAlone)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Mixer16Channels", BM_Mixer16Channels)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  TShareReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
