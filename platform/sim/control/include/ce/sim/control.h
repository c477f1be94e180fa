// Control of the simulated terminal: making terminals from profiles, choosing
// the one this process runs on, and reading or changing its hardware state.
// Tests and qelhost use this; the module never does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ce::sim {

using Json = nlohmann::json;

// The environment variable naming the terminal a process uses when nothing has
// chosen one through UseTerminal.
extern const char* const kTerminalEnv;

// Built-in profiles; the default (the terminal this build is for) comes first.
std::vector<std::string> ProfileNames();
std::string DefaultProfileName();
std::optional<Json> BuiltinProfile(std::string_view name);

// Limits on what a profile may ask for (README.md, "A terminal"): the size of a
// profile file, the files and folders it makes, and its registry seed.
inline constexpr uint64_t kMaxProfileFileBytes = 16u << 20;
inline constexpr size_t kMaxProfileEntries = 20000;
inline constexpr size_t kMaxProfileRegistryKeys = 20000;
inline constexpr size_t kMaxProfileRegistryValues = 100000;

// A built-in name, or the path of a JSON profile file. On failure, error names
// the file and says what is wrong with it.
std::optional<Json> LoadProfile(std::string_view nameOrPath, std::string* error);

enum class IfTerminalExists {
  kFail,  // dir must not exist, or be an empty folder
  kUse,   // a terminal already in dir (made by another process meanwhile, say) is success
};

// Makes a terminal in dir. Safe against other processes making the same
// terminal at once (they take turns; see IfTerminalExists), and it removes
// the leftovers of makers that were killed. An existing empty folder is filled
// and kept. On failure nothing is left behind and error says why.
bool CreateTerminal(const std::filesystem::path& dir, const Json& profile, std::string* error,
                    IfTerminalExists ifExists = IfTerminalExists::kFail);
bool IsTerminal(const std::filesystem::path& dir);

// Chooses the terminal of this process (replacing any earlier choice).
bool UseTerminal(const std::filesystem::path& dir, std::string* error);
// Forgets the choice; the next call falls back to the environment variable.
void CloseTerminal();
// What this process does when its terminal goes down (a reboot, from any
// process of it); cold: the next boot clears the object store; asked: this
// process asked for the reboot. Called on a thread of its own, or in the call
// that finds the terminal gone; it must not use the terminal. Without one
// the process ends when it hears (status 0 when it asked, else 1), with a
// line on standard error, as a terminal's processes do.
void OnTerminalDown(std::function<void(bool cold, bool asked)> handler);
std::optional<std::filesystem::path> CurrentTerminalDir();

// What the current terminal holds now, from its object server: "processes"
// (id, name, kind "host" or "program", alive, pid or exit_code), "objects"
// (kind, name, state, handles, and per kind manual_reset, owner_process and
// owner_thread, abandoned, count and maximum), "windows", and "self": this
// process's id on the terminal.
std::optional<Json> TerminalObjectsNow(std::string* error);

// The hardware state of the current terminal.
std::optional<Json> ReadHardware(std::string* error);
// key: a dotted path into the hardware JSON ("power.battery_life_percent").
// The field must exist already and keep its JSON type (numbers stay numbers).
bool SetHardware(std::string_view key, const Json& value, std::string* error);

// Serial ports of the current terminal (devices of kind "serial", named with
// or without their colon: "COM1" or "COM1:"). Plugs the
// port into a new pseudo-terminal, relayed to a second one whose slave path it
// returns: the far end of the line, for a terminal program or a test, after
// this process has ended too. The relay (qelserialrelay, detached) ends when
// the terminal is removed or the port is plugged into anything else. Null with
// error set when the terminal has no such port or no relay could start.
std::optional<std::string> PlugSerialPortIntoPty(std::string_view port, std::string* error);
// Plugs the port into nothing (kernel.serial_ports.<port> empty), and waits
// (a few seconds at most) until a relay that served it has ended.
bool UnplugSerialPort(std::string_view port, std::string* error);

// Power and wake-up events of the current terminal. They reach every process
// using the terminal (this one included) through the terminal's event
// channel, "<terminal>/events.log": a process that asked for power
// notifications gets the records in its queues, one that keeps a wake-up user
// notification gets its named event set.
//
// A raw POWER_BROADCAST record of any length, as the power manager would write it.
bool DeliverPowerRecord(const std::vector<uint8_t>& record, std::string* error);
// A well-formed record: message (PBT_...), flags (POWER_STATE_...) and the system power state's name.
bool DeliverPowerBroadcast(uint32_t message, uint32_t flags, std::u16string_view state, std::string* error);
// The terminal suspends: a transition to "suspend".
bool Suspend(std::string* error);
// The terminal resumes: a resume, a transition to "on", and the wake-up event.
bool Resume(std::string* error);
// The battery or power source changed.
bool PowerStatusChanged(std::string* error);
// The wake-up system event alone.
bool WakeUp(std::string* error);

// Whether a sound that PlaySoundW started in this process still plays, and
// waiting until it has ended: played out, or stopped by this process or by a
// sound or stop of another process of the terminal.
bool SoundPlays();
void WaitForSoundEnd();
// Silences this process as its end would (no other process): the sound
// PlaySoundW plays stops, and every open wave-out device drops what it has
// queued and closes, so what they rendered ends where the playing did and
// the terminal no longer shows them playing.
void SilenceProcess();

// The device path GetModuleFileNameW(NULL) reports for this process
// (default "\Windows\" and the executable's file name).
void SetProgramPath(std::u16string_view devicePath);

// The errno of the first trace line (QEL_TRACE) that could not be written to
// standard error, or 0 when every line was.
int LostTraceError();

}  // namespace ce::sim
