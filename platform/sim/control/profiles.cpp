// Built-in profiles and the making of a terminal from a profile.
#include <chrono>
#include <fstream>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "ce/sim/control.h"
#include "ce/error.h"
#include "utf.h"
#include "device_path.h"
#include "hardware_state.h"
#include "registry_store.h"
#include "terminal.h"

namespace ce::sim {
namespace detail {
const std::vector<std::pair<std::string_view, std::string_view>>& BuiltinProfileTexts();
}

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// The profile's shape: what a terminal needs before it can be made.
bool CheckProfile(const json& p, std::string* error) {
  if (!p.is_object()) return Fail(error, "the profile is not a JSON object");
  if (!p.contains("name") || !p["name"].is_string()) return Fail(error, "\"name\" is missing or not a text");
  // The name becomes a folder name: one plain name, nothing that walks elsewhere.
  const std::string name = p["name"].get<std::string>();
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") != std::string::npos)
    return Fail(error, "\"name\" must be a plain name of letters, digits, '.', '_' and '-', not \"" + name + "\"");
  if (!p.contains("hardware")) return Fail(error, "\"hardware\" is missing");
  if (!CheckHardware(p["hardware"], error)) return false;
  for (const char* key : {"folders", "files"}) {
    if (p.contains(key) && !(p[key].is_array() || p[key].is_object()))
      return Fail(error, std::string("\"") + key + "\" has the wrong type");
  }
  if (p.contains("registry") && !p["registry"].is_object())
    return Fail(error, "\"registry\" is not an object");
  if (p.contains("files")) {
    if (!p["files"].is_object()) return Fail(error, "\"files\" is not an object of path: content");
    for (const auto& [path, content] : p["files"].items())
      if (!content.is_string()) return Fail(error, "file \"" + path + "\": content is not a text");
  }
  if (p.contains("folders")) {
    if (!p["folders"].is_array()) return Fail(error, "\"folders\" is not an array");
    for (const auto& f : p["folders"])
      if (!f.is_string()) return Fail(error, "\"folders\" holds a value that is not a text");
  }
  return true;
}

bool WriteFile(const fs::path& path, std::string_view content, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), std::streamsize(content.size()));
  if (!out.flush()) return Fail(error, path.string() + ": cannot be written");
  return true;
}

// Makes a folder or file of the profile, folders on the way included. Profiles
// get no more trust than code: every step obeys the rules of any device path.
bool MakeDeviceEntry(const fs::path& fsRoot, const std::string& devicePath, bool isFolder,
                     std::string_view content, std::string* error) {
  const std::u16string path = FromUtf8(devicePath);
  std::u16string prefix;
  size_t pos = 0;
  bool any = false;
  while (pos < path.size()) {
    const size_t end = std::min(path.find_first_of(u"\\/", pos), path.size());
    if (end == pos) {
      ++pos;
      continue;
    }
    prefix += u'\\';
    prefix.append(path, pos, end - pos);
    pos = end;
    const bool last = path.find_first_not_of(u"\\/", pos) == std::u16string::npos;
    ResolvedPath at;
    if (ResolveDevicePath(fsRoot, prefix, Resolve::kName, &at) != ERROR_SUCCESS)
      return Fail(error, "\"" + devicePath + "\" is not a device path inside the terminal");
    any = true;
    if (!last || isFolder) {
      if (!at.exists && ::mkdirat(at.folder.get(), at.name.c_str(), 0755) != 0)
        return Fail(error, "\"" + devicePath + "\": " + std::strerror(errno));
      continue;
    }
    HostFd file(::openat(at.folder.get(), at.name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file || ::write(file.get(), content.data(), content.size()) != ssize_t(content.size()))
      return Fail(error, "\"" + devicePath + "\": cannot be written");
  }
  if (!any) return Fail(error, "\"" + devicePath + "\" is not a device path inside the terminal");
  return true;
}

bool Populate(const fs::path& dir, const json& profile, std::string* error) {
  const fs::path fsRoot = dir / "fs";
  std::error_code ec;
  fs::create_directories(fsRoot, ec);
  if (ec) return Fail(error, fsRoot.string() + ": " + ec.message());
  const json folders = profile.value("folders", json::array());
  for (const auto& f : folders)
    if (!MakeDeviceEntry(fsRoot, f.get<std::string>(), true, {}, error)) return false;
  const json files = profile.value("files", json::object());
  for (const auto& [path, content] : files.items())
    if (!MakeDeviceEntry(fsRoot, path, false, content.get<std::string>(), error)) return false;

  json hardware = profile["hardware"];
  // The terminal starts now: its tick count runs from this moment.
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  hardware["kernel"]["boot_time_unix_ms"] = now.count();
  if (!hardware["kernel"].contains("named_events")) hardware["kernel"]["named_events"] = json::array();

  auto registry = RegistryStore::Open(dir / "registry.db", error);
  if (!registry) return false;
  if (!registry->Seed(profile.value("registry", json::object()), error)) return false;
  registry.reset();

  return WriteFile(dir / "hardware.json", hardware.dump(2) + "\n", error) &&
         WriteFile(dir / "terminal.json", profile.dump(2) + "\n", error);
}

}  // namespace

std::vector<std::string> ProfileNames() {
  std::vector<std::string> names;
  for (const auto& [name, text] : detail::BuiltinProfileTexts()) names.emplace_back(name);
  return names;
}

std::string DefaultProfileName() { return std::string(detail::BuiltinProfileTexts().front().first); }

std::optional<json> BuiltinProfile(std::string_view name) {
  for (const auto& [n, text] : detail::BuiltinProfileTexts())
    if (n == name) return json::parse(text);
  return std::nullopt;
}

std::optional<json> LoadProfile(std::string_view nameOrPath, std::string* error) {
  if (auto builtin = BuiltinProfile(nameOrPath)) return builtin;
  const fs::path path(nameOrPath);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    std::string names;
    for (const auto& n : ProfileNames()) names += (names.empty() ? "" : ", ") + n;
    Fail(error, std::string(nameOrPath) + ": no such profile file, and not a built-in profile (" + names + ")");
    return std::nullopt;
  }
  json profile;
  if (!ReadJsonFile(path, &profile, error)) return std::nullopt;
  std::string why;
  if (!CheckProfile(profile, &why)) {
    Fail(error, path.string() + ": " + why);
    return std::nullopt;
  }
  return profile;
}

bool CreateTerminal(const fs::path& where, const json& profile, std::string* error) {
  if (!CheckProfile(profile, error)) return false;
  std::error_code ec;
  // "t/" names the folder t: the staging folder is made beside it.
  fs::path dir = fs::absolute(where, ec).lexically_normal();
  if (!dir.has_filename()) dir = dir.parent_path();
  if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec)))
    return Fail(error, dir.string() + ": already exists and is not an empty folder");
  const fs::path parent = dir.parent_path();
  fs::create_directories(parent, ec);
  if (ec) return Fail(error, parent.string() + ": " + ec.message());

  // Build beside the target and rename into place: bad input leaves nothing behind.
  std::string stagingName = ".";
  stagingName += dir.filename().string();
  stagingName += ".making.";
  stagingName += std::to_string(::getpid());
  const fs::path staging = parent / stagingName;
  fs::remove_all(staging, ec);
  fs::create_directory(staging, ec);
  if (ec) return Fail(error, staging.string() + ": " + ec.message());
  bool made = false;
  try {
    made = Populate(staging, profile, error);
  } catch (const std::exception& e) {
    Fail(error, std::string("the profile cannot be used: ") + e.what());
  }
  if (!made) {
    fs::remove_all(staging, ec);
    return false;
  }
  if (fs::exists(dir, ec)) fs::remove(dir, ec);  // the empty folder
  fs::rename(staging, dir, ec);
  if (ec) {
    fs::remove_all(staging, ec);
    // Another process made the same terminal at the same moment: use it.
    if (IsTerminalDir(dir)) return true;
    return Fail(error, dir.string() + ": cannot be created");
  }
  return true;
}

}  // namespace ce::sim
