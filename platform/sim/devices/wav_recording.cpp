#include "wav_recording.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ce::sim {
namespace {

// RIFF sizes are 32 bits: a file stops growing before they would wrap.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFu - 36;

}  // namespace

int16_t Scale16(int16_t sample, uint16_t volume) { return int16_t(int32_t(sample) * volume / 0xFFFF); }

uint8_t Scale8(uint8_t sample, uint16_t volume) {
  return uint8_t((int32_t(sample) - 128) * volume / 0xFFFF + 128);
}

std::unique_ptr<WavRecording> WavRecording::Begin(const PcmFormat& format, std::string* error) {
  auto file = OpenOutput("audio", "wav", error);
  if (!file) return nullptr;
  auto recording = std::make_unique<WavRecording>(format, std::move(*file));
  recording->UpdateHeader();
  return recording;
}

WavRecording::~WavRecording() {
  std::string ignored;
  FinishOutput(std::move(file_), &ignored);
}

void WavRecording::WriteAt(uint64_t offset, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(file_.fd.get(), bytes.data() + done, bytes.size() - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a full disk loses the output, never the playing
    done += size_t(n);
  }
}

void WavRecording::UpdateHeader() { WriteAt(0, WavHeader(format_, uint32_t(dataBytes_))); }

void WavRecording::Append(std::span<const uint8_t> frames, uint16_t left, uint16_t right) {
  const uint32_t frameBytes = format_.frameBytes();
  size_t bytes = frames.size() - frames.size() % frameBytes;
  bytes = size_t(std::min<uint64_t>(bytes, (kMaxDataBytes - dataBytes_) / frameBytes * frameBytes));
  if (bytes == 0) return;
  std::string out(bytes, '\0');
  const uint32_t sampleBytes = format_.bits / 8;
  for (size_t i = 0; i < bytes; i += sampleBytes) {
    const bool isRight = format_.channels == 2 && (i / sampleBytes) % 2 == 1;
    const uint16_t volume = isRight ? right : left;
    if (sampleBytes == 1) {
      out[i] = char(Scale8(frames[i], volume));
    } else {
      const auto s = Scale16(int16_t(uint16_t(frames[i] | frames[i + 1] << 8)), volume);
      out[i] = char(uint16_t(s) & 0xFF);
      out[i + 1] = char(uint16_t(s) >> 8);
    }
  }
  WriteAt(kWavHeaderBytes + dataBytes_, out);
  dataBytes_ += bytes;
  UpdateHeader();
}

void WavRecording::AppendSilence(uint64_t frames) {
  const uint32_t frameBytes = format_.frameBytes();
  uint64_t bytes = std::min(frames * frameBytes, (kMaxDataBytes - dataBytes_) / frameBytes * frameBytes);
  const char silent = format_.bits == 8 ? char(128) : '\0';
  const std::string block(64 * 1024 - (64 * 1024) % frameBytes, silent);
  while (bytes > 0) {
    const size_t n = size_t(std::min<uint64_t>(bytes, block.size()));
    WriteAt(kWavHeaderBytes + dataBytes_, block.substr(0, n));
    dataBytes_ += n;
    bytes -= n;
  }
  UpdateHeader();
}

void WavRecording::TruncateTo(uint64_t frames) {
  const uint64_t bytes = frames * format_.frameBytes();
  if (bytes >= dataBytes_) return;
  dataBytes_ = bytes;
  UpdateHeader();
  while (::ftruncate(file_.fd.get(), off_t(kWavHeaderBytes + dataBytes_)) != 0 && errno == EINTR) {
  }
}

}  // namespace ce::sim
