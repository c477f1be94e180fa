// CQelThread: the base of every worker thread of the module. A named thread
// with a guarded entry (a crash is written to the error log and ends the
// process), a start handshake and a bounded stop.
//
// Slot 0 destroys the object (the device's deleting destructor); the C++
// destructor is declared last so that the operations keep their slots.
#pragma once

#include <atomic>
#include <cstdint>

#include "ce/handle.h"
#include "ce/types.h"
#include "core/critical_section.h"
#include "qel/ms_layout.h"

namespace qel {

class CQelThread {
 public:
  // name: the thread's name as the error log shows it (null: "CQelThread").
  explicit CQelThread(const char16_t* name = nullptr, bool selfDelete = false);
  CQelThread(const CQelThread&) = delete;
  CQelThread& operator=(const CQelThread&) = delete;

#if QEL_EXPLICIT_MS_LAYOUT
  QEL_SCALAR_DELETING_DESTRUCTOR(CQelThread)  // slot 0
  void Destroy() { ScalarDeletingDestructor(1); }
#else
  virtual void Destroy() { delete this; }  // slot 0
#endif
  virtual ce::DWORD Run() = 0;                                                           // slot 1
  virtual bool Start();                                                                  // slot 2
  virtual bool Close();                                                                  // slot 3
  virtual bool Wait(ce::DWORD milliseconds);                                             // slot 4
  virtual ce::DWORD GetThreadId() { return threadId_.load(std::memory_order_acquire); }  // slot 5
  virtual bool IsCurrentThread();                                                        // slot 6
  // Waits up to 1000 ms for the thread, then terminates it.
  virtual ~CQelThread();

  // Appends one line for this thread to the error log.
  void LogError(const char16_t* message);

  const char* name() const { return name_; }
  const char16_t* logPath() const { return logPath_; }

 protected:
  ce::HANDLE threadHandle() const { return thread_.get(); }
  // Waits up to that long for the thread, ends it by force when it has not
  // ended, and closes it, so that Start may run again.
  void Finish(ce::DWORD milliseconds);

 private:
  static ce::DWORD Entry(void* self);
  static ce::DWORD Body(void* self);
  static ce::DWORD OnException(ce::DWORD code, void* self);

  ce::UniqueHandle thread_;
  // Read from other threads (IsCurrentThread) while Start or Close change it.
  std::atomic<ce::DWORD> threadId_{0xFFFFFFFF};
  ce::UniqueHandle started_;
  char16_t logPath_[260] = {};
  char name_[260] = {};
  bool selfDelete_;
  // Held by Start until it is done with the object: a self-deleting thread
  // passes it before it deletes the object.
  CriticalSection starting_;
};

}  // namespace qel
