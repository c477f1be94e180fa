// The PCM formats the wave-out devices take, and the RIFF/WAVE files they are
// read from (PlaySoundW) and rendered to (the outputs folder).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ce/audio.h"
#include "device/wav_file.h"

namespace ce::sim {

using device_sound::ParseWav;
using device_sound::PcmFormat;
using device_sound::WavData;

// The format of a WAVEFORMATEX, when it is PCM the devices can play: one or two
// channels, 8 or 16 bits, 8000 to 48000 frames a second, and a block size and
// byte rate that agree with them.
std::optional<PcmFormat> PcmOf(const WAVEFORMATEX& format);

// The WAVE_FORMAT_* bits a device's mask may have for the format: the one bit
// of its rate for 11.025, 22.05 and 44.1 kHz, and for any other rate the bits
// of the same channels and bits at every rate (the device resamples it).
uint32_t FormatBits(const PcmFormat& format);

// The 44-byte header of a PCM WAV file holding dataBytes of samples.
std::string WavHeader(const PcmFormat& format, uint32_t dataBytes);
inline constexpr uint32_t kWavHeaderBytes = 44;

}  // namespace ce::sim
