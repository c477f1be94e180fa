#include "terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "ce/error.h"
#include "hardware_state.h"
#include "kernel.h"
#include "last_error.h"
#include "modules.h"
#include "registry_store.h"
#include "staging.h"
#include "state_files.h"
#include "terminal_objects.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// The files every terminal holds, beside its fs/ folder.
constexpr const char* kRequiredFiles[] = {"terminal.json", "hardware.json", "registry.db"};

}  // namespace

bool IsTerminalDir(const fs::path& dir) {
  std::error_code ec;
  // Each must be what it seems, not a link that could lead anywhere on the host.
  for (const char* name : kRequiredFiles)
    if (fs::symlink_status(dir / name, ec).type() != fs::file_type::regular) return false;
  return fs::symlink_status(dir / "fs", ec).type() == fs::file_type::directory;
}

std::string WhyNotATerminal(const fs::path& dir, bool* holdsNone) {
  if (holdsNone) *holdsNone = false;
  struct ::stat st {};
  if (::stat(dir.c_str(), &st) != 0) return dir.string() + ": " + std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return dir.string() + ": not a terminal (not a folder)";
  if (::access(dir.c_str(), R_OK | X_OK) != 0)
    return dir.string() + ": cannot be read: " + std::strerror(errno);
  // What is there but is not what it should be is named first: it is the cause.
  std::vector<std::string> missing;
  for (const char* name : kRequiredFiles) {
    const fs::path path = dir / name;
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) return path.string() + ": " + std::strerror(errno);
      missing.emplace_back(name);
    } else if (!S_ISREG(st.st_mode)) {
      return WhyNotAStateFile(path, st.st_mode);
    }
  }
  const fs::path root = dir / "fs";
  if (::lstat(root.c_str(), &st) != 0) {
    if (errno != ENOENT) return root.string() + ": " + std::strerror(errno);
    missing.emplace_back("fs/ folder");
  } else if (S_ISLNK(st.st_mode)) {
    return root.string() + ": is a symbolic link; a terminal's fs/ must be a folder of its own";
  } else if (!S_ISDIR(st.st_mode)) {
    return root.string() + ": is not a folder; a terminal's fs/ must be a folder of its own";
  }
  if (holdsNone) *holdsNone = missing.size() == 4;
  std::string list;
  for (size_t i = 0; i < missing.size(); ++i)
    list += (i == 0 ? "" : i + 1 == missing.size() ? " or " : ", ") + missing[i];
  return dir.string() + ": not a terminal (it holds no " + list + ")";
}

namespace {

// A hardware state a terminal can run on: an object whose every field obeys its rule.
bool ReadCheckedHardware(const fs::path& file, json* hardware, std::string* error) {
  HostFd fd = OpenStateFile(file.parent_path(), file.filename().string(), O_RDONLY, error);
  if (!fd || !ReadJsonFd(fd.get(), file, hardware, error)) return false;
  std::string why;
  if (!hardware->is_object()) return Fail(error, file.string() + ": not a JSON object");
  if (!CheckHardware(*hardware, &why)) return Fail(error, file.string() + ": " + why);
  return true;
}

}  // namespace

Terminal::Terminal(fs::path dir) : dir_(std::move(dir)), hardware_(std::make_unique<json>()) {}
Terminal::~Terminal() = default;

std::shared_ptr<Terminal> Terminal::Open(const fs::path& dir, std::string* error) {
  if (!IsTerminalDir(dir)) {
    Fail(error, WhyNotATerminal(dir));
    return nullptr;
  }
  std::error_code ec;
  std::shared_ptr<Terminal> t(new Terminal(fs::absolute(dir, ec)));
  // Every state file, the registry's companions and the event channel included.
  if (!CheckStateFiles(t->dir_, error)) return nullptr;
  if (!t->fs_root_handle()) {
    Fail(error, t->fs_root().string() + ": cannot be opened as a folder");
    return nullptr;
  }
  // Leftovers of processes killed while writing here, or while making a
  // terminal beside this one; never anything a living process still uses.
  RemoveStaleStateTemps(t->dir_);
  RemoveOrphanedStaging(t->dir_.parent_path());
  json hardware;
  if (!ReadCheckedHardware(t->hardware_path(), &hardware, error)) return nullptr;
  // A registry that cannot be opened is reported now, not as every later call failing.
  t->registry_ = RegistryStore::Open(t->registry_path(), error);
  if (!t->registry_) return nullptr;
  std::lock_guard lock(t->mu_);
  t->reload_if_changed_locked();
  if (!t->loaded_) {
    Fail(error, t->hardware_path().string() + ": changed while it was read; try again");
    return nullptr;
  }
  return t;
}

std::shared_ptr<const HostFd> Terminal::fs_root_handle() {
  std::lock_guard lock(rootMu_);
  const bool due = rootClock_.Due();
  if (fsRoot_ && !due) return fsRoot_;
  struct ::stat st {};
  if (::lstat(fs_root().c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    fsRoot_.reset();
    return nullptr;
  }
  if (fsRoot_ && st.st_dev == rootSeen_.st_dev && st.st_ino == rootSeen_.st_ino) return fsRoot_;
  HostFd fd(::open(fs_root().c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd || ::fstat(fd.get(), &rootSeen_) != 0) {
    fsRoot_.reset();
    return nullptr;
  }
  fsRoot_ = std::make_shared<const HostFd>(std::move(fd));
  return fsRoot_;
}

RegistryStore* Terminal::registry() { return registry_.get(); }

void Terminal::reload_if_changed_locked() {
  const bool due = hardwareClock_.Due(Kernel::Get().hardwareWrites.load(std::memory_order_acquire));
  if (loaded_ && !due) return;
  struct ::stat st {};
  if (::lstat(hardware_path().c_str(), &st) != 0) return;
  if (loaded_ && st.st_ino == seen_.st_ino && st.st_size == seen_.st_size &&
      st.st_mtim.tv_sec == seen_.st_mtim.tv_sec && st.st_mtim.tv_nsec == seen_.st_mtim.tv_nsec)
    return;
  json fresh;
  // A file broken meanwhile (by hand, say) is not taken: the last good state stays.
  if (!ReadCheckedHardware(hardware_path(), &fresh, nullptr)) return;
  *hardware_ = std::move(fresh);
  seen_ = st;
  loaded_ = true;
}

json Terminal::hardware() {
  std::lock_guard lock(mu_);
  reload_if_changed_locked();
  return *hardware_;
}

bool Terminal::set_hardware(const std::string& dottedPath, const json& value, std::string* error) {
  return set_hardware({{dottedPath, value}}, error);
}

bool Terminal::set_hardware(const std::vector<std::pair<std::string, json>>& changes, std::string* error) {
  if (!ChangeHardwareFile(hardware_path(), changes, error)) return false;
  Kernel::Get().hardwareWrites.fetch_add(1, std::memory_order_release);
  std::lock_guard lock(mu_);
  loaded_ = false;
  reload_if_changed_locked();
  return true;
}

bool Terminal::count_in_hardware(const std::string& dottedPath, std::string* error) {
  if (!CountInHardwareFile(hardware_path(), dottedPath, error)) return false;
  Kernel::Get().hardwareWrites.fetch_add(1, std::memory_order_release);
  std::lock_guard lock(mu_);
  loaded_ = false;
  reload_if_changed_locked();
  return true;
}

bool Terminal::edit_list_in_hardware(const std::string& dottedPath,
                                     const std::function<void(std::vector<std::string>&)>& edit,
                                     std::string* error) {
  if (!EditListInHardwareFile(hardware_path(), dottedPath, edit, error)) return false;
  Kernel::Get().hardwareWrites.fetch_add(1, std::memory_order_release);
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
    if (const char* dir = std::getenv(kTerminalEnvName); dir && *dir) {
      // Booted before its store is opened: a cold boot replaces the store.
      std::string ignored;
      if (IsTerminalDir(dir)) TerminalObjects::Boot(dir, &ignored);
      fromEnv_ = Terminal::Open(dir, nullptr);
      if (fromEnv_ && !fromEnv_->Join(nullptr)) fromEnv_.reset();
    }
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

bool Terminal::Join(std::string* error) {
  std::lock_guard lock(objectsMu_);
  if (objects_) return true;
  objects_ = TerminalObjects::Join(dir_, ProgramDevicePath(), error);
  return objects_ != nullptr;
}

std::shared_ptr<TerminalObjects> Terminal::objects() {
  std::lock_guard lock(objectsMu_);
  return objects_;
}

std::shared_ptr<TerminalObjects> CurrentObjects() {
  auto terminal = Current();
  return terminal ? terminal->objects() : nullptr;
}

std::shared_ptr<Terminal> Current() { return Kernel::Get().terminal.Current(); }

}  // namespace ce::sim
