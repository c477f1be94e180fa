#include "open_files.h"

#include <fcntl.h>
#include <sys/file.h>

#include <array>
#include <cerrno>
#include <limits>

#include "ce/error.h"
#include "ce/files.h"

namespace ce::sim {
namespace {

// Each side's access must be allowed by the other side's share mode.
bool Compatible(const DataAccess& a, const DataAccess& b) {
  auto allows = [](DWORD access, DWORD share) {
    return (!(access & GENERIC_READ) || (share & FILE_SHARE_READ)) &&
           (!(access & GENERIC_WRITE) || (share & FILE_SHARE_WRITE));
  };
  return allows(a.access, b.share) && allows(b.access, a.share);
}

// Share locks: an open holds a shared OFD lock on one marker byte per access it
// has and per access it denies. The bytes lie far beyond any data the device
// could hold, so the locks never meet reads or writes.
enum Marker : off_t { kReads, kWrites, kDeniesRead, kDeniesWrite, kMarkers };
constexpr off_t kMarkerBase = std::numeric_limits<off_t>::max() - kMarkers;

struct flock MarkerRange(short type, off_t first, off_t count) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kMarkerBase + first;
  fl.l_len = count;
  return fl;
}

// Whether another open file description holds a lock on the markers.
bool HeldElsewhere(int fd, off_t first, off_t count = 1) {
  struct flock fl = MarkerRange(F_WRLCK, first, count);
  return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

bool Hold(int fd, off_t marker) {
  struct flock fl = MarkerRange(F_RDLCK, marker, 1);
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// Serialises the check and the taking of share locks among all openers of
// the file: flock, unlike a write lock, is open to a read-only descriptor too.
class OpenerGuard {
 public:
  explicit OpenerGuard(int fd) : fd_(fd) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~OpenerGuard() { ::flock(fd_, LOCK_UN); }
  OpenerGuard(const OpenerGuard&) = delete;
  OpenerGuard& operator=(const OpenerGuard&) = delete;

 private:
  int fd_;
};

}  // namespace

uint64_t OpenFileTable::Claim(FileKey key, DataAccess wanted) {
  std::lock_guard lock(mu_);
  auto& opens = open_[key];
  for (const auto& [id, held] : opens)
    if (!Compatible(held, wanted)) return 0;
  const uint64_t id = nextId_++;
  opens.emplace(id, wanted);
  return id;
}
void OpenFileTable::Release(FileKey key, uint64_t id) {
  std::lock_guard lock(mu_);
  auto it = open_.find(key);
  if (it == open_.end()) return;
  it->second.erase(id);
  if (it->second.empty()) open_.erase(it);
}
bool OpenFileTable::IsOpen(FileKey key) {
  std::lock_guard lock(mu_);
  return open_.count(key) != 0;
}

DWORD LockShareMode(int fd, DataAccess wanted) {
  const bool reads = wanted.access & GENERIC_READ, writes = wanted.access & GENERIC_WRITE;
  const bool deniesRead = !(wanted.share & FILE_SHARE_READ), deniesWrite = !(wanted.share & FILE_SHARE_WRITE);
  OpenerGuard guard(fd);
  if ((reads && HeldElsewhere(fd, kDeniesRead)) || (writes && HeldElsewhere(fd, kDeniesWrite)) ||
      (deniesRead && HeldElsewhere(fd, kReads)) || (deniesWrite && HeldElsewhere(fd, kWrites)))
    return ERROR_SHARING_VIOLATION;
  const std::array<std::pair<bool, Marker>, 4> holds{
      {{reads, kReads}, {writes, kWrites}, {deniesRead, kDeniesRead}, {deniesWrite, kDeniesWrite}}};
  for (const auto& [wantedHere, marker] : holds)
    if (wantedHere && !Hold(fd, marker)) return ERROR_SHARING_VIOLATION;
  return ERROR_SUCCESS;
}

bool IsOpenElsewhere(int fd) { return HeldElsewhere(fd, 0, kMarkers); }

}  // namespace ce::sim
