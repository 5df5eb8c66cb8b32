// The audio layer on mixed output: decoders, the mixer's channels, and the engine's sound and
// music operations driven like the headless frame loop drives them (10 ms frames through the
// null output), with the output recorded and checked against hand-computed levels.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio_fixtures.h"
#include "persistence/xml_storage.h"
#include "platform/headless/null_audio.h"
#include "resources/audio_mixer.h"
#include "resources/audio_player.h"
#include "resources/data_file.h"
#include "resources/resource_catalogue.h"
#include "resources/sample_decoder.h"
#include "resources/sound.h"
#include "resources/sound_resource.h"
#include "support/test_files.h"

// Counts the allocations made while `gCountAllocations` is set, through the sanitizer's
// allocator hooks: every malloc and new of the process, libopenmpt's included.
#if defined(__SANITIZE_ADDRESS__)
#define LUMESSA_COUNTS_ALLOCATIONS 1
// From the sanitizer runtime (its header ships with clang only).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*));
namespace {
std::atomic<bool> gCountAllocations{false};
std::atomic<int> gAllocations{0};
void OnMalloc(const volatile void*, size_t) {
  if (gCountAllocations) ++gAllocations;
}
void OnFree(const volatile void*) {}
}  // namespace
#endif

namespace lumessa {
namespace {

namespace fs = std::filesystem;
using test::Constant;
using test::MakeWav;
using test::MakeWav16;

// Frames in ms of audio (whole for multiples of 10 ms).
constexpr int FramesOf(int ms) {
  return ms * kAudioRate / 1000;
}

// One rendered stereo frame.
struct TFrame {
  float l, r;
};

// Renders frames straight from the mixer, as a device would pull them.
std::vector<float> Render(TAudioMixer& mixer, int frames) {
  std::vector<float> out(size_t(frames) * 2);
  mixer.Render(out.data(), frames);
  return out;
}
TFrame At(const std::vector<float>& out, int frame) {
  return {out[size_t(frame) * 2], out[size_t(frame) * 2 + 1]};
}
float Peak(const std::vector<float>& out, size_t from = 0) {
  float peak = 0;
  for (size_t i = from * 2; i < out.size(); ++i) peak = std::max(peak, std::fabs(out[i]));
  return peak;
}

// A mono sample whose frame i holds i / 32768: the output shows the position played.
std::string RampWav(int frames) {
  std::vector<float> v(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) v[size_t(i)] = float(i) / 32768.0f;
  return MakeWav16(v, 1, kAudioRate);
}

// ---------------------------------------------------------------------------------------------
// Decoders

struct TWavCase {
  const char* what;
  std::string file;
  int channels;
  std::vector<int16_t> pcm;
};

TEST(SampleDecoderTest, ReadsEveryWavFormatIntoMixRateFrames) {
  const std::vector<float> stereo = {0.5f, -0.25f, 1.0f, -1.0f};
  const TWavCase cases[] = {
      {"16-bit mono", MakeWav16({0.5f, -0.25f, 0.0f}, 1, kAudioRate), 1, {16384, -8192, 0}},
      {"16-bit stereo", MakeWav16(stereo, 2, kAudioRate), 2, {16384, -8192, 32767, -32768}},
      {"8-bit stereo",
       MakeWav(1, 2, kAudioRate, 8, test::Pcm8Data(stereo)),
       2,
       {16384, -8192, 32512, -32768}},
      {"float stereo",
       MakeWav(3, 2, kAudioRate, 32, test::Float32Data(stereo)),
       2,
       {16384, -8192, 32767, -32768}},
      {"extensible float",
       MakeWav(3, 1, kAudioRate, 32, test::Float32Data({0.5f}), true),
       1,
       {16384}},
      {"extensible 16-bit",
       MakeWav(1, 1, kAudioRate, 16, test::Pcm16Data({-0.5f}), true),
       1,
       {-16384}},
      // Half the rate: every second frame lies halfway between two source frames; the last
      // holds the final value.
      {"22050 Hz", MakeWav16({0.0f, 0.5f}, 1, 22050), 1, {0, 8192, 16384, 16384}},
      {"11025 Hz stereo",
       MakeWav16({0.0f, -0.5f, 0.5f, 0.0f}, 2, 11025),
       2,
       {0, -16384, 4096, -12288, 8192, -8192, 12288, -4096, 16384, 0, 16384, 0, 16384, 0, 16384,
        0}},
      // 48000 Hz: 48 source frames make 44 output frames.
      {"48000 Hz", MakeWav16(Constant(48, 1, 0.25f), 1, 48000), 1, std::vector<int16_t>(44, 8192)},
  };
  for (const TWavCase& c : cases) {
    std::string error;
    std::optional<TDecodedSample> d = DecodeSample(c.file, &error);
    ASSERT_TRUE(d) << c.what << ": " << error;
    EXPECT_EQ(d->channels, c.channels) << c.what;
    EXPECT_EQ(d->pcm, c.pcm) << c.what;
  }
}

TEST(SampleDecoderTest, RefusesBrokenWavFiles) {
  const std::string good = MakeWav16({0.1f, 0.2f, 0.3f, 0.4f}, 1, kAudioRate);
  auto withByte = [&good](size_t at, char value) {
    std::string s = good;
    s[at] = value;
    return s;
  };
  // Offsets in the file: 12 "fmt ", 20 format tag, 22 channels, 24 rate, 32 block size,
  // 34 bits, 36 "data", 40 data size.
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"only the signature", "RIFF"},
      {"not WAVE", withByte(8, 'X')},
      {"truncated in the data", good.substr(0, good.size() - 3)},
      {"truncated in the header", good.substr(0, 30)},
      {"data size lies", withByte(41, '\x7F')},
      {"no data chunk", withByte(36, 'x')},
      {"no format chunk", withByte(12, 'x')},
      {"ADPCM", withByte(20, 2)},
      {"three channels", withByte(22, 3)},
      {"no channels", withByte(22, 0)},
      {"rate 0", MakeWav(1, 1, 0, 16, test::Pcm16Data({0.5f}))},
      {"rate 999", MakeWav(1, 1, 999, 16, test::Pcm16Data({0.5f}))},
      {"24-bit", MakeWav(1, 1, kAudioRate, 24, std::string(6, '\0'))},
      {"block size lies", withByte(32, 4)},
      {"no frames", MakeWav(1, 1, kAudioRate, 16, "")},
      // Ten minutes and one frame once resampled: refused before any frame is converted.
      {"too long", MakeWav(1, 1, 1000, 8, std::string(600001, '\x80'))},
  };
  for (const auto& [what, bytes] : cases) {
    std::string error;
    EXPECT_FALSE(DecodeSample(bytes, &error)) << what;
    EXPECT_FALSE(error.empty()) << what;
  }
  // Exactly ten minutes is still a sound.
  EXPECT_TRUE(DecodeSample(MakeWav(1, 1, 1000, 8, std::string(600000, '\x80'))));
}

TEST(SampleDecoderTest, DecodesOggVorbisAndRefusesDamagedStreams) {
  // A quarter second of 1 kHz at half level, mono at 22050 Hz: twice the frames after decoding.
  const std::vector<float> sine = test::Sine(5512, 1000, 22050, 0.5);
  const std::string ogg = test::EncodeOgg(sine, 1, 22050);
  std::string error;
  std::optional<TDecodedSample> d = DecodeSample(ogg, &error);
  ASSERT_TRUE(d) << error;
  EXPECT_EQ(d->channels, 1);
  EXPECT_EQ(d->Frames(), 5512 * 2);
  int peak = 0;
  double energy = 0;
  for (int16_t v : d->pcm) {
    peak = std::max(peak, std::abs(int(v)));
    energy += double(v) * v;
  }
  const double rms = std::sqrt(energy / double(d->pcm.size())) / 32768.0;
  EXPECT_NEAR(peak / 32768.0, 0.5, 0.05);
  EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.02);

  const std::string stereo = test::EncodeOgg(Constant(4410, 2, 0.0f), 2, kAudioRate);
  ASSERT_TRUE(DecodeSample(stereo));
  EXPECT_EQ(DecodeSample(stereo)->channels, 2);
  EXPECT_EQ(DecodeSample(stereo)->Frames(), 4410);

  // Three seconds make several audio pages: a file cut after a whole page still decodes in
  // libvorbisfile, shorter, and only the missing final page tells it is truncated.
  const std::string longer =
      test::EncodeOgg(test::Sine(kAudioRate * 3, 1000, kAudioRate, 0.5), 1, kAudioRate);
  ASSERT_TRUE(DecodeSample(longer));
  std::string damaged = longer;
  damaged[damaged.size() * 3 / 4] ^= 0x55;  // inside an audio page: its checksum fails
  std::string badHeader = ogg;
  badHeader[40] ^= 0x55;  // the identification header
  const std::pair<const char*, std::string> cases[] = {
      {"truncated", longer.substr(0, longer.size() * 2 / 3)},
      {"cut at a page boundary", longer.substr(0, longer.rfind("OggS"))},
      {"damaged audio page", damaged},
      {"damaged header", badHeader},
      {"signature only", "OggS"},
  };
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(DecodeSample(bytes)) << what;
}

// ---------------------------------------------------------------------------------------------
// The mixer

class AudioMixerTest : public testing::Test {
 protected:
  TAudioHandle Constant05(int frames, int maxPlaybacks = 1, bool loop = false) {
    return mixer_.LoadSample(MakeWav16(Constant(frames, 1, 0.5f), 1, kAudioRate), maxPlaybacks,
                             loop);
  }
  TAudioHandle Playing(TAudioHandle sample) {
    TAudioHandle ch = mixer_.GetChannel(sample);
    mixer_.Play(ch, false);
    return ch;
  }
  TAudioMixer mixer_;
};

TEST_F(AudioMixerTest, VolumeAndPanScaleEachSide) {
  const TAudioHandle mono = Constant05(1000);
  const TAudioHandle stereo =
      mixer_.LoadSample(MakeWav16({0.5f, -0.25f, 0.5f, -0.25f}, 2, kAudioRate), 1, true);
  struct TCase {
    TAudioHandle sample;
    int volume, pan;
    float l, r;
  } cases[] = {
      {mono, 100, 0, 0.5f, 0.5f},       {mono, 50, 0, 0.25f, 0.25f},
      {mono, 100, -100, 0.5f, 0.0f},    {mono, 100, 100, 0.0f, 0.5f},
      {mono, 40, -25, 0.2f, 0.15f},     {mono, 80, 50, 0.2f, 0.4f},
      {mono, 0, 0, 0.0f, 0.0f},         {mono, 250, 0, 0.5f, 0.5f},  // clamped to 100
      {mono, 100, -300, 0.5f, 0.0f},                                 // clamped to -100
      {stereo, 100, 50, 0.25f, -0.25f}, {stereo, 60, -50, 0.3f, -0.075f},
  };
  for (const TCase& c : cases) {
    TAudioHandle ch = mixer_.GetChannel(c.sample);
    ASSERT_TRUE(mixer_.SetAttributes(ch, c.volume, c.pan));
    mixer_.Play(ch, true);
    TFrame f = At(Render(mixer_, 10), 5);
    EXPECT_NEAR(f.l, c.l, 1e-6) << c.volume << " " << c.pan;
    EXPECT_NEAR(f.r, c.r, 1e-6) << c.volume << " " << c.pan;
    // Unchanged values keep what is set.
    mixer_.SetAttributes(ch, kVolumeUnchanged, kPanUnchanged);
    EXPECT_NEAR(At(Render(mixer_, 10), 5).l, c.l, 1e-6);
    mixer_.Stop(ch);
  }
}

TEST_F(AudioMixerTest, SlideMovesLinearlyAndEndsOnTheTarget) {
  const TAudioHandle ch = Playing(Constant05(20000, 1, true));
  mixer_.SetAttributes(ch, 0, 0);
  ASSERT_TRUE(mixer_.SlideVolume(ch, 100, 100));  // 4410 frames
  std::vector<float> out = Render(mixer_, 5000);
  for (int k : {0, 1, 1000, 2205, 4000, 4409})
    EXPECT_NEAR(At(out, k).l, 0.5 * (k + 1) / 4410.0, 1e-5) << k;
  EXPECT_EQ(At(out, 4410).l, 0.5f);
  EXPECT_EQ(At(out, 4999).r, 0.5f);
  EXPECT_EQ(*mixer_.GetVolume(ch), 100.0);

  // Down to 20 over 50 ms, in two renders: the slide goes on across them.
  mixer_.SlideVolume(ch, 20, 50);
  out = Render(mixer_, 1000);
  EXPECT_NEAR(At(out, 999).l, 0.5 * (1.0 - 0.8 * 1000 / 2205.0), 1e-5);
  out = Render(mixer_, 2000);
  EXPECT_NEAR(At(out, 1204).l, 0.1, 1e-6);
  EXPECT_NEAR(At(out, 1999).l, 0.1, 1e-6);
  EXPECT_TRUE(mixer_.IsActive(ch));

  // Setting the volume ends a slide at once.
  mixer_.SlideVolume(ch, 100, 1000);
  mixer_.SetAttributes(ch, 60, kPanUnchanged);
  EXPECT_NEAR(At(Render(mixer_, 3000), 2999).l, 0.3, 1e-6);
}

TEST_F(AudioMixerTest, SlideToSilenceStopsTheChannelAndKeepsItsPlace) {
  const TAudioHandle sample = mixer_.LoadSample(RampWav(20000), 1, false);
  const TAudioHandle ch = Playing(sample);
  Render(mixer_, 100);
  ASSERT_TRUE(mixer_.SlideVolume(ch, kSlideToStop, 50));  // 2205 frames
  std::vector<float> out = Render(mixer_, 3000);
  EXPECT_GT(At(out, 2203).l, 0.0f);
  EXPECT_EQ(At(out, 2205).l, 0.0f);
  EXPECT_EQ(Peak(out, 2205), 0.0f);
  EXPECT_FALSE(mixer_.IsActive(ch));
  EXPECT_EQ(mixer_.GetState(ch), TChannelState::kStopped);
  EXPECT_EQ(*mixer_.GetPosition(ch), 100 + 2205);

  // Resumed, it goes on from there at the volume the slide left (silence) until told.
  mixer_.SetAttributes(ch, 100, kPanUnchanged);
  mixer_.Play(ch, false);
  EXPECT_NEAR(At(Render(mixer_, 1), 0).l, (100 + 2205) / 32768.0f, 1e-6);

  // At once with 0 ms.
  mixer_.SlideVolume(ch, kSlideToStop, 0);
  EXPECT_FALSE(mixer_.IsActive(ch));
  EXPECT_EQ(Peak(Render(mixer_, 100)), 0.0f);
}

TEST_F(AudioMixerTest, PlayResumesOrRestartsAndSamplesEndOrLoop) {
  const TAudioHandle ramp = mixer_.LoadSample(RampWav(1000), 1, false);
  const TAudioHandle ch = Playing(ramp);
  Render(mixer_, 300);
  mixer_.Stop(ch);
  EXPECT_EQ(Peak(Render(mixer_, 50)), 0.0f);
  mixer_.Play(ch, false);
  EXPECT_NEAR(At(Render(mixer_, 1), 0).l, 300 / 32768.0f, 1e-7);
  mixer_.Pause(ch);
  EXPECT_EQ(mixer_.GetState(ch), TChannelState::kPaused);
  EXPECT_TRUE(mixer_.IsActive(ch));
  mixer_.Play(ch, true);
  EXPECT_EQ(At(Render(mixer_, 1), 0).l, 0.0f);

  // Without loop the sample ends: silent after its last frame, stopped, and starts over.
  std::vector<float> out = Render(mixer_, 1500);
  EXPECT_NEAR(At(out, 998).l, 999 / 32768.0f, 1e-7);
  EXPECT_EQ(Peak(out, 999), 0.0f);
  EXPECT_FALSE(mixer_.IsActive(ch));
  mixer_.Play(ch, false);
  EXPECT_NEAR(At(Render(mixer_, 6), 5).l, 5 / 32768.0f, 1e-7);

  // With loop it wraps round to its first frame.
  const TAudioHandle loop = Playing(mixer_.LoadSample(RampWav(1000), 1, true));
  mixer_.Stop(ch);
  out = Render(mixer_, 3500);
  EXPECT_EQ(At(out, 1000).l, 0.0f);
  EXPECT_NEAR(At(out, 2500).l, 500 / 32768.0f, 1e-7);
  EXPECT_TRUE(mixer_.IsActive(loop));
}

TEST_F(AudioMixerTest, MaxPlaybacksReusesStoppedChannelsThenTakesOverTheOldest) {
  const TAudioHandle sample =
      mixer_.LoadSample(MakeWav16(Constant(44100, 1, 0.25f), 1, kAudioRate), 2, false);
  const TAudioHandle a = Playing(sample);
  Render(mixer_, 10);
  const TAudioHandle b = Playing(sample);
  Render(mixer_, 10);
  // A third play takes over the channel that has played longest; its old handle is dead.
  const TAudioHandle c = Playing(sample);
  EXPECT_NE(c, a);
  EXPECT_NE(c, b);
  EXPECT_FALSE(mixer_.IsActive(a));
  EXPECT_FALSE(mixer_.SetAttributes(a, 10, 0));
  EXPECT_TRUE(mixer_.IsActive(b));
  EXPECT_TRUE(mixer_.IsActive(c));
  EXPECT_EQ(At(Render(mixer_, 10), 5).l, 0.5f);  // two channels of 0.25
  // The next one takes over b, now the oldest.
  const TAudioHandle d = Playing(sample);
  EXPECT_FALSE(mixer_.IsActive(b));
  EXPECT_TRUE(mixer_.IsActive(c));
  // A stopped channel is taken before a playing one.
  mixer_.Stop(d);
  const TAudioHandle e = Playing(sample);
  EXPECT_TRUE(mixer_.IsActive(c));
  EXPECT_TRUE(mixer_.IsActive(e));
  EXPECT_FALSE(mixer_.IsActive(d));

  // StopSample stops every channel of the sample.
  ASSERT_TRUE(mixer_.StopSample(sample));
  EXPECT_FALSE(mixer_.IsActive(c));
  EXPECT_FALSE(mixer_.IsActive(e));
  EXPECT_EQ(Peak(Render(mixer_, 100)), 0.0f);
}

TEST_F(AudioMixerTest, HandlesAreDistinctAndDieWithWhatTheyName) {
  const TAudioHandle sample = Constant05(100, 3);
  const TAudioHandle module = mixer_.LoadModule(test::MakeModule(4, 4));
  ASSERT_NE(sample, 0u);
  ASSERT_NE(module, 0u);
  const TAudioHandle ch = mixer_.GetChannel(sample);
  EXPECT_NE(ch, sample);
  EXPECT_NE(ch, module);
  EXPECT_EQ(mixer_.GetChannel(ch), ch);  // a channel is its own channel
  EXPECT_EQ(mixer_.GetChannel(module), 0u);
  EXPECT_EQ(mixer_.GetChannel(0), 0u);
  EXPECT_FALSE(mixer_.Play(sample, true));  // a sample is not a channel
  EXPECT_TRUE(mixer_.Play(module, true));   // a module is

  EXPECT_TRUE(mixer_.FreeSample(sample));
  EXPECT_FALSE(mixer_.FreeSample(sample));
  EXPECT_FALSE(mixer_.Play(ch, true));
  EXPECT_EQ(mixer_.GetChannel(sample), 0u);
  EXPECT_TRUE(mixer_.FreeModule(module));
  EXPECT_FALSE(mixer_.IsActive(module));
  EXPECT_EQ(Peak(Render(mixer_, 100)), 0.0f);
}

TEST_F(AudioMixerTest, PausedOutputIsSilentAndHoldsEveryChannel) {
  const TAudioHandle ch = Playing(mixer_.LoadSample(RampWav(5000), 1, false));
  Render(mixer_, 100);
  mixer_.PauseOutput();
  EXPECT_EQ(Peak(Render(mixer_, 1000)), 0.0f);
  EXPECT_EQ(*mixer_.GetPosition(ch), 100);
  EXPECT_TRUE(mixer_.IsActive(ch));
  mixer_.ResumeOutput();
  EXPECT_NEAR(At(Render(mixer_, 1), 0).l, 100 / 32768.0f, 1e-7);
}

TEST_F(AudioMixerTest, ModulesLoopForEverAndSeveralPlayAtOnce) {
  // Four rows at speed 6: the song lasts under half a second, then starts again.
  const std::string tune = test::MakeModule(4, 4);
  const TAudioHandle a = mixer_.LoadModule(tune);
  const TAudioHandle b = mixer_.LoadModule(tune);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  mixer_.SetAttributes(a, 100, -100);
  mixer_.SetAttributes(b, 100, 100);
  mixer_.Play(a, true);
  std::vector<float> out = Render(mixer_, 44100 * 3);
  // Only a plays, on the left; after three seconds it still plays.
  float left = 0, right = 0;
  for (int i = 44100 * 2; i < 44100 * 3; ++i) {
    left = std::max(left, std::fabs(At(out, i).l));
    right = std::max(right, std::fabs(At(out, i).r));
  }
  EXPECT_GT(left, 0.05f);
  EXPECT_EQ(right, 0.0f);
  mixer_.Play(b, true);
  out = Render(mixer_, 44100);
  left = right = 0;
  for (int i = 0; i < 44100; ++i) {
    left = std::max(left, std::fabs(At(out, i).l));
    right = std::max(right, std::fabs(At(out, i).r));
  }
  EXPECT_GT(left, 0.05f);
  EXPECT_GT(right, 0.05f);
  EXPECT_TRUE(mixer_.IsActive(a));
  EXPECT_TRUE(mixer_.IsActive(b));

  // Stopped, a module keeps its place; restarted it plays from the start. Its slide to
  // silence stops it like a sample.
  mixer_.SlideVolume(a, kSlideToStop, 100);
  mixer_.Stop(b);
  out = Render(mixer_, 10000);
  EXPECT_FALSE(mixer_.IsActive(a));
  EXPECT_EQ(Peak(out, FramesOf(100)), 0.0f);
}

TEST_F(AudioMixerTest, MixingAllocatesNothingOnceItRuns) {
#if !defined(LUMESSA_COUNTS_ALLOCATIONS)
  GTEST_SKIP() << "allocations are counted through the sanitizer's hooks";
#else
  const TAudioHandle sample = Constant05(10000, 4, true);
  for (int i = 0; i < 4; ++i) {
    TAudioHandle ch = Playing(sample);
    mixer_.SlideVolume(ch, 10 * i, 50);
  }
  const TAudioHandle module = mixer_.LoadModule(test::MakeModule(8, 64));
  mixer_.Play(module, true);
  std::vector<float> out(2048);
  mixer_.Render(out.data(), 1024);  // the first block may set things up
  static bool hooked = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
  ASSERT_TRUE(hooked);
  gAllocations = 0;
  gCountAllocations = true;
  for (int block = 0; block < 100; ++block) mixer_.Render(out.data(), 1024);
  gCountAllocations = false;
  EXPECT_EQ(gAllocations, 0);
  EXPECT_GT(Peak(out), 0.0f);
  // The counter counts: loading allocates.
  gCountAllocations = true;
  mixer_.LoadSample(RampWav(10), 1, false);
  gCountAllocations = false;
  EXPECT_GT(gAllocations, 0);
#endif
}

TEST_F(AudioMixerTest, BrokenModulesAndSamplesGiveNoHandle) {
  const std::string tune = test::MakeModule(4, 4);
  std::string noSignature = tune;
  noSignature.replace(1080, 4, "ABCD");
  std::string error;
  EXPECT_EQ(mixer_.LoadModule("", &error), 0u);
  EXPECT_EQ(mixer_.LoadModule(std::string(3000, '\x5A'), &error), 0u);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(mixer_.LoadModule(tune.substr(0, 600)), 0u);  // cut inside the sample headers
  EXPECT_EQ(mixer_.LoadModule(noSignature.substr(0, 1100)), 0u);
  EXPECT_EQ(mixer_.LoadSample("", 1, false), 0u);
  EXPECT_EQ(mixer_.LoadSample(tune, 1, false), 0u);  // a module is not a sample
  EXPECT_EQ(mixer_.LoadSample("RIFF....WAVEfmt ", 1, false, &error), 0u);
  EXPECT_FALSE(error.empty());
}

// The SDL output on SDL's file-writing driver: the device thread pulls the mixer, and what it
// writes is exactly the mixer's frames. Silence only while paused (the driver goes on writing).
TEST(SdlAudioOutputTest, DeviceThreadPullsTheMixer) {
  const fs::path file = test::MakeTestFolder() / "device.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  TAudioMixer mixer;
  const TAudioHandle ch = mixer.GetChannel(
      mixer.LoadSample(MakeWav16(Constant(4410, 1, 0.5f), 1, kAudioRate), 1, true));
  mixer.SetAttributes(ch, 50, 100);
  mixer.Play(ch, true);
  std::unique_ptr<IAudioOutput> output = CreateAudioOutput(TPlatformKind::Sdl);
  const bool opened = output->Open(&mixer);
  unsetenv("SDL_AUDIODRIVER");
  unsetenv("SDL_DISKAUDIOFILE");
  if (!opened) GTEST_SKIP() << "SDL has no file-writing audio driver here";
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  output->Pause();
  const int64_t position = *mixer.GetPosition(ch);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(*mixer.GetPosition(ch), position);
  output->Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  output->Close();

  const std::string bytes = test::ReadFile(file);
  std::vector<float> frames(bytes.size() / sizeof(float));
  std::memcpy(frames.data(), bytes.data(), frames.size() * sizeof(float));
  size_t sounding = 0;
  for (size_t i = 0; i + 1 < frames.size(); i += 2) {
    EXPECT_EQ(frames[i], 0.0f) << i;  // panned hard right
    if (frames[i + 1] != 0.0f) {
      EXPECT_EQ(frames[i + 1], 0.25f) << i;
      ++sounding;
    }
  }
  EXPECT_GT(sounding, size_t(FramesOf(50)));
  EXPECT_NE(*mixer.GetPosition(ch), position);
  fs::remove_all(file.parent_path());
}

// ---------------------------------------------------------------------------------------------
// The engine's operations

// A resource that answers as a sound or a group of sounds: Select steps through the members in
// order, so that tests know which one plays.
class TTestSoundResource : public TNamedObject, public virtual ISoundResource {
 public:
  std::string GetGroup() const override { return {}; }
  void SetGroup(std::string_view) override {}
  void Load() override {}
  void Unload() override {}
  void SetOwner(IResourceOwner*) override {}
  void ReleaseResource() override {}
  TAudioHandle GetSample() override { return members.empty() ? 0 : members[current]; }
  int GetMasterVolume() override { return master; }
  void Select() override {
    ++selects;
    if (members.size() > 1) current = (current + 1) % members.size();
  }

  std::vector<TAudioHandle> members;
  size_t current = 0;
  int master = 100;
  int selects = 0;
};

class TTestMusicResource : public TNamedObject, public virtual IMusicResource {
 public:
  std::string GetGroup() const override { return {}; }
  void SetGroup(std::string_view) override {}
  void Load() override {}
  void Unload() override {}
  void SetOwner(IResourceOwner*) override {}
  void ReleaseResource() override {}
  TAudioHandle GetHandle() override { return handle; }
  int GetFormat() override { return format; }
  void Select() override {}

  TAudioHandle handle = 0;
  TAudioHandle sample = 0;
  int format = kMo3;
};

class AudioPlayerTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTestFolder();
    SetApplicationFolder(folder_.string());
    catalogue_ = NewObject<TResourceCollection>();
    player_ = std::make_unique<TAudioPlayer>(Ref<IResourceCollection>(catalogue_));
    auto output = std::make_unique<TNullAudioOutput>();
    output_ = output.get();
    ASSERT_TRUE(player_->InitSound(std::move(output)));
    player_->SetMusicVolumeValue(TVariant(80));
    player_->SetSoundVolumeValue(TVariant(100));
    output_->StartRecording(size_t(kAudioRate) * 30);
  }
  void TearDown() override {
    player_.reset();
    SetApplicationFolder("");
    fs::remove_all(folder_);
  }

  // The file as a data file of the application folder.
  std::string DataFile(const std::string& name, const std::string& bytes) {
    test::WriteFile(folder_ / "sounds" / name, bytes);
    return "%apppath%sounds\\" + name;
  }
  // A sound resource over one sample (or several, as a group).
  Ref<TTestSoundResource> AddSound(const std::string& name, std::vector<std::string> files,
                                   int master = 100, uint16_t maxPlaybacks = 1) {
    auto r = MakeRef<TTestSoundResource>();
    r->SetName(name);
    r->master = master;
    for (size_t i = 0; i < files.size(); ++i) {
      TAudioHandle s = player_->LoadSample(DataFile(name + std::to_string(i) + ".wav", files[i]),
                                           maxPlaybacks, false);
      EXPECT_NE(s, 0u);
      r->members.push_back(s);
    }
    catalogue_->Add(Ref<IResource>(r));
    return r;
  }
  // Music as its resource loads it: ogg as a looping sample with its channel, mo3 a module.
  Ref<TTestMusicResource> AddMusic(const std::string& name, const std::string& bytes, int format) {
    auto r = MakeRef<TTestMusicResource>();
    r->SetName(name);
    r->format = format;
    std::string file = DataFile(name + (format == IMusicResource::kOgg ? ".ogg" : ".mod"), bytes);
    r->handle = format == IMusicResource::kOgg ? player_->LoadMusicSample(file, r->sample)
                                               : player_->LoadMusicModule(file);
    EXPECT_NE(r->handle, 0u);
    catalogue_->Add(Ref<IResource>(r));
    return r;
  }
  static Ref<ISound> Sound(const std::string& resource, int volume = -1, int pan = -101,
                           bool muteMusic = false) {
    Ref<TSound> s = NewObject<TSound>();
    s->Load(LoadStorageFromText("<sound resourcename='" + resource + "'/>"));
    s->SetVolume(volume);
    s->SetPan(pan);
    s->SetMuteMusic(muteMusic);
    return s;
  }
  static Ref<IMusic> Music(const std::string& resource) {
    Ref<TMusic> m = NewObject<TMusic>();
    m->SetProperty("resourcename", TVariant(resource));
    return m;
  }
  // The frame loop: every 10 ms the output is pulled and ducking is updated.
  void RunFor(int ms) {
    for (int t = 0; t < ms; t += 10) {
      player_->AdvanceOutput(10);
      player_->UpdateDucking();
    }
  }
  double Volume(TAudioHandle channel) { return player_->Mixer().GetVolume(channel).value_or(-1); }
  bool Active(TAudioHandle channel) { return player_->Mixer().IsActive(channel); }
  // The frame recorded `ms` before the end of the recording.
  TFrame Recorded(int msBeforeEnd = 0) {
    const std::vector<float>& r = output_->Recording();
    size_t frame = r.size() / 2 - 1 - size_t(FramesOf(msBeforeEnd));
    return {r[frame * 2], r[frame * 2 + 1]};
  }
  // A looping music track of one level, ten seconds long.
  std::string LevelTrack(float level) {
    return MakeWav16(Constant(kAudioRate * 10, 1, level), 1, kAudioRate);
  }

  fs::path folder_;
  Ref<TResourceCollection> catalogue_;
  std::unique_ptr<TAudioPlayer> player_;
  TNullAudioOutput* output_ = nullptr;
};

TEST_F(AudioPlayerTest, PlaySoundAppliesTheVolumeRuleAndPan) {
  struct TCase {
    int volume, master, soundVolume, pan;
    float l, r;
  } cases[] = {
      {-1, 80, 100, -101, 0.4f, 0.4f},   // the master volume as it is
      {0, 80, 100, -101, 0.4f, 0.4f},    // 0 is below 1: still the master volume, not silence
      {50, 80, 100, -101, 0.2f, 0.2f},   // 50% of 80
      {50, 80, 50, -101, 0.1f, 0.1f},    // then 50% of that
      {1, 99, 100, -101, 0.0f, 0.0f},    // 1 * 99 / 100 is 0 in integer division
      {150, 80, 100, -101, 0.5f, 0.5f},  // 120 is more than a channel takes
      {2000000000, 100, 100, -101, 0.5f, 0.5f},  // no overflow
      {-1, 100, 100, -100, 0.5f, 0.0f},         {-1, 100, 70, -25, 0.35f, 0.2625f},
      {100, 100, 100, 50, 0.25f, 0.5f},
  };
  const std::string level = MakeWav16(Constant(44100, 1, 0.5f), 1, kAudioRate);
  for (const TCase& c : cases) {
    std::string name = "s" + std::to_string(&c - cases);
    AddSound(name, {level}, c.master);
    player_->SetSoundVolumeValue(TVariant(c.soundVolume));
    const TAudioHandle ch = player_->PlaySound(Sound(name, c.volume, c.pan));
    ASSERT_NE(ch, 0u);
    RunFor(20);
    TFrame f = Recorded();
    EXPECT_NEAR(f.l, c.l, 1e-6) << c.volume << "/" << c.master << "/" << c.soundVolume;
    EXPECT_NEAR(f.r, c.r, 1e-6) << c.volume << "/" << c.master << "/" << c.soundVolume;
    player_->StopAllSounds();
  }
  // Unknown names and resources of another kind play nothing.
  AddMusic("tune", LevelTrack(0.1f), IMusicResource::kOgg);
  EXPECT_EQ(player_->PlaySound(Sound("nothing")), 0u);
  EXPECT_EQ(player_->PlaySound(Sound("tune")), 0u);
  EXPECT_EQ(player_->PlaySound(nullptr), 0u);
}

TEST_F(AudioPlayerTest, VolumeSettingsAreClampedAndIgnoreText) {
  const std::pair<TVariant, int> soundCases[] = {
      {TVariant(150), 100}, {TVariant(-5), 0},    {TVariant("40"), 40},   {TVariant("abc"), 40},
      {TVariant(""), 40},   {TVariant(62.5), 62}, {TVariant("100"), 100}, {TVariant::Null, 100},
  };
  for (const auto& [value, expected] : soundCases) {
    player_->SetSoundVolumeValue(value);
    EXPECT_EQ(player_->SoundVolume(), expected) << value.ToString();
  }
  const std::pair<TVariant, int> musicCases[] = {
      {TVariant(30), 30},
      {TVariant("x"), 30},
      {TVariant(-2), 0},
      {TVariant("170"), 100},
  };
  for (const auto& [value, expected] : musicCases) {
    player_->SetMusicVolumeValue(value);
    EXPECT_EQ(player_->MusicVolume(), expected) << value.ToString();
  }

  // The music volume reaches the playing track at once.
  AddMusic("a", LevelTrack(0.5f), IMusicResource::kOgg);
  const TAudioHandle a = player_->PlayMusic(Music("a"));
  RunFor(500);
  player_->SetMusicVolumeValue(TVariant("60"));
  EXPECT_EQ(Volume(a), 60.0);
  RunFor(10);
  EXPECT_NEAR(Recorded().l, 0.3f, 1e-6);
}

TEST_F(AudioPlayerTest, MusicStackCrossFadesAndStoppingTheTopResumesThePrevious) {
  auto a = AddMusic("a", LevelTrack(0.25f), IMusicResource::kOgg);
  auto b = AddMusic("b", LevelTrack(0.5f), IMusicResource::kOgg);
  const TAudioHandle chA = player_->PlayMusic(Music("a"));
  EXPECT_EQ(chA, a->handle);
  RunFor(2000);
  EXPECT_EQ(Volume(chA), 80.0);
  EXPECT_NEAR(Recorded().l, 0.2f, 1e-6);

  // B over A: A slides to silence and stops, B rises to the music volume, both over 2 s.
  const size_t fadeStart = output_->Recording().size() / 2;
  const TAudioHandle chB = player_->PlayMusic(Music("b"));
  EXPECT_EQ(chB, b->handle);
  EXPECT_EQ(player_->MusicStack(), (std::vector<TAudioHandle>{chA, chB}));
  RunFor(1000);
  EXPECT_NEAR(Volume(chA), 40.0, 0.01);
  EXPECT_NEAR(Volume(chB), 40.0, 0.01);
  EXPECT_TRUE(Active(chA));
  RunFor(1000);
  EXPECT_FALSE(Active(chA));
  EXPECT_EQ(Volume(chB), 80.0);
  EXPECT_NEAR(Recorded().l, 0.4f, 1e-6);
  // The shape of the cross-fade: 0.2 falling and 0.4 rising, frame by frame.
  const std::vector<float>& rec = output_->Recording();
  for (int k : {0, 10000, 44100, 70000, 88199}) {
    double t = (k + 1) / 88200.0;
    EXPECT_NEAR(rec[(fadeStart + size_t(k)) * 2], 0.2 * (1 - t) + 0.4 * t, 1e-4) << k;
  }
  const int64_t positionA = *player_->Mixer().GetPosition(chA);
  EXPECT_EQ(positionA, FramesOf(4000));

  // Stopping a track that is not on top changes nothing.
  player_->StopMusic(Music("a"));
  EXPECT_EQ(player_->MusicStack().size(), 2u);
  EXPECT_TRUE(Active(chB));
  EXPECT_FALSE(Active(chA));

  // Stopping the top fades it out; A resumes where it was, rising from 0 over 2 s.
  player_->StopMusic(Music("b"));
  EXPECT_EQ(player_->MusicStack(), (std::vector<TAudioHandle>{chA}));
  RunFor(10);
  EXPECT_EQ(*player_->Mixer().GetPosition(chA), positionA + 441);
  RunFor(990);
  EXPECT_NEAR(Volume(chA), 40.0, 0.01);
  EXPECT_NEAR(Volume(chB), 40.0, 0.01);
  RunFor(1000);
  EXPECT_FALSE(Active(chB));
  EXPECT_EQ(Volume(chA), 80.0);
  EXPECT_NEAR(Recorded().l, 0.2f, 1e-6);

  // Stopping the last one leaves silence.
  player_->StopMusic(Music("a"));
  EXPECT_TRUE(player_->MusicStack().empty());
  RunFor(2010);
  EXPECT_FALSE(Active(chA));
  EXPECT_EQ(Recorded().l, 0.0f);
}

TEST_F(AudioPlayerTest, ModuleAndOggTracksShareTheStack) {
  std::vector<float> sine = test::Sine(kAudioRate, 440, kAudioRate, 0.5);
  auto tune = AddMusic("tune", test::MakeModule(4, 16), IMusicResource::kMo3);
  auto song = AddMusic("song", test::EncodeOgg(sine, 1, kAudioRate), IMusicResource::kOgg);
  EXPECT_NE(song->handle, song->sample);
  EXPECT_EQ(player_->ChannelOf(tune->handle), tune->handle);
  EXPECT_EQ(player_->ChannelOf(song->handle), song->handle);

  EXPECT_EQ(player_->PlayMusic(Music("tune")), tune->handle);
  RunFor(2500);
  EXPECT_EQ(Volume(tune->handle), 80.0);
  EXPECT_EQ(player_->PlayMusic(Music("song")), song->handle);
  RunFor(2010);
  EXPECT_FALSE(Active(tune->handle));
  EXPECT_TRUE(Active(song->handle));
  // The ogg track loops: after three seconds it still sounds.
  RunFor(1000);
  float peak = 0;
  const std::vector<float>& rec = output_->Recording();
  for (size_t i = rec.size() - size_t(FramesOf(500)) * 2; i < rec.size(); ++i)
    peak = std::max(peak, std::fabs(rec[i]));
  EXPECT_NEAR(peak, 0.4f, 0.05f);
  player_->StopMusic(Music("song"));
  RunFor(2010);
  EXPECT_TRUE(Active(tune->handle));
  EXPECT_FALSE(Active(song->handle));
  EXPECT_EQ(Volume(tune->handle), 80.0);

  // Freed data plays nothing; the stack does not take a dead entry.
  player_->FreeSample(song->sample);
  EXPECT_EQ(player_->PlayMusic(Music("song")), 0u);
  EXPECT_EQ(player_->MusicStack().size(), 1u);
  EXPECT_EQ(Volume(tune->handle), 80.0);
}

TEST_F(AudioPlayerTest, OverlappingMuteMusicSoundsKeepTheMusicDuckedUntilTheLastEnds) {
  AddMusic("music", LevelTrack(0.25f), IMusicResource::kOgg);
  const std::string shortSound = MakeWav16(Constant(FramesOf(300), 1, 0.125f), 1, kAudioRate);
  AddSound("first", {shortSound});
  AddSound("second", {shortSound});
  const TAudioHandle music = player_->PlayMusic(Music("music"));
  RunFor(2000);

  const TAudioHandle s1 = player_->PlaySound(Sound("first", -1, -101, true));
  RunFor(100);
  EXPECT_EQ(Volume(music), 0.0);
  RunFor(100);
  const TAudioHandle s2 = player_->PlaySound(Sound("second", -1, -101, true));
  EXPECT_EQ(player_->DuckingChannels(), (std::vector<TAudioHandle>{s1, s2}));
  RunFor(200);  // the first has ended, the second plays on
  EXPECT_FALSE(Active(s1));
  EXPECT_EQ(player_->DuckingChannels(), (std::vector<TAudioHandle>{s2}));
  EXPECT_EQ(Volume(music), 0.0);
  EXPECT_EQ(Recorded().l, 0.125f);  // only the sound is heard
  RunFor(100);                      // the second ends: the music comes back over 100 ms
  EXPECT_FALSE(Active(s2));
  EXPECT_TRUE(player_->DuckingChannels().empty());
  RunFor(100);
  EXPECT_EQ(Volume(music), 80.0);
  EXPECT_NEAR(Recorded().l, 0.2f, 1e-6);

  // A sound without "mutemusic" leaves the music alone.
  player_->PlaySound(Sound("first"));
  RunFor(50);
  EXPECT_EQ(Volume(music), 80.0);
}

TEST_F(AudioPlayerTest, StopSoundAndStopAllSoundsStopEveryChannelAndUnduck) {
  const std::string loop = MakeWav16(Constant(44100, 1, 0.125f), 1, kAudioRate);
  AddMusic("music", LevelTrack(0.25f), IMusicResource::kOgg);
  auto group = AddSound("group", {loop, loop}, 100, 4);
  AddSound("single", {loop}, 100, 4);
  const TAudioHandle music = player_->PlayMusic(Music("music"));
  RunFor(2000);

  // StopSound: every channel of the sample, without a new Select.
  const TAudioHandle s1 = player_->PlaySound(Sound("single", -1, -101, true));
  const TAudioHandle s2 = player_->PlaySound(Sound("single"));
  RunFor(200);
  EXPECT_EQ(Volume(music), 0.0);
  player_->StopSound(Sound("single"));
  EXPECT_FALSE(Active(s1));
  EXPECT_FALSE(Active(s2));
  EXPECT_TRUE(player_->DuckingChannels().empty());
  RunFor(100);
  EXPECT_EQ(Volume(music), 80.0);

  // StopAllSounds: both members a group has played, but not the music.
  const TAudioHandle g1 = player_->PlaySound(Sound("group"));
  const TAudioHandle g2 = player_->PlaySound(Sound("group"));
  EXPECT_EQ(group->selects, 2);
  RunFor(50);
  EXPECT_TRUE(Active(g1));
  EXPECT_TRUE(Active(g2));
  player_->StopAllSounds();
  EXPECT_FALSE(Active(g1));
  EXPECT_FALSE(Active(g2));
  EXPECT_TRUE(Active(music));
  RunFor(20);
  EXPECT_NEAR(Recorded().l, 0.2f, 1e-6);

  // One channel by its handle.
  const TAudioHandle s3 = player_->PlaySound(Sound("single", -1, -101, true));
  EXPECT_TRUE(player_->IsChannelPlaying(s3));
  player_->StopChannel(s3);
  EXPECT_FALSE(player_->IsChannelPlaying(s3));
  EXPECT_TRUE(player_->DuckingChannels().empty());
}

TEST_F(AudioPlayerTest, LosingFocusPausesAllOutput) {
  AddSound("long", {RampWav(30000)});
  const TAudioHandle ch = player_->PlaySound(Sound("long"));
  RunFor(100);
  const size_t recorded = output_->Recording().size();
  player_->SetFocused(false);
  RunFor(500);
  EXPECT_EQ(output_->Recording().size(), recorded);
  EXPECT_EQ(*player_->Mixer().GetPosition(ch), FramesOf(100));
  player_->SetFocused(true);
  RunFor(10);
  EXPECT_EQ(*player_->Mixer().GetPosition(ch), FramesOf(110));
  EXPECT_NEAR(Recorded().l, (FramesOf(110) - 1) / 32768.0f, 1e-7);
}

TEST_F(AudioPlayerTest, LoadingReadsDataFilesAndFailsQuietly) {
  EXPECT_EQ(player_->LoadSample("%apppath%sounds\\missing.wav", 1, false), 0u);
  EXPECT_EQ(player_->LoadSample(DataFile("junk.wav", std::string("RIFF\x10\0\0\0WAVEjunk", 16)), 1,
                                false),
            0u);
  EXPECT_EQ(player_->LoadMusicModule(DataFile("junk.mod", std::string(2000, '\x11'))), 0u);
  TAudioHandle sample = 123;
  EXPECT_EQ(player_->LoadMusicSample(DataFile("junk.ogg", "OggS"), sample), 0u);
  EXPECT_EQ(sample, 0u);
  // Loaded and freed.
  const TAudioHandle s = player_->LoadSample(DataFile("ok.wav", RampWav(10)), 1, true);
  ASSERT_NE(s, 0u);
  EXPECT_EQ(player_->Mixer().GetSampleFrames(s), 10);
  player_->FreeSample(s);
  EXPECT_EQ(player_->Mixer().GetSampleFrames(s), 0);
}

// The resource kinds of the catalogue, loading through an owner that hands the audio services
// to the player, as the engine does.
class TPlayerOwner : public TAbstractObject, public virtual IResourceOwner {
 public:
  explicit TPlayerOwner(TAudioPlayer& player) : player_(player) {}
  TStreamPtr OpenDataStream(std::string_view fileName) override { return OpenDataFile(fileName); }
  TPixelFormatRecord GetPixelFormat() const override { return {}; }
  uint32_t ConvertColor(uint32_t rgb) const override { return rgb; }
  TAudioHandle LoadMusicModule(std::string_view fileName) override {
    return player_.LoadMusicModule(fileName);
  }
  void FreeMusicModule(TAudioHandle handle) override { player_.FreeMusicModule(handle); }
  TAudioHandle LoadSample(std::string_view fileName, uint16_t maxPlaybacks, bool loop) override {
    return player_.LoadSample(fileName, maxPlaybacks, loop);
  }
  TAudioHandle LoadMusicSample(std::string_view fileName, TAudioHandle& sample) override {
    return player_.LoadMusicSample(fileName, sample);
  }
  void FreeSample(TAudioHandle handle) override { player_.FreeSample(handle); }
  Ref<IResource> FindResource(std::string_view) override { return {}; }

 private:
  TAudioPlayer& player_;
};

TEST_F(AudioPlayerTest, CatalogueResourcesLoadPlayAndFreeThroughTheOwner) {
  TPlayerOwner owner(*player_);
  auto add = [&](Ref<TResource> r, const std::string& xml) {
    r->Load(LoadStorageFromText(xml));
    r->SetOwner(&owner);
    catalogue_->Add(Ref<IResource>(r));
  };
  const std::string click = DataFile("click.wav", MakeWav16(Constant(4410, 1, 0.5f), 1, 22050));
  const std::string theme = DataFile(
      "theme.ogg", test::EncodeOgg(test::Sine(kAudioRate, 440, kAudioRate, 0.5), 1, kAudioRate));
  const std::string tune = DataFile("tune.mod", test::MakeModule(4, 8));
  add(NewObject<TSoundResource>(),
      "<resource name='click' file='" + click + "' master_volume='50' maxplaybacks='2'/>");
  add(NewObject<TMusicResource>(), "<resource name='theme' file='" + theme + "' format='ogg'/>");
  add(NewObject<TMusicResource>(), "<resource name='tune' file='" + tune + "'/>");

  const TAudioHandle ch = player_->PlaySound(Sound("click"));
  ASSERT_NE(ch, 0u);
  RunFor(20);
  EXPECT_NEAR(Recorded().l, 0.25f, 1e-6);  // half the master volume, at 44100 from 22050
  EXPECT_TRUE(Active(ch));

  const TAudioHandle themeChannel = player_->PlayMusic(Music("theme"));
  ASSERT_NE(themeChannel, 0u);
  RunFor(2000);
  const TAudioHandle tuneHandle = player_->PlayMusic(Music("tune"));
  ASSERT_NE(tuneHandle, 0u);
  RunFor(2010);
  EXPECT_FALSE(Active(themeChannel));
  player_->StopMusic(Music("tune"));
  RunFor(2010);
  EXPECT_TRUE(Active(themeChannel));
  EXPECT_FALSE(Active(tuneHandle));
  EXPECT_EQ(player_->MusicStack(), (std::vector<TAudioHandle>{themeChannel}));

  // Releasing the resources frees their data: the handles go dead.
  catalogue_->RemoveGroup("");
  EXPECT_FALSE(Active(themeChannel));
  EXPECT_FALSE(player_->Mixer().GetVolume(tuneHandle));
  EXPECT_EQ(player_->PlaySound(Sound("click")), 0u);
}

TEST(AudioPlayerWithoutOutputTest, EveryOperationDoesNothing) {
  // An output that cannot open: the game runs silently.
  class TNoDevice : public TNullAudioOutput {
   public:
    bool Open(IAudioSource*) override { return false; }
  };
  Ref<TResourceCollection> catalogue = NewObject<TResourceCollection>();
  auto sound = MakeRef<TTestSoundResource>();
  sound->SetName("click");
  sound->members = {7};
  catalogue->Add(Ref<IResource>(sound));
  auto music = MakeRef<TTestMusicResource>();
  music->SetName("tune");
  music->handle = 9;
  catalogue->Add(Ref<IResource>(music));

  TAudioPlayer player(catalogue);
  EXPECT_FALSE(player.InitSound(std::make_unique<TNoDevice>()));
  EXPECT_FALSE(player.InitSound(nullptr));
  EXPECT_FALSE(player.SoundReady());
  EXPECT_EQ(player.LoadSample("x.wav", 1, false), 0u);
  EXPECT_EQ(player.LoadMusicModule("x.mod"), 0u);
  Ref<TSound> s = NewObject<TSound>();
  s->Load(LoadStorageFromText("<sound resourcename='click'/>"));
  EXPECT_EQ(player.PlaySound(s), 0u);
  Ref<TMusic> m = NewObject<TMusic>();
  m->SetProperty("resourcename", TVariant("tune"));
  EXPECT_EQ(player.PlayMusic(m), 0u);
  EXPECT_TRUE(player.MusicStack().empty());
  player.SetSoundVolumeValue(TVariant(5));
  player.SetMusicVolumeValue(TVariant(5));
  EXPECT_EQ(player.SoundVolume(), 100);
  EXPECT_EQ(player.MusicVolume(), 100);
  player.SetFocused(false);
  player.StopAllSounds();
  player.AdvanceOutput(10);
  player.Shutdown();
}

// ---------------------------------------------------------------------------------------------
// The data objects

class SoundObjectsTest : public testing::Test {
 protected:
  void SetUp() override { RegisterSoundClasses(); }
  void TearDown() override {
    UnregisterObjectClass("Sound");
    UnregisterObjectClass("Music");
  }
  static std::string Saved(const Ref<IStorable>& object, const char* node) {
    Ref<IHierStorage> out = LoadStorageFromText(std::string("<") + node + "/>");
    object->Save(out);
    return out->GetXml();
  }
};

TEST_F(SoundObjectsTest, SoundAndMusicLoadSaveAndAnswerProperties) {
  Ref<TSound> s = NewObject<TSound>();
  s->Load(LoadStorageFromText(
      "<sound name='hit' resourcename='slap' volume='50' pan='-30' mutemusic='yes'/>"));
  EXPECT_EQ(s->GetResourceName(), "slap");
  EXPECT_EQ(s->GetVolume(), 50);
  EXPECT_EQ(s->GetPan(), -30);
  EXPECT_TRUE(s->GetMuteMusic());
  EXPECT_EQ(Saved(s, "sound"),
            "<sound name=\"hit\" type=\"Sound\" resourcename=\"slap\" volume=\"50\" pan=\"-30\" "
            "mutemusic=\"yes\"/>");

  // Defaults: written only when they differ; the resource name always.
  s->Load(LoadStorageFromText("<sound/>"));
  EXPECT_EQ(s->GetVolume(), -1);
  EXPECT_EQ(s->GetPan(), -101);
  EXPECT_FALSE(s->GetMuteMusic());
  EXPECT_EQ(Saved(s, "sound"), "<sound type=\"Sound\" resourcename=\"\"/>");

  // Properties: the resource name is read only; values that do not convert are ignored.
  s->SetProperty("volume", TVariant("75"));
  s->SetProperty("volume", TVariant("loud"));
  s->SetProperty("pan", TVariant(20));
  s->SetProperty("mutemusic", TVariant("yes"));
  s->SetProperty("mutemusic", TVariant("maybe"));
  s->SetProperty("resourcename", TVariant("other"));
  EXPECT_EQ(s->GetProperty("volume").ToInt(), 75);
  EXPECT_EQ(s->GetProperty("pan").ToInt(), 20);
  EXPECT_TRUE(s->GetProperty("mutemusic").ToBool());
  EXPECT_EQ(s->GetProperty("resourcename").ToString(), "");
  EXPECT_TRUE(s->GetProperty("Volume").IsNull());  // names compare exactly
  EXPECT_TRUE(s->GetProperty("unknown").IsNull());

  Ref<TMusic> m = NewObject<TMusic>();
  m->Load(LoadStorageFromText("<music resourcename='theme'/>"));
  EXPECT_EQ(m->GetResourceName(), "theme");
  m->SetProperty("resourcename", TVariant("finale"));
  EXPECT_EQ(m->GetProperty("resourcename").ToString(), "finale");
  EXPECT_EQ(Saved(m, "music"), "<music type=\"Music\" resourcename=\"finale\"/>");
}

TEST_F(SoundObjectsTest, CollectionsHoldTheirItemsByName) {
  Ref<TSoundCollection> sounds = NewObject<TSoundCollection>();
  EXPECT_EQ(sounds->GetNodeName(), "sounds");
  EXPECT_EQ(sounds->ItemNodeName(), "sound");
  sounds->Load(LoadStorageFromText(
      "<sounds><sound name='a' resourcename='r1'/><sound resourcename='r2' volume='10'/>"
      "<sound name='A' resourcename='dup'/><other/></sounds>"));
  ASSERT_EQ(sounds->Count(), 2);  // "A" is the name "a" again
  EXPECT_EQ(sounds->Get(TVariant("a"))->GetResourceName(), "r1");
  EXPECT_EQ(sounds->Get(TVariant(1))->GetVolume(), 10);
  EXPECT_FALSE(sounds->Get(TVariant("zz")));
  Ref<TSound> extra = NewObject<TSound>();
  extra->SetName("click");
  EXPECT_TRUE(sounds->Add(extra));
  EXPECT_FALSE(sounds->Add(extra));
  EXPECT_FALSE(sounds->Add(nullptr));

  Ref<TMusicCollection> musics = NewObject<TMusicCollection>();
  EXPECT_EQ(musics->GetNodeName(), "musics");
  EXPECT_EQ(musics->ItemNodeName(), "music");
  musics->Load(LoadStorageFromText(
      "<musics><music name='menu' resourcename='m1'/><music resourcename='m2'/></musics>"));
  ASSERT_EQ(musics->Count(), 2);
  EXPECT_EQ(musics->Get(TVariant("menu"))->GetResourceName(), "m1");
  Ref<IHierStorage> out = LoadStorageFromText("<musics/>");
  musics->Save(out);
  EXPECT_EQ(out->GetChildCount("music"), 2);
  // Created by type name, as data files name them.
  EXPECT_TRUE(Query<ISound>(CreateObjectByType("sound")));
  EXPECT_TRUE(Query<IMusic>(CreateObjectByType("Music")));
}

}  // namespace
}  // namespace lumessa
