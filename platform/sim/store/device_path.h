// Device paths ("\Windows\Wceload.exe") mapped onto the host folder that holds
// the terminal's file system.
//
// Rules, as on the device where it matters and strict where the host differs:
//  - '\' and '/' both separate; repeated separators collapse; a path without a
//    leading separator is taken from the root (the device has no current folder).
//  - Names match without regard to case (ASCII, Latin-1, Latin Extended-A, basic
//    Greek and Cyrillic). When the host holds several spellings of one name, the
//    exact spelling wins, else the first in byte order.
//  - Nothing reaches outside the root: "." and ".." and names with < > : " | ? *
//    or control characters are ERROR_INVALID_NAME (so are drive letters, "C:"),
//    a symbolic link anywhere on the path is ERROR_ACCESS_DENIED, and every
//    folder is opened relative to its parent without following links, so a link
//    planted while a path is walked is refused too.
//  - A path that with its terminating NUL does not fit MAX_PATH, or a name longer
//    than the host allows, is ERROR_FILENAME_EXCED_RANGE.
//  - The device has no hard links: an existing file whose host link count is
//    above 1 (a link planted from outside fs/ would be one) is ERROR_ACCESS_DENIED.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "ce/types.h"
#include "ce/unique.h"

namespace ce::sim {

// Owns a host file descriptor.
struct HostFdTraits {
  using Value = int;
  static int Empty() { return -1; }
  static bool Held(int fd) { return fd >= 0; }
  static void Close(int fd);
};
using HostFd = Unique<HostFdTraits>;

enum class Resolve {
  kName,     // the last component names an entry, which may not exist yet (create)
  kPattern,  // the last component is a find pattern: * and ? allowed, left unresolved
};

struct ResolvedPath {
  HostFd folder;                   // the folder holding the last component
  bool isRoot = false;             // the path names the root folder itself
  bool inRoot = false;             // folder is the root (or isRoot)
  bool trailingSeparator = false;  // "\Folder\": the path must name a folder
  std::string requested;           // kName: the last component as given (UTF-8)
  std::string name;                // kName: its host name; the existing spelling when it exists
  std::u16string pattern;          // kPattern: the last component
  bool exists = false;             // kName: name exists in folder (never a link)
  struct ::stat st {};             // kName: of the existing entry, or of the root
};

// The device names of folders' entries, listed once per folder: a resolver
// given one finds a name in a folder it has seen without listing it again.
// For one owner that makes every entry through it (the making of a terminal);
// entries made or removed by others are not seen.
class NameIndex {
 public:
  // The host name of the entry of folder the device calls name, or null.
  // False, with errno, when the folder cannot be listed.
  bool Find(int folder, std::u16string_view name, const std::string** hostName);
  // Records an entry made in folder by the index's owner.
  void Add(int folder, const std::string& hostName);

 private:
  using Names = std::unordered_map<std::u16string, std::string>;  // folded device name -> host name
  Names* Listed(int folder);
  std::map<std::pair<dev_t, ino_t>, Names> folders_;
};

// Walks devicePath below fsRoot. Returns ERROR_SUCCESS and fills out, or the
// device error: ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE, ERROR_PATH_NOT_FOUND
// (a folder on the way is missing or is a file), ERROR_ACCESS_DENIED (a link),
// ERROR_NOT_READY (fsRoot cannot be opened). An empty path names the root.
DWORD ResolveDevicePath(const std::filesystem::path& fsRoot, std::u16string_view devicePath, Resolve mode,
                        ResolvedPath* out, NameIndex* index = nullptr);
// The same from a descriptor of fsRoot, which stays the caller's: a terminal
// keeps its root open so that a walk does not open it again.
DWORD ResolveDevicePath(int fsRoot, std::u16string_view devicePath, Resolve mode, ResolvedPath* out,
                        NameIndex* index = nullptr);

// ERROR_SUCCESS when every component of a relative path is a name the device
// allows for a file or folder (no wildcards), else ERROR_INVALID_NAME.
DWORD CheckRelativeName(std::u16string_view path);

// The device's name for a host entry, or nothing when the device could not name
// it (not UTF-8, or a character the device forbids).
std::optional<std::u16string> DeviceNameOf(std::string_view hostName);

// Calls visit with every entry of the folder but "." and "..". False, with errno
// set, when the folder cannot be read.
bool ListFolder(int folderFd, const std::function<void(const char* hostName)>& visit);

// A regular file with more than one host link: the device has none.
bool IsHardLinked(const struct ::stat& st);

// The device error for a host errno.
DWORD ErrorFromErrno(int err);

}  // namespace ce::sim
