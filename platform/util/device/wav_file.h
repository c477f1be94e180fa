// The sounds the device plays: PCM of one or two channels, 8 or 16 bits, 8000
// to 48000 frames a second, and the RIFF/WAVE files that hold them. Shared by
// both backends, so that PlaySoundW refuses the same files on either.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace device_sound {

struct PcmFormat {
  uint16_t channels = 0;  // 1 or 2
  uint32_t rate = 0;      // frames per second
  uint16_t bits = 0;      // 8 (unsigned) or 16 (signed little-endian)

  uint32_t frameBytes() const { return uint32_t(channels) * bits / 8; }
  bool operator==(const PcmFormat&) const = default;
};

// The format, when the device plays it.
std::optional<PcmFormat> Playable(uint16_t channels, uint32_t rate, uint16_t bits);

// A WAV file's format and where its samples lie in it.
struct WavData {
  PcmFormat format;
  std::span<const uint8_t> samples;  // whole frames only
};
// Parses a RIFF/WAVE file held in memory: nothing unless it has a "fmt " chunk
// of PCM (tag 1) in a playable format, followed somewhere by a "data" chunk.
std::optional<WavData> ParseWav(std::span<const uint8_t> file);

}  // namespace device_sound
