// The control API over the simulated kernel's terminal.
#include "ce/sim/control.h"

#include "kernel.h"
#include "terminal.h"

namespace ce::sim {
namespace fs = std::filesystem;
using nlohmann::json;

const char* const kTerminalEnv = kTerminalEnvName;

bool IsTerminal(const fs::path& dir) { return IsTerminalDir(dir); }

bool UseTerminal(const fs::path& dir, std::string* error) {
  auto t = Terminal::Open(dir, error);
  if (!t) return false;
  Kernel::Get().terminal.Choose(std::move(t));
  return true;
}

void CloseTerminal() {
  Kernel::Get().terminal.Forget();
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
