// The control API over the simulated kernel's terminal.
#include "ce/sim/control.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "ce/power.h"
#include "drivers.h"
#include "hardware_state.h"
#include "kernel.h"
#include "object_store.h"
#include "serial_port.h"
#include "sound_player.h"
#include "terminal.h"
#include "terminal_events.h"
#include "terminal_objects.h"
#include "utf.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;

const char* const kTerminalEnv = kTerminalEnvName;

bool IsTerminal(const fs::path& dir) { return IsTerminalDir(dir); }

bool UseTerminal(const fs::path& dir, std::string* error) {
  TerminalObjects::SetBootHook(&HonourReboot);
  if (IsTerminalDir(dir) && !TerminalObjects::Boot(dir, error)) return false;
  auto t = Terminal::Open(dir, error);
  if (!t || !t->Join(error)) return false;
  Kernel::Get().terminal.Choose(std::move(t));
  return true;
}

void CloseTerminal() { Kernel::Get().terminal.Forget(); }

void OnTerminalDown(std::function<void(bool cold, bool asked)> handler) {
  TerminalObjects::SetDownHandler(std::move(handler));
}

std::optional<fs::path> CurrentTerminalDir() {
  auto t = Current();
  if (!t) return std::nullopt;
  return t->dir();
}

std::optional<json> ReadHardware(std::string* error) {
  auto t = Current();
  if (!t) {
    if (error) *error = "no terminal is open";
    return std::nullopt;
  }
  return t->hardware();
}

namespace {

// A device of the table (kernel.devices.<name>) is set to a kind of driver
// this build has, under a name no other device has in another case.
bool CheckDeviceChange(Terminal& t, std::string_view key, const json& value, std::string* error) {
  const std::string ports = std::string(kSerialPortTable) + ".";
  if (key.starts_with(ports) && !IsDeviceName(FromUtf8(key.substr(ports.size())))) {
    if (error)
      *error = std::string(key) + ": not a port name (three letters, a digit and a colon, such as \"COM1:\")";
    return false;
  }
  const std::string table(kDeviceTable);
  if (!key.starts_with(table + ".")) return true;
  const json hardware = t.hardware();
  const json* now = FindField(hardware, table);
  json devices = now && now->is_object() ? *now : json::object();
  devices[std::string(key.substr(table.size() + 1))] = value;
  const std::string problem = DeviceTableProblem(devices);
  if (problem.empty()) return true;
  if (error) *error = problem;
  return false;
}

}  // namespace

bool SetHardware(std::string_view key, const json& value, std::string* error) {
  auto t = Current();
  if (!t) {
    if (error) *error = "no terminal is open";
    return false;
  }
  if (!CheckDeviceChange(*t, key, value, error)) return false;
  return t->set_hardware(std::string(key), value, error);
}

std::optional<json> TerminalObjectsNow(std::string* error) {
  auto objects = CurrentObjects();
  if (!objects) {
    if (error) *error = "no terminal is open";
    return std::nullopt;
  }
  auto text = objects->List(error);
  if (!text) return std::nullopt;
  json listing = json::parse(*text, nullptr, false);
  if (!listing.is_object()) {
    if (error) *error = "the terminal's object server answered with something that is not a listing";
    return std::nullopt;
  }
  listing["self"] = objects->processId();
  return listing;
}

namespace {

bool Announce(const std::string& line, std::string* error) {
  auto t = Current();
  if (!t) {
    if (error) *error = "no terminal is open";
    return false;
  }
  return AppendTerminalEvent(t->dir(), line, error);
}

}  // namespace

bool DeliverPowerRecord(const std::vector<uint8_t>& record, std::string* error) {
  return Announce(PowerEventRecord(record), error);
}

bool DeliverPowerBroadcast(uint32_t message, uint32_t flags, std::u16string_view state, std::string* error) {
  const DWORD nameBytes = DWORD((state.size() + 1) * sizeof(char16_t));
  std::vector<uint8_t> record(
      std::max<size_t>(sizeof(POWER_BROADCAST), offsetof(POWER_BROADCAST, SystemPowerState) + nameBytes));
  POWER_BROADCAST header{message, flags, nameBytes, {0}};
  std::memcpy(record.data(), &header, offsetof(POWER_BROADCAST, SystemPowerState));
  std::memcpy(record.data() + offsetof(POWER_BROADCAST, SystemPowerState), state.data(),
              state.size() * sizeof(char16_t));
  return DeliverPowerRecord(record, error);
}

bool Suspend(std::string* error) {
  return DeliverPowerBroadcast(PBT_TRANSITION, POWER_STATE_SUSPEND, u"suspend", error);
}

bool Resume(std::string* error) {
  return DeliverPowerBroadcast(PBT_RESUME, 0, u"", error) &&
         DeliverPowerBroadcast(PBT_TRANSITION, POWER_STATE_ON, u"on", error) && WakeUp(error);
}

bool PowerStatusChanged(std::string* error) {
  return DeliverPowerBroadcast(PBT_POWERSTATUSCHANGE, 0, u"", error);
}

bool WakeUp(std::string* error) { return Announce("wakeup", error); }

int LostTraceError() { return trace::LostError(); }

void SetProgramPath(std::u16string_view devicePath) {
  ProgramPath& program = Kernel::Get().program;
  std::lock_guard lock(program.mu);
  program.path = devicePath;
}

namespace {
std::shared_ptr<SoundPlayer> CurrentSound() {
  auto& slot = Kernel::Get().sound;
  std::lock_guard lock(slot.mu);
  return slot.current;
}
}  // namespace

bool SoundPlays() {
  const auto sound = CurrentSound();
  return sound && !sound->ended();
}

void WaitForSoundEnd() {
  if (const auto sound = CurrentSound()) sound->Wait();
}

void SilenceProcess() {
  std::shared_ptr<SoundPlayer> taken;
  {
    auto& slot = Kernel::Get().sound;
    std::lock_guard lock(slot.mu);
    taken = std::move(slot.current);
  }
  if (taken) taken->Stop();
  for (const auto& open : Kernel::Get().waveOuts.All()) {
    open->Reset();
    open->Close();
  }
}

}  // namespace ce::sim
