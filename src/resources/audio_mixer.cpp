#include "resources/audio_mixer.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cstring>

#include "resources/sample_decoder.h"

namespace lumessa {

namespace {

// Modules render through a scratch block of this many frames.
constexpr int kModuleBlockFrames = 1024;
constexpr float kPcmScale = 1.0f / 32768.0f;

double ClampVolume(int volume) {
  return std::clamp(volume, 0, 100) / 100.0;
}

}  // namespace

struct TAudioMixer::TChannel {
  TAudioHandle id = 0;
  TSample* sample = nullptr;  // exactly one of sample and module is set
  TModule* module = nullptr;
  TChannelState state = TChannelState::kStopped;
  int64_t position = 0;  // frames into the sample
  double volume = 1.0;   // 0..1
  int pan = 0;
  float panLeft = 1.0f, panRight = 1.0f;
  int64_t slideFrames = 0;  // left to slide; 0 when not sliding
  double slideStep = 0;
  double slideTarget = 0;
  bool stopAfterSlide = false;
  uint64_t serial = 0;
  bool listed = false;  // in playing_

  void Reset() {
    state = TChannelState::kStopped;
    position = 0;
    volume = 1.0;
    SetPan(0);
    EndSlide();
  }
  // Balance: the far side is turned down, the near side stays at full level.
  void SetPan(int p) {
    pan = std::clamp(p, -100, 100);
    panLeft = pan > 0 ? float(100 - pan) / 100.0f : 1.0f;
    panRight = pan < 0 ? float(100 + pan) / 100.0f : 1.0f;
  }
  void EndSlide() {
    slideFrames = 0;
    slideStep = 0;
    stopAfterSlide = false;
  }
};

struct TAudioMixer::TSample {
  TDecodedSample data;
  bool loop = false;
  int maxPlaybacks = 1;
  std::vector<std::unique_ptr<TChannel>> channels;
};

struct TAudioMixer::TModule {
  openmpt_module* mod = nullptr;
  TChannel channel;
  ~TModule() {
    if (mod) openmpt_module_destroy(mod);
  }
};

TAudioMixer::TAudioMixer() {
  moduleBlock_.assign(size_t(kModuleBlockFrames) * kAudioChannels, 0.0f);
  playing_.reserve(256);
}

TAudioMixer::~TAudioMixer() = default;

TAudioHandle TAudioMixer::NewHandle() {
  // Ids are not reused until the 32-bit counter wraps, and then only ids no longer in use.
  for (;;) {
    TAudioHandle id = ++lastHandle_;
    if (id != 0 && !samples_.contains(id) && !modules_.contains(id) && !channels_.contains(id))
      return id;
  }
}

TAudioMixer::TChannel* TAudioMixer::FindChannel(TAudioHandle id) const {
  auto it = channels_.find(id);
  return it == channels_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------------------------
// Loading and freeing

TAudioHandle TAudioMixer::LoadSample(std::string_view bytes, int maxPlaybacks, bool loop,
                                     std::string* error) {
  // Decoding is slow and touches nothing shared: it runs before the lock.
  std::optional<TDecodedSample> decoded = DecodeSample(bytes, error);
  if (!decoded) return 0;
  auto sample = std::make_unique<TSample>();
  sample->data = std::move(*decoded);
  sample->loop = loop;
  sample->maxPlaybacks = std::max(1, maxPlaybacks);
  std::lock_guard lock(mutex_);
  TAudioHandle id = NewHandle();
  samples_.emplace(id, std::move(sample));
  return id;
}

TAudioHandle TAudioMixer::LoadModule(std::string_view bytes, std::string* error) {
  if (bytes.empty()) {
    if (error) *error = "the file is empty";
    return 0;
  }
  int code = 0;
  const char* message = nullptr;
  openmpt_module* mod = openmpt_module_create_from_memory2(
      bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
      nullptr, &code, &message, nullptr);
  if (!mod) {
    if (error) *error = message && *message ? message : "not a module";
    openmpt_free_string(message);
    return 0;
  }
  openmpt_free_string(message);
  openmpt_module_set_repeat_count(mod, -1);  // music loops for ever
  auto module = std::make_unique<TModule>();
  module->mod = mod;
  module->channel.module = module.get();
  std::lock_guard lock(mutex_);
  TAudioHandle id = NewHandle();
  module->channel.id = id;
  channels_.emplace(id, &module->channel);
  modules_.emplace(id, std::move(module));
  return id;
}

bool TAudioMixer::FreeSample(TAudioHandle sample) {
  std::unique_ptr<TSample> doomed;  // destroyed after the lock is let go
  {
    std::lock_guard lock(mutex_);
    auto it = samples_.find(sample);
    if (it == samples_.end()) return false;
    for (auto& ch : it->second->channels) {
      Unlist(*ch);
      channels_.erase(ch->id);
    }
    doomed = std::move(it->second);
    samples_.erase(it);
  }
  return true;
}

bool TAudioMixer::FreeModule(TAudioHandle module) {
  std::unique_ptr<TModule> doomed;
  {
    std::lock_guard lock(mutex_);
    auto it = modules_.find(module);
    if (it == modules_.end()) return false;
    Unlist(it->second->channel);
    channels_.erase(module);
    doomed = std::move(it->second);
    modules_.erase(it);
  }
  return true;
}

void TAudioMixer::FreeAll() {
  std::unordered_map<TAudioHandle, std::unique_ptr<TSample>> samples;
  std::unordered_map<TAudioHandle, std::unique_ptr<TModule>> modules;
  {
    std::lock_guard lock(mutex_);
    playing_.clear();
    channels_.clear();
    samples.swap(samples_);
    modules.swap(modules_);
  }
}

// ---------------------------------------------------------------------------------------------
// Channels

TAudioHandle TAudioMixer::GetChannel(TAudioHandle handle) {
  std::lock_guard lock(mutex_);
  auto it = samples_.find(handle);
  if (it == samples_.end()) {
    TChannel* ch = FindChannel(handle);
    return ch && ch->sample ? handle : 0;
  }
  TSample& sample = *it->second;
  TChannel* ch = nullptr;
  for (auto& c : sample.channels) {
    if (c->state == TChannelState::kStopped) {
      ch = c.get();
      break;
    }
  }
  if (!ch && int(sample.channels.size()) < sample.maxPlaybacks) {
    sample.channels.push_back(std::make_unique<TChannel>());
    ch = sample.channels.back().get();
    ch->sample = &sample;
  }
  if (!ch) {
    ch = sample.channels.front().get();
    for (auto& c : sample.channels)
      if (c->serial < ch->serial) ch = c.get();
  }
  // A reused channel gets a new id: whoever held the old one sees it stopped, and cannot
  // steer the new playback by accident.
  if (ch->id) channels_.erase(ch->id);
  ch->id = NewHandle();
  channels_.emplace(ch->id, ch);
  ch->Reset();
  ch->serial = ++serial_;
  return ch->id;
}

bool TAudioMixer::StopSample(TAudioHandle sample) {
  std::lock_guard lock(mutex_);
  auto it = samples_.find(sample);
  if (it == samples_.end()) return false;
  for (auto& ch : it->second->channels) {
    ch->state = TChannelState::kStopped;
    ch->EndSlide();
  }
  return true;
}

void TAudioMixer::StartPlaying(TChannel& ch) {
  ch.state = TChannelState::kPlaying;
  if (!ch.listed) {
    playing_.push_back(&ch);
    ch.listed = true;
  }
}

void TAudioMixer::Unlist(TChannel& ch) {
  if (!ch.listed) return;
  auto it = std::find(playing_.begin(), playing_.end(), &ch);
  if (it != playing_.end()) playing_.erase(it);
  ch.listed = false;
}

bool TAudioMixer::Play(TAudioHandle channel, bool restart) {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch) return false;
  if (ch->module) {
    if (restart) openmpt_module_set_position_seconds(ch->module->mod, 0.0);
  } else if (restart || ch->position >= ch->sample->data.Frames()) {
    ch->position = 0;
  }
  if (restart) ch->serial = ++serial_;
  StartPlaying(*ch);
  return true;
}

bool TAudioMixer::Stop(TAudioHandle channel) {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch) return false;
  ch->state = TChannelState::kStopped;
  ch->EndSlide();
  return true;
}

bool TAudioMixer::Pause(TAudioHandle channel) {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch) return false;
  if (ch->state == TChannelState::kPlaying) ch->state = TChannelState::kPaused;
  return true;
}

TChannelState TAudioMixer::GetState(TAudioHandle channel) const {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  return ch ? ch->state : TChannelState::kStopped;
}

bool TAudioMixer::SetAttributes(TAudioHandle channel, int volume, int pan) {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch) return false;
  if (volume != kVolumeUnchanged) {
    ch->volume = ClampVolume(volume);
    ch->EndSlide();
  }
  if (pan != kPanUnchanged) ch->SetPan(pan);
  return true;
}

bool TAudioMixer::SlideVolume(TAudioHandle channel, int volume, uint32_t ms) {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch) return false;
  const bool stop = volume == kSlideToStop;
  const double target = stop ? 0.0 : ClampVolume(volume);
  const int64_t frames = int64_t(ms) * kAudioRate / 1000;
  ch->EndSlide();
  if (frames == 0) {
    ch->volume = target;
    if (stop) ch->state = TChannelState::kStopped;
    return true;
  }
  ch->slideFrames = frames;
  ch->slideStep = (target - ch->volume) / double(frames);
  ch->slideTarget = target;
  ch->stopAfterSlide = stop;
  return true;
}

std::optional<double> TAudioMixer::GetVolume(TAudioHandle channel) const {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch) return std::nullopt;
  return ch->volume * 100.0;
}

std::optional<int> TAudioMixer::GetPan(TAudioHandle channel) const {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch) return std::nullopt;
  return ch->pan;
}

std::optional<int64_t> TAudioMixer::GetPosition(TAudioHandle channel) const {
  std::lock_guard lock(mutex_);
  TChannel* ch = FindChannel(channel);
  if (!ch || !ch->sample) return std::nullopt;
  return ch->position;
}

int64_t TAudioMixer::GetSampleFrames(TAudioHandle sample) const {
  std::lock_guard lock(mutex_);
  auto it = samples_.find(sample);
  return it == samples_.end() ? 0 : it->second->data.Frames();
}

// ---------------------------------------------------------------------------------------------
// Output

void TAudioMixer::PauseOutput() {
  std::lock_guard lock(mutex_);
  outputPaused_ = true;
}

void TAudioMixer::ResumeOutput() {
  std::lock_guard lock(mutex_);
  outputPaused_ = false;
}

bool TAudioMixer::OutputPaused() const {
  std::lock_guard lock(mutex_);
  return outputPaused_;
}

void TAudioMixer::Render(float* out, int frames) {
  if (frames <= 0) return;
  std::fill(out, out + size_t(frames) * kAudioChannels, 0.0f);
  std::lock_guard lock(mutex_);
  if (outputPaused_) return;
  for (size_t i = 0; i < playing_.size();) {
    TChannel& ch = *playing_[i];
    if (ch.state == TChannelState::kPlaying) MixChannel(ch, out, frames);
    if (ch.state == TChannelState::kPlaying) {
      ++i;
    } else {
      // Paused and stopped channels leave the list; Play puts them back.
      ch.listed = false;
      playing_[i] = playing_.back();
      playing_.pop_back();
    }
  }
  for (size_t i = 0; i < size_t(frames) * kAudioChannels; ++i)
    out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

// Adds up to `frames` frames of the source at the channel's volume and pan, moving its slide
// on. Returns the frames used: fewer when a slide to silence stops the channel.
template <class Source>
int TAudioMixer::MixFrames(TChannel& ch, float* out, int frames, Source&& source) {
  int i = 0;
  if (ch.slideFrames > 0) {
    const int ramp = int(std::min<int64_t>(frames, ch.slideFrames));
    double v = ch.volume;
    for (; i < ramp; ++i) {
      v += ch.slideStep;
      float l, r;
      source(i, l, r);
      out[2 * i] += l * float(v) * ch.panLeft;
      out[2 * i + 1] += r * float(v) * ch.panRight;
    }
    ch.slideFrames -= ramp;
    ch.volume = v;
    if (ch.slideFrames == 0) {
      ch.volume = ch.slideTarget;
      if (ch.stopAfterSlide) {
        ch.EndSlide();
        ch.state = TChannelState::kStopped;
        return i;
      }
      ch.EndSlide();
    }
  }
  const float gl = float(ch.volume) * ch.panLeft;
  const float gr = float(ch.volume) * ch.panRight;
  if (gl == 0.0f && gr == 0.0f) return frames;  // silent: only the position moves on
  for (; i < frames; ++i) {
    float l, r;
    source(i, l, r);
    out[2 * i] += l * gl;
    out[2 * i + 1] += r * gr;
  }
  return frames;
}

void TAudioMixer::MixChannel(TChannel& ch, float* out, int frames) {
  int done = 0;
  if (ch.module) {
    while (done < frames && ch.state == TChannelState::kPlaying) {
      const int n = std::min(frames - done, kModuleBlockFrames);
      float* block = moduleBlock_.data();
      size_t got = openmpt_module_read_interleaved_float_stereo(ch.module->mod, kAudioRate,
                                                                size_t(n), block);
      if (got == 0) {  // a module that cannot loop has ended
        ch.state = TChannelState::kStopped;
        break;
      }
      std::fill(block + got * kAudioChannels, block + size_t(n) * kAudioChannels, 0.0f);
      done +=
          MixFrames(ch, out + size_t(done) * kAudioChannels, n, [block](int i, float& l, float& r) {
            l = block[2 * i];
            r = block[2 * i + 1];
          });
    }
    return;
  }
  TSample& s = *ch.sample;
  const int64_t total = s.data.Frames();
  const int16_t* pcm = s.data.pcm.data();
  while (done < frames && ch.state == TChannelState::kPlaying) {
    if (ch.position >= total) {
      if (!s.loop) break;
      ch.position = 0;
    }
    const int n = int(std::min<int64_t>(frames - done, total - ch.position));
    float* o = out + size_t(done) * kAudioChannels;
    int used;
    if (s.data.channels == 1) {
      const int16_t* src = pcm + ch.position;
      used = MixFrames(ch, o, n, [src](int i, float& l, float& r) { l = r = src[i] * kPcmScale; });
    } else {
      const int16_t* src = pcm + ch.position * 2;
      used = MixFrames(ch, o, n, [src](int i, float& l, float& r) {
        l = src[2 * i] * kPcmScale;
        r = src[2 * i + 1] * kPcmScale;
      });
    }
    ch.position += used;
    done += used;
  }
  if (!s.loop && ch.position >= total && ch.state == TChannelState::kPlaying) {
    // Played to its end: stopped, and a later Play starts it over.
    ch.state = TChannelState::kStopped;
    ch.position = 0;
  }
}

}  // namespace lumessa
