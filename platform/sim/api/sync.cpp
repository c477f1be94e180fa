// Events and waits. Every waitable object owns a descriptor that polls
// readable while it is signalled; a wait is one poll over them, the lowest
// ready index wins, and an auto-reset event is consumed by the one waiter
// whose TryAcquire succeeds.
#include "ce/sync.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "handles.h"
#include "hardware.h"
#include "kernel.h"
#include "last_error.h"
#include "terminal.h"
#include "threads.h"
#include "utf.h"

namespace ce {
namespace sim {
namespace {

class Event final : public KernelObject {
 public:
  Event(bool manual, bool initial) : manual_(manual), fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (initial) Set();
  }
  ~Event() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int WaitFd() const override { return fd_; }

  void Set() {
    std::lock_guard lock(mu_);
    if (signalled_) return;
    signalled_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
  }
  void Reset() {
    std::lock_guard lock(mu_);
    DrainLocked();
  }
  bool TryAcquire() override {
    std::lock_guard lock(mu_);
    if (!signalled_) return false;
    if (!manual_) DrainLocked();
    return true;
  }

 private:
  void DrainLocked() {
    uint64_t v;
    [[maybe_unused]] ssize_t n = ::read(fd_, &v, sizeof v);
    signalled_ = false;
  }

  const bool manual_;
  const int fd_;
  std::mutex mu_;
  bool signalled_ = false;
};

// Events that other programs on the terminal hold open.
bool HeldByTerminal(LPCWSTR name) {
  for (const auto& held : hw::Read(hw::kNamedEvents))
    if (SameName(FromUtf8(held), name)) return true;
  return false;
}

std::shared_ptr<Event> Lookup(HANDLE h) {
  auto e = LookupHandleAs<Event>(h);
  if (!e) SetLastError(ERROR_INVALID_HANDLE);
  return e;
}

}  // namespace

bool SetNamedEvent(std::u16string_view name) {
  auto outcome = NamedObjects::Outcome::kCreated;
  auto event = Kernel::Get().names.Open<Event>(
      name, [] { return std::shared_ptr<Event>(); }, &outcome);
  if (!event) return false;
  event->Set();
  return true;
}

}  // namespace sim

namespace sim::api {

HANDLE CreateEventW(void*, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  using namespace sim;
  auto make = [&] { return std::make_shared<Event>(manualReset != FALSE, initialState != FALSE); };
  std::shared_ptr<Event> event;
  auto outcome = NamedObjects::Outcome::kCreated;
  if (name && *name)
    event = Kernel::Get().names.Open<Event>(name, make, &outcome);
  else
    event = make();
  if (outcome == NamedObjects::Outcome::kOtherKind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!event->ok()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE h = AddHandle(event);
  SetLastError(outcome == NamedObjects::Outcome::kOpened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) {
  using namespace sim;
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // An event another program holds is made here on first open, as the device
  // would hand out a handle to it.
  auto outcome = NamedObjects::Outcome::kCreated;
  auto event = Kernel::Get().names.Open<Event>(
      name, [&] { return HeldByTerminal(name) ? std::make_shared<Event>(true, false) : nullptr; }, &outcome);
  if (!event) {
    SetLastError(outcome == NamedObjects::Outcome::kOtherKind ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return AddHandle(event);
}

BOOL SetEvent(HANDLE h) {
  auto e = sim::Lookup(h);
  if (!e) return FALSE;
  e->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE h) {
  auto e = sim::Lookup(h);
  if (!e) return FALSE;
  e->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD ms) { return WaitForMultipleObjects(1, &handle, FALSE, ms); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms) {
  using Clock = std::chrono::steady_clock;
  // The device waits for one of several objects only: waitAll is refused there too.
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles || waitAll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<sim::KernelObject>> objects(count);
  std::vector<pollfd> fds(count);
  for (DWORD i = 0; i < count; ++i) {
    objects[i] = sim::LookupHandle(handles[i]);
    if (!objects[i] || objects[i]->WaitFd() < 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    fds[i] = {objects[i]->WaitFd(), POLLIN, 0};
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (true) {
    int timeout = -1;
    if (ms != INFINITE) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = left > 0 ? int(std::min<long long>(left, 1 << 30)) : 0;
    }
    int ready;
    {
      sim::CancellationPoint cancellable;
      ready = ::poll(fds.data(), fds.size(), timeout);
    }
    if (ready < 0 && errno != EINTR) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (ready > 0) {
      for (DWORD i = 0; i < count; ++i)
        if ((fds[i].revents & POLLIN) && objects[i]->TryAcquire()) return WAIT_OBJECT_0 + i;
    }
    if (ms != INFINITE && Clock::now() >= deadline) {
      SetLastError(WAIT_TIMEOUT);
      return WAIT_TIMEOUT;
    }
  }
}

void Sleep(DWORD ms) {
  sim::CancellationPoint cancellable;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace sim::api
}  // namespace ce
