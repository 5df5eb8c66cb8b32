// The sound card through SDL2. The audio subsystem is initialised on its own, so sound works
// (or fails) independently of the window, and a machine without a sound card only loses sound.
//
// Locking: SDL holds the device lock while it runs the callback, and the callback takes the
// mixer's lock. The calls here take the device lock, so the caller must never hold the mixer's
// lock while calling them (the audio player never does).
#include "platform/sdl/sdl_audio.h"

#include <SDL.h>

#include <cstring>

#include "engine/log.h"

namespace lumessa {

namespace {

// About 23 ms at 44100 Hz: short enough for effects to start with their click, long enough that
// a busy frame does not starve the device.
constexpr Uint16 kDeviceFrames = 1024;

}  // namespace

TSdlAudioOutput::~TSdlAudioOutput() {
  Close();
}

bool TSdlAudioOutput::Open(IAudioSource* source) {
  if (device_ || !source) return false;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    Log("audio: no audio subsystem: %s", SDL_GetError());
    return false;
  }
  SDL_AudioSpec want{};
  want.freq = kAudioRate;
  want.format = AUDIO_F32SYS;
  want.channels = kAudioChannels;
  want.samples = kDeviceFrames;
  want.callback = &TSdlAudioOutput::Callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  // No allowed changes: SDL converts to whatever the card wants, so the mixer always sees its
  // own format.
  source_ = source;
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    Log("audio: cannot open the audio device: %s", SDL_GetError());
    source_ = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void TSdlAudioOutput::Pause() {
  if (device_) SDL_PauseAudioDevice(device_, 1);
}

void TSdlAudioOutput::Resume() {
  if (device_) SDL_PauseAudioDevice(device_, 0);
}

void TSdlAudioOutput::Close() {
  if (!device_) return;
  // Waits for a callback in progress; none runs afterwards.
  SDL_CloseAudioDevice(device_);
  device_ = 0;
  source_ = nullptr;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TSdlAudioOutput::Callback(void* user, uint8_t* stream, int length) {
  auto* self = static_cast<TSdlAudioOutput*>(user);
  int frames = length / int(sizeof(float) * kAudioChannels);
  if (self->source_ && frames > 0) {
    self->source_->Render(reinterpret_cast<float*>(stream), frames);
  } else {
    std::memset(stream, 0, size_t(length));
  }
}

}  // namespace lumessa
