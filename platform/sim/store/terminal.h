// One open terminal: a state directory made from a profile.
//   <dir>/terminal.json   the profile it was made from (read-only afterwards)
//   <dir>/hardware.json   hardware state, changed through the control API
//   <dir>/registry.db     the registry (SQLite, shared by every process)
//   <dir>/fs/             the device's file system
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "device_path.h"
#include "recheck.h"

namespace ce::sim {

class RegistryStore;
class TerminalObjects;

// The environment variable naming the terminal of a process that chose none.
inline constexpr char kTerminalEnvName[] = "QEL_TERMINAL";

// The files every terminal folder holds, with fs/ a real folder (not a link).
bool IsTerminalDir(const std::filesystem::path& dir);
// Why dir is no terminal, naming the real cause (a link or a FIFO in a state
// file's place, a missing file); *holdsNone is set when it holds none of a
// terminal's files.
std::string WhyNotATerminal(const std::filesystem::path& dir, bool* holdsNone = nullptr);

class Terminal {
 public:
  static std::shared_ptr<Terminal> Open(const std::filesystem::path& dir, std::string* error);
  ~Terminal();

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path fs_root() const { return dir_ / "fs"; }
  // fs/ opened (O_PATH), to walk device paths from without opening it each
  // time. It is looked at again at most once per kRecheck: a folder put in
  // its place is opened then; a missing fs/, or a link in its place, is null.
  std::shared_ptr<const HostFd> fs_root_handle();
  std::filesystem::path registry_path() const { return dir_ / "registry.db"; }
  std::filesystem::path hardware_path() const { return dir_ / "hardware.json"; }

  // Every process keeps its own connection, opened with the terminal.
  RegistryStore* registry();

  // The hardware state, reread when this process changed the file, or when
  // another process did and kRecheck has passed since the file was last looked
  // at: a change by another process is seen by every read that starts
  // kRecheck after it, without a system call on every read.
  nlohmann::json hardware();
  // Calls read with the hardware state, reread when its file changed, while it
  // is locked: no copy is made.
  template <class Read>
  void ReadHardware(Read&& read) {
    std::lock_guard lock(mu_);
    reload_if_changed_locked();
    read(static_cast<const nlohmann::json&>(*hardware_));
  }
  // Enters this process in the terminal's process table, through the
  // terminal's object server (started when none runs). A process chooses a
  // terminal only once it has joined.
  bool Join(std::string* error);
  // What every process on the terminal shares; null before Join.
  std::shared_ptr<TerminalObjects> objects();

  bool set_hardware(const std::string& dottedPath, const nlohmann::json& value, std::string* error);
  // Several fields as one change (ChangeHardwareFile).
  bool set_hardware(const std::vector<std::pair<std::string, nlohmann::json>>& changes, std::string* error);
  // Adds one to a count the system keeps (CountInHardwareFile).
  bool count_in_hardware(const std::string& dottedPath, std::string* error);
  // Changes a list of texts the system keeps (EditListInHardwareFile).
  bool edit_list_in_hardware(const std::string& dottedPath,
                             const std::function<void(std::vector<std::string>&)>& edit, std::string* error);

 private:
  explicit Terminal(std::filesystem::path dir);
  void reload_if_changed_locked();

  std::filesystem::path dir_;
  std::mutex rootMu_;
  std::shared_ptr<const HostFd> fsRoot_;
  struct ::stat rootSeen_ {};
  RecheckClock rootClock_;
  std::mutex mu_;
  std::unique_ptr<nlohmann::json> hardware_;  // held apart, so that includers need not parse JSON
  struct ::stat seen_ {};
  bool loaded_ = false;
  RecheckClock hardwareClock_;
  std::unique_ptr<RegistryStore> registry_;
  std::mutex objectsMu_;
  std::shared_ptr<TerminalObjects> objects_;
};

// Which terminal this process runs on: the one chosen through the control API,
// or else the one the QEL_TERMINAL environment variable names.
class TerminalChoice {
 public:
  // Null with ERROR_NOT_READY when there is none.
  std::shared_ptr<Terminal> Current();
  void Choose(std::shared_ptr<Terminal> terminal);
  // Forgets both; the next Current reads the environment again.
  void Forget();

 private:
  std::mutex mu_;
  std::shared_ptr<Terminal> chosen_;
  std::shared_ptr<Terminal> fromEnv_;
  bool envTried_ = false;
};

// The kernel's current terminal.
std::shared_ptr<Terminal> Current();
// What the current terminal's processes share; null with no terminal.
std::shared_ptr<TerminalObjects> CurrentObjects();

}  // namespace ce::sim
