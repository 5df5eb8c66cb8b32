#include "platform/headless/null_audio.h"

#include <algorithm>

namespace lumessa {

namespace {

// Pulls are cut into blocks of this size, the size a sound card asks for, so the scratch
// buffer stays small whatever the caller asks.
constexpr int kBlockFrames = 1024;

}  // namespace

bool TNullAudioOutput::Open(IAudioSource* source) {
  if (!source) return false;
  source_ = source;
  buffer_.assign(size_t(kBlockFrames) * kAudioChannels, 0.0f);
  framesPulled_ = 0;
  remainder_ = 0;
  paused_ = false;
  return true;
}

void TNullAudioOutput::AdvanceTime(uint32_t ms) {
  // Exact frame counts: 10 ms is 441 frames, and 1 ms frames add up over a second to 44100.
  uint64_t total = remainder_ + uint64_t(ms) * kAudioRate;
  remainder_ = total % 1000;
  uint64_t frames = total / 1000;
  while (frames > 0) {
    int n = int(std::min<uint64_t>(frames, kBlockFrames));
    PullFrames(n);
    frames -= uint64_t(n);
  }
}

void TNullAudioOutput::PullFrames(int frames) {
  while (frames > 0 && source_ && !paused_) {
    int n = std::min(frames, kBlockFrames);
    source_->Render(buffer_.data(), n);
    framesPulled_ += uint64_t(n);
    size_t recorded = recording_.size() / kAudioChannels;
    if (recorded < recordLimit_) {
      size_t keep = std::min(size_t(n), recordLimit_ - recorded);
      recording_.insert(recording_.end(), buffer_.begin(),
                        buffer_.begin() + std::ptrdiff_t(keep * kAudioChannels));
    }
    frames -= n;
  }
}

void TNullAudioOutput::StartRecording(size_t maxFrames) {
  recording_.clear();
  recording_.reserve(std::min<size_t>(maxFrames, size_t(kAudioRate) * 60) * kAudioChannels);
  recordLimit_ = maxFrames;
}

}  // namespace lumessa
