#include "wav_file.h"

#include <algorithm>
#include <cstring>

namespace device_sound {
namespace {

constexpr uint32_t kMinRate = 8000, kMaxRate = 48000;
constexpr uint16_t kPcm = 1;  // WAVE_FORMAT_PCM

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::optional<PcmFormat> Playable(uint16_t channels, uint32_t rate, uint16_t bits) {
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < kMinRate || rate > kMaxRate)
    return std::nullopt;
  return PcmFormat{channels, rate, bits};
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
      if (Le16(f) != kPcm) return std::nullopt;
      format = Playable(Le16(f + 2), Le32(f + 4), Le16(f + 14));
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

}  // namespace device_sound
