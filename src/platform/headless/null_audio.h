// The null audio output: no device. Whoever drives it (the headless frame loop, a test) pulls
// the source with AdvanceTime or PullFrames, so the mixer runs exactly as it would on a sound
// card and its output can be recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio_output.h"

namespace lumessa {

class TNullAudioOutput : public IAudioOutput {
 public:
  bool Open(IAudioSource* source) override;
  void Pause() override { paused_ = true; }
  void Resume() override { paused_ = false; }
  void Close() override { source_ = nullptr; }
  void AdvanceTime(uint32_t ms) override;

  // Pulls that many frames now (nothing while paused or closed).
  void PullFrames(int frames);
  // Keeps every pulled frame from now on (interleaved stereo); recording stops at maxFrames so
  // a long run cannot grow it without bound.
  void StartRecording(size_t maxFrames);
  const std::vector<float>& Recording() const { return recording_; }
  // Frames pulled since Open.
  uint64_t FramesPulled() const { return framesPulled_; }
  bool Paused() const { return paused_; }

 private:
  IAudioSource* source_ = nullptr;
  std::vector<float> buffer_;
  std::vector<float> recording_;
  size_t recordLimit_ = 0;  // in frames; 0 while not recording
  uint64_t framesPulled_ = 0;
  uint64_t remainder_ = 0;  // ms * rate not yet turned into whole frames, in 1/1000 frames
  bool paused_ = false;
};

}  // namespace lumessa
