#include "terminal_setup.h"

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "ce/sim/control.h"

namespace qelhost {
namespace fs = std::filesystem;

std::optional<fs::path> StateHome(std::string* error) {
  // The XDG rules: a relative path in the variable is to be ignored.
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') return fs::path(xdg) / "qelhost";
  if (const char* home = std::getenv("HOME"); home && *home == '/')
    return fs::path(home) / ".local/state/qelhost";
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec || !temp.is_absolute()) {
    *error =
        "no folder for persistent terminals: XDG_STATE_HOME and HOME are unset or not absolute, and the "
        "temporary folder (TMPDIR) is unusable" +
        (ec ? ": " + ec.message() : std::string()) + "; name a terminal with --terminal DIR";
    return std::nullopt;
  }
  return temp / "qelhost";
}

namespace {

// The name of the profile a --profile argument names, when it can be read.
std::optional<std::string> ProfileNameOf(const std::string& profile) {
  std::string ignored;
  const auto p = ce::sim::LoadProfile(profile, &ignored);
  if (!p) return std::nullopt;
  return p->value("name", "");
}

std::optional<std::string> TerminalProfileName(const fs::path& dir) {
  std::ifstream in(dir / "terminal.json");
  const auto j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains("name") || !j["name"].is_string())
    return std::nullopt;
  return j["name"].get<std::string>();
}

}  // namespace

std::optional<fs::path> PrepareTerminal(const std::string& terminalDir, const std::string& profile,
                                        std::string* error, std::string* notice) {
  const std::string profileName = profile.empty() ? ce::sim::DefaultProfileName() : profile;
  std::optional<ce::sim::Json> loaded;
  fs::path dir;
  if (terminalDir.empty()) {
    loaded = ce::sim::LoadProfile(profileName, error);
    if (!loaded) return std::nullopt;
    const auto home = StateHome(error);
    if (!home) return std::nullopt;
    dir = *home / "terminals" / (*loaded)["name"].get<std::string>();
  } else {
    dir = terminalDir;
  }
  std::error_code ec;
  dir = fs::absolute(dir, ec);
  if (ce::sim::IsTerminal(dir)) {
    if (!profile.empty() && !terminalDir.empty()) {
      const auto made = TerminalProfileName(dir), asked = ProfileNameOf(profile);
      if (made && asked != made)
        *notice = dir.string() + " is a terminal already, made from profile " + *made + "; --profile " +
                  profile + " applies only to a new terminal and is ignored";
    }
    return dir;
  }
  if (!loaded) loaded = ce::sim::LoadProfile(profileName, error);
  if (!loaded) return std::nullopt;
  // Another process may be making the same terminal this moment: once it is
  // made, it is the one to use.
  std::string why;
  if (!ce::sim::CreateTerminal(dir, *loaded, &why, ce::sim::IfTerminalExists::kUse)) {
    // A failure of this machine's folders names its path; anything else is the profile's.
    *error = why.starts_with('/') ? why : "profile " + profileName + ": " + why;
    return std::nullopt;
  }
  return dir;
}

}  // namespace qelhost
