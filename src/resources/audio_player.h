// The engine's side of sound and music: the operations the engine answers for sounds and music
// (IEngine) and for loading their data (IResourceOwner), on one mixer and one output device.
//
//   start and stop   InitSound (opens the output), Shutdown, SetFocused (pause / resume all)
//   loading          LoadSample, LoadMusicSample, LoadMusicModule, FreeSample, FreeMusicModule
//   music            a stack of tracks: PlayMusic cross-fades from the top over 2000 ms,
//                    StopMusic fades the top out and brings the one below back
//   sounds           PlaySound (volume rule, pan, "mutemusic" ducking), StopSound,
//                    StopAllSounds
//   every frame      UpdateDucking; AdvanceOutput for outputs the frame loop drives
//
// Without an open output (SoundReady false) every operation does nothing and answers 0.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "engine/variant.h"
#include "platform/audio_output.h"
#include "resources/audio_mixer.h"
#include "resources/resource.h"
#include "resources/sound.h"

namespace lumessa {

class TAudioPlayer {
 public:
  // Cross-fade between music tracks, and the music fade around "mutemusic" sounds.
  static constexpr uint32_t kMusicFadeMs = 2000;
  static constexpr uint32_t kDuckFadeMs = 100;

  // Sounds and music are looked up by name in `resources`, and StopAllSounds walks it.
  explicit TAudioPlayer(Ref<IResourceCollection> resources);
  ~TAudioPlayer();
  TAudioPlayer(const TAudioPlayer&) = delete;
  TAudioPlayer& operator=(const TAudioPlayer&) = delete;

  // Opens the output on the mixer; false (SoundReady stays false) when it cannot open. The
  // engine applies "MusicVolume" and "SoundVolume" afterwards.
  bool InitSound(std::unique_ptr<IAudioOutput> output);
  // Closes the output and frees every sample and module; SoundReady false. Safe to repeat.
  void Shutdown();
  bool SoundReady() const { return soundReady_; }
  // Focus lost pauses all output, focus gained resumes it.
  void SetFocused(bool focused);
  // For outputs the frame loop drives (headless): mixes `ms` of audio now.
  void AdvanceOutput(uint32_t ms);

  // IResourceOwner. Files are read whole through the data-file layer; 0 on any failure.
  TAudioHandle LoadSample(std::string_view fileName, uint16_t maxPlaybacks, bool loop);
  // A looping sample and its one channel: returns the channel, `sample` the sample.
  TAudioHandle LoadMusicSample(std::string_view fileName, TAudioHandle& sample);
  TAudioHandle LoadMusicModule(std::string_view fileName);
  void FreeSample(TAudioHandle sample);
  void FreeMusicModule(TAudioHandle module);

  // IEngine.
  TAudioHandle PlayMusic(const Ref<IMusic>& music);
  void StopMusic(const Ref<IMusic>& music);
  TAudioHandle PlaySound(const Ref<ISound>& sound);
  void StopSound(const Ref<ISound>& sound);
  void StopAllSounds();
  // MusicVolume := the value as an integer in 0..100, applied to the playing track at once;
  // a value that is not a number changes nothing.
  void SetMusicVolumeValue(const TVariant& value);
  // The "SoundVolume" setting: the integer value clamped to 0..100, for sounds started later.
  void SetSoundVolumeValue(const TVariant& value);
  int MusicVolume() const { return musicVolume_; }
  int SoundVolume() const { return soundVolume_; }

  // IAudioChannels: one channel PlaySound gave out.
  bool IsChannelPlaying(TAudioHandle channel) const;
  void StopChannel(TAudioHandle channel);

  // Drops the ducking sounds that have finished; when none is left the music comes back.
  void UpdateDucking();

  // State, for the engine's display and for tests.
  const std::vector<TAudioHandle>& MusicStack() const { return musicStack_; }
  const std::vector<TAudioHandle>& DuckingChannels() const { return duckingChannels_; }
  // The channel a music stack entry plays on: the entry itself for a module, and for an ogg
  // track's channel. Only for stack entries: asked for a sample it would take a channel of it.
  TAudioHandle ChannelOf(TAudioHandle entry);
  TAudioMixer& Mixer() { return mixer_; }

 private:
  template <class I>
  Ref<I> FindAs(std::string_view name) const;
  // time -1 means the ducking fade time; 0 pauses / resumes at once.
  void Duck(int time);
  void Unduck(int time);

  Ref<IResourceCollection> resources_;
  TAudioMixer mixer_;
  std::unique_ptr<IAudioOutput> output_;  // after mixer_: closed before the mixer goes
  std::vector<TAudioHandle> musicStack_;  // the playing track last
  std::vector<TAudioHandle> duckingChannels_;
  std::set<TAudioHandle> soundSamples_;  // every sample PlaySound has played
  int musicVolume_ = 100;
  int soundVolume_ = 100;
  bool soundReady_ = false;
};

}  // namespace lumessa
