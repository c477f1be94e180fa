// A ce thread routine has the plain calling convention; Win32 calls its
// routine WINAPI (stdcall on 32-bit x86), so every thread starts in a
// trampoline that calls the routine. Windows CE cannot start a thread
// suspended.
#include <memory>

#include "ce/error.h"
#include "ce/thread.h"

namespace ce {
namespace {

struct Start {
  LPTHREAD_START_ROUTINE routine;
  void* parameter;
};

DWORD WINAPI Trampoline(void* start) {
  std::unique_ptr<Start> owned(static_cast<Start*>(start));
  return owned->routine(owned->parameter);
}

}  // namespace

HANDLE CreateThread(void* security, DWORD stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* threadId) {
  if (start == nullptr || (flags & CREATE_SUSPENDED) != 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto record = std::make_unique<Start>(Start{start, parameter});
  // Made suspended, so that the id is stored before the thread runs.
  DWORD id = 0;
  HANDLE thread = ::CreateThread(static_cast<SECURITY_ATTRIBUTES*>(security), stackSize, &Trampoline,
                                 record.get(), flags | CREATE_SUSPENDED, &id);
  if (thread == nullptr) return nullptr;
  record.release();  // the thread owns it now
  if (threadId != nullptr) *threadId = id;
  ::ResumeThread(thread);
  return thread;
}

}  // namespace ce
