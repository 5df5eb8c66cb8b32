// Sound files decoded whole into 16-bit frames at the mixing rate: WAV through a small RIFF
// reader of our own, Ogg Vorbis through libvorbisfile. The file kind is told by its signature,
// not by its name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audio_output.h"

namespace lumessa {

// A decoded sound: interleaved 16-bit frames at kAudioRate, one or two channels.
struct TDecodedSample {
  int channels = 0;
  std::vector<int16_t> pcm;
  int64_t Frames() const { return channels > 0 ? int64_t(pcm.size()) / channels : 0; }
};

// The longest sound accepted, before and after resampling: ten minutes at the mixing rate. A
// file that states a longer sound is refused before anything is allocated for it.
inline constexpr int64_t kMaxSampleFrames = int64_t(kAudioRate) * 600;
// Sampling rates accepted in files.
inline constexpr int kMinSampleRate = 1000;
inline constexpr int kMaxSampleRate = 384000;

// WAV or Ogg Vorbis by signature. Empty on anything else, with the reason in `error`.
std::optional<TDecodedSample> DecodeSample(std::string_view bytes, std::string* error = nullptr);

// RIFF WAVE: PCM 8-bit (unsigned) or 16-bit, or IEEE float 32-bit (also in the extensible
// form); mono or stereo; any accepted rate, resampled. A data chunk that runs past the end of
// the file is refused (a truncated file).
std::optional<TDecodedSample> DecodeWav(std::string_view bytes, std::string* error = nullptr);

// Ogg Vorbis, mono or stereo, every chained part alike. Refused when the stream does not end
// with its final page (a truncated file) or a page is damaged.
std::optional<TDecodedSample> DecodeOgg(std::string_view bytes, std::string* error = nullptr);

// Linear interpolation of interleaved 16-bit frames from `rate` to kAudioRate (a copy when the
// rates are equal). The output has frames * kAudioRate / rate frames.
std::vector<int16_t> ResampleToMixRate(const std::vector<int16_t>& pcm, int channels, int rate);

}  // namespace lumessa
