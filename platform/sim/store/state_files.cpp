#include "state_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "staging.h"

namespace ce::sim {
namespace fs = std::filesystem;

namespace {

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

constexpr char kMustBeRegular[] = "; a terminal's state files must be regular files";

const char* KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";  // "is not a regular file"
}

// The mkstemp suffix: a dot and six characters.
constexpr size_t kSuffix = 7;

}  // namespace

bool IsStateFileName(std::string_view name) {
  return std::find(std::begin(kStateFiles), std::end(kStateFiles), name) != std::end(kStateFiles);
}

std::string WhyNotAStateFile(const fs::path& path, mode_t mode) {
  if (S_ISREG(mode)) return {};
  return path.string() + ": is " + KindOf(mode) + kMustBeRegular;
}

HostFd OpenStateFile(const fs::path& dir, std::string_view name, int flags, std::string* error,
                     bool* missing) {
  if (missing) *missing = false;
  const fs::path path = dir / name;
  if (!IsStateFileName(name)) {
    Fail(error, path.string() + ": is not a state file a terminal declares");
    return HostFd();
  }
  HostFd fd(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
  if (!fd) {
    const int err = errno;
    struct ::stat st {};
    // ELOOP is a link at the last component; ENXIO a FIFO opened for writing
    // without a reader; EISDIR a folder opened for writing.
    const bool there = ::lstat(path.c_str(), &st) == 0;
    if (there && !S_ISREG(st.st_mode)) {
      Fail(error, WhyNotAStateFile(path, st.st_mode));
    } else if (err == ENOENT) {
      if (missing) *missing = true;
      Fail(error, path.string() + ": does not exist");
    } else {
      Fail(error, path.string() +
                      (!there && (flags & O_CREAT) ? ": cannot be created: " : ": cannot be opened: ") +
                      std::strerror(err));
    }
    errno = err;
    return HostFd();
  }
  struct ::stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    Fail(error, path.string() + ": cannot be opened: " + std::strerror(errno));
    return HostFd();
  }
  if (!S_ISREG(st.st_mode)) {
    Fail(error, WhyNotAStateFile(path, st.st_mode));
    return HostFd();
  }
  return fd;
}

bool CheckStateFile(const fs::path& path, std::string* error) {
  struct ::stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    return Fail(error, path.string() + ": " + std::strerror(errno));
  }
  if (S_ISREG(st.st_mode)) return true;
  return Fail(error, WhyNotAStateFile(path, st.st_mode));
}

bool CheckDatabaseFiles(const fs::path& path, std::string* error) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    if (!CheckStateFile(path.string() + suffix, error)) return false;
  return true;
}

bool CheckStateFiles(const fs::path& dir, std::string* error) {
  for (const auto name : kStateFiles)
    if (!CheckStateFile(dir / name, error)) return false;
  return true;
}

std::string StateTempPattern(const fs::path& dir, std::string_view name) {
  return (dir / ("." + std::string(name) + "." + std::to_string(::getpid()) + ".XXXXXX")).string();
}

ReplaceStep ReplaceStateFile(const fs::path& dir, std::string_view name, std::string_view text,
                             const struct ::stat* like) {
  std::string tmp = StateTempPattern(dir, name);
  HostFd out(::mkstemp(tmp.data()));
  if (!out) return ReplaceStep::kCreate;
  auto failed = [&](ReplaceStep step) {
    const int err = errno;
    out.reset();
    ::unlink(tmp.c_str());
    errno = err;
    return step;
  };
  // A short write is retried, so the reason of a failure (ENOSPC, EFBIG, EIO) is what errno says.
  for (std::string_view rest = text; !rest.empty();) {
    const ssize_t n = ::write(out.get(), rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return failed(ReplaceStep::kWrite);
    }
    rest.remove_prefix(size_t(n));
  }
  if (like && (like->st_uid != ::geteuid() || like->st_gid != ::getegid()) &&
      ::fchown(out.get(), like->st_uid, like->st_gid) != 0)
    return failed(ReplaceStep::kOwner);
  if (::fchmod(out.get(), like ? like->st_mode & 07777 : 0644) != 0) return failed(ReplaceStep::kMode);
  if (::fsync(out.get()) != 0) return failed(ReplaceStep::kWrite);
  out.reset();
  if (::rename(tmp.c_str(), (dir / name).c_str()) != 0) return failed(ReplaceStep::kReplace);
  return ReplaceStep::kDone;
}

pid_t StateTempWriterOf(std::string_view name) {
  for (const auto& file : kReplacedStateFiles) {
    const std::string prefix = "." + std::string(file.name) + ".";
    if (!name.starts_with(prefix) || name.size() < prefix.size() + 1 + kSuffix) continue;
    const std::string_view rest = name.substr(prefix.size());
    if (rest[rest.size() - kSuffix] != '.') return 0;
    return ProcessIdOf(rest.substr(0, rest.size() - kSuffix));
  }
  return 0;
}

namespace {

// "NAME.XXXXXX", a temporary of an earlier build, which named no writer.
bool IsUnnamedTemp(std::string_view entry, std::string_view name) {
  if (entry.size() != name.size() + kSuffix || !entry.starts_with(name) || entry[name.size()] != '.')
    return false;
  for (const char c : entry.substr(name.size() + 1))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

size_t RemoveStaleStateTemps(const fs::path& dir) {
  HostFd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return 0;
  size_t removed = 0;
  for (const auto& file : kReplacedStateFiles) {
    HostFd lock = OpenStateFile(dir, file.lock, O_RDWR | O_CREAT, nullptr);
    if (!lock) lock = OpenStateFile(dir, file.lock, O_RDONLY, nullptr);  // flock needs no write access
    // A writer makes its temporary file only while it holds the lock: with the
    // lock ours, every temporary file of a process that is gone is a leftover.
    if (!lock || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) continue;
    const std::string prefix = "." + std::string(file.name) + ".";
    std::vector<std::string> stale;
    ListFolder(folder.get(), [&](const char* entry) {
      const std::string_view e = entry;
      if (e.starts_with(prefix)) {
        const pid_t writer = StateTempWriterOf(e);
        if (writer != 0 && ProcessIsGone(writer)) stale.emplace_back(e);
      } else if (file.unnamedTemps && IsUnnamedTemp(e, file.name)) {
        stale.emplace_back(e);
      }
    });
    for (const auto& name : stale) {
      struct ::stat st {};
      // Only files: a folder or a link of that name is someone else's.
      if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        continue;
      removed += ::unlinkat(folder.get(), name.c_str(), 0) == 0;
    }
  }
  return removed;
}

}  // namespace ce::sim
