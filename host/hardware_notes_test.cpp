// The notes `terminal show` puts after numbers of the hardware state.
#include "hardware_notes.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace qelhost {
namespace {

using nlohmann::json;

TEST(HardwareNotes, SpellOutMasksLevelsGainsAndAbsentDevices) {
  const json state = json::parse(R"({"audio": {"wave_out": {"devices": ["WAV1"]}}})");
  const struct {
    const char* path;
    json value;
    const char* note;
  } rows[] = {
      {"audio.volume", 0xFFFF0000u, "0xFFFF0000: left 0 %, right 100 %"},
      {"audio.wave_out.device.WAV1.formats", 0xFFF, "0xFFF"},
      {"audio.wave_out.device.WAV1.formats", 0xFBF, "0xFBF, without 22.05 kHz 16-bit mono"},
      {"audio.wave_out.device.WAV2.formats", 0xFFF, "0xFFF; not present: not in audio.wave_out.devices"},
      {"audio.wave_out.device.WAV2.name", "Spare", "not present: not in audio.wave_out.devices"},
      {"audio.wave_out.device.WAV1.support", 4, "0x4, volume"},
      {"audio.click.key", 0x10002, "loud"},
      {"audio.click.screen", 7, "no level the audio service knows"},
      {"lxe.audio_gain", -170, "-17.0 dB"},
      {"lxe.audio_gain", 5, "+0.5 dB"},
      {"lxe.audio_gain_fails", true, ""},
      {"audio.volume.extra", 1, ""},
      {"power.battery_life_percent", 50, ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(HardwareNote(state, r.path, r.value), r.note) << r.path << " " << r.value;
}

}  // namespace
}  // namespace qelhost
