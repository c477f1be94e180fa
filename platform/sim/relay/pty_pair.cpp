#include "pty_pair.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>

#include <cerrno>
#include <cstring>

namespace ce::sim::relay {

bool OpenPtyPair(PtyPair* pair, std::string* error) {
  struct termios raw {};
  ::cfmakeraw(&raw);
  raw.c_cflag |= CREAD | CLOCAL;
  raw.c_cc[VMIN] = 1;
  ::cfsetispeed(&raw, B115200);
  ::cfsetospeed(&raw, B115200);
  int master = -1, slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
    *error = std::string("no pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  pair->master = HostFd(master);
  pair->slave = HostFd(slave);
  pair->path = name;
  for (const int fd : {master, slave}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  return true;
}

}  // namespace ce::sim::relay
