// Sound files made on the spot for the audio tests, the audio benchmark and the fuzz seeds:
// WAV written byte by byte, Ogg Vorbis encoded with libvorbisenc, and a ProTracker module
// written from code. Nothing here is copied from anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumessa::test {

// A RIFF WAVE file around a raw data chunk. extensible writes the format as
// WAVE_FORMAT_EXTENSIBLE with `formatTag` as its sub-format.
std::string MakeWav(uint16_t formatTag, int channels, int rate, int bits, std::string_view data,
                    bool extensible = false);
// Interleaved values in -1..1 as little-endian 16-bit PCM, 32-bit float, or unsigned 8-bit.
std::string Pcm16Data(const std::vector<float>& values);
std::string Float32Data(const std::vector<float>& values);
std::string Pcm8Data(const std::vector<float>& values);
// A 16-bit PCM WAV of the interleaved values.
std::string MakeWav16(const std::vector<float>& values, int channels, int rate);

// An Ogg Vorbis file of the interleaved values.
std::string EncodeOgg(const std::vector<float>& values, int channels, int rate);

// A ProTracker module with `channels` voices (4 or 8), all playing a looped wave from the first
// row, with new notes every four rows; a pattern break after `rows` rows (1..64) ends the song.
std::string MakeModule(int channels, int rows);

// `frames` frames of a sine wave, mono.
std::vector<float> Sine(int frames, double hz, int rate, double amplitude);
// `frames` frames of one value on every channel.
std::vector<float> Constant(int frames, int channels, float value);

}  // namespace lumessa::test
