// Threads of the simulated kernel: real threads whose kernel object is
// signalled (an eventfd that turns readable) once they end.
#pragma once

#include <pthread.h>

#include <atomic>
#include <mutex>

#include "ce/types.h"
#include "handles.h"

namespace ce::sim {

// A thread's id is its kernel thread id: unique among the live threads of
// every process on the machine, so a message can be posted to a thread of
// another process by id, and free again once the thread ends, as on the device.
class Thread final : public KernelObject {
 public:
  Thread();
  ~Thread() override;
  bool ok() const { return fd_ >= 0; }
  // Known once the thread runs (WaitForId).
  DWORD id() const { return id_.load(std::memory_order_acquire); }
  void SetId(DWORD id);
  DWORD WaitForId() const;
  int WaitFd() const override { return fd_; }
  bool TryAcquire() override;

  void Started(pthread_t native);
  // Records the exit code and signals the handle; later calls change nothing.
  // False when the thread had ended already.
  bool End(DWORD exitCode);
  // Ends the thread from outside: it is cancelled where it waits.
  bool Terminate(DWORD exitCode);
  DWORD ExitCode();

 private:
  void MarkEndedLocked(DWORD exitCode);

  std::atomic<DWORD> id_{0};
  const int fd_;
  std::mutex mu_;
  pthread_t native_{};
  bool running_ = false;  // native_ names a live thread
  bool ended_ = false;
  DWORD exitCode_ = 0;
};

// Threads the kernel starts run with cancellation off: TerminateThread ends
// them only inside the waits that hold one of these, so that no destructor
// met while the thread unwinds is itself cancelled.
class CancellationPoint {
 public:
  CancellationPoint() { ::pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, &before_); }
  ~CancellationPoint() { ::pthread_setcancelstate(before_, nullptr); }
  CancellationPoint(const CancellationPoint&) = delete;
  CancellationPoint& operator=(const CancellationPoint&) = delete;

 private:
  int before_ = PTHREAD_CANCEL_ENABLE;
};

}  // namespace ce::sim
