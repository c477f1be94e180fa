// The simulated terminal's own verbs: its hardware state shown and changed,
// its serial ports plugged, and the profiles terminals are made from.
#include "verbs_terminal.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <iomanip>
#include <nlohmann/json.hpp>

#include "ce/message.h"
#include "ce/sim/control.h"
#include "ce/window.h"
#include "hardware_notes.h"

namespace qelhost {
namespace {

using json = nlohmann::ordered_json;

// Flattens the hardware JSON into "a.b.c = value" lines, each with what the
// value means where a number alone says little ("  (0xFFF)").
void Flatten(std::ostream& out, const nlohmann::json& state, const nlohmann::json& j,
             const std::string& prefix) {
  if (j.is_object() && !j.empty()) {
    for (const auto& [k, v] : j.items()) Flatten(out, state, v, prefix.empty() ? k : prefix + "." + k);
    return;
  }
  out << Printable(prefix) << " = " << j.dump();
  if (const std::string note = HardwareNote(state, prefix, j); !note.empty()) out << "  (" << note << ")";
  out << "\n";
}

// The input panel as the terminal's window system has it now. (The module's
// keyboard service of every qelhost hides it when it ends.)
nlohmann::json InputPanel() {
  ce::HWND panel = ce::FindWindowW(u"SipWndClass", nullptr);
  ce::RECT r{};
  if (!panel || !ce::GetWindowRect(panel, &r)) return {{"present", false}};
  const bool shown = (ce::GetWindowLongW(panel, GWL_STYLE) & WS_VISIBLE) != 0;
  return {{"present", true}, {"shown", shown}, {"rect", {r.left, r.top, r.right, r.bottom}}};
}

}  // namespace

int ShowTerminal(const Output& o) {
  std::string error;
  auto hw = ce::sim::ReadHardware(&error);
  if (!hw) {
    o.err << "qelhost: " << Printable(error) << "\n";
    return kUsage;
  }
  (*hw)["input_panel"] = InputPanel();
  if (o.json)
    o.out << hw->dump(2) << "\n";
  else
    Flatten(o.out, *hw, *hw, "");
  return kOk;
}

int SetTerminal(const std::string& key, const std::string& value, const Output& o) {
  // Blanks around a value make it text: " 5" is no more a number than "+5" is.
  const bool blanks =
      !value.empty() && (std::isspace(uint8_t(value.front())) || std::isspace(uint8_t(value.back())));
  nlohmann::json parsed = blanks ? nlohmann::json(nlohmann::json::value_t::discarded)
                                 : nlohmann::json::parse(value, nullptr, false);
  if (parsed.is_discarded()) {
    // A bare word is taken as text, so `terminal set oem_info IA32` works unquoted;
    // the field's own type still decides whether text fits.
    parsed = value;
  }
  std::string error;
  if (!ce::sim::SetHardware(key, parsed, &error)) {
    o.err << "qelhost: terminal set: " << Printable(error) << "\n";
    return kUsage;
  }
  if (o.json)
    o.out << json{{"key", key}, {"value", json::parse(parsed.dump())}, {"ok", true}}.dump(2) << "\n";
  return kOk;
}

int PlugSerialPort(const std::string& port, bool off, const Output& o) {
  std::string error;
  std::optional<std::string> path;
  if (off ? !ce::sim::UnplugSerialPort(port, &error)
          : !(path = ce::sim::PlugSerialPortIntoPty(port, &error))) {
    o.err << "qelhost: terminal serial: " << Printable(error) << "\n";
    return kFailed;
  }
  if (o.json)
    o.out << json{{"port", port}, {"path", path ? json(*path) : json()}}.dump(2) << "\n";
  else if (path)
    o.out << *path << "\n";
  return kOk;
}

int ListProfiles(const Output& o) {
  json all = json::array();
  for (const auto& name : ce::sim::ProfileNames()) {
    const auto p = ce::sim::BuiltinProfile(name);
    const std::string description = p ? p->value("description", "") : "";
    if (o.json)
      all.push_back(
          {{"name", name}, {"description", description}, {"default", name == ce::sim::DefaultProfileName()}});
    else
      o.out << std::left << std::setw(12) << name << "  " << description
            << (name == ce::sim::DefaultProfileName() ? "  (default)" : "") << "\n";
  }
  if (o.json) o.out << all.dump(2) << "\n";
  return kOk;
}

Verb TerminalVerb() {
  return VerbGroup("terminal", "show or change the simulated terminal's hardware state");
}

Verb TerminalShowVerb() {
  return MakeVerb("terminal show", "print the hardware state", Needs::kTerminal,
                  [](const VerbContext& c) { return ShowTerminal(c.out); });
}

Verb TerminalSetVerb() {
  struct Options {
    std::string key, value;
  };
  return MakeVerb<Options>(
      "terminal set", "change one field of the hardware state", Needs::kTerminal,
      [](CLI::App& verb, Options& o) {
        verb.add_option("KEY", o.key, "dotted path into the hardware JSON, e.g. power.battery_life_percent")
            ->required();
        verb.add_option("VALUE", o.value, "a JSON value (a bare word is taken as text)")->required();
      },
      [](const Options& o, const VerbContext& c) { return SetTerminal(o.key, o.value, c.out); });
}

Verb TerminalSerialVerb() {
  struct Options {
    std::string port;
    bool off = false;
  };
  return MakeVerb<Options>(
      "terminal serial",
      "plug a serial port into a new pseudo-terminal and print the path of the line's far end "
      "(for picocom, socat or a test; it lasts until the port is plugged elsewhere or the terminal is "
      "removed)",
      Needs::kTerminal,
      [](CLI::App& verb, Options& o) {
        verb.add_option("PORT", o.port, "the port, a device of kind serial, e.g. COM1")->required();
        verb.add_flag("--off", o.off, "unplug the port instead, and wait until its relay has ended");
      },
      [](const Options& o, const VerbContext& c) { return PlugSerialPort(o.port, o.off, c.out); });
}

Verb ProfilesVerb() {
  return MakeVerb("profiles", "list the built-in terminal profiles", Needs::kNothing,
                  [](const VerbContext& c) { return ListProfiles(c.out); });
}
}  // namespace qelhost
