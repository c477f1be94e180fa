// Events, mutexes, semaphores and waits. Every waitable object owns a descriptor that polls
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
#include "ce/error.h"
#include "handles.h"
#include "hardware.h"
#include "kernel.h"
#include "last_error.h"
#include "sync_objects.h"
#include "terminal.h"
#include "terminal_objects.h"
#include "threads.h"
#include "utf.h"

namespace ce {
namespace sim {
namespace {

using Outcome = NamedObjects::Outcome;

constexpr std::u16string_view kPowerManagerReload = u"PowerManager/ReloadActivityTimeouts";

// Events that other programs on the terminal hold open: those the state
// lists, and the power manager's reload event while it listens for it.
bool HeldByTerminal(std::u16string_view name) {
  if (name == kPowerManagerReload && hw::Read(hw::kPowerManagerReloads)) return true;
  for (const auto& held : hw::Read(hw::kNamedEvents))
    if (FromUtf8(held) == name) return true;
  return false;
}

template <class T>
std::shared_ptr<T> Lookup(HANDLE h) {
  auto object = LookupHandleAs<T>(h);
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// The named object, through the terminal's server, so that every process on
// the terminal gets the same one. fromServer makes a T of what the server
// handed over; it may be null (out of resources). A process with no terminal
// has no named objects: none would be seen by anyone else.
template <class T, class FromServer>
std::shared_ptr<T> OpenNamed(std::u16string_view name, wire::Kind kind, uint32_t flags, int32_t count,
                             int32_t maximum, FromServer&& fromServer, Outcome* outcome) {
  auto objects = CurrentObjects();
  if (!objects) {
    *outcome = Outcome::kNoTerminal;
    return nullptr;
  }
  auto opened = objects->Open(kind, name, flags, count, maximum, api::GetCurrentThreadId());
  switch (opened.status) {
    case wire::Status::kCreated:
    case wire::Status::kOpened:
      *outcome = opened.status == wire::Status::kCreated ? Outcome::kCreated : Outcome::kOpened;
      return fromServer(std::move(opened), ServerHold(objects, opened.id, opened.connection));
    case wire::Status::kOtherKind:
      *outcome = Outcome::kOtherKind;
      return nullptr;
    case wire::Status::kMissing:
      *outcome = Outcome::kMissing;
      return nullptr;
    default:
      *outcome = Outcome::kFailed;
      return nullptr;
  }
}

// The handle for what Create... found or made, with the last error Windows sets.
template <class T>
HANDLE HandOut(const std::shared_ptr<T>& object, Outcome outcome) {
  switch (outcome) {
    case Outcome::kOtherKind:
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    case Outcome::kMissing:
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    case Outcome::kNoTerminal:
      SetLastError(ERROR_NOT_READY);
      return nullptr;
    default:
      break;
  }
  if (!object) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE h = AddHandle(object);
  SetLastError(outcome == Outcome::kOpened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

bool NameTooLong(LPCWSTR name) {
  if (std::u16string_view(name).size() <= wire::kMaxName) return false;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return true;
}

// Open...W: the object of that name, which must exist; find(outcome) looks it up.
template <class Find>
HANDLE OpenExisting(LPCWSTR name, Find&& find) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (NameTooLong(name)) return nullptr;
  auto outcome = Outcome::kCreated;
  auto object = find(&outcome);
  HANDLE h = HandOut(object, outcome);
  if (h) SetLastError(ERROR_SUCCESS);
  return h;
}

std::shared_ptr<Event> EventFromServer(TerminalObjects::Opened&& o, ServerHold hold) {
  return std::make_shared<Event>(std::move(o.event), o.flags & wire::kManualReset, std::move(hold));
}

std::shared_ptr<Event> OpenEvent(std::u16string_view name, uint32_t flags, Outcome* outcome) {
  return OpenNamed<Event>(name, wire::Kind::kEvent, flags, 0, 0, EventFromServer, outcome);
}

}  // namespace

bool SetNamedEvent(std::u16string_view name) {
  auto outcome = Outcome::kCreated;
  auto event = OpenEvent(name, 0, &outcome);
  if (!event) return false;
  event->Set();
  return true;
}

}  // namespace sim

namespace sim::api {

HANDLE CreateEventW(void*, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  using namespace sim;
  if (!name || !*name) return HandOut(Event::MakeUnnamed(manualReset, initialState), Outcome::kCreated);
  if (NameTooLong(name)) return nullptr;
  auto outcome = Outcome::kCreated;
  const uint32_t flags =
      wire::kCreate | (manualReset ? wire::kManualReset : 0) | (initialState ? wire::kInitialState : 0);
  auto event = OpenEvent(name, flags, &outcome);
  // Another program's event existed before this call made our copy of it.
  if (outcome == Outcome::kCreated && HeldByTerminal(name)) outcome = Outcome::kOpened;
  return HandOut(event, outcome);
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) {
  using namespace sim;
  return OpenExisting(name, [&](Outcome* outcome) {
    auto event = OpenEvent(name, 0, outcome);
    // An event another program holds is made here on first open, as the device
    // would hand out a handle to it.
    if (*outcome == Outcome::kMissing && HeldByTerminal(name))
      event = OpenEvent(name, wire::kCreate | wire::kManualReset, outcome);
    return event;
  });
}

BOOL SetEvent(HANDLE h) {
  auto e = sim::Lookup<sim::Event>(h);
  if (!e) return FALSE;
  e->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE h) {
  auto e = sim::Lookup<sim::Event>(h);
  if (!e) return FALSE;
  e->Reset();
  return TRUE;
}

HANDLE CreateMutexW(void*, BOOL initialOwner, LPCWSTR name) {
  using namespace sim;
  if (!name || !*name) return HandOut(Mutex::MakeUnnamed(initialOwner), Outcome::kCreated);
  if (NameTooLong(name)) return nullptr;
  auto outcome = Outcome::kCreated;
  auto mutex = OpenNamed<Mutex>(
      name, wire::Kind::kMutex, wire::kCreate | (initialOwner ? wire::kInitialState : 0), 0, 0,
      [](TerminalObjects::Opened&& o, ServerHold hold) -> std::shared_ptr<Mutex> {
        auto page = std::make_unique<SharedPage>(std::move(o.page));
        if (!page->ok()) return nullptr;
        return std::make_shared<Mutex>(std::move(o.event), std::move(page), std::move(hold));
      },
      &outcome);
  if (mutex && outcome == Outcome::kCreated) mutex->Adopt();  // made owned by this thread
  return HandOut(mutex, outcome);
}

BOOL ReleaseMutex(HANDLE h) {
  auto m = sim::Lookup<sim::Mutex>(h);
  if (!m) return FALSE;
  if (m->Release()) return TRUE;
  SetLastError(ERROR_NOT_OWNER);
  return FALSE;
}

namespace {

std::shared_ptr<sim::Semaphore> OpenSemaphore(std::u16string_view name, uint32_t flags, LONG initial,
                                              LONG maximum, sim::Outcome* outcome) {
  using namespace sim;
  return OpenNamed<Semaphore>(
      name, wire::Kind::kSemaphore, flags, initial, maximum,
      [](TerminalObjects::Opened&& o, ServerHold hold) -> std::shared_ptr<Semaphore> {
        auto page = std::make_unique<SharedPage>(std::move(o.page));
        if (!page->ok()) return nullptr;
        return std::make_shared<Semaphore>(std::move(o.event), std::move(page), std::move(hold));
      },
      outcome);
}

}  // namespace

HANDLE CreateSemaphoreW(void*, LONG initialCount, LONG maximumCount, LPCWSTR name) {
  using namespace sim;
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!name || !*name) return HandOut(Semaphore::MakeUnnamed(initialCount, maximumCount), Outcome::kCreated);
  if (NameTooLong(name)) return nullptr;
  auto outcome = Outcome::kCreated;
  auto semaphore = OpenSemaphore(name, wire::kCreate, initialCount, maximumCount, &outcome);
  return HandOut(semaphore, outcome);
}

HANDLE OpenSemaphoreW(DWORD, BOOL, LPCWSTR name) {
  using namespace sim;
  return OpenExisting(name, [&](Outcome* outcome) { return OpenSemaphore(name, 0, 0, 0, outcome); });
}

BOOL ReleaseSemaphore(HANDLE h, LONG count, LONG* previous) {
  auto s = sim::Lookup<sim::Semaphore>(h);
  if (!s) return FALSE;
  if (const DWORD error = s->Release(count, previous); error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
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
  bool owned = false;  // a mutex the caller owns is ready without looking
  for (DWORD i = 0; i < count; ++i) {
    objects[i] = sim::LookupHandle(handles[i]);
    if (!objects[i] || objects[i]->WaitFd() < 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    fds[i] = {objects[i]->WaitFd(), POLLIN, 0};
    owned = owned || objects[i]->OwnedByCaller();
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
      ready = ::poll(fds.data(), fds.size(), owned ? 0 : timeout);
    }
    if (ready < 0 && errno != EINTR) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (ready > 0 || owned) {
      for (DWORD i = 0; i < count; ++i) {
        const bool candidate = (fds[i].revents & POLLIN) || objects[i]->OwnedByCaller();
        if (candidate && objects[i]->TryAcquire())
          return (objects[i]->TakeAbandoned() ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
      }
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
