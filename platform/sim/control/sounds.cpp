#include "sounds.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

#include "wav_format.h"

namespace ce::sim {
namespace {

using nlohmann::json;

constexpr int64_t kMaxTotalMs = 10'000;
// Half of full scale: loud enough to measure, short of clipping when mixed.
constexpr double kAmplitude = 0.5;

bool WholeIn(const json& v, int64_t lo, int64_t hi) {
  return v.is_number_integer() && v.get<int64_t>() >= lo && v.get<int64_t>() <= hi;
}

}  // namespace

std::string SoundProblem(const json& d) {
  if (!d.is_object()) return "is not an object of rate, bits and tones";
  if (!d.contains("rate") || !WholeIn(d["rate"], 8000, 48000)) return "\"rate\" must be 8000 to 48000";
  if (!d.contains("bits") || !(d["bits"] == 8 || d["bits"] == 16)) return "\"bits\" must be 8 or 16";
  if (!d.contains("tones") || !d["tones"].is_array() || d["tones"].empty())
    return "\"tones\" must be a list of [hertz, milliseconds]";
  int64_t total = 0;
  for (const json& t : d["tones"]) {
    if (!t.is_array() || t.size() != 2 || !WholeIn(t[0], 0, 20000) || !WholeIn(t[1], 1, 10000))
      return "a tone must be [hertz 0 to 20000, milliseconds 1 to 10000], not " + t.dump();
    total += t[1].get<int64_t>();
  }
  if (total > kMaxTotalMs) return "its tones last " + std::to_string(total) + " ms; the limit is 10000";
  for (const auto& [key, value] : d.items())
    if (key != "rate" && key != "bits" && key != "tones")
      return "has \"" + key + "\", which is not rate, bits or tones";
  return {};
}

std::string MakeSound(const json& d) {
  const PcmFormat format{1, d["rate"].get<uint32_t>(), d["bits"].get<uint16_t>()};
  std::string samples;
  for (const json& t : d["tones"]) {
    const double hertz = t[0].get<double>();
    const int64_t frames = t[1].get<int64_t>() * format.rate / 1000;
    // Each tone starts at phase 0, so that it begins and (nearly) ends at silence.
    for (int64_t i = 0; i < frames; ++i) {
      const double v = kAmplitude * std::sin(2 * std::numbers::pi * hertz * double(i) / format.rate);
      if (format.bits == 8) {
        samples += char(uint8_t(std::lround(128 + v * 127)));
      } else {
        const auto s = uint16_t(int16_t(std::lround(v * 32767)));
        samples += char(s & 0xFF);
        samples += char(s >> 8);
      }
    }
  }
  return WavHeader(format, uint32_t(samples.size())) + samples;
}

}  // namespace ce::sim
