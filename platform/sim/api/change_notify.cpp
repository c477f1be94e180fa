// Change notifications on a folder tree, through inotify. A wait that finds
// changes takes them (watching folders made below a watched tree) and latches
// the handle signalled; FindNextChangeNotification releases the latch, and
// changes made after the wait (while the waiter handled the first ones) signal
// the handle again. The waitable descriptor is an epoll set of both.
// A notification belongs to the folder it was opened on: when that folder is
// deleted the handle is signalled once more and can no longer be re-armed;
// a folder made again under the name is not watched.
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

#include "api.h"
#include "ce/error.h"
#include "ce/files.h"
#include "device_path.h"
#include "handles.h"
#include "kernel.h"
#include "last_error.h"
#include "terminal.h"

namespace ce {
namespace sim {
namespace {

uint32_t MaskFor(DWORD filter, bool subtree) {
  uint32_t mask = 0;
  if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME))
    mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  if (filter & FILE_NOTIFY_CHANGE_ATTRIBUTES) mask |= IN_ATTRIB;
  if (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) mask |= IN_MODIFY;
  // New folders must be seen to be watched in turn.
  if (subtree) mask |= IN_CREATE | IN_MOVED_TO;
  return mask;
}

class ChangeNotification final : public KernelObject {
 public:
  ChangeNotification(uint32_t mask, bool subtree)
      : notify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
        latch_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
        either_(::epoll_create1(EPOLL_CLOEXEC)),
        mask_(mask),
        subtree_(subtree) {
    for (int fd : {notify_.get(), latch_.get()}) {
      epoll_event e{};
      e.events = EPOLLIN;
      e.data.fd = fd;
      if (either_.get() >= 0 && fd >= 0) ::epoll_ctl(either_.get(), EPOLL_CTL_ADD, fd, &e);
    }
  }
  int WaitFd() const override { return either_.get(); }

  bool TryAcquire() override {
    std::lock_guard lock(mu_);
    if (TakeChangesLocked() && !latched_) {
      const uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(latch_.get(), &one, sizeof one);
      latched_ = true;
    }
    return latched_;
  }

  // Watches the folder, and with a subtree every folder below it. The path
  // must still name the folder `expected` describes once the watch is on: one
  // deleted or moved meanwhile could leave it naming another.
  DWORD Watch(const std::string& folder, const struct ::stat& expected) {
    if (!notify_ || !latch_ || either_.get() < 0) return ERROR_NOT_ENOUGH_MEMORY;
    std::lock_guard lock(mu_);
    if (DWORD r = WatchLocked(folder)) return r;
    struct ::stat now {};
    if (::lstat(folder.c_str(), &now) != 0 || now.st_dev != expected.st_dev || now.st_ino != expected.st_ino)
      return ERROR_PATH_NOT_FOUND;
    return ERROR_SUCCESS;
  }

  // False once the watched folder is gone; the handle then stays unsignalled.
  bool Rearm() {
    std::lock_guard lock(mu_);
    if (latched_) {
      uint64_t v;
      [[maybe_unused]] ssize_t n = ::read(latch_.get(), &v, sizeof v);
      latched_ = false;
    }
    return !folderGone_;
  }

 private:
  // Reads the waiting events; true when one of them is a change.
  bool TakeChangesLocked() {
    bool changed = false;
    char buffer[8192] __attribute__((aligned(alignof(inotify_event))));
    ssize_t n;
    while ((n = ::read(notify_.get(), buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        at += ssize_t(sizeof(inotify_event) + e->len);
        if (e->mask & IN_IGNORED) {
          folders_.erase(e->wd);
          if (e->wd == folderWatch_) {
            folderGone_ = true;
            changed = true;
          }
          continue;
        }
        changed = true;
        if (subtree_ && (e->mask & IN_ISDIR) && (e->mask & (IN_CREATE | IN_MOVED_TO)) && e->len) {
          const auto parent = folders_.find(e->wd);
          if (parent != folders_.end()) WatchLocked(parent->second + "/" + e->name);
        }
      }
    }
    return changed;
  }

 private:
  DWORD WatchLocked(const std::string& folder) {
    const int wd = ::inotify_add_watch(notify_.get(), folder.c_str(), mask_ | IN_ONLYDIR | IN_DONT_FOLLOW);
    if (wd < 0) return ErrorFromErrno(errno);
    if (folders_.empty() && folderWatch_ < 0) folderWatch_ = wd;
    folders_[wd] = folder;
    if (!subtree_) return ERROR_SUCCESS;
    HostFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir) return ERROR_SUCCESS;
    std::vector<std::string> children;
    ListFolder(dir.get(), [&](const char* name) {
      struct ::stat st {};
      if (::fstatat(dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        children.push_back(name);
    });
    for (const auto& child : children) WatchLocked(folder + "/" + child);
    return ERROR_SUCCESS;
  }

  HostFd notify_;
  HostFd latch_;  // readable while the handle is latched signalled
  HostFd either_;
  const uint32_t mask_;
  const bool subtree_;
  std::mutex mu_;
  bool latched_ = false;
  int folderWatch_ = -1;                // the watch descriptor of the folder it was opened on
  bool folderGone_ = false;             // that folder was deleted
  std::map<int, std::string> folders_;  // watch descriptor -> host folder
};

// The host path of an existing folder of the terminal, and what it was then.
DWORD HostFolder(LPCWSTR path, std::string* out, struct ::stat* st) {
  if (!path || !*path) return ERROR_PATH_NOT_FOUND;
  const auto terminal = Current();
  if (!terminal) return ERROR_NOT_READY;
  const auto root = terminal->fs_root_handle();
  if (!root) return ERROR_NOT_READY;
  ResolvedPath p;
  const DWORD r = ResolveDevicePath(root->get(), path, Resolve::kName, &p);
  if (r != ERROR_SUCCESS) return r;
  if (!p.exists || !S_ISDIR(p.st.st_mode)) return p.exists ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
  // The folder the walk reached, wherever it is now, as file calls see it.
  char folder[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(p.folder.get());
  const ssize_t n = ::readlink(link.c_str(), folder, sizeof folder);
  if (n <= 0 || size_t(n) == sizeof folder) return ERROR_PATH_NOT_FOUND;
  *out = std::string(folder, size_t(n));
  if (!p.isRoot) *out += "/" + p.name;
  *st = p.st;
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace sim

namespace sim::api {

HANDLE FindFirstChangeNotificationW(LPCWSTR path, BOOL watchSubtree, DWORD filter) {
  using namespace sim;
  std::string folder;
  struct ::stat st {};
  DWORD r = HostFolder(path, &folder, &st);
  if (r == ERROR_SUCCESS && (filter & 0x1F) == 0) r = ERROR_INVALID_PARAMETER;
  std::shared_ptr<ChangeNotification> change;
  if (r == ERROR_SUCCESS) {
    change =
        std::make_shared<ChangeNotification>(MaskFor(filter, watchSubtree != FALSE), watchSubtree != FALSE);
    r = change->Watch(folder, st);
  }
  if (r != ERROR_SUCCESS) {
    SetLastError(r);
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(change);
}

BOOL FindNextChangeNotification(HANDLE h) {
  auto change = sim::LookupHandleAs<sim::ChangeNotification>(h);
  if (!change) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!change->Rearm()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE h) {
  if (!sim::LookupHandleAs<sim::ChangeNotification>(h)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return sim::RemoveHandle(h) ? TRUE : FALSE;
}

}  // namespace sim::api
}  // namespace ce
