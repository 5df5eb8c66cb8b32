// The mixer of our own: samples decoded whole into memory, module music rendered by
// libopenmpt, all mixed into one stereo float output that a device pulls.
//
//   handles     nonzero 32-bit ids, unique over samples, sample channels and modules; a module
//               is its own channel
//   samples     LoadSample / FreeSample; up to maxPlaybacks channels each (GetChannel reuses a
//               stopped channel, else makes a new one, else takes over the longest playing)
//   channels    Play (from the start or resuming), Stop, Pause, state, volume 0..100 and pan
//               -100..100, timed volume slides (kSlideToStop: to silence, then stop)
//   output      PauseOutput / ResumeOutput, Render (IAudioSource)
//
// Threads: every public call takes the one mutex; Render takes it too, on the device's thread.
// Render allocates nothing: sounds and modules are loaded and freed on the caller's thread, and
// whatever a free releases is destroyed after the mutex is let go.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/audio_output.h"
#include "resources/resource.h"

namespace lumessa {

// What a channel is doing; anything but kStopped counts as active.
enum class TChannelState { kStopped = 0, kPlaying = 1, kPaused = 3 };

// Attribute values that leave the attribute as it is.
inline constexpr int kVolumeUnchanged = -1;
inline constexpr int kPanUnchanged = -101;
// A volume slide to this value fades to silence and then stops the channel.
inline constexpr int kSlideToStop = -2;

class TAudioMixer final : public IAudioSource {
 public:
  TAudioMixer();
  ~TAudioMixer();
  TAudioMixer(const TAudioMixer&) = delete;
  TAudioMixer& operator=(const TAudioMixer&) = delete;

  // A sample from the bytes of a WAV or Ogg Vorbis file; 0 when they do not decode (the reason
  // in `error`). maxPlaybacks below 1 counts as 1.
  TAudioHandle LoadSample(std::string_view bytes, int maxPlaybacks, bool loop,
                          std::string* error = nullptr);
  // Module music (whatever libopenmpt reads), looping for ever; 0 when it does not load.
  TAudioHandle LoadModule(std::string_view bytes, std::string* error = nullptr);
  // Free a sample with all its channels, or a module. False for an unknown handle.
  bool FreeSample(TAudioHandle sample);
  bool FreeModule(TAudioHandle module);
  // Drops every sample and module.
  void FreeAll();

  // A channel of the sample, stopped, at volume 100 and pan 0: a stopped channel of the sample
  // if it has one, else a new one while it has fewer than maxPlaybacks, else the one that has
  // been playing longest (its old handle goes dead). A sample channel answers itself (it is its
  // own channel); a module or an unknown handle answers 0.
  TAudioHandle GetChannel(TAudioHandle handle);
  // Stops every channel of the sample.
  bool StopSample(TAudioHandle sample);

  // Channels (sample channels and modules). restart: from the start; otherwise from where the
  // channel stopped or was paused. A sample channel that played to its end starts over.
  bool Play(TAudioHandle channel, bool restart);
  // Stops and keeps the position; a later Play without restart resumes there.
  bool Stop(TAudioHandle channel);
  bool Pause(TAudioHandle channel);
  TChannelState GetState(TAudioHandle channel) const;
  bool IsActive(TAudioHandle channel) const { return GetState(channel) != TChannelState::kStopped; }
  // Volume 0..100 (kVolumeUnchanged keeps it; setting it ends a running slide) and pan
  // -100..100 (kPanUnchanged keeps it); values outside are clamped.
  bool SetAttributes(TAudioHandle channel, int volume, int pan);
  // Slides the volume linearly from where it is to `volume` (0..100, or kSlideToStop) over ms
  // of played time; 0 ms applies it at once.
  bool SlideVolume(TAudioHandle channel, int volume, uint32_t ms);
  // The channel's volume now (0..100, fractional while sliding), its pan, and for sample
  // channels the position in frames; empty for an unknown handle.
  std::optional<double> GetVolume(TAudioHandle channel) const;
  std::optional<int> GetPan(TAudioHandle channel) const;
  std::optional<int64_t> GetPosition(TAudioHandle channel) const;
  // The sample's length in frames at the mixing rate; 0 for an unknown handle.
  int64_t GetSampleFrames(TAudioHandle sample) const;

  // Pauses the whole output: Render gives silence and nothing moves on.
  void PauseOutput();
  void ResumeOutput();
  bool OutputPaused() const;

  // IAudioSource: mixes every playing channel into `out`.
  void Render(float* out, int frames) override;

 private:
  struct TSample;
  struct TModule;
  struct TChannel;

  TAudioHandle NewHandle();
  TChannel* FindChannel(TAudioHandle id) const;
  void StartPlaying(TChannel& ch);
  void Unlist(TChannel& ch);
  void MixChannel(TChannel& ch, float* out, int frames);
  template <class Source>
  int MixFrames(TChannel& ch, float* out, int frames, Source&& source);

  mutable std::mutex mutex_;
  std::unordered_map<TAudioHandle, std::unique_ptr<TSample>> samples_;
  std::unordered_map<TAudioHandle, std::unique_ptr<TModule>> modules_;
  std::unordered_map<TAudioHandle, TChannel*> channels_;  // sample channels and modules
  std::vector<TChannel*> playing_;                        // what Render mixes
  std::vector<float> moduleBlock_;                        // Render's scratch for modules
  TAudioHandle lastHandle_ = 0;
  uint64_t serial_ = 0;  // orders channel starts: the smallest is the longest playing
  bool outputPaused_ = false;
};

}  // namespace lumessa
