// A critical section owned for its lifetime, and a scoped hold on it.
#pragma once

#include "ce/thread.h"

namespace qel {

class CriticalSection {
 public:
  CriticalSection() { ce::InitializeCriticalSection(&cs_); }
  ~CriticalSection() { ce::DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { ce::EnterCriticalSection(&cs_); }
  void Leave() { ce::LeaveCriticalSection(&cs_); }

 private:
  ce::CRITICAL_SECTION cs_;
};

class Hold {
 public:
  explicit Hold(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~Hold() { cs_.Leave(); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  CriticalSection& cs_;
};

}  // namespace qel
