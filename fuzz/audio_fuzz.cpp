// Sound and music files as the audio layer loads them: the bytes go to the sample loader (WAV
// and Ogg Vorbis, told by signature) and to the module loader. Whatever loads is played for a
// moment; every mixed value must be a number in -1..1.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "resources/audio_mixer.h"

using namespace lumessa;

namespace {

void PlayBriefly(TAudioMixer& mixer, TAudioHandle channel) {
  static float out[2 * 512];
  mixer.SetAttributes(channel, 70, -40);
  mixer.SlideVolume(channel, kSlideToStop, 5);
  if (!mixer.Play(channel, true)) __builtin_trap();
  mixer.Render(out, 512);
  for (float v : out)
    if (!(v >= -1.0f && v <= 1.0f)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TAudioMixer mixer;
  if (TAudioHandle sample = mixer.LoadSample(bytes, 2, true)) {
    if (mixer.GetSampleFrames(sample) <= 0) __builtin_trap();
    PlayBriefly(mixer, mixer.GetChannel(sample));
    PlayBriefly(mixer, mixer.GetChannel(sample));
  }
  if (TAudioHandle module = mixer.LoadModule(bytes)) PlayBriefly(mixer, module);
  return 0;
}
