#include "staging.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <vector>

#include "state_files.h"

namespace ce::sim {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMarker = ".making.";

constexpr std::string_view kMarkerText = "qel terminal staging, maker ";

// The maker's process id of a staging folder's name, or 0 for any other name.
pid_t MakerOf(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return 0;
  const size_t at = name.rfind(kMarker);
  if (at == std::string_view::npos || at < 2) return 0;
  return ProcessIdOf(name.substr(at + kMarker.size()));
}

std::string MarkerFor(pid_t pid) { return std::string(kMarkerText) + std::to_string(pid) + "\n"; }

// The folder carries the marker its maker pid wrote.
bool MarkedBy(int folder, pid_t pid) {
  HostFd marker(::openat(folder, kStagingMarker, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!marker) return false;
  const std::string expected = MarkerFor(pid);
  std::string text(expected.size() + 1, '\0');
  const ssize_t n = ::read(marker.get(), text.data(), text.size());
  return n == ssize_t(expected.size()) && text.compare(0, expected.size(), expected) == 0;
}

// Holds nothing but what the making of a terminal puts in its staging folder:
// a folder of someone else's that only looks like one by its name is kept.
bool HoldsOnlyTerminalFiles(int folder) {
  bool only = true;
  const bool listed = ListFolder(folder, [&](const char* name) {
    const std::string_view n = name;
    only = only && (n == "fs" || n == kStagingMarker || IsStateFileName(n));
  });
  return listed && only;
}

}  // namespace

std::string StagingName(const std::string& terminalName) {
  return "." + terminalName + std::string(kMarker) + std::to_string(::getpid());
}

pid_t ProcessIdOf(std::string_view digits) {
  pid_t pid = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (ec != std::errc() || end != digits.data() + digits.size() || pid <= 0) return 0;
  return pid;
}

bool ProcessIsGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

bool LockStaging(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  HostFd marker(::openat(fd, kStagingMarker, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  const std::string text = MarkerFor(::getpid());
  return marker && ::write(marker.get(), text.data(), text.size()) == ssize_t(text.size());
}

size_t RemoveOrphanedStaging(const fs::path& parent) {
  HostFd folder(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return 0;
  std::vector<std::string> candidates;
  ListFolder(folder.get(), [&](const char* name) {
    const pid_t pid = MakerOf(name);
    if (pid != 0 && pid != ::getpid()) candidates.emplace_back(name);
  });
  size_t removed = 0;
  for (const auto& name : candidates) {
    HostFd staging(::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // Both tests: the lock guards against a reused process id, the process id
    // against a maker that took no lock.
    if (!staging || ::flock(staging.get(), LOCK_EX | LOCK_NB) != 0 ||
        !MarkedBy(staging.get(), MakerOf(name)) || !ProcessIsGone(MakerOf(name)) ||
        !HoldsOnlyTerminalFiles(staging.get()))
      continue;
    std::error_code ec;
    fs::remove_all(parent / name, ec);
    removed += !ec;
  }
  return removed;
}

}  // namespace ce::sim
