#include "wav_format.h"

#include <cstring>

namespace ce::sim {
namespace {

void Put16(std::string& out, uint16_t v) {
  out += char(v & 0xFF);
  out += char(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::optional<PcmFormat> PcmOf(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return std::nullopt;
  auto format = device_sound::Playable(f.nChannels, f.nSamplesPerSec, f.wBitsPerSample);
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
