#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host_file.h"

namespace qelhost {
namespace {

HostFileRead Unreadable() {
  return HostFileRead::Refused(ReadRefusal::kUnreadable,
                               std::string("cannot be read: ") + std::strerror(errno));
}

}  // namespace

HostFileRead ReadRegularFile(const std::filesystem::path& file, uint64_t maxBytes) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT ? HostFileRead::Refused(ReadRefusal::kMissing, "no such file") : Unreadable();
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct ::stat st {};
  if (::fstat(fd, &st) != 0) return Unreadable();
  if (S_ISDIR(st.st_mode)) return HostFileRead::Refused(ReadRefusal::kFolder, "is a folder, not a file");
  if (!S_ISREG(st.st_mode)) return HostFileRead::Refused(ReadRefusal::kNotRegular, "is not a regular file");
  if (uint64_t(st.st_size) > maxBytes) return HostFileRead::TooLarge(maxBytes);
  HostFileRead r;
  r.bytes.resize(size_t(st.st_size));
  size_t got = 0;
  while (got < r.bytes.size()) {
    const ssize_t n = ::read(fd, r.bytes.data() + got, r.bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Unreadable();
    if (n == 0) break;
    got += size_t(n);
  }
  r.bytes.resize(got);
  return r;
}

}  // namespace qelhost
