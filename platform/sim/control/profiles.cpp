// Built-in profiles and the making of a terminal from a profile.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "ce/error.h"
#include "ce/sim/control.h"
#include "device_path.h"
#include "drivers.h"
#include "hardware_state.h"
#include "object_store.h"
#include "registry_store.h"
#include "sounds.h"
#include "staging.h"
#include "terminal.h"
#include "terminal_objects.h"
#include "utf.h"

namespace ce::sim {
namespace detail {
const std::vector<std::pair<std::string_view, std::string_view>>& BuiltinProfileTexts();
// The PE images the build installs into the host's folder: device path, bytes.
const std::vector<std::pair<std::string_view, std::string_view>>& HostInstallFiles();
}  // namespace detail

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
      name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") !=
          std::string::npos)
    return Fail(error,
                "\"name\" must be a plain name of letters, digits, '.', '_' and '-', not \"" + name + "\"");
  if (!p.contains("hardware")) return Fail(error, "\"hardware\" is missing");
  if (!CheckHardware(p["hardware"], error)) return false;
  if (const json* devices = FindField(p["hardware"], std::string(kDeviceTable))) {
    if (const std::string problem = DeviceTableProblem(*devices); !problem.empty())
      return Fail(error, problem);
  }
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
  if (p.contains("sounds")) {
    if (!p["sounds"].is_object()) return Fail(error, "\"sounds\" is not an object of path: description");
    int64_t total = 0;
    for (const auto& [path, description] : p["sounds"].items()) {
      if (const std::string problem = SoundProblem(description); !problem.empty())
        return Fail(error, "sound \"" + path + "\": " + problem);
      total += SoundMilliseconds(description);
    }
    if (total > kMaxProfileSoundMs)
      return Fail(error, "its sounds last " + std::to_string(total) + " ms together; the limit is " +
                             std::to_string(kMaxProfileSoundMs));
  }
  if (p.contains("folders")) {
    if (!p["folders"].is_array()) return Fail(error, "\"folders\" is not an array");
    for (const auto& f : p["folders"])
      if (!f.is_string()) return Fail(error, "\"folders\" holds a value that is not a text");
  }
  const size_t entries = p.value("files", json::object()).size() + p.value("sounds", json::object()).size() +
                         p.value("folders", json::array()).size();
  if (entries > kMaxProfileEntries)
    return Fail(error, "it names " + std::to_string(entries) + " files and folders; the limit is " +
                           std::to_string(kMaxProfileEntries));
  if (p.contains("registry")) {
    size_t values = 0;
    for (const auto& [key, v] : p["registry"].items()) values += v.is_object() ? v.size() : 0;
    if (p["registry"].size() > kMaxProfileRegistryKeys || values > kMaxProfileRegistryValues)
      return Fail(error, "its registry has " + std::to_string(p["registry"].size()) + " keys and " +
                             std::to_string(values) + " values; the limits are " +
                             std::to_string(kMaxProfileRegistryKeys) + " keys and " +
                             std::to_string(kMaxProfileRegistryValues) + " values");
  }
  return true;
}

// Writes all of content; false with errno (ENOSPC for a short write).
bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    content.remove_prefix(size_t(n));
  }
  return true;
}

bool WriteFile(const fs::path& path, std::string_view content, std::string* error) {
  HostFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out || !WriteAll(out.get(), content))
    return Fail(error, path.string() + ": cannot be written: " + std::strerror(errno));
  return true;
}

// A device path as the profile spells it, for messages: control characters escaped.
std::string Shown(std::string_view path) {
  std::string shown = "\"";
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      shown += hex;
    } else {
      shown += c;
    }
  }
  return shown + "\"";
}

// Makes a folder or file of the profile, folders on the way included. Profiles
// get no more trust than code: every step obeys the rules of any device path.
// The index keeps each folder's names, so that making n entries in one folder
// lists it once rather than n times.
bool MakeDeviceEntry(const fs::path& fsRoot, const std::string& devicePath, bool isFolder,
                     std::string_view content, NameIndex* index, std::string* error) {
  const std::u16string path = FromUtf8(devicePath);
  const std::string shown = Shown(devicePath);
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
    if (ResolveDevicePath(fsRoot, prefix, Resolve::kName, &at, index) != ERROR_SUCCESS)
      return Fail(error, shown + " is not a device path inside the terminal");
    any = true;
    const std::string here = Shown(ToUtf8(prefix));
    if (!last || isFolder) {
      if (at.exists && !S_ISDIR(at.st.st_mode))
        return Fail(error, shown + ": " + here + " is a file, not a folder");
      if (!at.exists) {
        if (::mkdirat(at.folder.get(), at.name.c_str(), 0755) != 0)
          return Fail(error, shown + ": " + here + ": " + std::strerror(errno));
        index->Add(at.folder.get(), at.name);
      }
      continue;
    }
    if (at.exists && S_ISDIR(at.st.st_mode)) return Fail(error, shown + ": is a folder, not a file");
    HostFd file(::openat(at.folder.get(), at.name.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file || !WriteAll(file.get(), content))
      return Fail(error, shown + ": cannot be written: " + std::strerror(errno));
    if (!at.exists) index->Add(at.folder.get(), at.name);
  }
  if (!any) return Fail(error, shown + " is not a device path inside the terminal");
  return true;
}

// The object store as the profile makes it: the files under dir/fs and the
// registry in dir/registry.db.
bool MakeObjectStore(const fs::path& dir, const json& profile, std::string* error) {
  const fs::path fsRoot = dir / "fs";
  std::error_code ec;
  fs::create_directories(fsRoot, ec);
  if (ec) return Fail(error, fsRoot.string() + ": " + ec.message());
  NameIndex index;
  const json folders = profile.value("folders", json::array());
  for (const auto& f : folders)
    if (!MakeDeviceEntry(fsRoot, f.get<std::string>(), true, {}, &index, error)) return false;
  // The host's installed files come first, so that a profile may replace one.
  for (const auto& [path, bytes] : detail::HostInstallFiles())
    if (!MakeDeviceEntry(fsRoot, std::string(path), false, bytes, &index, error)) return false;
  const json files = profile.value("files", json::object());
  for (const auto& [path, content] : files.items())
    if (!MakeDeviceEntry(fsRoot, path, false, content.get<std::string>(), &index, error)) return false;
  const json sounds = profile.value("sounds", json::object());
  for (const auto& [path, description] : sounds.items())
    if (!MakeDeviceEntry(fsRoot, path, false, MakeSound(description), &index, error)) return false;
  auto registry = RegistryStore::Create(dir / "registry.db", error);
  return registry && registry->Seed(profile.value("registry", json::object()), error);
}

int64_t NowUnixMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool Populate(const fs::path& dir, const json& profile, std::string* error) {
  if (!MakeObjectStore(dir, profile, error)) return false;
  json hardware = profile["hardware"];
  // The terminal starts now: its tick count runs from this moment.
  hardware["kernel"]["boot_time_unix_ms"] = NowUnixMs();
  if (!hardware["kernel"].contains("named_events")) hardware["kernel"]["named_events"] = json::array();
  return WriteFile(dir / "hardware.json", hardware.dump(2) + "\n", error) &&
         WriteFile(dir / "terminal.json", profile.dump(2) + "\n", error);
}

// A cold boot: the object store made afresh from the terminal's profile
// beside the old one, then swapped in, the registry first, then the files in
// one exchange of the two folders, so that a crash at any moment leaves a
// whole store (the clean-boot flag stays, and the next boot tries again).
// The hardware state stays: it is no part of the store.
bool ClearObjectStore(const fs::path& dir, std::string* error) {
  json profile;
  if (!ReadJsonFile(dir / "terminal.json", &profile, error, kMaxProfileFileBytes)) return false;
  const fs::path fresh = dir / ".boot-store";
  std::error_code ec;
  fs::remove_all(fresh, ec);
  if (!fs::create_directory(fresh, ec)) return Fail(error, fresh.string() + ": " + ec.message());
  if (!MakeObjectStore(fresh, profile, error)) {
    fs::remove_all(fresh, ec);
    return false;
  }
  // The old registry's journal must not be applied to the new one.
  for (const char* companion : {"registry.db-wal", "registry.db-shm", "registry.db-journal"})
    fs::remove(dir / companion, ec);
  bool made =
      ::rename((fresh / "registry.db").c_str(), (dir / "registry.db").c_str()) == 0 &&
      ::renameat2(AT_FDCWD, (fresh / "fs").c_str(), AT_FDCWD, (dir / "fs").c_str(), RENAME_EXCHANGE) == 0;
  if (!made)
    Fail(error, "the object store of " + dir.string() + " cannot be replaced: " + std::strerror(errno));
  fs::remove_all(fresh, ec);  // the old files, after the exchange
  return made;
}

// Moves what the staging folder holds into the empty folder dir, terminal.json
// last: until it is there, dir is no terminal to anyone who looks. The folder
// itself stays (its owner, its mode, and the working folder of anyone in it).
bool MoveInto(const fs::path& staging, const fs::path& dir, std::string* error) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(staging, ec))
    if (e.path().filename() != "terminal.json") entries.push_back(e.path());
  if (ec) return Fail(error, staging.string() + ": " + ec.message());
  entries.push_back(staging / "terminal.json");
  for (size_t i = 0; i < entries.size(); ++i) {
    const fs::path to = dir / entries[i].filename();
    if (::renameat2(AT_FDCWD, entries[i].c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) continue;
    Fail(error, to.string() + ": cannot be created: " + std::strerror(errno));
    for (size_t j = 0; j < i; ++j)
      fs::remove_all(dir / entries[j].filename(), ec);  // the folder is empty again
    return false;
  }
  return true;
}

// Serializes the making of terminals in one parent folder among processes.
class ParentLock {
 public:
  bool Take(const fs::path& parent, std::string* error) {
    fd_ = HostFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd_) return Fail(error, parent.string() + ": cannot be opened: " + std::strerror(errno));
    if (::flock(fd_.get(), LOCK_EX) != 0)
      return Fail(error, parent.string() + ": cannot be locked: " + std::strerror(errno));
    return true;
  }

 private:
  HostFd fd_;
};

// What dir is now: a terminal, free for one (missing or an empty folder), or
// neither (error says why).
enum class Target { kTerminal, kMissing, kEmptyFolder, kOccupied };

Target Inspect(const fs::path& dir, std::string* error) {
  if (IsTerminalDir(dir)) return Target::kTerminal;
  struct ::stat st {};
  if (::stat(dir.c_str(), &st) != 0) {
    if (errno == ENOENT) return Target::kMissing;
    Fail(error, dir.string() + ": " + std::strerror(errno));
    return Target::kOccupied;
  }
  if (!S_ISDIR(st.st_mode)) {
    Fail(error, dir.string() + ": already exists and is not a folder");
    return Target::kOccupied;
  }
  HostFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  bool empty = true;
  if (!fd || !ListFolder(fd.get(), [&](const char*) { empty = false; })) {
    Fail(error, dir.string() + ": cannot be read: " + std::strerror(errno));
    return Target::kOccupied;
  }
  if (!empty) {
    // A terminal with a state file or fs/ that is not what it should be is
    // named for that, not taken for someone else's folder.
    bool holdsNone = false;
    const std::string why = WhyNotATerminal(dir, &holdsNone);
    Fail(error, holdsNone ? dir.string() +
                                ": not a terminal (it exists but holds no terminal.json, hardware.json, "
                                "registry.db and fs/), and not an empty folder to make one in"
                          : why);
    return Target::kOccupied;
  }
  return Target::kEmptyFolder;
}

}  // namespace

void HonourReboot(const fs::path& dir) {
  std::error_code ec;
  if (!fs::exists(dir / kRebootMarker, ec)) return;
  std::string error;
  if (fs::exists(dir / kCleanBootMarker, ec)) {
    if (!ClearObjectStore(dir, &error)) {
      // Both marks stay: the next boot tries again.
      std::fprintf(stderr, "the cold boot of %s kept the object store: %s\n", dir.c_str(), error.c_str());
      return;
    }
    fs::remove(dir / kCleanBootMarker, ec);
  }
  // A boot restarts the tick count.
  ChangeHardwareFile(dir / "hardware.json", "kernel.boot_time_unix_ms", NowUnixMs(), &error);
  fs::remove(dir / kRebootMarker, ec);
}

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
  if (nameOrPath.empty() || fs::symlink_status(path, ec).type() == fs::file_type::not_found) {
    std::string names;
    for (const auto& n : ProfileNames()) names += (names.empty() ? "" : ", ") + n;
    Fail(error,
         std::string(nameOrPath) + ": no such profile file, and not a built-in profile (" + names + ")");
    return std::nullopt;
  }
  json profile;
  if (!ReadJsonFile(path, &profile, error, kMaxProfileFileBytes)) return std::nullopt;
  std::string why;
  if (!CheckProfile(profile, &why)) {
    Fail(error, path.string() + ": " + why);
    return std::nullopt;
  }
  return profile;
}

bool CreateTerminal(const fs::path& where, const json& profile, std::string* error,
                    IfTerminalExists ifExists) {
  if (!CheckProfile(profile, error)) return false;
  std::error_code ec;
  // "t/" names the folder t: the staging folder is made beside it.
  fs::path dir = fs::absolute(where, ec).lexically_normal();
  if (!dir.has_filename()) dir = dir.parent_path();
  const fs::path parent = dir.parent_path();
  if (dir == parent) return Fail(error, dir.string() + ": a terminal cannot be made in the root folder");
  fs::create_directories(parent, ec);
  if (ec) return Fail(error, parent.string() + ": " + ec.message());

  // One maker at a time per parent folder: a process that finds the terminal
  // made while it waited uses it (when asked to), and nobody renames over a
  // terminal another has just made.
  ParentLock lock;
  if (!lock.Take(parent, error)) return false;
  RemoveOrphanedStaging(parent);
  switch (Inspect(dir, error)) {
    case Target::kTerminal:
      if (ifExists == IfTerminalExists::kUse) return true;
      return Fail(error, dir.string() + ": already exists and is not an empty folder");
    case Target::kOccupied:
      return false;
    case Target::kMissing:
    case Target::kEmptyFolder:
      break;
  }
  const bool intoExisting = fs::is_directory(dir, ec);

  // Build beside the target and move into place: bad input leaves nothing behind.
  const fs::path staging = parent / StagingName(dir.filename().string());
  fs::remove_all(staging, ec);  // this process's own, from an earlier failure
  fs::create_directory(staging, ec);
  if (ec) return Fail(error, staging.string() + ": " + ec.message());
  HostFd held(::open(staging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!held || !LockStaging(held.get())) {
    fs::remove_all(staging, ec);
    return Fail(error, staging.string() + ": cannot be locked");
  }
  bool made = false;
  try {
    made = Populate(staging, profile, error);
  } catch (const std::exception& e) {
    Fail(error, std::string("the profile cannot be used: ") + e.what());
  }
  // The terminal does not keep the marker; a death from here on leaves an
  // unmarked folder, kept for a person to look at rather than removed.
  if (made && ::unlinkat(held.get(), kStagingMarker, 0) != 0)
    made = Fail(error, (staging / kStagingMarker).string() + ": cannot be removed: " + std::strerror(errno));
  if (made && intoExisting) {
    made = MoveInto(staging, dir, error);
  } else if (made && ::rename(staging.c_str(), dir.c_str()) != 0) {
    made = Fail(error, dir.string() + ": cannot be created: " + std::strerror(errno));
  }
  if (!made) {
    fs::remove_all(staging, ec);
    return false;
  }
  if (intoExisting) fs::remove(staging, ec);
  return true;
}

}  // namespace ce::sim
