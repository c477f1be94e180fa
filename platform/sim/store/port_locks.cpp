#include "port_locks.h"

#include <fcntl.h>

#include <cerrno>

#include "case_fold.h"
#include "state_files.h"

namespace ce::sim {
namespace {

constexpr off_t kNames = 26 * 26 * 26 * 10;

off_t Offset(std::u16string_view port, PortLock kind) {
  off_t at = 0;
  for (size_t i = 0; i < 3; ++i) at = at * 26 + (FoldChar(port[i]) - u'A');
  at = at * 10 + (port[3] - u'0');
  return kind == PortLock::kOpen ? at : kNames + at;
}

struct flock Range(std::u16string_view port, PortLock kind, short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = Offset(port, kind);
  range.l_len = 1;
  return range;
}

}  // namespace

HostFd OpenPortLocks(const std::filesystem::path& dir, std::string* error) {
  return OpenStateFile(dir, "ports.lock", O_RDWR | O_CREAT, error);
}

bool TakePortLock(int fd, std::u16string_view port, PortLock kind) {
  struct flock range = Range(port, kind, kind == PortLock::kOpen ? F_WRLCK : F_RDLCK);
  if (::fcntl(fd, F_OFD_SETLK, &range) == 0) return true;
  if (errno == EACCES) errno = EAGAIN;
  return false;
}

bool PortLockHeld(int fd, std::u16string_view port, PortLock kind) {
  struct flock range = Range(port, kind, F_WRLCK);
  return ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

}  // namespace ce::sim
