// qelterminal TERMINAL-DIR: the object server of one terminal. The first
// process that joins the terminal starts it; it leaves its starter at once
// (so nobody has to reap it), says on descriptor 3 that it listens (or that
// another server already does), and ends two seconds after the last process
// has left, unless another joins meanwhile.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "object_server.h"
#include "sibling_program.h"
#include "terminal_wire.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qelterminal TERMINAL-DIR\n");
    return 2;
  }
  const std::string name = ce::sim::wire::SocketName(argv[1]);
  if (name.empty() || name.size() >= sizeof(sockaddr_un::sun_path)) {
    std::fprintf(stderr, "qelterminal: %s: %s\n", argv[1],
                 name.empty() ? std::strerror(errno) : "name too long");
    return 1;
  }
  if (!ce::sim::DetachFromStarter()) return 0;

  const int listenFd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.data(), name.size());
  const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + name.size());
  if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listenFd, SOMAXCONN) != 0) {
    // EADDRINUSE: another process started the terminal's server first; it serves.
    const bool taken = errno == EADDRINUSE;
    ce::sim::AnswerStarter("ok");
    return taken ? 0 : 1;
  }
  ce::sim::AnswerStarter("ok");
  ce::sim::server::ObjectServer(listenFd, ::open(argv[1], O_PATH | O_DIRECTORY | O_CLOEXEC)).Run();
  return 0;
}
