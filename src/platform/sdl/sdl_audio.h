// The SDL2 audio output: the sound card, pulled on SDL's audio thread (see sdl_audio.cpp).
#pragma once

#include <cstdint>

#include "platform/audio_output.h"

namespace lumessa {

class TSdlAudioOutput : public IAudioOutput {
 public:
  ~TSdlAudioOutput() override;
  bool Open(IAudioSource* source) override;
  void Pause() override;
  void Resume() override;
  void Close() override;
  void AdvanceTime(uint32_t) override {}

 private:
  static void Callback(void* user, uint8_t* stream, int length);

  IAudioSource* source_ = nullptr;
  uint32_t device_ = 0;  // SDL_AudioDeviceID; 0 while closed
};

}  // namespace lumessa
