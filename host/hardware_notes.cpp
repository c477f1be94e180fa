#include "hardware_notes.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "verbs.h"

namespace qelhost {
namespace {

using nlohmann::json;

std::string Percent(uint32_t level) { return std::to_string((level * 100 + 0x7FFF) / 0xFFFF) + " %"; }

std::string Volume(const json&, const json& v) {
  const auto d = v.get<uint32_t>();
  return Hex(d) + ": left " + Percent(d & 0xFFFF) + ", right " + Percent(d >> 16);
}

// The audio service's tone format is the one a device must take to beep.
std::string Formats(const json&, const json& v) {
  constexpr uint32_t kTone = 0x40;  // WAVE_FORMAT_2M16
  const auto d = v.get<uint32_t>();
  return Hex(d) + ((d & kTone) ? "" : ", without 22.05 kHz 16-bit mono");
}

std::string Support(const json&, const json& v) {
  const auto d = v.get<uint32_t>();
  std::string s = Hex(d);
  if (d & 0x4) s += ", volume";
  if (d & 0x8) s += ", left and right volume";
  return s;
}

std::string Click(const json&, const json& v) {
  switch (v.get<uint32_t>()) {
    case 0:
      return "off";
    case 1:
      return "soft";
    case 0x10002:
      return "loud";
    default:
      return "no level the audio service knows";
  }
}

std::string Gain(const json&, const json& v) {
  char text[24];
  std::snprintf(text, sizeof text, "%+.1f dB", v.get<int64_t>() / 10.0);
  return text;
}

std::string LedMode(const json&, const json& v) {
  switch (v.get<uint32_t>()) {
    case 0:
      return "off";
    case 1:
      return "on";
    default:
      return "blinking";
  }
}

struct Note {
  std::string_view pattern;  // a dotted path, "*" for any one name
  std::string (*note)(const json& state, const json& value);
};

constexpr Note kNotes[] = {
    {"audio.volume", Volume},
    {"audio.wave_out.device.*.formats", Formats},
    {"audio.wave_out.device.*.support", Support},
    {"audio.click.key", Click},
    {"audio.click.screen", Click},
    {"lxe.audio_gain", Gain},
    {"led.device.*.mode", LedMode},
};

// True when path matches pattern; star gets the name the first "*" matched.
bool Matches(std::string_view pattern, std::string_view path, std::string* star) {
  star->clear();
  bool starred = false;
  while (true) {
    const size_t p = pattern.find('.'), q = path.find('.');
    const std::string_view part = pattern.substr(0, p), name = path.substr(0, q);
    if (part == "*") {
      if (!starred) *star = name;
      starred = true;
    } else if (part != name) {
      return false;
    }
    if (p == std::string_view::npos || q == std::string_view::npos) return p == q;
    pattern.remove_prefix(p + 1);
    path.remove_prefix(q + 1);
  }
}

// A device described but not listed does not exist for the terminal.
bool Listed(const json& state, const std::string& device) {
  const json* at = &state;
  for (const char* name : {"audio", "wave_out", "devices"}) {
    if (!at->is_object() || !at->contains(name)) return false;
    at = &(*at)[name];
  }
  if (!at->is_array()) return false;
  for (const auto& d : *at)
    if (d == device) return true;
  return false;
}

}  // namespace

std::string HardwareNote(const json& state, std::string_view path, const json& value) {
  std::string star, note;
  if (Matches("audio.wave_out.device.*.*", path, &star) && !Listed(state, star))
    note = "not present: not in audio.wave_out.devices";
  for (const Note& n : kNotes) {
    if (!Matches(n.pattern, path, &star) || !value.is_number_integer()) continue;
    const std::string more = n.note(state, value);
    note = note.empty() ? more : more + "; " + note;
  }
  return note;
}

}  // namespace qelhost
