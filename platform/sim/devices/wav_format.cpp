#include "wav_format.h"

#include <cstring>

namespace ce::sim {
namespace {

constexpr uint32_t kMinRate = 8000, kMaxRate = 48000;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Put16(std::string& out, uint16_t v) {
  out += char(v & 0xFF);
  out += char(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}

std::optional<PcmFormat> Accept(uint16_t channels, uint32_t rate, uint16_t bits) {
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < kMinRate || rate > kMaxRate)
    return std::nullopt;
  return PcmFormat{channels, rate, bits};
}

}  // namespace

std::optional<PcmFormat> PcmOf(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return std::nullopt;
  auto format = Accept(f.nChannels, f.nSamplesPerSec, f.wBitsPerSample);
  if (!format || f.nBlockAlign != format->frameBytes() ||
      f.nAvgBytesPerSec != format->frameBytes() * format->rate)
    return std::nullopt;
  return format;
}

uint32_t FormatBits(const PcmFormat& f) {
  // Within one rate the bits go 1M08, 1S08, 1M16, 1S16; rates are 4 bits apart.
  const uint32_t kind = 1u << ((f.channels == 2 ? 1 : 0) + (f.bits == 16 ? 2 : 0));
  switch (f.rate) {
    case 11025:
      return kind;
    case 22050:
      return kind << 4;
    case 44100:
      return kind << 8;
    default:
      return kind | kind << 4 | kind << 8;
  }
}

std::optional<WavData> ParseWav(std::span<const uint8_t> file) {
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
      std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;
  std::optional<PcmFormat> format;
  size_t at = 12;
  while (at + 8 <= file.size()) {
    const uint8_t* chunk = file.data() + at;
    const uint32_t size = Le32(chunk + 4);
    const size_t body = at + 8;
    const size_t available = file.size() - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || size > available) return std::nullopt;
      const uint8_t* f = chunk + 8;
      if (Le16(f) != WAVE_FORMAT_PCM) return std::nullopt;
      format = Accept(Le16(f + 2), Le32(f + 4), Le16(f + 14));
      if (!format || Le16(f + 12) != format->frameBytes()) return std::nullopt;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!format) return std::nullopt;  // the format comes first
      // A writer that died may have left the size short or too large: take what is there.
      const size_t bytes = std::min<size_t>(size, available);
      return WavData{*format, file.subspan(body, bytes - bytes % format->frameBytes())};
    }
    if (size > available) return std::nullopt;
    at = body + size + (size & 1);  // chunks are padded to even sizes
  }
  return std::nullopt;
}

std::string WavHeader(const PcmFormat& f, uint32_t dataBytes) {
  std::string h;
  h.reserve(kWavHeaderBytes);
  h += "RIFF";
  Put32(h, 36 + dataBytes);
  h += "WAVEfmt ";
  Put32(h, 16);
  Put16(h, WAVE_FORMAT_PCM);
  Put16(h, f.channels);
  Put32(h, f.rate);
  Put32(h, f.rate * f.frameBytes());
  Put16(h, uint16_t(f.frameBytes()));
  Put16(h, f.bits);
  h += "data";
  Put32(h, dataBytes);
  return h;
}

}  // namespace ce::sim
