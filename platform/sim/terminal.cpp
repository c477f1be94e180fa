#include "terminal.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ce/error.h"
#include "ce/sim/control.h"
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

bool ReadJsonFile(const fs::path& path, json* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path.string() + ": cannot be read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  *out = json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
  if (out->is_discarded()) {
    if (error) *error = path.string() + ": not valid JSON";
    return false;
  }
  return true;
}

// Splits "a.b.c" into a JSON pointer; empty parts are invalid.
bool ToPointer(const std::string& dotted, json::json_pointer* out) {
  if (dotted.empty()) return false;
  std::string ptr;
  size_t start = 0;
  while (true) {
    const size_t dot = dotted.find('.', start);
    const std::string part = dotted.substr(start, dot == std::string::npos ? dot : dot - start);
    if (part.empty()) return false;
    ptr += '/';
    for (char c : part) {
      if (c == '~') ptr += "~0";
      else if (c == '/') ptr += "~1";
      else ptr += c;
    }
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  *out = json::json_pointer(ptr);
  return true;
}

bool SameKind(const json& a, const json& b) {
  if (a.is_number() && b.is_number()) return true;
  return a.type() == b.type();
}

}  // namespace

Terminal::Terminal(fs::path dir) : dir_(std::move(dir)) {}
Terminal::~Terminal() = default;

std::shared_ptr<Terminal> Terminal::Open(const fs::path& dir, std::string* error) {
  std::error_code ec;
  if (!fs::is_regular_file(dir / "terminal.json", ec) || !fs::is_regular_file(dir / "hardware.json", ec) ||
      !fs::is_directory(dir / "fs", ec)) {
    if (error) *error = dir.string() + ": not a terminal (no terminal.json, hardware.json or fs/)";
    return nullptr;
  }
  std::shared_ptr<Terminal> t(new Terminal(fs::absolute(dir, ec)));
  std::lock_guard lock(t->mu_);
  t->reload_if_changed_locked();
  if (!t->loaded_) {
    if (error) *error = (dir / "hardware.json").string() + ": not a JSON object";
    return nullptr;
  }
  return t;
}

RegistryStore* Terminal::registry() {
  std::lock_guard lock(registry_mu_);
  if (!registry_) registry_ = RegistryStore::Open(registry_path(), nullptr);
  if (!registry_) SetLastError(ERROR_NOT_READY);
  return registry_.get();
}

void Terminal::reload_if_changed_locked() {
  struct ::stat st {};
  if (::stat(hardware_path().c_str(), &st) != 0) return;
  if (loaded_ && st.st_ino == seen_.st_ino && st.st_size == seen_.st_size &&
      st.st_mtim.tv_sec == seen_.st_mtim.tv_sec && st.st_mtim.tv_nsec == seen_.st_mtim.tv_nsec)
    return;
  json fresh;
  if (!ReadJsonFile(hardware_path(), &fresh, nullptr) || !fresh.is_object()) return;
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
  json::json_pointer ptr;
  if (!ToPointer(dottedPath, &ptr)) return nullptr;
  std::lock_guard lock(mu_);
  reload_if_changed_locked();
  return hardware_.contains(ptr) ? hardware_.at(ptr) : json();
}

bool Terminal::set_hardware(const std::string& dottedPath, const json& value, std::string* error) {
  json::json_pointer ptr;
  if (!ToPointer(dottedPath, &ptr)) {
    if (error) *error = "'" + dottedPath + "' is not a dotted key such as power.battery_life_percent";
    return false;
  }
  std::lock_guard lock(mu_);
  reload_if_changed_locked();
  if (!hardware_.contains(ptr)) {
    if (error) *error = "the hardware state has no field '" + dottedPath + "'";
    return false;
  }
  json& slot = hardware_[ptr];
  if (!slot.is_null() && !SameKind(slot, value)) {
    if (error)
      *error = "'" + dottedPath + "' holds a " + slot.type_name() + ", not a " + value.type_name();
    return false;
  }
  json updated = hardware_;
  updated[ptr] = value;
  // Write beside and rename, so a reader in another process never sees half a file.
  const fs::path tmp = hardware_path().string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << updated.dump(2) << '\n';
    if (!out.flush()) {
      if (error) *error = tmp.string() + ": cannot be written";
      return false;
    }
  }
  std::error_code ec;
  fs::rename(tmp, hardware_path(), ec);
  if (ec) {
    if (error) *error = hardware_path().string() + ": " + ec.message();
    return false;
  }
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
