#include "object_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "case_fold.h"
#include "utf.h"

namespace ce::sim::server {
namespace {

// How long a server that nobody joins waits before it gives up: the process
// that started it died before it connected.
constexpr int kFirstJoinMs = 10'000;
// How long it stays after the last process left, for the next one: a script
// that runs qelhost again and again then starts one server, not one per run.
constexpr int kLingerMs = 2'000;
// How often a server with processes looks whether its terminal's folder is still there.
constexpr int kFolderCheckMs = 5'000;
// Programs that ended stay listed, the newest this many.
constexpr size_t kEndedProgramsKept = 32;
// Handles one process may hold, so that one process cannot take every
// descriptor the server has from the others.
constexpr size_t kMaxHandles = 10'000;
// A listing travels in pieces of this size, and one waits at most this long
// for its reader.
constexpr size_t kTextPiece = 32 * 1024;
constexpr int kTextWaitMs = 5'000;

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool HungUp(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR));
}

// A descriptor for the process pid that stays its own if the pid is reused;
// -1 when it is gone already.
int OpenPidFd(pid_t pid) { return int(::syscall(SYS_pidfd_open, pid, 0)); }

uint32_t ThreadsOf(uint32_t pid) {
  std::error_code ec;
  uint32_t threads = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    ++threads;
  return std::max<uint32_t>(threads, 1);
}

wire::SharedState* MapPage(int fd) {
  if (::ftruncate(fd, sizeof(wire::SharedState)) != 0) return nullptr;
  void* p = ::mmap(nullptr, sizeof(wire::SharedState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : new (p) wire::SharedState;
}

}  // namespace

ObjectServer::ObjectServer(int listenFd, int dirFd) : listen_(listenFd), dir_(dirFd) {
  // Every object costs the server a descriptor or two: take all the system allows.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  // Without the table every open asks the server: slower, never wrong.
  namesFd_ = ::memfd_create("qel-names", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (namesFd_ >= 0 && ::ftruncate(namesFd_, sizeof(wire::NameTable)) == 0 &&
      ::fcntl(namesFd_, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) == 0) {
    void* p = ::mmap(nullptr, sizeof(wire::NameTable), PROT_READ | PROT_WRITE, MAP_SHARED, namesFd_, 0);
    if (p != MAP_FAILED) names_ = new (p) wire::NameTable{};
  }
  downFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  MakePanelWindows();
}

void ObjectServer::MakePanelWindows() {
  // The shell owns them on a terminal, and it runs as long as the terminal
  // does: here the server, which lives as long as any process uses the
  // terminal, stands for it. Owned by no connection, no departure ends them.
  for (const char16_t* name : {wire::kPanelClass, wire::kPanelBackdropClass}) {
    Window w;
    const std::u16string_view view(name);
    w.record.classUnits = uint32_t(view.size());
    std::copy(view.begin(), view.end(), w.record.className);
    w.record.style = 0x80000000;  // WS_POPUP, hidden
    w.record.left = wire::kPanelLeft;
    w.record.top = wire::kPanelTop;
    w.record.right = wire::kPanelRight;
    w.record.bottom = wire::kPanelBottom;
    nextWindow_ = nextWindow_ % wire::kWindowNumbers + 1;
    w.record.hwnd = wire::WindowHandle(nextWindow_);
    windows_.insert(windows_.begin(), w);
  }
}

ObjectServer::~ObjectServer() {
  for (int fd : connections_) ::close(fd);
  while (!objects_.empty()) ReleaseObject(objects_.begin()->first);
  if (listen_ >= 0) ::close(listen_);
  if (dir_ >= 0) ::close(dir_);
  if (spare_ >= 0) ::close(spare_);
  if (names_) ::munmap(names_, sizeof(wire::NameTable));
  if (namesFd_ >= 0) ::close(namesFd_);
  if (downFd_ >= 0) ::close(downFd_);
  for (Process& p : processes_)
    if (p.pidfd >= 0) ::close(p.pidfd);
}

void ObjectServer::CountName(const std::u16string& name, bool in) {
  if (!names_) return;
  std::atomic<uint32_t>& slot = names_->inUse[wire::NameSlot(name)];
  if (in)
    slot.fetch_add(1, std::memory_order_release);
  else
    slot.fetch_sub(1, std::memory_order_release);
}

void ObjectServer::Run() {
  bool joined = false;
  while (true) {
    std::vector<pollfd> fds;
    fds.push_back({listen_, POLLIN, 0});
    for (int fd : connections_) fds.push_back({fd, POLLIN, 0});
    const int wait = !joined ? kFirstJoinMs : connections_.empty() ? kLingerMs : kFolderCheckMs;
    const int ready = ::poll(fds.data(), fds.size(), wait);
    if (ready < 0 && errno == EINTR) continue;
    // A terminal whose folder was removed goes down: its programs would
    // otherwise run on, holding it, for ever.
    if (FolderGone()) {
      TakeDown();
      return;
    }
    if (ready == 0 && !connections_.empty()) continue;
    if (ready <= 0) return;
    // Departures first, each with what it sent before it went (its last
    // closes): a request that comes after a process ended, from a process
    // that saw it end, never finds it alive or its handles held.
    std::vector<int> left;
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLHUP | POLLERR))) continue;
      while (Serve(fds[i].fd)) {
      }
      Drop(fds[i].fd);
      left.push_back(fds[i].fd);
    }
    std::vector<int> leaving;
    for (size_t i = 1; i < fds.size(); ++i)
      if ((fds[i].revents & POLLIN) && std::find(left.begin(), left.end(), fds[i].fd) == left.end() &&
          !Serve(fds[i].fd))
        leaving.push_back(fds[i].fd);
    for (int fd : leaving) Drop(fd);
    // Down: every process has heard, the next one to join starts the terminal afresh.
    if (down_) return;
    if (fds[0].revents & POLLIN) {
      Accept();
      joined = true;
      if (down_) return;
    }
  }
}

void ObjectServer::Accept() {
  // The terminal's folder is gone: a new folder may get its inode, and with it
  // this server's name. Whoever joins now meant that folder: the name is
  // freed and the server ends, and the joiner starts that terminal's own.
  if (FolderGone()) {
    TakeDown();
    return;
  }
  while (true) {
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && spare_ >= 0) {
      // No descriptor is left: refuse the joiner (it sees the connection
      // close) rather than leave it waiting and the socket readable forever.
      ::close(spare_);
      const int refused = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (refused >= 0) ::close(refused);
      spare_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      continue;
    }
    if (fd < 0) return;
    // An abstract socket has no file permissions: only the server's own user
    // may join (the terminal folder is that user's too).
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid()) {
      ::close(fd);
      continue;
    }
    connections_.push_back(fd);
    peers_[fd] = peer.pid;
  }
}

bool ObjectServer::Serve(int fd) {
  wire::Request r;
  // MSG_TRUNC: the length of the whole message, so an oversized one is seen as such.
  const ssize_t n = ::recv(fd, &r, sizeof r, MSG_TRUNC);
  if (n == 0) return false;
  // Nothing more to read now: a live connection stays, a hung-up one is done.
  if (n < 0) return errno == EINTR || (errno == EAGAIN && !HungUp(fd));
  if (size_t(n) != sizeof r || r.nameUnits > wire::kMaxName) return Send(fd, {wire::Status::kBadRequest});
  const std::u16string name(r.name, r.nameUnits);
  switch (r.op) {
    case wire::Op::kHello:
      return Hello(fd, r);
    case wire::Op::kOpen:
      Open(fd, r);
      return true;
    case wire::Op::kClose:
      Close(fd, r.id);
      return true;  // no reply: closing never fails for the caller
    case wire::Op::kProgramStart: {
      const Process* starter = MemberOf(fd);
      if (!starter) return Send(fd, {wire::Status::kBadRequest});
      Process p{nextProcess_, fd, 0, name, true};
      p.parent = starter->id;
      processes_.push_back(std::move(p));
      nextProcess_ += 4;
      return Send(fd, {wire::Status::kCreated, processes_.back().id});
    }
    case wire::Op::kProgramEnd:
      // From its runner, or from its starter when the runner never came.
      for (Process& p : processes_)
        if (p.program && p.alive && p.id == r.id && p.connection == fd) EndProcess(p, r.value);
      TrimEnded();
      return true;
    case wire::Op::kProcessList:
      ListProcesses(fd);
      return true;
    case wire::Op::kTerminate:
      Terminate(fd, r);
      return true;
    case wire::Op::kReboot:
      Reboot(fd, r);
      return true;
    case wire::Op::kWindowCreate:
      MakeWindow(fd, r);
      return true;
    case wire::Op::kWindowDestroy:
      DestroyWindow(fd, r.id);
      return true;
    case wire::Op::kWindowChange:
      ChangeWindow(fd, r);
      return true;
    case wire::Op::kWindowFind:
      FindWindows(fd, r);
      return true;
    case wire::Op::kList: {
      nlohmann::json listing = Listing();
      std::string text = listing.dump();
      // Too long to hand over: the newest objects are left out, and counted.
      size_t left = 0;
      while (text.size() > wire::kMaxListBytes && !listing["objects"].empty()) {
        const size_t drop = std::max<size_t>(1, listing["objects"].size() / 2);
        for (size_t i = 0; i < drop; ++i) listing["objects"].erase(listing["objects"].size() - 1);
        left += drop;
        listing["objects_not_listed"] = left;
        text = listing.dump();
      }
      return SendText(fd, text);
    }
  }
  return Send(fd, {wire::Status::kBadRequest});
}

size_t ObjectServer::HandlesOf(int fd) const {
  size_t held = 0;
  for (const auto& [id, o] : objects_)
    if (auto it = o.handles.find(fd); it != o.handles.end()) held += size_t(it->second);
  return held;
}

void ObjectServer::Open(int fd, const wire::Request& r) {
  if (HandlesOf(fd) >= kMaxHandles) {
    Send(fd, {wire::Status::kFailed});
    return;
  }
  if (r.kind == wire::Kind::kQueue) {
    OpenQueue(fd, r);
    return;
  }
  if (r.kind == wire::Kind::kProcess) {
    OpenProcess(fd, r);
    return;
  }
  const std::u16string name(r.name, r.nameUnits);
  const std::u16string& key = name;  // kernel-object names compare with case
  if (key.empty()) {
    Send(fd, {wire::Status::kBadRequest});
    return;
  }
  if (auto found = byName_.find(key); found != byName_.end()) {
    Object& o = objects_.at(found->second);
    if (o.kind != r.kind) {
      Send(fd, {wire::Status::kOtherKind});
      return;
    }
    const int fds[2] = {o.eventFd, o.pageFd};
    const uint32_t flags = o.manual ? wire::kManualReset : 0;
    if (Send(fd, {wire::Status::kOpened, found->second, 0, flags}, fds, o.pageFd >= 0 ? 2 : 1))
      ++o.handles[fd];
    return;
  }
  if (!(r.flags & wire::kCreate)) {
    Send(fd, {wire::Status::kMissing});
    return;
  }
  Object o{r.kind, name};
  o.manual = r.flags & wire::kManualReset;
  uint64_t initial = 0;
  int eventFlags = EFD_NONBLOCK | EFD_CLOEXEC;
  switch (r.kind) {
    case wire::Kind::kEvent:
      initial = (r.flags & wire::kInitialState) ? 1 : 0;
      break;
    case wire::Kind::kMutex:
      initial = (r.flags & wire::kInitialState) ? 0 : 1;
      eventFlags |= EFD_SEMAPHORE;
      break;
    case wire::Kind::kSemaphore:
      if (r.maximum <= 0 || r.count < 0 || r.count > r.maximum) {
        Send(fd, {wire::Status::kBadRequest});
        return;
      }
      initial = uint64_t(r.count);
      eventFlags |= EFD_SEMAPHORE;
      break;
    default:
      Send(fd, {wire::Status::kBadRequest});
      return;
  }
  o.eventFd = ::eventfd(0, eventFlags);
  if (o.kind != wire::Kind::kEvent) {
    o.pageFd = ::memfd_create("qel-object", MFD_CLOEXEC);
    if (o.pageFd >= 0) o.page = MapPage(o.pageFd);
  }
  const bool made = o.eventFd >= 0 && (o.kind == wire::Kind::kEvent || o.page);
  if (made && o.page) {
    o.page->count = r.count;
    o.page->maximum = r.maximum;
    if (o.kind == wire::Kind::kMutex && (r.flags & wire::kInitialState)) {
      const Process* owner = MemberOf(fd);
      o.page->ownerProcess = owner ? owner->id : 0;
      o.page->ownerThread = r.value;
      o.page->recursion = 1;
    }
  }
  if (made && initial) {
    [[maybe_unused]] ssize_t w = ::write(o.eventFd, &initial, sizeof initial);
  }
  const uint32_t id = nextObject_++;
  objects_.emplace(id, std::move(o));
  if (!made) {
    ReleaseObject(id);
    Send(fd, {wire::Status::kFailed});
    return;
  }
  byName_[key] = id;
  CountName(key, true);
  Object& kept = objects_.at(id);
  const int fds[2] = {kept.eventFd, kept.pageFd};
  const uint32_t flags = kept.manual ? wire::kManualReset : 0;
  if (Send(fd, {wire::Status::kCreated, id, 0, flags}, fds, kept.pageFd >= 0 ? 2 : 1))
    ++kept.handles[fd];
  else
    ReleaseObject(id);
}

// The owner gets both ends (it posts to itself through the same queue);
// a poster gets the sending end. Thread ids are unique among live threads, so
// a second queue for a thread id whose queue lives is refused.
void ObjectServer::OpenQueue(int fd, const wire::Request& r) {
  const bool owner = r.flags & wire::kCreate;
  if (auto found = queues_.find(r.value); found != queues_.end()) {
    Object& q = objects_.at(found->second);
    if (owner) {
      Send(fd, {wire::Status::kOtherKind});
      return;
    }
    if (Send(fd, {wire::Status::kOpened, found->second}, &q.pageFd, 1)) ++q.handles[fd];
    return;
  }
  if (!owner) {
    Send(fd, {wire::Status::kMissing});
    return;
  }
  // A queue is made only by a thread of its own process.
  const auto peer = peers_.find(fd);
  const std::string task =
      "/proc/" + std::to_string(peer == peers_.end() ? 0 : peer->second) + "/task/" + std::to_string(r.value);
  if (peer == peers_.end() || ::access(task.c_str(), F_OK) != 0) {
    Send(fd, {wire::Status::kBadRequest});
    return;
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
    Send(fd, {wire::Status::kFailed});
    return;
  }
  Object q{wire::Kind::kQueue, u"thread " + FromUtf8(std::to_string(r.value))};
  q.eventFd = ends[0];
  q.pageFd = ends[1];
  q.thread = r.value;
  q.owner = fd;
  const uint32_t id = nextObject_++;
  objects_.emplace(id, std::move(q));
  queues_[r.value] = id;
  Object& kept = objects_.at(id);
  const int fds[2] = {kept.eventFd, kept.pageFd};
  if (Send(fd, {wire::Status::kCreated, id}, fds, 2))
    ++kept.handles[fd];
  else
    ReleaseObject(id);
}

void ObjectServer::Close(int fd, uint32_t id) {
  auto it = objects_.find(id);
  if (it == objects_.end()) return;
  auto held = it->second.handles.find(fd);
  if (held == it->second.handles.end()) return;
  if (--held->second == 0) it->second.handles.erase(held);
  // A queue goes with its thread: posting to it fails from then on.
  const bool ownerLeft =
      it->second.kind == wire::Kind::kQueue && !it->second.handles.contains(it->second.owner);
  if (it->second.handles.empty() || ownerLeft) ReleaseObject(id);
}

void ObjectServer::ReleaseObject(uint32_t id) {
  auto it = objects_.find(id);
  if (it == objects_.end()) return;
  Object& o = it->second;
  if (o.kind == wire::Kind::kQueue) {
    queues_.erase(o.thread);
  } else if (o.kind == wire::Kind::kProcess) {
    processObjects_.erase(o.thread);
  } else if (auto named = byName_.find(o.name); named != byName_.end() && named->second == id) {
    CountName(named->first, false);
    byName_.erase(named);
  }
  if (o.page) ::munmap(o.page, sizeof(wire::SharedState));
  if (o.pageFd >= 0) ::close(o.pageFd);
  if (o.eventFd >= 0) ::close(o.eventFd);
  objects_.erase(it);
}

ObjectServer::Window* ObjectServer::WindowOf(uint32_t hwnd) {
  auto it =
      std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) { return w.record.hwnd == hwnd; });
  return it == windows_.end() ? nullptr : &*it;
}

void ObjectServer::MakeWindow(int fd, const wire::Request& r) {
  const Process* process = MemberOf(fd);
  const size_t held =
      size_t(std::count_if(windows_.begin(), windows_.end(), [&](const Window& w) { return w.owner == fd; }));
  if (!process || held >= kMaxHandles || windows_.size() >= wire::kWindowNumbers ||
      r.window.classUnits > wire::kMaxName || r.window.titleUnits > wire::kMaxName) {
    Send(fd, {wire::Status::kFailed});
    return;
  }
  Window w{r.window, fd};
  do {
    nextWindow_ = nextWindow_ % wire::kWindowNumbers + 1;
    w.record.hwnd = wire::WindowHandle(nextWindow_);
  } while (WindowOf(w.record.hwnd));
  w.record.process = process->id;
  windows_.insert(windows_.begin(), w);
  Send(fd, {wire::Status::kCreated, w.record.hwnd});
}

void ObjectServer::DestroyWindow(int fd, uint32_t hwnd) {
  auto it =
      std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) { return w.record.hwnd == hwnd; });
  if (it == windows_.end() || it->owner != fd) {
    Send(fd, {it == windows_.end() ? wire::Status::kMissing : wire::Status::kOtherKind});
    return;
  }
  windows_.erase(it);
  if (foreground_ == hwnd) foreground_ = 0;
  Send(fd, {wire::Status::kOpened, hwnd});
}

void ObjectServer::ChangeWindow(int fd, const wire::Request& r) {
  Window* w = WindowOf(r.id);
  if (!w) {
    Send(fd, {wire::Status::kMissing});
    return;
  }
  wire::WindowRecord& rec = w->record;
  const uint32_t before = rec.style;
  const int32_t width = rec.right - rec.left, height = rec.bottom - rec.top;
  if (r.flags & wire::kWindowMove) {
    rec.left = r.window.left;
    rec.top = r.window.top;
    rec.right = rec.left + width;
    rec.bottom = rec.top + height;
  }
  if (r.flags & wire::kWindowSize) {
    rec.right = rec.left + (r.window.right - r.window.left);
    rec.bottom = rec.top + (r.window.bottom - r.window.top);
  }
  if (r.flags & wire::kWindowStyle) rec.style = r.window.style;
  if (r.flags & wire::kWindowExStyle) rec.exStyle = r.window.exStyle;
  constexpr uint32_t kVisible = 0x10000000;
  if (r.flags & wire::kWindowShow) rec.style |= kVisible;
  if (r.flags & wire::kWindowHide) rec.style &= ~kVisible;
  if (r.flags & wire::kWindowForeground) {
    foreground_ = rec.hwnd;
    const auto at = windows_.begin() + (w - windows_.data());
    std::rotate(windows_.begin(), at, at + 1);  // rec moves with it: not used after this
  }
  Send(fd, {wire::Status::kOpened, r.id, 0, before});
}

void ObjectServer::FindWindows(int fd, const wire::Request& r) {
  auto folded = [](const char16_t* text, uint32_t units) {
    return FoldName(std::u16string_view(text, std::min(units, wire::kMaxName)));
  };
  const std::u16string className = folded(r.window.className, r.window.classUnits);
  const std::u16string title = folded(r.window.title, r.window.titleUnits);
  std::string found;
  for (const Window& w : windows_) {
    const wire::WindowRecord& rec = w.record;
    if ((r.flags & wire::kFindHandle) && rec.hwnd != r.id) continue;
    if ((r.flags & wire::kFindTopLevel) && rec.parent != 0) continue;
    if ((r.flags & wire::kFindForeground) && (rec.hwnd != foreground_ || !foreground_)) continue;
    if ((r.flags & wire::kFindClass) && folded(rec.className, rec.classUnits) != className) continue;
    if ((r.flags & wire::kFindTitle) && folded(rec.title, rec.titleUnits) != title) continue;
    if (found.size() + sizeof rec > wire::kMaxListBytes) break;
    found.append(reinterpret_cast<const char*>(&rec), sizeof rec);
  }
  SendText(fd, found);
}

ObjectServer::Process* ObjectServer::ProcessOf(uint32_t id) {
  auto it = std::find_if(processes_.begin(), processes_.end(), [&](const Process& p) { return p.id == id; });
  return it == processes_.end() ? nullptr : &*it;
}

ObjectServer::Process* ObjectServer::MemberOf(int fd) {
  auto it = std::find_if(processes_.begin(), processes_.end(), [&](const Process& p) {
    return p.connection == fd && (!p.program || p.claimed) && p.alive;
  });
  return it == processes_.end() ? nullptr : &*it;
}

bool ObjectServer::Hello(int fd, const wire::Request& r) {
  if (MemberOf(fd)) return Send(fd, {wire::Status::kBadRequest});
  uint32_t id = 0;
  if (r.id != 0) {
    // A runner claims the program it was started for, which must still wait for it.
    Process* p = ProcessOf(r.id);
    const auto peer = peers_.find(fd);
    if (!p || !p->program || p->claimed || !p->alive || peer == peers_.end())
      return Send(fd, {wire::Status::kMissing});
    p->connection = fd;
    p->pid = uint32_t(peer->second);
    p->claimed = true;
    p->pidfd = OpenPidFd(peer->second);
    id = p->id;
  } else {
    Process p{nextProcess_, fd, r.value, std::u16string(r.name, r.nameUnits)};
    processes_.push_back(std::move(p));
    nextProcess_ += 4;
    id = processes_.back().id;
  }
  const int fds[2] = {downFd_, namesFd_};
  if (names_) return Send(fd, {wire::Status::kCreated, id, 0, wire::kHelloWithNames}, fds, 2);
  return Send(fd, {wire::Status::kCreated, id}, &downFd_, 1);
}

void ObjectServer::EndProcess(Process& p, uint32_t exitCode) {
  if (!p.alive) return;
  p.alive = false;
  p.exitCode = exitCode;
  if (p.pidfd >= 0) {
    // Its runner goes now, whatever it is doing: only the terminal's own are ever ended.
    ::syscall(SYS_pidfd_send_signal, p.pidfd, SIGKILL, nullptr, 0);
    ::close(p.pidfd);
    p.pidfd = -1;
  }
  if (auto o = processObjects_.find(p.id); o != processObjects_.end()) {
    Object& object = objects_.at(o->second);
    object.page->exitCode.store(exitCode, std::memory_order_release);
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t w = ::write(object.eventFd, &one, sizeof one);
  }
}

void ObjectServer::TrimEnded() {
  size_t ended = size_t(std::count_if(processes_.begin(), processes_.end(),
                                      [](const Process& p) { return p.program && !p.alive; }));
  for (auto it = processes_.begin(); ended > kEndedProgramsKept && it != processes_.end();)
    if (it->program && !it->alive) {
      it = processes_.erase(it);
      --ended;
    } else {
      ++it;
    }
}

// Signalled for good once the process has ended, with its exit code on the page.
void ObjectServer::OpenProcess(int fd, const wire::Request& r) {
  Process* p = ProcessOf(r.id);
  if (!p) {
    Send(fd, {wire::Status::kMissing});
    return;
  }
  // Only the terminal's programs, and the opener itself, may be ended.
  if ((r.flags & wire::kToTerminate) && !p->program && p != MemberOf(fd)) {
    Send(fd, {wire::Status::kOtherKind});
    return;
  }
  if (auto found = processObjects_.find(r.id); found != processObjects_.end()) {
    Object& o = objects_.at(found->second);
    const int fds[2] = {o.eventFd, o.pageFd};
    if (Send(fd, {wire::Status::kOpened, found->second, 0, wire::kManualReset}, fds, 2)) ++o.handles[fd];
    return;
  }
  Object o{wire::Kind::kProcess, u"process " + FromUtf8(std::to_string(r.id))};
  o.manual = true;
  o.thread = r.id;
  o.eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  o.pageFd = ::memfd_create("qel-process", MFD_CLOEXEC);
  if (o.pageFd >= 0) o.page = MapPage(o.pageFd);
  const uint32_t id = nextObject_++;
  const bool made = o.eventFd >= 0 && o.page;
  objects_.emplace(id, std::move(o));
  if (!made) {
    ReleaseObject(id);
    Send(fd, {wire::Status::kFailed});
    return;
  }
  processObjects_[r.id] = id;
  Object& kept = objects_.at(id);
  if (!p->alive) {
    kept.page->exitCode = p->exitCode;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t w = ::write(kept.eventFd, &one, sizeof one);
  }
  const int fds[2] = {kept.eventFd, kept.pageFd};
  if (Send(fd, {wire::Status::kCreated, id, 0, wire::kManualReset}, fds, 2))
    ++kept.handles[fd];
  else
    ReleaseObject(id);
}

// A program is ended by force; a process ends itself (the caller does, once
// told so); another process joined from outside the terminal is not the
// terminal's to end (kOtherKind).
void ObjectServer::Terminate(int fd, const wire::Request& r) {
  Process* p = ProcessOf(r.id);
  if (!p || !p->alive) {
    Send(fd, {p ? wire::Status::kOtherKind : wire::Status::kMissing});
    return;
  }
  const bool self = p == MemberOf(fd);
  if (!p->program && !self) {
    Send(fd, {wire::Status::kOtherKind});
    return;
  }
  EndProcess(*p, r.value);
  Send(fd, {wire::Status::kOpened, r.id});
}

void ObjectServer::ListProcesses(int fd) {
  std::string found;
  for (const Process& p : processes_) {
    if (!p.alive) continue;
    wire::ProcessRecord rec;
    rec.id = p.id;
    rec.parent = p.parent;
    rec.threads = p.pid ? ThreadsOf(p.pid) : 1;
    rec.nameUnits = uint32_t(std::min<size_t>(p.name.size(), wire::kMaxName));
    std::copy_n(p.name.data(), rec.nameUnits, rec.name);
    if (found.size() + sizeof rec > wire::kMaxListBytes) break;
    found.append(reinterpret_cast<const char*>(&rec), sizeof rec);
  }
  SendText(fd, found);
}

// Every program ends at once; every process hears through the down event,
// and the server ends once it has answered.
void ObjectServer::Reboot(int fd, const wire::Request&) {
  TakeDown();
  Send(fd, {wire::Status::kOpened});
}

void ObjectServer::TakeDown() {
  for (Process& p : processes_)
    if (p.program) EndProcess(p, wire::kVanishedExitCode);
  // The name is free before anyone hears: whoever joins next boots the terminal afresh.
  if (listen_ >= 0) ::close(listen_);
  listen_ = -1;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t w = ::write(downFd_, &one, sizeof one);
  down_ = true;
}

bool ObjectServer::FolderGone() const {
  struct ::stat st {};
  return dir_ >= 0 && ::fstat(dir_, &st) == 0 && st.st_nlink == 0;
}

void ObjectServer::Drop(int fd) {
  auto conn = std::find(connections_.begin(), connections_.end(), fd);
  if (conn == connections_.end()) return;
  connections_.erase(conn);
  peers_.erase(fd);
  uint32_t gone = 0;
  for (Process& p : processes_) {
    if (p.connection != fd) continue;
    if (!p.program || p.claimed) gone = p.id;
    // A program whose starter left before its runner came never runs; one
    // whose runner left without a word was killed from outside.
    if (p.alive) EndProcess(p, wire::kVanishedExitCode);
  }
  // Host processes leave the table; programs stay listed a while with their ends.
  std::erase_if(processes_, [&](const Process& p) { return p.connection == fd && !p.program; });
  TrimEnded();
  std::erase_if(windows_, [&](const Window& w) { return w.owner == fd; });
  if (!WindowOf(foreground_)) foreground_ = 0;
  std::vector<uint32_t> unheld;
  for (auto& [id, o] : objects_) {
    // A mutex its owner's process held when it died is abandoned: the next
    // waiter gets it and learns so.
    if (gone && o.kind == wire::Kind::kMutex && o.page && o.page->ownerProcess == gone) {
      o.page->abandoned = 1;
      o.page->recursion = 0;
      o.page->ownerThread = 0;
      o.page->ownerProcess = 0;
      const uint64_t one = 1;
      [[maybe_unused]] ssize_t w = ::write(o.eventFd, &one, sizeof one);
    }
    o.handles.erase(fd);
    if (o.handles.empty() || (o.kind == wire::Kind::kQueue && o.owner == fd)) unheld.push_back(id);
  }
  for (uint32_t id : unheld) ReleaseObject(id);
  ::close(fd);
}

nlohmann::json ObjectServer::Listing() const {
  auto processes = nlohmann::json::array();
  for (const Process& p : processes_) {
    nlohmann::json entry = {
        {"id", p.id}, {"name", ToUtf8(p.name)}, {"kind", p.program ? "program" : "host"}, {"alive", p.alive}};
    if (p.pid) entry["pid"] = p.pid;
    if (p.parent) entry["parent"] = p.parent;
    if (!p.alive) entry["exit_code"] = p.exitCode;
    processes.push_back(std::move(entry));
  }
  auto objects = nlohmann::json::array();
  for (const auto& [id, o] : objects_) {
    int handles = 0;
    for (const auto& [conn, n] : o.handles) handles += n;
    nlohmann::json entry = {{"name", ToUtf8(o.name)}, {"handles", handles}};
    switch (o.kind) {
      case wire::Kind::kEvent:
        entry["kind"] = "event";
        entry["manual_reset"] = o.manual;
        entry["state"] = Readable(o.eventFd) ? "signalled" : "not signalled";
        break;
      case wire::Kind::kMutex:
        entry["kind"] = "mutex";
        entry["state"] = o.page->ownerProcess ? "owned" : "free";
        if (o.page->ownerProcess) {
          entry["owner_process"] = o.page->ownerProcess.load();
          entry["owner_thread"] = o.page->ownerThread.load();
        }
        if (o.page->abandoned) entry["abandoned"] = true;
        break;
      case wire::Kind::kQueue:
        entry["kind"] = "queue";
        entry["thread"] = o.thread;
        entry["state"] = Readable(o.eventFd) ? "messages waiting" : "empty";
        break;
      case wire::Kind::kProcess:
        entry["kind"] = "process";
        entry["process"] = o.thread;
        entry["state"] = Readable(o.eventFd) ? "ended" : "running";
        break;
      case wire::Kind::kSemaphore:
        entry["kind"] = "semaphore";
        entry["count"] = o.page->count.load();
        entry["maximum"] = o.page->maximum.load();
        entry["state"] = o.page->count > 0 ? "signalled" : "not signalled";
        break;
    }
    objects.push_back(std::move(entry));
  }
  auto windows = nlohmann::json::array();
  for (const Window& w : windows_) {
    const wire::WindowRecord& rec = w.record;
    windows.push_back(
        {{"hwnd", rec.hwnd},
         {"class", ToUtf8(std::u16string(rec.className, std::min(rec.classUnits, wire::kMaxName)))},
         {"title", ToUtf8(std::u16string(rec.title, std::min(rec.titleUnits, wire::kMaxName)))},
         {"process", rec.process},
         {"thread", rec.thread},
         {"visible", (rec.style & 0x10000000) != 0},
         {"foreground", foreground_ != 0 && rec.hwnd == foreground_},
         {"rect", {rec.left, rec.top, rec.right, rec.bottom}}});
  }
  return {{"processes", processes},
          {"objects", objects},
          {"windows", windows},
          {"server", {{"pid", ::getpid()}}}};
}

bool ObjectServer::Send(int fd, const wire::Reply& reply, const int* fds, int fdCount) {
  iovec iov{const_cast<wire::Reply*>(&reply), sizeof reply};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
  if (fdCount > 0) {
    msg.msg_control = control;
    msg.msg_controllen = CMSG_SPACE(fdCount * sizeof(int));
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(fdCount * sizeof(int));
    std::memcpy(CMSG_DATA(c), fds, fdCount * sizeof(int));
  }
  // The connection is non-blocking: a process that does not read its replies
  // is dropped rather than allowed to stall every other one.
  return ::sendmsg(fd, &msg, MSG_NOSIGNAL) == ssize_t(sizeof reply);
}

bool ObjectServer::SendText(int fd, const std::string& text) {
  if (!Send(fd, {wire::Status::kOpened, 0, uint32_t(text.size())})) return false;
  for (size_t at = 0; at < text.size();) {
    const size_t piece = std::min(kTextPiece, text.size() - at);
    const ssize_t n = ::send(fd, text.data() + at, piece, MSG_NOSIGNAL);
    if (n == ssize_t(piece)) {
      at += piece;
      continue;
    }
    // A reader gets a little while to make room; one that takes longer is dropped.
    pollfd p{fd, POLLOUT, 0};
    if (n >= 0 || errno != EAGAIN || ::poll(&p, 1, kTextWaitMs) != 1) return false;
  }
  return true;
}

}  // namespace ce::sim::server
