// The state files of a terminal: every file its folder holds beside fs/ and
// outputs/, declared once here, and the one rule every open of one of them
// goes through. A state file is the terminal's own: a symbolic link in its
// place (which could lead anywhere on the host), a FIFO (which would block its
// reader or writer), a device or a folder is refused, naming the path and the
// reason. SQLite opens the registry's companions (-wal, -shm, -journal)
// itself: they are checked with the same rule when the registry is opened.
//
// A state file that is replaced atomically is written first to a temporary
// file beside it, ".NAME.PID.XXXXXX" (hidden, and named after its writer's
// process id), so that the temporaries of writers that died can be told from
// everything else and removed (RemoveStaleStateTemps).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "device_path.h"

namespace ce::sim {

// Every state file a terminal may hold. A file of a terminal's folder that is
// not named here is not opened through OpenStateFile: a new state file is
// declared here first, and the rule covers it.
inline constexpr std::string_view kStateFiles[] = {
    "terminal.json",      "hardware.json",       "hardware.lock", "registry.db",  "registry.db-wal",
    "registry.db-shm",    "registry.db-journal", "events.log",    "events.log.1", "notifications.json",
    "notifications.lock", "ports.lock",          "boot.lock",     "clean-boot",   "rebooted",
};

// The state files written through a temporary file and a rename, each with
// the lock its writers hold while their temporary file exists, and whether
// earlier builds wrote it through "NAME.XXXXXX", a temporary naming no writer.
struct ReplacedStateFile {
  std::string_view name;
  std::string_view lock;
  bool unnamedTemps;
};
// (events.log is locked itself, and replaced by a new file when rotated.)
inline constexpr ReplacedStateFile kReplacedStateFiles[] = {
    {"hardware.json", "hardware.lock", false},
    {"notifications.json", "notifications.lock", true},
    {"events.log", "events.log", false}};

// Whether name is declared in kStateFiles.
bool IsStateFileName(std::string_view name);

// "<path>: is a symbolic link; a terminal's state files must be regular
// files" and the like, for what lstat found at path (st_mode); empty for a
// regular file.
std::string WhyNotAStateFile(const std::filesystem::path& path, mode_t mode);

// Opens dir/name, a declared state file, with flags (O_RDONLY, O_RDWR,
// O_WRONLY, O_APPEND, O_CREAT, O_TRUNC...): never through a link (O_NOFOLLOW),
// never blocking on a FIFO (O_NONBLOCK, which the open file keeps; it changes
// nothing for a regular file), and only when what was opened is a regular
// file. Null with a message naming the path and the cause otherwise; *missing
// is set when the file does not exist (and O_CREAT was not given).
HostFd OpenStateFile(const std::filesystem::path& dir, std::string_view name, int flags, std::string* error,
                     bool* missing = nullptr);

// Checks the state file at path without opening it: true when it is a
// regular file or does not exist.
bool CheckStateFile(const std::filesystem::path& path, std::string* error);
// Checks an SQLite database file and the companions SQLite opens beside it
// (path + "-wal", "-shm", "-journal"), which no OpenStateFile reaches.
bool CheckDatabaseFiles(const std::filesystem::path& path, std::string* error);
// Checks every declared state file of the terminal in dir.
bool CheckStateFiles(const std::filesystem::path& dir, std::string* error);

// The mkstemp pattern of this process's temporary file for dir/name, one of
// kReplacedStateFiles: "<dir>/.<name>.<pid>.XXXXXX".
std::string StateTempPattern(const std::filesystem::path& dir, std::string_view name);
// The step of ReplaceStateFile that failed (errno says why), or kDone.
enum class ReplaceStep { kDone, kCreate, kWrite, kOwner, kMode, kReplace };
// Replaces dir/name, one of kReplacedStateFiles, whose lock the caller holds,
// with text: written whole to this process's temporary file beside it, given
// like's owner and mode (like null: this process's, mode 0644), synced, then
// renamed over the name, so a reader sees the old file or the new one, whole.
// A failure removes the temporary file and leaves dir/name as it was.
ReplaceStep ReplaceStateFile(const std::filesystem::path& dir, std::string_view name, std::string_view text,
                             const struct ::stat* like);
// The writer's process id of a temporary file's name (any replaced state
// file's), or 0 for any other name.
pid_t StateTempWriterOf(std::string_view name);
// Removes the temporary files in dir of writers that are gone (killed while
// writing), for each replaced state file while no writer holds its lock:
// those named by StateTempPattern whose process is gone, and the unnamed ones
// earlier builds left ("notifications.json.XXXXXX"). Returns how many.
size_t RemoveStaleStateTemps(const std::filesystem::path& dir);

}  // namespace ce::sim
