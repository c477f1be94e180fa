#include "sync_objects.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "api.h"
#include "ce/error.h"
#include "terminal_objects.h"

namespace ce::sim {
namespace {

HostFd MakeEventFd(uint64_t initial, bool semaphore) {
  HostFd fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC | (semaphore ? EFD_SEMAPHORE : 0)));
  if (fd && initial) {
    [[maybe_unused]] ssize_t n = ::write(fd.get(), &initial, sizeof initial);
  }
  return fd;
}

std::unique_ptr<SharedPage> MakePage() {
  HostFd fd(::memfd_create("qel-object", MFD_CLOEXEC));
  if (!fd || ::ftruncate(fd.get(), sizeof(wire::SharedState)) != 0) return nullptr;
  auto page = std::make_unique<SharedPage>(std::move(fd));
  return page->ok() ? std::move(page) : nullptr;
}

bool Take(int fd) {
  uint64_t v;
  return ::read(fd, &v, sizeof v) == ssize_t(sizeof v);
}

void Give(int fd, uint64_t n) { [[maybe_unused]] ssize_t w = ::write(fd, &n, sizeof n); }

uint32_t CallingThread() { return api::GetCurrentThreadId(); }

// The mutexes the calling thread owns, abandoned when it ends owning them.
struct OwnedMutexes {
  std::vector<std::shared_ptr<Mutex>> held;
  ~OwnedMutexes() {
    for (auto& mutex : held) mutex->AbandonIfOwned();
  }
  void Add(std::shared_ptr<Mutex> mutex) {
    if (std::find(held.begin(), held.end(), mutex) == held.end()) held.push_back(std::move(mutex));
  }
  void Remove(const Mutex* mutex) {
    std::erase_if(held, [&](const std::shared_ptr<Mutex>& m) { return m.get() == mutex; });
  }
};
thread_local OwnedMutexes t_owned;

}  // namespace

ServerHold::~ServerHold() {
  if (objects_) objects_->Close(id_, connection_);
}

SharedPage::SharedPage(HostFd fd) : fd_(std::move(fd)) {
  void* p = ::mmap(nullptr, sizeof(wire::SharedState), PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(), 0);
  if (p != MAP_FAILED) state_ = static_cast<wire::SharedState*>(p);
}

SharedPage::~SharedPage() {
  if (state_) ::munmap(state_, sizeof(wire::SharedState));
}

Event::Event(HostFd fd, bool manual, ServerHold hold)
    : fd_(std::move(fd)), manual_(manual), hold_(std::move(hold)) {}

std::shared_ptr<Event> Event::MakeUnnamed(bool manual, bool initial) {
  HostFd fd = MakeEventFd(initial ? 1 : 0, false);
  return fd ? std::make_shared<Event>(std::move(fd), manual, ServerHold()) : nullptr;
}

// The counter may go past one when several set it; one read clears it all,
// so an auto-reset event still releases one waiter per signalled period.
void Event::Set() { Give(fd_.get(), 1); }
void Event::Reset() { Take(fd_.get()); }
bool Event::TryAcquire() { return manual_ || Take(fd_.get()); }

Mutex::Mutex(HostFd fd, std::unique_ptr<SharedPage> page, ServerHold hold)
    : fd_(std::move(fd)), page_(std::move(page)), hold_(std::move(hold)) {}

uint32_t Mutex::ProcessId() const {
  return hold_.objects() ? hold_.objects()->processId() : uint32_t(::getpid());
}

std::shared_ptr<Mutex> Mutex::MakeUnnamed(bool initialOwner) {
  HostFd fd = MakeEventFd(initialOwner ? 0 : 1, true);
  auto page = MakePage();
  if (!fd || !page) return nullptr;
  if (initialOwner) {
    (*page)->ownerProcess = uint32_t(::getpid());
    (*page)->ownerThread = CallingThread();
    (*page)->recursion = 1;
  }
  auto mutex = std::make_shared<Mutex>(std::move(fd), std::move(page), ServerHold());
  if (initialOwner) mutex->Adopt();
  return mutex;
}

bool Mutex::OwnedByCaller() const {
  return (*page_)->ownerProcess == ProcessId() && (*page_)->ownerThread == CallingThread();
}

bool Mutex::TryAcquire() {
  if (OwnedByCaller()) {
    ++(*page_)->recursion;
    return true;
  }
  // The eventfd holds one token while the mutex is free.
  if (!Take(fd_.get())) return false;
  (*page_)->ownerThread = CallingThread();
  (*page_)->ownerProcess = ProcessId();
  (*page_)->recursion = 1;
  t_owned.Add(shared_from_this());
  return true;
}

void Mutex::Adopt() {
  if (OwnedByCaller()) t_owned.Add(shared_from_this());
}

void Mutex::AbandonIfOwned() {
  // The thread first: a forked child's thread is never the owner, and asking it
  // for its process would join the terminal afresh.
  if ((*page_)->ownerThread != CallingThread() || !OwnedByCaller()) return;
  (*page_)->abandoned = 1;
  (*page_)->recursion = 0;
  (*page_)->ownerProcess = 0;
  (*page_)->ownerThread = 0;
  Give(fd_.get(), 1);
}

bool Mutex::TakeAbandoned() { return (*page_)->abandoned.exchange(0) != 0; }

bool Mutex::Release() {
  if (!OwnedByCaller()) return false;
  if (--(*page_)->recursion == 0) {
    (*page_)->ownerProcess = 0;
    (*page_)->ownerThread = 0;
    Give(fd_.get(), 1);
    t_owned.Remove(this);  // may end this object: nothing of it is used after
  }
  return true;
}

Semaphore::Semaphore(HostFd fd, std::unique_ptr<SharedPage> page, ServerHold hold)
    : fd_(std::move(fd)), page_(std::move(page)), hold_(std::move(hold)) {}

std::shared_ptr<Semaphore> Semaphore::MakeUnnamed(LONG initial, LONG maximum) {
  HostFd fd = MakeEventFd(uint64_t(initial), true);
  auto page = MakePage();
  if (!fd || !page) return nullptr;
  (*page)->count = initial;
  (*page)->maximum = maximum;
  return std::make_shared<Semaphore>(std::move(fd), std::move(page), ServerHold());
}

bool Semaphore::TryAcquire() {
  if (!Take(fd_.get())) return false;
  --(*page_)->count;
  return true;
}

DWORD Semaphore::Release(LONG count, LONG* previous) {
  if (count <= 0) return ERROR_INVALID_PARAMETER;
  // The page's count decides: tokens go into the eventfd only for a release that fits.
  int32_t now = (*page_)->count.load();
  do {
    if (int64_t(now) + count > (*page_)->maximum.load()) return ERROR_TOO_MANY_POSTS;
  } while (!(*page_)->count.compare_exchange_weak(now, now + count));
  Give(fd_.get(), uint64_t(count));
  if (previous) *previous = now;
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
