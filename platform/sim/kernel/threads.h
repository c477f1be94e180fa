// Threads of the simulated kernel: real threads whose kernel object is
// signalled (an eventfd that turns readable) once they end.
#pragma once

#include <pthread.h>

#include <atomic>
#include <mutex>

#include "ce/types.h"
#include "handles.h"

namespace ce::sim {

class Thread final : public KernelObject {
 public:
  explicit Thread(DWORD id);
  ~Thread() override;
  bool ok() const { return fd_ >= 0; }
  DWORD id() const { return id_; }
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

  const DWORD id_;
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

// Thread ids, as the device hands them out: every thread gets one on its first
// use, those the kernel starts before they run.
struct ThreadIds {
  std::atomic<DWORD> next{0x0400};
  DWORD Take() { return next.fetch_add(4, std::memory_order_relaxed); }
};

}  // namespace ce::sim
