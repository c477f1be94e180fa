#include "core/thread.h"

#include <cstdio>
#include <cstring>

#include "ce/exception.h"
#include "ce/process.h"
#include "ce/sync.h"
#include "ce/system.h"
#include "ce/text.h"
#include "ce/thread.h"
#include "ce/time.h"
#include "core/error_log.h"

namespace qel {

CQelThread::CQelThread(const char16_t* name, bool selfDelete) : selfDelete_(selfDelete) {
  ErrorLogPath(logPath_);
  const char16_t* given = name ? name : u"CQelThread";
  int length = 0;
  while (given[length] && length < 259) ++length;
  const int bytes = ce::WideCharToMultiByte(CP_ACP, 0, given, length, name_, 259, nullptr, nullptr);
  name_[bytes > 0 ? bytes : 0] = 0;
}

CQelThread::~CQelThread() { Finish(1000); }

void CQelThread::Finish(ce::DWORD milliseconds) {
  if (!Wait(milliseconds) && thread_) ce::TerminateThread(thread_.get(), 0xFFFFFFFF);
  CQelThread::Close();  // not an override of the same name in a derived class
}

bool CQelThread::Start() {
  Hold hold(starting_);
  if (started_) return false;
  started_.reset(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!started_) return false;
  if (thread_) return false;
  ce::DWORD id = 0;
  thread_.reset(ce::CreateThread(nullptr, 0, &CQelThread::Entry, this, 0, &id));
  if (thread_) threadId_.store(id, std::memory_order_release);
  if (!thread_) {
    // Left as it was: no event, no thread.
    started_.reset();
    return false;
  }
  return ce::WaitForSingleObject(started_.get(), INFINITE) == WAIT_OBJECT_0;
}

bool CQelThread::Close() {
  threadId_.store(0xFFFFFFFF, std::memory_order_release);
  thread_.reset();
  started_.reset();
  return true;
}

bool CQelThread::Wait(ce::DWORD milliseconds) {
  if (!thread_) return true;
  if (ce::WaitForSingleObject(started_.get(), milliseconds) != WAIT_OBJECT_0) return false;
  if (selfDelete_) return true;  // the object deletes itself
  return ce::WaitForSingleObject(thread_.get(), milliseconds) == WAIT_OBJECT_0;
}

bool CQelThread::IsCurrentThread() { return ce::GetCurrentThreadId() == GetThreadId(); }

void CQelThread::LogError(const char16_t* message) {
  // The clock and the message are read only for a log that could be opened.
  ErrorLogFile log(logPath_);
  if (!log) return;
  ce::SYSTEMTIME now{};
  ce::GetLocalTime(&now);
  log.Append(FormatErrorLine(now, name_, GetThreadId(), message));
}

ce::DWORD CQelThread::Entry(void* self) {
  if (!self) return 0xFFFFFFFF;
  return ce::GuardedCall(&CQelThread::Body, self, &CQelThread::OnException);
}

ce::DWORD CQelThread::Body(void* p) {
  auto* self = static_cast<CQelThread*>(p);
  // The id Start stores too; the thread may need it (in LogError) first.
  self->threadId_.store(ce::GetCurrentThreadId(), std::memory_order_release);
  ce::SetEvent(self->started_.get());
  const bool selfDelete = self->selfDelete_;
  const ce::DWORD code = self->Run();
  if (selfDelete) {
    self->starting_.Enter();  // Start has let go of the object
    self->starting_.Leave();
    self->Destroy();
  }
  return code;
}

ce::DWORD CQelThread::OnException(ce::DWORD code, void* p) {
  char16_t message[256];
  char text[32];
  std::snprintf(text, sizeof text, "__except [0x%08X]", unsigned(code));
  size_t i = 0;
  for (; text[i]; ++i) message[i] = char16_t(text[i]);
  message[i] = 0;
  static_cast<CQelThread*>(p)->LogError(message);
  ce::TerminateProcess(ce::GetCurrentProcess(), 0xFFFFFFFF);
  return 0xFFFFFFFF;
}

}  // namespace qel
