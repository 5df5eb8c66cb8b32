#include "resources/sample_decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumessa {

namespace {

bool Fail(std::string* error, const char* reason) {
  if (error) *error = reason;
  return false;
}

uint16_t Le16(const unsigned char* p) {
  return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int16_t FloatToPcm16(float x) {
  if (!(x > -1.0f)) x = -1.0f;  // also NaN
  if (x > 1.0f) x = 1.0f;
  return int16_t(std::clamp(std::lrint(double(x) * 32768.0), -32768l, 32767l));
}

// Checks the frame counts before and after resampling against the limit, so that nothing is
// allocated for a sound that is refused anyway.
bool SizeAcceptable(int64_t frames, int rate, std::string* error) {
  if (frames <= 0) return Fail(error, "the file holds no sound");
  if (frames > kMaxSampleFrames || frames * kAudioRate / rate > kMaxSampleFrames)
    return Fail(error, "the sound is longer than ten minutes");
  if (frames * kAudioRate / rate == 0) return Fail(error, "the file holds no sound");
  return true;
}

std::optional<TDecodedSample> Finish(std::vector<int16_t> pcm, int channels, int rate) {
  TDecodedSample out;
  out.channels = channels;
  out.pcm = rate == kAudioRate ? std::move(pcm) : ResampleToMixRate(pcm, channels, rate);
  return out;
}

// ---------------------------------------------------------------------------------------------
// WAV

constexpr uint16_t kWavePcm = 1;
constexpr uint16_t kWaveFloat = 3;
constexpr uint16_t kWaveExtensible = 0xFFFE;
// The common tail of the sub-format GUIDs of WAVE_FORMAT_EXTENSIBLE; the first two bytes hold
// the plain format tag.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct TWavFormat {
  uint16_t tag = 0;
  int channels = 0;
  int rate = 0;
  int blockAlign = 0;
  int bits = 0;
};

bool ReadWavFormat(const unsigned char* p, uint32_t length, TWavFormat& f, std::string* error) {
  if (length < 16) return Fail(error, "the format chunk is too short");
  f.tag = Le16(p);
  f.channels = Le16(p + 2);
  uint32_t rate = Le32(p + 4);
  f.blockAlign = Le16(p + 12);
  f.bits = Le16(p + 14);
  if (f.tag == kWaveExtensible) {
    if (length < 40 || std::memcmp(p + 26, kSubFormatTail, sizeof kSubFormatTail) != 0)
      return Fail(error, "unknown extensible sub-format");
    f.tag = Le16(p + 24);
  }
  if (f.tag != kWavePcm && f.tag != kWaveFloat)
    return Fail(error, "only PCM and IEEE float WAV data are read");
  if (f.tag == kWavePcm && f.bits != 8 && f.bits != 16)
    return Fail(error, "only 8-bit and 16-bit PCM are read");
  if (f.tag == kWaveFloat && f.bits != 32) return Fail(error, "only 32-bit float is read");
  if (f.channels != 1 && f.channels != 2) return Fail(error, "only mono and stereo are read");
  if (rate < uint32_t(kMinSampleRate) || rate > uint32_t(kMaxSampleRate))
    return Fail(error, "the sampling rate is out of range");
  f.rate = int(rate);
  if (f.blockAlign != f.channels * f.bits / 8)
    return Fail(error, "the block size does not match the format");
  return true;
}

}  // namespace

std::optional<TDecodedSample> DecodeWav(std::string_view bytes, std::string* error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  if (size < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
    Fail(error, "not a RIFF WAVE file");
    return std::nullopt;
  }
  TWavFormat format;
  bool haveFormat = false;
  const unsigned char* data = nullptr;
  uint32_t dataLength = 0;
  // Chunks are walked to the end of the bytes; the RIFF size is not trusted, writers get it
  // wrong often enough.
  size_t pos = 12;
  while (size - pos >= 8) {
    const unsigned char* id = p + pos;
    uint32_t length = Le32(p + pos + 4);
    pos += 8;
    if (length > size - pos) {
      Fail(error, std::memcmp(id, "data", 4) == 0 ? "the sound data is truncated"
                                                  : "a chunk runs past the end of the file");
      return std::nullopt;
    }
    if (std::memcmp(id, "fmt ", 4) == 0 && !haveFormat) {
      if (!ReadWavFormat(p + pos, length, format, error)) return std::nullopt;
      haveFormat = true;
    } else if (std::memcmp(id, "data", 4) == 0 && !data) {
      data = p + pos;
      dataLength = length;
    }
    pos += length;
    if (length % 2 != 0 && pos < size) ++pos;  // chunks are padded to even sizes
  }
  if (!haveFormat || !data) {
    Fail(error, "the format or the data chunk is missing");
    return std::nullopt;
  }
  const int64_t frames = dataLength / uint32_t(format.blockAlign);
  if (!SizeAcceptable(frames, format.rate, error)) return std::nullopt;

  std::vector<int16_t> pcm(size_t(frames) * size_t(format.channels));
  const size_t count = pcm.size();
  if (format.tag == kWaveFloat) {
    for (size_t i = 0; i < count; ++i) {
      float v;
      std::memcpy(&v, data + 4 * i, 4);  // little-endian hosts only, as the whole program
      pcm[i] = FloatToPcm16(v);
    }
  } else if (format.bits == 16) {
    for (size_t i = 0; i < count; ++i) pcm[i] = int16_t(Le16(data + 2 * i));
  } else {
    for (size_t i = 0; i < count; ++i) pcm[i] = int16_t((int(data[i]) - 128) * 256);
  }
  return Finish(std::move(pcm), format.channels, format.rate);
}

// ---------------------------------------------------------------------------------------------
// Ogg Vorbis

namespace {

struct TMemoryReader {
  const char* data;
  size_t size;
  size_t pos;
};

size_t ReadMemory(void* buffer, size_t size, size_t count, void* source) {
  auto* r = static_cast<TMemoryReader*>(source);
  if (size == 0) return 0;
  size_t items = std::min(count, (r->size - r->pos) / size);
  std::memcpy(buffer, r->data + r->pos, items * size);
  r->pos += items * size;
  return items;
}

int SeekMemory(void* source, ogg_int64_t offset, int whence) {
  auto* r = static_cast<TMemoryReader*>(source);
  ogg_int64_t base = whence == SEEK_SET   ? 0
                     : whence == SEEK_CUR ? ogg_int64_t(r->pos)
                                          : ogg_int64_t(r->size);
  if (offset < -base || offset > ogg_int64_t(r->size) - base) return -1;
  r->pos = size_t(base + offset);
  return 0;
}

long TellMemory(void* source) {
  return long(static_cast<TMemoryReader*>(source)->pos);
}

// Whether the bytes end exactly with a whole page that closes its stream. A truncated file
// ends inside a page, or with a page that is not the last one.
bool EndsWithFinalPage(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  constexpr size_t kHeader = 27;
  constexpr size_t kMaxPage = kHeader + 255 + 255 * 255;
  if (size < kHeader) return false;
  size_t lowest = size > kMaxPage ? size - kMaxPage : 0;
  for (size_t at = size - kHeader + 1; at-- > lowest;) {
    if (std::memcmp(p + at, "OggS", 4) != 0) continue;
    size_t segments = p[at + 26];
    if (at + kHeader + segments > size) continue;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += p[at + kHeader + i];
    if (at + kHeader + segments + body == size) return (p[at + 5] & 0x04) != 0;
  }
  return false;
}

class TVorbisFile {
 public:
  ~TVorbisFile() {
    if (open_) ov_clear(&file_);
  }
  bool Open(std::string_view bytes) {
    reader_ = {bytes.data(), bytes.size(), 0};
    ov_callbacks callbacks{ReadMemory, SeekMemory, nullptr, TellMemory};
    open_ = ov_open_callbacks(&reader_, &file_, nullptr, 0, callbacks) == 0;
    return open_;
  }
  OggVorbis_File* operator->() { return &file_; }
  OggVorbis_File* get() { return &file_; }

 private:
  TMemoryReader reader_{};
  OggVorbis_File file_{};
  bool open_ = false;
};

}  // namespace

std::optional<TDecodedSample> DecodeOgg(std::string_view bytes, std::string* error) {
  if (bytes.size() < 4 || std::memcmp(bytes.data(), "OggS", 4) != 0) {
    Fail(error, "not an Ogg file");
    return std::nullopt;
  }
  if (!EndsWithFinalPage(bytes)) {
    Fail(error, "the Ogg stream is truncated");
    return std::nullopt;
  }
  TVorbisFile vf;
  if (!vf.Open(bytes)) {
    Fail(error, "not an Ogg Vorbis stream");
    return std::nullopt;
  }
  const vorbis_info* first = ov_info(vf.get(), 0);
  if (!first || (first->channels != 1 && first->channels != 2)) {
    Fail(error, "only mono and stereo Vorbis are read");
    return std::nullopt;
  }
  const int channels = first->channels;
  const long rate = first->rate;
  if (rate < kMinSampleRate || rate > kMaxSampleRate) {
    Fail(error, "the sampling rate is out of range");
    return std::nullopt;
  }
  for (long link = 1; link < ov_streams(vf.get()); ++link) {
    const vorbis_info* info = ov_info(vf.get(), int(link));
    if (!info || info->channels != channels || info->rate != rate) {
      Fail(error, "the chained parts differ in format");
      return std::nullopt;
    }
  }
  const ogg_int64_t stated = ov_pcm_total(vf.get(), -1);
  if (stated < 0) {
    Fail(error, "the Vorbis stream has no length");
    return std::nullopt;
  }
  if (!SizeAcceptable(stated, int(rate), error)) return std::nullopt;
  // The stated length comes from the last page and may lie: the buffer grows with what really
  // decodes, and stops at the limit.
  std::vector<int16_t> pcm;
  char block[8192];
  for (;;) {
    int section = 0;
    long got = ov_read(vf.get(), block, sizeof block, 0, 2, 1, &section);
    if (got == 0) break;
    if (got < 0) {
      Fail(error, "the Vorbis stream is damaged");
      return std::nullopt;
    }
    size_t values = size_t(got) / 2;
    if (int64_t(pcm.size() + values) / channels > kMaxSampleFrames) {
      Fail(error, "the sound is longer than ten minutes");
      return std::nullopt;
    }
    size_t at = pcm.size();
    pcm.resize(at + values);
    std::memcpy(pcm.data() + at, block, values * 2);
  }
  pcm.resize(pcm.size() - pcm.size() % size_t(channels));
  if (!SizeAcceptable(int64_t(pcm.size()) / channels, int(rate), error)) return std::nullopt;
  return Finish(std::move(pcm), channels, int(rate));
}

// ---------------------------------------------------------------------------------------------

std::optional<TDecodedSample> DecodeSample(std::string_view bytes, std::string* error) {
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), "RIFF", 4) == 0)
    return DecodeWav(bytes, error);
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), "OggS", 4) == 0)
    return DecodeOgg(bytes, error);
  Fail(error, bytes.empty() ? "the file is empty" : "neither a WAV nor an Ogg Vorbis file");
  return std::nullopt;
}

std::vector<int16_t> ResampleToMixRate(const std::vector<int16_t>& pcm, int channels, int rate) {
  if (channels <= 0 || rate <= 0) return {};
  if (rate == kAudioRate) return pcm;
  const int64_t inFrames = int64_t(pcm.size()) / channels;
  const int64_t outFrames = inFrames * kAudioRate / rate;
  std::vector<int16_t> out(size_t(outFrames) * size_t(channels));
  // Exact integer positions: output frame j sits at j * rate / kAudioRate input frames.
  for (int64_t j = 0; j < outFrames; ++j) {
    int64_t num = j * rate;
    int64_t i = num / kAudioRate;
    int64_t f = num % kAudioRate;
    int64_t next = std::min(i + 1, inFrames - 1);
    for (int c = 0; c < channels; ++c) {
      int64_t a = pcm[size_t(i * channels + c)];
      int64_t b = pcm[size_t(next * channels + c)];
      int64_t v = a * (kAudioRate - f) + b * f;
      // Rounded to nearest, halves away from zero: symmetric for both signs.
      v = v >= 0 ? (v + kAudioRate / 2) / kAudioRate : -((-v + kAudioRate / 2) / kAudioRate);
      out[size_t(j * channels + c)] = int16_t(v);
    }
  }
  return out;
}

}  // namespace lumessa
