#include "resources/audio_player.h"

#include <algorithm>
#include <string>

#include "engine/log.h"
#include "resources/data_file.h"

namespace lumessa {

TAudioPlayer::TAudioPlayer(Ref<IResourceCollection> resources) : resources_(std::move(resources)) {}

TAudioPlayer::~TAudioPlayer() {
  Shutdown();
}

bool TAudioPlayer::InitSound(std::unique_ptr<IAudioOutput> output) {
  if (soundReady_) return true;
  if (!output || !output->Open(&mixer_)) {
    Log("audio: no output device; the game runs silently");
    return false;
  }
  output_ = std::move(output);
  soundReady_ = true;
  return true;
}

void TAudioPlayer::Shutdown() {
  if (output_) {
    // Never under the mixer's lock: closing waits for the device's callback, which takes it.
    output_->Close();
    output_.reset();
  }
  soundReady_ = false;
  musicStack_.clear();
  duckingChannels_.clear();
  soundSamples_.clear();
  mixer_.FreeAll();
}

void TAudioPlayer::SetFocused(bool focused) {
  if (!soundReady_) return;
  if (focused) {
    mixer_.ResumeOutput();
    output_->Resume();
  } else {
    output_->Pause();
    mixer_.PauseOutput();
  }
}

void TAudioPlayer::AdvanceOutput(uint32_t ms) {
  if (soundReady_) output_->AdvanceTime(ms);
}

template <class I>
Ref<I> TAudioPlayer::FindAs(std::string_view name) const {
  if (!resources_ || name.empty()) return {};
  return Query<I>(resources_->Get(TVariant(name)));
}

TAudioHandle TAudioPlayer::ChannelOf(TAudioHandle entry) {
  TAudioHandle channel = mixer_.GetChannel(entry);
  return channel ? channel : entry;
}

// ---------------------------------------------------------------------------------------------
// Loading

TAudioHandle TAudioPlayer::LoadSample(std::string_view fileName, uint16_t maxPlaybacks, bool loop) {
  if (!soundReady_) return 0;
  std::string bytes = ReadDataFile(fileName);
  if (bytes.empty()) {
    Log("sound %.*s: missing or empty", int(fileName.size()), fileName.data());
    return 0;
  }
  std::string error;
  TAudioHandle sample = mixer_.LoadSample(bytes, maxPlaybacks, loop, &error);
  if (!sample) Log("sound %.*s: %s", int(fileName.size()), fileName.data(), error.c_str());
  return sample;
}

TAudioHandle TAudioPlayer::LoadMusicSample(std::string_view fileName, TAudioHandle& sample) {
  sample = LoadSample(fileName, 1, true);
  return sample ? mixer_.GetChannel(sample) : 0;
}

TAudioHandle TAudioPlayer::LoadMusicModule(std::string_view fileName) {
  if (!soundReady_) return 0;
  std::string bytes = ReadDataFile(fileName);
  if (bytes.empty()) {
    Log("music %.*s: missing or empty", int(fileName.size()), fileName.data());
    return 0;
  }
  std::string error;
  TAudioHandle module = mixer_.LoadModule(bytes, &error);
  if (!module) Log("music %.*s: %s", int(fileName.size()), fileName.data(), error.c_str());
  return module;
}

void TAudioPlayer::FreeSample(TAudioHandle sample) {
  if (!soundReady_) return;
  mixer_.FreeSample(sample);
  soundSamples_.erase(sample);
}

void TAudioPlayer::FreeMusicModule(TAudioHandle module) {
  if (soundReady_) mixer_.FreeModule(module);
}

// ---------------------------------------------------------------------------------------------
// Music

TAudioHandle TAudioPlayer::PlayMusic(const Ref<IMusic>& music) {
  if (!soundReady_ || !music) return 0;
  Ref<IMusicResource> resource = FindAs<IMusicResource>(music->GetResourceName());
  if (!resource) return 0;
  resource->Select();
  const TAudioHandle handle = resource->GetHandle();
  if (!handle) return 0;
  // The new entry is known before anything changes: a track that cannot play must neither fade
  // the current one out nor sit on the stack where StopMusic could never reach the ones below.
  const TAudioHandle entry =
      resource->GetFormat() == IMusicResource::kOgg ? mixer_.GetChannel(handle) : handle;
  if (!entry) return 0;
  if (!musicStack_.empty())
    mixer_.SlideVolume(ChannelOf(musicStack_.back()), kSlideToStop, kMusicFadeMs);
  if (mixer_.IsActive(handle)) mixer_.Stop(handle);
  musicStack_.push_back(entry);
  mixer_.SetAttributes(entry, 0, kPanUnchanged);
  mixer_.SlideVolume(entry, musicVolume_, kMusicFadeMs);
  mixer_.Play(entry, true);
  return entry;
}

void TAudioPlayer::StopMusic(const Ref<IMusic>& music) {
  if (!soundReady_ || musicStack_.empty() || !music) return;
  // No Select here: a group must answer with the member PlayMusic chose.
  Ref<IMusicResource> resource = FindAs<IMusicResource>(music->GetResourceName());
  if (!resource || resource->GetHandle() != musicStack_.back()) return;
  mixer_.SlideVolume(ChannelOf(musicStack_.back()), kSlideToStop, kMusicFadeMs);
  musicStack_.pop_back();
  if (musicStack_.empty()) return;
  const TAudioHandle channel = ChannelOf(musicStack_.back());
  mixer_.SetAttributes(channel, 0, kPanUnchanged);
  if (musicVolume_ > 0) mixer_.SlideVolume(channel, musicVolume_, kMusicFadeMs);
  mixer_.Play(channel, false);
}

void TAudioPlayer::SetMusicVolumeValue(const TVariant& value) {
  if (!soundReady_ || !value.ConvertsToNumber()) return;
  // Clamped: a negative volume would reach the mixer as "unchanged" or "fade out and stop".
  musicVolume_ = int(std::clamp<int64_t>(value.ToInt(musicVolume_), 0, 100));
  if (!musicStack_.empty())
    mixer_.SetAttributes(ChannelOf(musicStack_.back()), musicVolume_, kPanUnchanged);
}

void TAudioPlayer::SetSoundVolumeValue(const TVariant& value) {
  if (!soundReady_ || !value.ConvertsToNumber()) return;
  soundVolume_ = int(std::clamp<int64_t>(value.ToInt(soundVolume_), 0, 100));
}

// ---------------------------------------------------------------------------------------------
// Sounds

TAudioHandle TAudioPlayer::PlaySound(const Ref<ISound>& sound) {
  if (!sound) return 0;
  Ref<ISoundResource> resource = FindAs<ISoundResource>(sound->GetResourceName());
  if (!resource) return 0;
  resource->Select();
  if (!soundReady_) return 0;
  const TAudioHandle sample = resource->GetSample();
  if (!sample) return 0;
  const TAudioHandle channel = mixer_.GetChannel(sample);
  if (!channel) return 0;
  // In 64 bits: data files may state any integer.
  const int64_t master = resource->GetMasterVolume();
  const int64_t volume = sound->GetVolume();
  int64_t v = volume < 1 ? master : volume * master / 100;
  v = v * soundVolume_ / 100;
  mixer_.SetAttributes(channel, int(std::clamp<int64_t>(v, 0, 100)), sound->GetPan());
  mixer_.Play(channel, false);
  soundSamples_.insert(sample);
  if (sound->GetMuteMusic()) {
    duckingChannels_.push_back(channel);
    Duck(int(kDuckFadeMs));
  }
  return channel;
}

void TAudioPlayer::StopSound(const Ref<ISound>& sound) {
  if (!sound) return;
  Ref<ISoundResource> resource = FindAs<ISoundResource>(sound->GetResourceName());
  if (!resource) return;
  if (soundReady_) {
    if (TAudioHandle sample = resource->GetSample()) mixer_.StopSample(sample);
  }
  UpdateDucking();
}

void TAudioPlayer::StopAllSounds() {
  if (soundReady_ && resources_) {
    const int count = resources_->Count();
    for (int i = 0; i < count; ++i) {
      Ref<ISoundResource> resource = Query<ISoundResource>(resources_->Get(TVariant(i)));
      if (!resource) continue;
      if (TAudioHandle sample = resource->GetSample()) mixer_.StopSample(sample);
    }
    // A sound group answers only for its current member; the members played before are
    // reached through the samples PlaySound has played.
    for (TAudioHandle sample : soundSamples_) mixer_.StopSample(sample);
  }
  UpdateDucking();
}

bool TAudioPlayer::IsChannelPlaying(TAudioHandle channel) const {
  return soundReady_ && channel != 0 && mixer_.IsActive(channel);
}

void TAudioPlayer::StopChannel(TAudioHandle channel) {
  if (!soundReady_ || channel == 0) return;
  mixer_.Stop(channel);
  UpdateDucking();
}

// ---------------------------------------------------------------------------------------------
// Ducking

void TAudioPlayer::Duck(int time) {
  if (musicStack_.empty()) return;
  if (time == -1) time = int(kDuckFadeMs);
  const TAudioHandle channel = ChannelOf(musicStack_.back());
  if (time > 0)
    mixer_.SlideVolume(channel, 0, uint32_t(time));
  else if (time == 0)
    mixer_.Pause(channel);
}

void TAudioPlayer::Unduck(int time) {
  if (musicStack_.empty()) return;
  if (time == -1) time = int(kDuckFadeMs);
  const TAudioHandle channel = ChannelOf(musicStack_.back());
  if (time > 0)
    mixer_.SlideVolume(channel, musicVolume_, uint32_t(time));
  else if (time == 0)
    mixer_.Play(channel, false);
}

void TAudioPlayer::UpdateDucking() {
  if (!soundReady_ || duckingChannels_.empty()) return;
  for (size_t i = duckingChannels_.size(); i-- > 0;)
    if (!mixer_.IsActive(duckingChannels_[i]))
      duckingChannels_.erase(duckingChannels_.begin() + std::ptrdiff_t(i));
  if (duckingChannels_.empty()) Unduck(-1);
}

}  // namespace lumessa
