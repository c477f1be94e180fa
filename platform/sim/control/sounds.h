// The short sounds a profile gives its terminal ("sounds": device path ->
// description), made when the terminal is made: sine tones and pauses in a
// PCM format, written as WAV files. A profile describes them rather than
// carrying them, so that no sound file comes from anywhere but this build.
//
//   "\\Windows\\alarm.wav": {"rate": 22050, "bits": 16, "tones": [[880, 150], [0, 50], [660, 150]]}
//
// A tone is [hertz, milliseconds]; 0 Hz is a pause. Mono; rate 8000 to 48000,
// bits 8 or 16, tones of 0 to 20000 Hz and 1 to 10000 ms, 10 s at most in all.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace ce::sim {

// What is wrong with a sound's description, in words; empty when nothing is.
std::string SoundProblem(const nlohmann::json& description);
// The WAV file the description makes (one SoundProblem accepts).
std::string MakeSound(const nlohmann::json& description);

}  // namespace ce::sim
