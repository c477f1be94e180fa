#include "hardware_schema.h"

#include <array>
#include <cstdint>

namespace ce::sim::hw {
namespace {

#define QEL_HARDWARE_RULE(name, path, type, def) FieldRule{path, Type::type, true},
#define QEL_HARDWARE_GROUP_RULE(path, type) FieldRule{path, Type::type, false},
constexpr FieldRule kRules[] = {QEL_HARDWARE_FIELDS(QEL_HARDWARE_RULE)
                                    QEL_HARDWARE_GROUP_TYPES(QEL_HARDWARE_GROUP_RULE)};
#undef QEL_HARDWARE_GROUP_RULE
#undef QEL_HARDWARE_RULE

// Biases are minutes (UTC = local + bias), at most a day either way; the
// transition dates are the fields of a SYSTEMTIME ("*": standard_date, daylight_date).
constexpr FieldRange kRanges[] = {
    {"time.zone.bias", -1440, 1440, "minutes"},
    {"time.zone.standard_bias", -1440, 1440, "minutes"},
    {"time.zone.daylight_bias", -1440, 1440, "minutes"},
    {"time.zone.*.month", 0, 12, "a month, 0 for no transition"},
    {"time.zone.*.day_of_week", 0, 6, "a day of the week, 0 for Sunday"},
    {"time.zone.*.day", 0, 31, "a day, or the week of the month 1 to 5"},
    {"time.zone.*.hour", 0, 23, "an hour"},
    {"time.zone.*.minute", 0, 59, "a minute"},
    {"time.zone.*.second", 0, 59, "a second"},
    {"time.zone.*.milliseconds", 0, 999, "milliseconds"},
    {"lxe.audio_gain", -170, 290, "tenths of a decibel"},
    {"backlight.brightness_percent", 0, 100, "per cent"},
    {"audio.wave_out.device.*.formats", 0, 0xFFF, "a WAVE_FORMAT_* mask"},
    {"audio.wave_out.device.*.channels", 1, 2, "channels"},
    {"led.count", 0, 32, "LEDs"},
    {"led.device.*.mode", 0, 2, "a mode: 0 off, 1 on, 2 blink"},
    {"led.device.*.total_cycle_time", 0, INT32_MAX, "microseconds"},
    {"led.device.*.on_time", 0, INT32_MAX, "microseconds"},
    {"led.device.*.off_time", 0, INT32_MAX, "microseconds"},
    {"led.device.*.meta_cycle_on", 0, INT32_MAX, "cycles"},
    {"led.device.*.meta_cycle_off", 0, INT32_MAX, "cycles"},
};

// Compares a dotted path with a pattern whose "*" parts match any one name;
// with prefix, the path need only match the pattern's leading parts.
bool Matches(std::string_view pattern, std::string_view path, bool prefix) {
  while (true) {
    const size_t p = pattern.find('.'), q = path.find('.');
    const std::string_view part = pattern.substr(0, p), name = path.substr(0, q);
    if (part != "*" && part != name) return false;
    if (q == std::string_view::npos)
      return prefix ? p != std::string_view::npos : p == std::string_view::npos;
    if (p == std::string_view::npos) return false;
    pattern.remove_prefix(p + 1);
    path.remove_prefix(q + 1);
  }
}

}  // namespace

std::span<const FieldRule> Rules() { return kRules; }

const FieldRule* RuleFor(std::string_view path) {
  for (const FieldRule& rule : kRules)
    if (Matches(rule.path, path, false)) return &rule;
  return nullptr;
}

const FieldRange* RangeFor(std::string_view path) {
  for (const FieldRange& range : kRanges)
    if (Matches(range.path, path, false)) return &range;
  return nullptr;
}

bool IsGroup(std::string_view path) {
  for (const FieldRule& rule : kRules)
    if (Matches(rule.path, path, true)) return true;
  return false;
}

const char* Describe(Type t) {
  switch (t) {
    case Type::Byte:
      return "a whole number from 0 to 255";
    case Type::Word:
      return "a whole number from 0 to 65535";
    case Type::DWord:
      return "a whole number from 0 to 4294967295";
    case Type::Int32:
      return "a whole number from -2147483648 to 2147483647";
    case Type::UInt64:
      return "a whole number from 0 to 18446744073709551615";
    case Type::Int64:
      return "a whole number from 0 to 9223372036854775807";
    case Type::Text:
      return "a text";
    case Type::Flag:
      return "true or false";
    case Type::TextList:
      return "a list of texts";
    case Type::NameList:
      return "a list of distinct names (not empty, without dots or control characters) such as [\"PXA27X1\"]";
    case Type::Hex:
      return "an even number of hexadecimal digits such as \"0A1B2C\" (empty for none)";
    case Type::Mac:
      return "six hexadecimal bytes between dashes or colons such as \"00-1A-2B-3C-4D-5E\" (empty for none)";
    case Type::Ipv4:
      return "an IPv4 address in dotted form such as \"10.0.0.1\"";
    case Type::Ipv4OrNone:
      return "an IPv4 address in dotted form such as \"10.0.0.1\" (empty for none)";
    case Type::Ipv4List:
      return "a list of IPv4 addresses in dotted form such as [\"10.0.0.1\"]";
  }
  return "?";
}

}  // namespace ce::sim::hw
