// The PCM formats the wave-out devices take, and the RIFF/WAVE files they are
// read from (PlaySoundW) and rendered to (the outputs folder).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ce/audio.h"

namespace ce::sim {

struct PcmFormat {
  uint16_t channels = 0;  // 1 or 2
  uint32_t rate = 0;      // frames per second
  uint16_t bits = 0;      // 8 (unsigned) or 16 (signed little-endian)

  uint32_t frameBytes() const { return uint32_t(channels) * bits / 8; }
  bool operator==(const PcmFormat&) const = default;
};

// The format of a WAVEFORMATEX, when it is PCM the devices can play: one or two
// channels, 8 or 16 bits, 8000 to 48000 frames a second, and a block size and
// byte rate that agree with them.
std::optional<PcmFormat> PcmOf(const WAVEFORMATEX& format);

// The WAVE_FORMAT_* bits a device's mask may have for the format: the one bit
// of its rate for 11.025, 22.05 and 44.1 kHz, and for any other rate the bits
// of the same channels and bits at every rate (the device resamples it).
uint32_t FormatBits(const PcmFormat& format);

// A WAV file's format and where its samples lie in it.
struct WavData {
  PcmFormat format;
  std::span<const uint8_t> samples;  // whole frames only
};
// Parses a RIFF/WAVE file held in memory: nothing unless it has a "fmt " chunk
// of PCM (tag 1) in a format PcmOf accepts, followed somewhere by a "data" chunk.
std::optional<WavData> ParseWav(std::span<const uint8_t> file);

// The 44-byte header of a PCM WAV file holding dataBytes of samples.
std::string WavHeader(const PcmFormat& format, uint32_t dataBytes);
inline constexpr uint32_t kWavHeaderBytes = 44;

}  // namespace ce::sim
