#include "terminal.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ce/error.h"
#include "kernel.h"
#include "hardware_state.h"
#include "registry_store.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;


bool IsTerminalDir(const fs::path& dir) {
  std::error_code ec;
  // fs/ itself must be a folder, not a link that could lead anywhere on the host.
  return fs::is_regular_file(dir / "terminal.json", ec) && fs::is_regular_file(dir / "hardware.json", ec) &&
         fs::is_regular_file(dir / "registry.db", ec) && fs::symlink_status(dir / "fs", ec).type() == fs::file_type::directory;
}

Terminal::Terminal(fs::path dir) : dir_(std::move(dir)) {}
Terminal::~Terminal() = default;

std::shared_ptr<Terminal> Terminal::Open(const fs::path& dir, std::string* error) {
  if (!IsTerminalDir(dir)) {
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

bool Terminal::set_hardware(const std::string& dottedPath, const json& value, std::string* error) {
  if (!ChangeHardwareFile(hardware_path(), dottedPath, value, error)) return false;
  std::lock_guard lock(mu_);
  loaded_ = false;
  reload_if_changed_locked();
  return true;
}

bool Terminal::count_in_hardware(const std::string& dottedPath, std::string* error) {
  if (!CountInHardwareFile(hardware_path(), dottedPath, error)) return false;
  std::lock_guard lock(mu_);
  loaded_ = false;
  reload_if_changed_locked();
  return true;
}

std::shared_ptr<Terminal> TerminalChoice::Current() {
  std::lock_guard lock(mu_);
  if (chosen_) return chosen_;
  if (!envTried_) {
    envTried_ = true;
    if (const char* dir = std::getenv(kTerminalEnvName); dir && *dir) fromEnv_ = Terminal::Open(dir, nullptr);
  }
  if (!fromEnv_) SetLastError(ERROR_NOT_READY);
  return fromEnv_;
}

void TerminalChoice::Choose(std::shared_ptr<Terminal> terminal) {
  std::shared_ptr<Terminal> old;  // closed outside the lock
  std::lock_guard lock(mu_);
  old = std::exchange(chosen_, std::move(terminal));
}

void TerminalChoice::Forget() {
  std::shared_ptr<Terminal> oldChosen, oldEnv;
  std::lock_guard lock(mu_);
  oldChosen = std::move(chosen_);
  oldEnv = std::move(fromEnv_);
  envTried_ = false;
}

std::shared_ptr<Terminal> Current() { return Kernel::Get().terminal.Current(); }


}  // namespace ce::sim
