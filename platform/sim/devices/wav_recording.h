// One rendered WAV file in the terminal's outputs folder ("audio"): samples
// are appended as a device plays them, and the header's sizes are rewritten
// after every change, so a reader at any moment finds a valid file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "outputs.h"
#include "wav_format.h"

namespace ce::sim {

class WavRecording {
 public:
  // A new file of the format; nothing when the terminal has no outputs
  // folder to write to (error says why).
  static std::unique_ptr<WavRecording> Begin(const PcmFormat& format, std::string* error);

  WavRecording(PcmFormat format, OutputFile file) : format_(format), file_(std::move(file)) {}
  WavRecording(const WavRecording&) = delete;
  WavRecording& operator=(const WavRecording&) = delete;
  // Finishes the file: its sizes are final.
  ~WavRecording();

  // Appends whole frames, each channel's samples scaled by its volume (0 to
  // 0xFFFF, 0xFFFF leaving them as they are). The left volume serves a mono
  // file.
  void Append(std::span<const uint8_t> frames, uint16_t left, uint16_t right);
  void AppendSilence(uint64_t frames);
  // Cuts the file back to its first frames.
  void TruncateTo(uint64_t frames);
  uint64_t frames() const { return dataBytes_ / format_.frameBytes(); }
  const std::filesystem::path& path() const { return file_.path; }

 private:
  void WriteAt(uint64_t offset, const std::string& bytes);
  void UpdateHeader();

  PcmFormat format_;
  OutputFile file_;
  uint64_t dataBytes_ = 0;
};

// A sample scaled by a volume of 0..0xFFFF, truncated toward silence; 8-bit
// samples are unsigned around 128.
int16_t Scale16(int16_t sample, uint16_t volume);
uint8_t Scale8(uint8_t sample, uint16_t volume);

}  // namespace ce::sim
