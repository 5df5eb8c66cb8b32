// The audio output contract: a device that pulls mixed frames from a source.
//
//   IAudioSource   what the device pulls: interleaved stereo float frames
//   IAudioOutput   open / pause / resume / close a device; AdvanceTime for outputs that have no
//                  thread of their own
//   backends       sdl/sdl_audio.cpp (the sound card, pulled on SDL's audio thread) and
//                  headless/null_audio.cpp (no device: the frame loop pulls, so the same mixing
//                  runs in headless runs and tests)
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace lumessa {

// The one output format: 44100 frames per second, two channels, float.
inline constexpr int kAudioRate = 44100;
inline constexpr int kAudioChannels = 2;

class IAudioSource {
 public:
  // Fills `frames` interleaved stereo frames (left, right), each in -1..1. Runs on the device's
  // thread (or on the caller's for the null output); must not block for long nor allocate.
  virtual void Render(float* out, int frames) = 0;

 protected:
  ~IAudioSource() = default;
};

class IAudioOutput {
 public:
  virtual ~IAudioOutput() = default;
  // Opens the device at kAudioRate and starts pulling `source`, which must outlive Close.
  // False when there is no device to open.
  virtual bool Open(IAudioSource* source) = 0;
  // Stops and restarts pulling; the source is not asked for frames while paused.
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  // Stops pulling for good; after it returns the source is never called again.
  virtual void Close() = 0;
  // Outputs without a thread of their own mix `ms` of audio now (fractions of a frame are
  // carried to the next call). Device outputs ignore it.
  virtual void AdvanceTime(uint32_t ms) = 0;
};

// The output of a backend: the sound card for Sdl, the null output for Headless.
std::unique_ptr<IAudioOutput> CreateAudioOutput(TPlatformKind kind);

}  // namespace lumessa
