// Threads, critical sections and the process's end.
#include "threads.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "api.h"
#include "ce/error.h"
#include "ce/thread.h"
#include "kernel.h"
#include "last_error.h"
#include "message_queue.h"

namespace ce {
namespace sim {
namespace {

thread_local DWORD t_threadId = 0;

struct Launch {
  std::shared_ptr<Thread> thread;
  LPTHREAD_START_ROUTINE start;
  void* parameter;
};

void* Trampoline(void* p) {
  ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  std::unique_ptr<Launch> launch(static_cast<Launch*>(p));
  t_threadId = DWORD(::gettid());
  launch->thread->SetId(t_threadId);
  const DWORD code = launch->start(launch->parameter);
  MessageQueue::ReleaseCallingThread();
  launch->thread->End(code);
  return nullptr;
}

// What a critical section's hCrit points to.
struct CriticalLock {
  std::recursive_mutex mu;
};

CriticalLock* LockOf(CRITICAL_SECTION* section) {
  return section ? static_cast<CriticalLock*>(section->hCrit) : nullptr;
}

}  // namespace

Thread::Thread() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void Thread::SetId(DWORD id) {
  id_.store(id, std::memory_order_release);
  id_.notify_all();
}

DWORD Thread::WaitForId() const {
  id_.wait(0, std::memory_order_acquire);
  return id();
}

Thread::~Thread() {
  if (fd_ >= 0) ::close(fd_);
}

bool Thread::TryAcquire() {
  std::lock_guard lock(mu_);
  return ended_;
}

void Thread::Started(pthread_t native) {
  std::lock_guard lock(mu_);
  native_ = native;
  running_ = !ended_;
}

// Records the end and signals the thread's handle.
void Thread::MarkEndedLocked(DWORD exitCode) {
  ended_ = true;
  running_ = false;
  exitCode_ = exitCode;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

bool Thread::End(DWORD exitCode) {
  std::lock_guard lock(mu_);
  if (ended_) return false;
  MarkEndedLocked(exitCode);
  return true;
}

bool Thread::Terminate(DWORD exitCode) {
  std::lock_guard lock(mu_);
  if (ended_) return false;
  // While the lock is held the thread cannot pass End, so native_ is alive.
  if (running_ && !pthread_equal(native_, pthread_self())) ::pthread_cancel(native_);
  MarkEndedLocked(exitCode);
  return true;
}

DWORD Thread::ExitCode() {
  std::lock_guard lock(mu_);
  return ended_ ? exitCode_ : DWORD(STILL_ACTIVE);
}

}  // namespace sim

namespace sim::api {

HANDLE CreateThread(void*, DWORD, LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
                    DWORD* threadId) {
  using namespace sim;
  if (!start || (flags & CREATE_SUSPENDED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<Thread>();
  if (!thread->ok()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE h = AddHandle(thread);
  auto launch = std::make_unique<Launch>(Launch{thread, start, parameter});
  pthread_attr_t attr;
  ::pthread_attr_init(&attr);
  ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t native{};
  const int err = ::pthread_create(&native, &attr, Trampoline, launch.get());
  ::pthread_attr_destroy(&attr);
  if (err != 0) {
    RemoveHandle(h);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  launch.release();
  thread->Started(native);
  // The id is the thread's kernel id, known once it runs.
  const DWORD id = thread->WaitForId();
  if (threadId) *threadId = id;
  SetLastError(ERROR_SUCCESS);
  return h;
}

DWORD GetCurrentThreadId() {
  if (sim::t_threadId == 0) {
    sim::t_threadId = DWORD(::gettid());
    // A forked child's thread is a new thread, with an id of its own.
    static const bool forgetOnFork = ::pthread_atfork(nullptr, nullptr, [] { sim::t_threadId = 0; }) == 0;
    (void)forgetOnFork;
  }
  return sim::t_threadId;
}

BOOL GetExitCodeThread(HANDLE h, DWORD* exitCode) {
  auto thread = sim::LookupHandleAs<sim::Thread>(h);
  if (!thread || !exitCode) {
    SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = thread->ExitCode();
  return TRUE;
}

BOOL TerminateThread(HANDLE h, DWORD exitCode) {
  auto thread = sim::LookupHandleAs<sim::Thread>(h);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  thread->Terminate(exitCode);
  return TRUE;
}

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  if (!section) return;
  *section = {};
  section->hCrit = new sim::CriticalLock;
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  if (!section) return;
  delete sim::LockOf(section);
  section->hCrit = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  if (auto* l = sim::LockOf(section)) l->mu.lock();
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  if (auto* l = sim::LockOf(section)) l->mu.unlock();
}

}  // namespace sim::api
}  // namespace ce
