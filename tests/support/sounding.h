// The stretches of sound in rendered samples, and the WAV files a terminal's
// wave-out devices rendered.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace qeltest {

struct Segment {
  size_t first, count;  // in samples
};

// Runs of sound (samples -1..1), split where they stay silent for more than
// 5 ms: a tone's own zero crossings are far shorter.
inline std::vector<Segment> Sounding(const std::vector<double>& samples, double rate) {
  std::vector<Segment> out;
  const auto gap = size_t(rate * 0.005);
  size_t quiet = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(samples[i]) < 0.003) {
      ++quiet;
      continue;
    }
    if (out.empty() || quiet > gap)
      out.push_back({i, 1});
    else
      out.back().count = i - out.back().first + 1;
    quiet = 0;
  }
  return out;
}

// The WAV files of the terminal's "audio" outputs, oldest first.
inline std::vector<std::filesystem::path> RenderedWavs(const std::filesystem::path& terminal) {
  std::vector<std::filesystem::path> all;
  const auto dir = terminal / "outputs" / "audio";
  if (std::filesystem::is_directory(dir))
    for (const auto& e : std::filesystem::directory_iterator(dir))
      if (e.path().extension() == ".wav") all.push_back(e.path());
  std::sort(all.begin(), all.end());
  return all;
}

// The samples of a 16-bit mono PCM WAV file, -1..1; empty for any other file.
inline std::vector<double> Mono16Samples(const std::filesystem::path& wav) {
  std::ifstream in(wav, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<double> out;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    uint32_t size = 0;
    std::memcpy(&size, &bytes[at + 4], 4);
    if (std::memcmp(&bytes[at], "data", 4) == 0) {
      for (size_t i = at + 8; i + 2 <= std::min(bytes.size(), at + 8 + size); i += 2) {
        int16_t s;
        std::memcpy(&s, &bytes[i], 2);
        out.push_back(s / 32768.0);
      }
      break;
    }
    at += 8 + size + (size & 1);
  }
  return out;
}

}  // namespace qeltest
