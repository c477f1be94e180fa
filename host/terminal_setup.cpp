#include "terminal_setup.h"

#include <cstdlib>

#include "ce/sim/control.h"

namespace qelhost {
namespace fs = std::filesystem;

fs::path StateHome() {
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg) return fs::path(xdg) / "qelhost";
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".local/state/qelhost";
  return fs::temp_directory_path() / "qelhost";
}

std::optional<fs::path> PrepareTerminal(const std::string& terminalDir, const std::string& profile,
                                        std::string* error) {
  const std::string profileName = profile.empty() ? ce::sim::DefaultProfileName() : profile;
  std::optional<ce::sim::Json> loaded;
  fs::path dir;
  if (terminalDir.empty()) {
    loaded = ce::sim::LoadProfile(profileName, error);
    if (!loaded) return std::nullopt;
    dir = StateHome() / "terminals" / (*loaded)["name"].get<std::string>();
  } else {
    dir = terminalDir;
  }
  std::error_code ec;
  if (ce::sim::IsTerminal(dir)) return fs::absolute(dir, ec);
  if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec))) {
    *error = dir.string() + ": not a terminal (it exists but holds no terminal.json, hardware.json and fs/)";
    return std::nullopt;
  }
  if (!loaded) loaded = ce::sim::LoadProfile(profileName, error);
  if (!loaded) return std::nullopt;
  if (!ce::sim::CreateTerminal(dir, *loaded, error)) {
    *error = "profile " + profileName + ": " + *error;
    return std::nullopt;
  }
  return fs::absolute(dir, ec);
}

}  // namespace qelhost
