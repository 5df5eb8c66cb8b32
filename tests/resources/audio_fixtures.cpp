#include "audio_fixtures.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace lumessa::test {

namespace {

void Put16(std::string& s, uint32_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8 & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void PutBe16(std::string& s, uint32_t v) {
  s += char(v >> 8 & 0xFF);
  s += char(v & 0xFF);
}

float Clamp1(float v) {
  return std::clamp(v, -1.0f, 1.0f);
}

}  // namespace

std::string MakeWav(uint16_t formatTag, int channels, int rate, int bits, std::string_view data,
                    bool extensible) {
  std::string fmt;
  Put16(fmt, extensible ? 0xFFFE : formatTag);
  Put16(fmt, uint32_t(channels));
  Put32(fmt, uint32_t(rate));
  Put32(fmt, uint32_t(rate * channels * bits / 8));
  Put16(fmt, uint32_t(channels * bits / 8));
  Put16(fmt, uint32_t(bits));
  if (extensible) {
    Put16(fmt, 22);  // extension size
    Put16(fmt, uint32_t(bits));
    Put32(fmt, channels == 2 ? 3 : 4);  // speaker mask
    Put16(fmt, formatTag);
    const unsigned char tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                    0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    fmt.append(reinterpret_cast<const char*>(tail), sizeof tail);
  }
  std::string body = "WAVE";
  body += "fmt ";
  Put32(body, uint32_t(fmt.size()));
  body += fmt;
  body += "data";
  Put32(body, uint32_t(data.size()));
  body += data;
  if (data.size() % 2) body += '\0';
  std::string file = "RIFF";
  Put32(file, uint32_t(body.size()));
  return file + body;
}

std::string Pcm16Data(const std::vector<float>& values) {
  std::string s;
  for (float v : values)
    Put16(s, uint32_t(std::clamp(std::lrint(v * 32768.0f), -32768l, 32767l)) & 0xFFFF);
  return s;
}

std::string Float32Data(const std::vector<float>& values) {
  std::string s(values.size() * 4, '\0');
  std::memcpy(s.data(), values.data(), s.size());
  return s;
}

std::string Pcm8Data(const std::vector<float>& values) {
  std::string s;
  for (float v : values) s += char(std::clamp(128 + int(std::lrint(Clamp1(v) * 128.0f)), 0, 255));
  return s;
}

std::string MakeWav16(const std::vector<float>& values, int channels, int rate) {
  return MakeWav(1, channels, rate, 16, Pcm16Data(values));
}

std::string EncodeOgg(const std::vector<float>& values, int channels, int rate) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) != 0) {
    vorbis_info_clear(&vi);
    throw std::runtime_error("vorbis encoder refused the format");
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x4C554D45);

  std::string out;
  ogg_page page;
  auto append = [&out](const ogg_page& p) {
    out.append(reinterpret_cast<const char*>(p.header), size_t(p.header_len));
    out.append(reinterpret_cast<const char*>(p.body), size_t(p.body_len));
  };
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  while (ogg_stream_flush(&os, &page) != 0) append(page);

  const size_t frames = values.size() / size_t(channels);
  size_t at = 0;
  bool ended = false;
  while (!ended) {
    const size_t n = std::min<size_t>(1024, frames - at);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);  // end of input
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, int(n));
      for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
          buffer[c][i] = values[(at + i) * size_t(channels) + size_t(c)];
      vorbis_analysis_wrote(&vd, int(n));
      at += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet) == 1) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page) != 0) {
          append(page);
          if (ogg_page_eos(&page)) ended = true;
        }
      }
    }
    if (n == 0 && !ended) {
      while (ogg_stream_flush(&os, &page) != 0) append(page);
      ended = true;
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

std::string MakeModule(int channels, int rows) {
  if (channels != 4 && channels != 8) throw std::invalid_argument("4 or 8 channels");
  rows = std::clamp(rows, 1, 64);
  constexpr int kWaveBytes = 64;
  std::string mod(20, '\0');
  std::memcpy(mod.data(), "lumessa test tune", 17);
  // 31 sample headers: name, length and loop in words, finetune, volume.
  for (int s = 0; s < 31; ++s) {
    std::string name(22, '\0');
    mod += name;
    const bool used = s == 0;
    PutBe16(mod, used ? kWaveBytes / 2 : 0);
    mod += '\0';                 // finetune
    mod += char(used ? 64 : 0);  // volume
    PutBe16(mod, 0);             // loop start
    PutBe16(mod, used ? kWaveBytes / 2 : 1);
  }
  mod += char(1);                 // song length: one order
  mod += char(127);               // restart byte
  mod += std::string(128, '\0');  // order table: pattern 0
  mod += channels == 4 ? "M.K." : "8CHN";
  // Pattern 0: new notes every four rows, a different one on each voice.
  const int periods[8] = {428, 381, 339, 320, 285, 254, 226, 214};
  for (int row = 0; row < 64; ++row) {
    for (int c = 0; c < channels; ++c) {
      int period = 0, sample = 0, effect = 0, param = 0;
      if (row % 4 == 0 && row < rows) {
        period = periods[(row / 4 + c) % 8];
        sample = 1;
      }
      if (c == 0 && row == rows - 1 && rows < 64) effect = 0xD;  // pattern break: the song ends
      mod += char((sample & 0xF0) | (period >> 8 & 0x0F));
      mod += char(period & 0xFF);
      mod += char((sample & 0x0F) << 4 | effect);
      mod += char(param);
    }
  }
  // The wave: a saw tooth, signed 8-bit.
  for (int i = 0; i < kWaveBytes; ++i) mod += char(int8_t(-100 + i * 200 / (kWaveBytes - 1)));
  return mod;
}

std::vector<float> Sine(int frames, double hz, int rate, double amplitude) {
  std::vector<float> v(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i)
    v[size_t(i)] = float(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
  return v;
}

std::vector<float> Constant(int frames, int channels, float value) {
  return std::vector<float>(size_t(frames) * size_t(channels), value);
}

}  // namespace lumessa::test
