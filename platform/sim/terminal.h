// One open terminal: a state directory made from a profile.
//   <dir>/terminal.json   the profile it was made from (read-only afterwards)
//   <dir>/hardware.json   hardware state, changed through the control API
//   <dir>/registry.db     the registry (SQLite, shared by every process)
//   <dir>/fs/             the device's file system
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

namespace ce::sim {

class RegistryStore;

class Terminal {
 public:
  static std::shared_ptr<Terminal> Open(const std::filesystem::path& dir, std::string* error);
  ~Terminal();

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path fs_root() const { return dir_ / "fs"; }
  std::filesystem::path registry_path() const { return dir_ / "registry.db"; }
  std::filesystem::path hardware_path() const { return dir_ / "hardware.json"; }

  // Every process keeps its own connection, opened with the terminal.
  RegistryStore* registry();

  // The hardware state, reread when another process (or this one) changed the file.
  nlohmann::json hardware();
  // Looks up a dotted path; null json when absent.
  nlohmann::json hardware_at(const std::string& dottedPath);
  bool set_hardware(const std::string& dottedPath, const nlohmann::json& value, std::string* error);

 private:
  explicit Terminal(std::filesystem::path dir);
  void reload_if_changed_locked();

  std::filesystem::path dir_;
  std::mutex mu_;
  nlohmann::json hardware_;
  struct ::stat seen_ {};
  bool loaded_ = false;
  std::unique_ptr<RegistryStore> registry_;
};

// The terminal of this process: the one chosen through UseTerminal, or else the
// one QEL_TERMINAL names. Null with ERROR_NOT_READY when there is none.
std::shared_ptr<Terminal> Current();

// Reads a field of the current terminal's hardware (null json when absent or no terminal).
nlohmann::json Hardware(const std::string& dottedPath);

}  // namespace ce::sim
