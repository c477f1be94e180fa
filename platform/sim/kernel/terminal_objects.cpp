#include "terminal_objects.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "sibling_program.h"
#include "state_files.h"

extern char** environ;

namespace ce::sim {
namespace fs = std::filesystem;
namespace {

constexpr char kServerName[] = "qelterminal";
// A server can end just as a process joins (its last process left); joining
// then starts a new one. More tries than this means something else is wrong.
constexpr int kJoinAttempts = 4;
// A server that answers nothing for this long is taken for gone.
constexpr int kReplySeconds = 10;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// Starts the terminal's server and waits until it listens (or finds that
// another one does).
bool StartServer(const fs::path& dir, std::string* error) {
  const auto said = StartSibling(kServerName, {dir.string()}, error);
  if (said && said->empty()) *error = "the terminal's object server " + *error;
  return said && !said->empty();
}

// Whether the terminal's server takes connections now.
// The server's address for the terminal in dir; 0 (errno set) when it has none.
socklen_t ServerAddress(const fs::path& dir, sockaddr_un* sa) {
  const std::string address = wire::SocketName(dir);
  if (address.empty() || address.size() >= sizeof(sockaddr_un::sun_path)) return 0;
  *sa = sockaddr_un{};
  sa->sun_family = AF_UNIX;
  std::memcpy(sa->sun_path, address.data(), address.size());
  return socklen_t(offsetof(sockaddr_un, sun_path) + address.size());
}

bool ServerListens(const fs::path& dir) {
  sockaddr_un sa;
  const socklen_t length = ServerAddress(dir, &sa);
  HostFd fd(length ? ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0) : -1);
  return fd && ::connect(fd.get(), reinterpret_cast<sockaddr*>(&sa), length) == 0;
}

void Unmap(const wire::NameTable* table) {
  ::munmap(const_cast<wire::NameTable*>(table), sizeof(wire::NameTable));
}

// The server's table of names in use, when fd is one (a sealed memfd of its size).
const wire::NameTable* MapNames(const HostFd& fd) {
  struct ::stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || size_t(st.st_size) != sizeof(wire::NameTable)) return nullptr;
  void* p = ::mmap(nullptr, sizeof(wire::NameTable), PROT_READ, MAP_SHARED, fd.get(), 0);
  return p == MAP_FAILED ? nullptr : static_cast<const wire::NameTable*>(p);
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return fd >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

std::atomic<uint32_t> claimedProgram{0};
// This process asked for the reboot it hears of.
std::atomic<bool> rebootAsked{false};
std::atomic<TerminalObjects::BootHook> bootHook{nullptr};

// The process's watch over the down events of the terminals it joined, kept
// while a down handler is set. Never destroyed: its thread may outlive main.
struct DownWatch {
  std::mutex mu;
  TerminalObjects::DownHandler handler;
  struct Watched {
    const void* owner;  // the TerminalObjects whose connection it is
    HostFd down;
    fs::path dir;
  };
  std::vector<Watched> watched;
  HostFd wake{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
  pid_t running = 0;  // the process whose thread watches (a forked child starts its own)
};

DownWatch& Watch() {
  static auto* watch = new DownWatch;
  return *watch;
}

void HearDown(const fs::path& dir) {
  std::error_code ec;
  const bool cold = fs::exists(dir / kCleanBootMarker, ec);
  TerminalObjects::DownHandler handler;
  {
    std::lock_guard lock(Watch().mu);
    handler = Watch().handler;
  }
  const bool asked = rebootAsked.load();
  if (handler) {
    handler(cold, asked);
    return;
  }
  std::fprintf(stderr, "the terminal %s went down (%s reboot): this process ends with it\n", dir.c_str(),
               cold ? "cold" : "warm");
  ::_exit(asked ? 0 : 1);
}

void WatchLoop() {
  DownWatch& w = Watch();
  while (true) {
    std::vector<pollfd> fds{{w.wake.get(), POLLIN, 0}};
    std::vector<fs::path> dirs;
    {
      std::lock_guard lock(w.mu);
      for (const auto& entry : w.watched) {
        fds.push_back({entry.down.get(), POLLIN, 0});
        dirs.push_back(entry.dir);
      }
    }
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    uint64_t drained;
    [[maybe_unused]] ssize_t n = ::read(w.wake.get(), &drained, sizeof drained);
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      {
        std::lock_guard lock(w.mu);
        std::erase_if(w.watched, [&](const DownWatch::Watched& e) { return e.down.get() == fds[i].fd; });
      }
      HearDown(dirs[i - 1]);
    }
  }
}

// Watches down (a connection's down event) in place of what owner watched before.
void WatchDown(const void* owner, const HostFd& down, const fs::path& dir) {
  DownWatch& w = Watch();
  std::lock_guard lock(w.mu);
  std::erase_if(w.watched, [&](const DownWatch::Watched& e) { return e.owner == owner; });
  if (!w.handler || !down || !w.wake) return;
  w.watched.push_back({owner, HostFd(::fcntl(down.get(), F_DUPFD_CLOEXEC, 0)), dir});
  if (w.running != ::getpid()) {
    w.running = ::getpid();
    // Born with every signal blocked: a signal meant for the process (Ctrl-C
    // that a program takes on a thread of its choosing) never lands here.
    sigset_t all, before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    std::thread(WatchLoop).detach();
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(w.wake.get(), &one, sizeof one);
}

void PutName(wire::Request* r, std::u16string_view name) {
  r->nameUnits = uint32_t(std::min<size_t>(name.size(), wire::kMaxName));
  std::copy_n(name.data(), r->nameUnits, r->name);
}

}  // namespace

std::shared_ptr<TerminalObjects> TerminalObjects::Join(const fs::path& dir, std::u16string_view name,
                                                       std::string* error) {
  std::shared_ptr<TerminalObjects> objects(new TerminalObjects(dir, std::u16string(name)));
  std::lock_guard lock(objects->mu_);
  std::string ignored;
  if (!objects->ConnectLocked(error ? error : &ignored)) return nullptr;
  return objects;
}

TerminalObjects::~TerminalObjects() { WatchDown(this, HostFd(), dir_); }

void TerminalObjects::StartAsProgram(uint32_t id) { claimedProgram = id; }

void TerminalObjects::SetBootHook(BootHook hook) { bootHook = hook; }

void TerminalObjects::SetDownHandler(DownHandler handler) {
  std::lock_guard lock(Watch().mu);
  Watch().handler = std::move(handler);
}

bool TerminalObjects::Down() {
  std::lock_guard lock(mu_);
  if (!wentDown_ && Readable(down_.get())) WentDownLocked();
  return wentDown_;
}

HostFd TerminalObjects::DupConnection() {
  std::lock_guard lock(mu_);
  return HostFd(socket_ ? ::fcntl(socket_.get(), F_DUPFD_CLOEXEC, 0) : -1);
}

void TerminalObjects::WentDownLocked() {
  wentDown_ = true;
  socket_.reset();
  HearDown(dir_);
}

bool TerminalObjects::Boot(const fs::path& dir, std::string* error) {
  // One process boots a terminal at a time, so that what the last reboot
  // left behind is honoured once, before anyone joins the new server.
  std::string ignored;  // without the lock two boots may race, no worse than before reboots existed
  const HostFd lock = OpenStateFile(dir, kBootLock, O_RDWR | O_CREAT, &ignored);
  if (lock) {
    while (::flock(lock.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  if (ServerListens(dir)) return true;  // it is up, or another process booted it meanwhile
  if (const BootHook hook = bootHook.load()) hook(dir);
  return StartServer(dir, error);
}

bool TerminalObjects::ConnectLocked(std::string* error) {
  socket_.reset();
  names_.reset();
  if (wentDown_) {
    *error = "the terminal " + dir_.string() + " went down";
    return false;
  }
  sockaddr_un sa;
  const socklen_t length = ServerAddress(dir_, &sa);
  if (!length) {
    *error = Errno("terminal " + dir_.string());
    return false;
  }
  for (int attempt = 0; attempt < kJoinAttempts; ++attempt) {
    HostFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (!fd) {
      *error = Errno("socket");
      return false;
    }
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&sa), length) != 0) {
      if (errno != ECONNREFUSED && errno != ENOENT) {
        *error = Errno("cannot reach the terminal's object server");
        return false;
      }
      if (!Boot(dir_, error)) return false;
      continue;
    }
    const timeval patience{kReplySeconds, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    socket_ = std::move(fd);
    pid_ = ::getpid();
    ++connection_;
    wire::Request hello{wire::Op::kHello};
    hello.value = uint32_t(pid_);
    hello.id = claimedProgram.exchange(0);
    PutName(&hello, name_);
    wire::Reply reply;
    HostFd fds[2];
    // A server that was ending as this process connected drops it unanswered: start afresh.
    if (!CallLocked(hello, &reply, nullptr, fds, 2)) {
      claimedProgram = hello.id;
      continue;
    }
    if (reply.status != wire::Status::kCreated) {
      socket_.reset();
      *error = hello.id ? "the terminal has no program " + std::to_string(hello.id) + " waiting to start"
                        : "the terminal's object server refused this process";
      return false;
    }
    processId_ = reply.id;
    // The down event, and the names in use when the server keeps the table.
    down_ = std::move(fds[0]);
    names_ = {(reply.flags & wire::kHelloWithNames) ? MapNames(fds[1]) : nullptr, Unmap};
    WatchDown(this, down_, dir_);
    return true;
  }
  *error = "cannot join the terminal's object server of " + dir_.string() + " after " +
           std::to_string(kJoinAttempts) + " attempts";
  return false;
}

bool TerminalObjects::SendLocked(const wire::Request& request) {
  // A forked child shares the parent's connection: it joins on its own.
  if (pid_ != ::getpid() || !socket_) {
    std::string ignored;
    if (!ConnectLocked(&ignored)) return false;
  }
  ssize_t n;
  while ((n = ::send(socket_.get(), &request, sizeof request, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
  }
  if (n == ssize_t(sizeof request)) return true;
  socket_.reset();
  return false;
}

bool TerminalObjects::CallLocked(const wire::Request& request, wire::Reply* reply, std::string* text,
                                 HostFd* fds, int maxFds, bool* fdsLost) {
  if (!wentDown_ && request.op != wire::Op::kHello && Readable(down_.get())) WentDownLocked();
  if (wentDown_) return false;
  if (CallOnceLocked(request, reply, text, fds, maxFds, fdsLost)) return true;
  // The server went away (it was killed, say): join its successor and ask once more.
  std::string ignored;
  return request.op != wire::Op::kHello && ConnectLocked(&ignored) &&
         CallOnceLocked(request, reply, text, fds, maxFds, fdsLost);
}

bool TerminalObjects::CallOnceLocked(const wire::Request& request, wire::Reply* reply, std::string* text,
                                     HostFd* fds, int maxFds, bool* fdsLost) {
  if (!SendLocked(request)) return false;
  wire::Reply got;
  iovec iov{&got, sizeof got};
  alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t n;
  while ((n = ::recvmsg(socket_.get(), &msg, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
  }
  // Every descriptor that came is owned here, wanted or not.
  int count = 0;
  HostFd received[2];
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    const size_t carried = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < carried; ++i) {
      int fd;
      std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
      if (count < 2)
        received[count++] = HostFd(fd);
      else
        ::close(fd);
    }
  }
  if (n != ssize_t(sizeof got) || (msg.msg_flags & MSG_TRUNC)) {
    socket_.reset();
    return false;
  }
  // Descriptors that did not fit (this process has none left): the reply
  // stands, the caller gives back what it was handed.
  if (fdsLost) *fdsLost = msg.msg_flags & MSG_CTRUNC;
  *reply = got;
  for (int i = 0; i < std::min(count, maxFds); ++i) fds[i] = std::move(received[i]);
  // A listing's text follows in pieces.
  std::string body;
  while (body.size() < got.textBytes) {
    std::string piece(std::min<size_t>(got.textBytes - body.size(), 64 * 1024), '\0');
    ssize_t m;
    while ((m = ::recv(socket_.get(), piece.data(), piece.size(), 0)) < 0 && errno == EINTR) {
    }
    if (m <= 0) {
      socket_.reset();
      return false;
    }
    body.append(piece.data(), size_t(m));
  }
  if (text) *text = std::move(body);
  return true;
}

bool TerminalObjects::ServerLivesLocked() const {
  // A server that is gone (killed, say) left a table nobody updates any more:
  // its hang-up shows on the connection without a round trip.
  pollfd p{socket_.get(), POLLRDHUP, 0};
  int n;
  while ((n = ::poll(&p, 1, 0)) < 0 && errno == EINTR) {
  }
  return socket_ && n == 0;
}

TerminalObjects::Opened TerminalObjects::Open(wire::Kind kind, std::u16string_view name, uint32_t flags,
                                              int32_t count, int32_t maximum, uint32_t thread) {
  wire::Request r{wire::Op::kOpen, kind, flags, count, maximum, 0, thread};
  PutName(&r, name);
  std::lock_guard lock(mu_);
  if (!(flags & wire::kCreate) && kind != wire::Kind::kQueue && names_ && pid_ == ::getpid() &&
      ServerLivesLocked()) {
    // The server keys the name as sent, cut to kMaxName.
    const std::u16string_view sent(r.name, r.nameUnits);
    if (!sent.empty() && names_->inUse[wire::NameSlot(sent)].load(std::memory_order_acquire) == 0) {
      Opened opened;
      opened.status = wire::Status::kMissing;
      return opened;
    }
  }
  // An event, and a queue to a poster, come as one descriptor; the rest as two.
  return OpenLocked(r,
                    kind == wire::Kind::kEvent || (kind == wire::Kind::kQueue && !(flags & wire::kCreate)));
}

TerminalObjects::Opened TerminalObjects::OpenProcess(uint32_t id, bool toTerminate) {
  wire::Request r{wire::Op::kOpen, wire::Kind::kProcess, toTerminate ? wire::kToTerminate : 0};
  r.id = id;
  std::lock_guard lock(mu_);
  return OpenLocked(r, false);
}

TerminalObjects::Opened TerminalObjects::OpenLocked(const wire::Request& r, bool single) {
  Opened opened;
  wire::Reply reply;
  HostFd fds[2];
  bool fdsLost = false;
  if (!CallLocked(r, &reply, nullptr, fds, 2, &fdsLost)) return opened;
  opened.status = reply.status;
  opened.id = reply.id;
  opened.flags = reply.flags;
  opened.connection = connection_;
  opened.event = std::move(fds[0]);
  opened.page = std::move(fds[1]);
  const bool complete = opened.event && (single || opened.page);
  if ((opened.status == wire::Status::kCreated || opened.status == wire::Status::kOpened) &&
      (!complete || fdsLost)) {
    opened.status = wire::Status::kFailed;
    SendLocked({wire::Op::kClose, r.kind, 0, 0, 0, reply.id});
  }
  return opened;
}

void TerminalObjects::Close(uint32_t id, uint32_t connection) {
  std::lock_guard lock(mu_);
  if (connection == connection_ && pid_ == ::getpid() && socket_)
    SendLocked({wire::Op::kClose, wire::Kind{}, 0, 0, 0, id});
}

uint32_t TerminalObjects::processId() {
  std::lock_guard lock(mu_);
  if (pid_ != ::getpid()) {
    std::string ignored;
    ConnectLocked(&ignored);
  }
  return processId_;
}

uint32_t TerminalObjects::ProgramStarted(std::u16string_view name) {
  wire::Request r{wire::Op::kProgramStart};
  PutName(&r, name);
  wire::Reply reply;
  std::lock_guard lock(mu_);
  return CallLocked(r, &reply, nullptr, nullptr, 0) ? reply.id : 0;
}

void TerminalObjects::ProgramEnded(uint32_t id, uint32_t exitCode) {
  wire::Request r{wire::Op::kProgramEnd};
  r.id = id;
  r.value = exitCode;
  std::lock_guard lock(mu_);
  if (pid_ == ::getpid() && socket_) SendLocked(r);
}

wire::Status TerminalObjects::Terminate(uint32_t id, uint32_t exitCode) {
  wire::Request r{wire::Op::kTerminate};
  r.id = id;
  r.value = exitCode;
  wire::Reply reply;
  std::lock_guard lock(mu_);
  return CallLocked(r, &reply, nullptr, nullptr, 0) ? reply.status : wire::Status::kFailed;
}

std::optional<std::vector<wire::ProcessRecord>> TerminalObjects::Processes() {
  wire::Reply reply;
  std::string text;
  {
    std::lock_guard lock(mu_);
    if (!CallLocked({wire::Op::kProcessList}, &reply, &text, nullptr, 0)) return std::nullopt;
  }
  std::vector<wire::ProcessRecord> found(text.size() / sizeof(wire::ProcessRecord));
  if (!found.empty()) std::memcpy(found.data(), text.data(), found.size() * sizeof(wire::ProcessRecord));
  return found;
}

bool TerminalObjects::Reboot() {
  wire::Reply reply;
  std::lock_guard lock(mu_);
  rebootAsked = true;
  if (!CallLocked({wire::Op::kReboot}, &reply, nullptr, nullptr, 0) ||
      reply.status != wire::Status::kOpened) {
    rebootAsked = false;
    return false;
  }
  WentDownLocked();
  return true;
}

uint32_t TerminalObjects::AddWindow(const wire::WindowRecord& window) {
  wire::Request r{wire::Op::kWindowCreate};
  r.window = window;
  wire::Reply reply;
  std::lock_guard lock(mu_);
  return CallLocked(r, &reply, nullptr, nullptr, 0) && reply.status == wire::Status::kCreated ? reply.id : 0;
}

bool TerminalObjects::RemoveWindow(uint32_t hwnd) {
  wire::Request r{wire::Op::kWindowDestroy};
  r.id = hwnd;
  wire::Reply reply;
  std::lock_guard lock(mu_);
  return CallLocked(r, &reply, nullptr, nullptr, 0) && reply.status == wire::Status::kOpened;
}

std::optional<uint32_t> TerminalObjects::ChangeWindow(uint32_t hwnd, uint32_t what,
                                                      const wire::WindowRecord& values) {
  wire::Request r{wire::Op::kWindowChange};
  r.id = hwnd;
  r.flags = what;
  r.window = values;
  wire::Reply reply;
  std::lock_guard lock(mu_);
  if (!CallLocked(r, &reply, nullptr, nullptr, 0) || reply.status != wire::Status::kOpened)
    return std::nullopt;
  return reply.flags;
}

std::optional<std::vector<wire::WindowRecord>> TerminalObjects::FindWindows(uint32_t how, uint32_t hwnd,
                                                                            const wire::WindowRecord& match) {
  wire::Request r{wire::Op::kWindowFind};
  r.flags = how;
  r.id = hwnd;
  r.window = match;
  wire::Reply reply;
  std::string text;
  {
    std::lock_guard lock(mu_);
    if (!CallLocked(r, &reply, &text, nullptr, 0)) return std::nullopt;
  }
  std::vector<wire::WindowRecord> found(text.size() / sizeof(wire::WindowRecord));
  if (!found.empty())  // an empty vector's data may be null, which memcpy must not get
    std::memcpy(found.data(), text.data(), found.size() * sizeof(wire::WindowRecord));
  return found;
}

std::optional<std::string> TerminalObjects::List(std::string* error) {
  wire::Reply reply;
  std::string text;
  std::lock_guard lock(mu_);
  if (!CallLocked({wire::Op::kList}, &reply, &text, nullptr, 0)) {
    if (error) *error = "the terminal's object server of " + dir_.string() + " cannot be reached";
    return std::nullopt;
  }
  return text;
}

}  // namespace ce::sim
