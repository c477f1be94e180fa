#include "terminal.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ce/error.h"
#include "ce/sim/control.h"
#include "hardware_state.h"
#include "registry_store.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct ProcessTerminal {
  std::mutex mu;
  std::shared_ptr<Terminal> chosen;  // by UseTerminal
  std::shared_ptr<Terminal> fromEnv;  // opened from QEL_TERMINAL
  bool envTried = false;
};

ProcessTerminal& process() {
  static ProcessTerminal* p = new ProcessTerminal;  // used until the process ends
  return *p;
}

}  // namespace

Terminal::Terminal(fs::path dir) : dir_(std::move(dir)) {}
Terminal::~Terminal() = default;

std::shared_ptr<Terminal> Terminal::Open(const fs::path& dir, std::string* error) {
  if (!IsTerminal(dir)) {
    if (error) *error = dir.string() + ": not a terminal (no terminal.json, hardware.json, registry.db or fs/ folder)";
    return nullptr;
  }
  std::error_code ec;
  std::shared_ptr<Terminal> t(new Terminal(fs::absolute(dir, ec)));
  json hardware;
  if (!ReadJsonFile(t->hardware_path(), &hardware, error)) return nullptr;
  if (!hardware.is_object()) {
    if (error) *error = t->hardware_path().string() + ": not a JSON object";
    return nullptr;
  }
  // A registry that cannot be opened is reported now, not as every later call failing.
  std::string why;
  t->registry_ = RegistryStore::Open(t->registry_path(), &why);
  if (!t->registry_) {
    if (error) *error = t->registry_path().string() + ": " + why;
    return nullptr;
  }
  std::lock_guard lock(t->mu_);
  t->reload_if_changed_locked();
  return t;
}

RegistryStore* Terminal::registry() {
  return registry_.get();
}

void Terminal::reload_if_changed_locked() {
  struct ::stat st {};
  if (::stat(hardware_path().c_str(), &st) != 0) return;
  if (loaded_ && st.st_ino == seen_.st_ino && st.st_size == seen_.st_size &&
      st.st_mtim.tv_sec == seen_.st_mtim.tv_sec && st.st_mtim.tv_nsec == seen_.st_mtim.tv_nsec)
    return;
  json fresh;
  if (!ReadJsonFile(hardware_path(), &fresh, nullptr) || !fresh.is_object()) return;  // keep the last good state
  hardware_ = std::move(fresh);
  seen_ = st;
  loaded_ = true;
}

json Terminal::hardware() {
  std::lock_guard lock(mu_);
  reload_if_changed_locked();
  return hardware_;
}

json Terminal::hardware_at(const std::string& dottedPath) {
  std::lock_guard lock(mu_);
  reload_if_changed_locked();
  const json* field = FindField(hardware_, dottedPath);
  return field ? *field : json();
}

bool Terminal::set_hardware(const std::string& dottedPath, const json& value, std::string* error) {
  if (!ChangeHardwareFile(hardware_path(), dottedPath, value, error)) return false;
  std::lock_guard lock(mu_);
  loaded_ = false;
  reload_if_changed_locked();
  return true;
}

std::shared_ptr<Terminal> Current() {
  ProcessTerminal& p = process();
  std::lock_guard lock(p.mu);
  if (p.chosen) return p.chosen;
  if (!p.envTried) {
    p.envTried = true;
    if (const char* dir = std::getenv(kTerminalEnv); dir && *dir) p.fromEnv = Terminal::Open(dir, nullptr);
  }
  if (!p.fromEnv) SetLastError(ERROR_NOT_READY);
  return p.fromEnv;
}

json Hardware(const std::string& dottedPath) {
  auto t = Current();
  return t ? t->hardware_at(dottedPath) : json();
}

bool UseTerminal(const fs::path& dir, std::string* error) {
  auto t = Terminal::Open(dir, error);
  if (!t) return false;
  ProcessTerminal& p = process();
  std::lock_guard lock(p.mu);
  p.chosen = std::move(t);
  return true;
}

void CloseTerminal() {
  ProcessTerminal& p = process();
  std::lock_guard lock(p.mu);
  p.chosen.reset();
  p.fromEnv.reset();
  p.envTried = false;
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

bool SetHardware(std::string_view key, const json& value, std::string* error) {
  auto t = Current();
  if (!t) {
    if (error) *error = "no terminal is open";
    return false;
  }
  return t->set_hardware(std::string(key), value, error);
}

}  // namespace ce::sim
