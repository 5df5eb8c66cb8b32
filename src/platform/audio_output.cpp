#include "platform/audio_output.h"

#include "platform/headless/null_audio.h"
#include "platform/sdl/sdl_audio.h"

namespace lumessa {

std::unique_ptr<IAudioOutput> CreateAudioOutput(TPlatformKind kind) {
  switch (kind) {
    case TPlatformKind::Sdl:
      return std::make_unique<TSdlAudioOutput>();
    case TPlatformKind::Headless:
      return std::make_unique<TNullAudioOutput>();
  }
  return nullptr;
}

}  // namespace lumessa
