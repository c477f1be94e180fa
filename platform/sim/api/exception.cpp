// The guarded call: a crash inside the routine (SIGSEGV, SIGILL, SIGFPE,
// SIGBUS, SIGTRAP) is caught by a signal handler running on the thread's
// alternate stack, which jumps back into the guarded frame with the
// exception code the device would raise. Signals outside any guard go to
// whatever handled them before (the default action, or a sanitizer).
#include "ce/exception.h"

#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>

#include <array>
#include <mutex>

#include "api.h"
#include "ce/error.h"
#include "last_error.h"

namespace ce {
namespace sim {
namespace {

constexpr std::array kSignals = {SIGSEGV, SIGILL, SIGFPE, SIGBUS, SIGTRAP};
constexpr size_t kAltStackBytes = 128 * 1024;

struct Guard {
  sigjmp_buf jump;
  volatile DWORD code;
  Guard* outer;
};

thread_local Guard* t_guard = nullptr;

// The thread's alternate stack, made on its first guarded call; a stack that
// is already there (a sanitizer's) and big enough is used as it is.
class AltStack {
 public:
  AltStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
        current.ss_size >= kAltStackBytes)
      return;
    void* p = ::mmap(nullptr, kAltStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    stack_t mine{};
    mine.ss_sp = p;
    mine.ss_size = kAltStackBytes;
    if (::sigaltstack(&mine, &previous_) != 0) {
      ::munmap(p, kAltStackBytes);
      return;
    }
    mine_ = p;
  }
  ~AltStack() {
    if (!mine_) return;
    ::sigaltstack(&previous_, nullptr);  // hand back whatever was there before
    ::munmap(mine_, kAltStackBytes);
  }
  void Touch() {}

 private:
  void* mine_ = nullptr;
  stack_t previous_{};
};

thread_local AltStack t_altStack;

// Where the thread's stack ends, read before any fault (the reading is not
// safe inside a signal handler): a fault just past it is a stack overflow.
struct StackEnd {
  StackEnd() {
    pthread_attr_t attr;
    if (::pthread_getattr_np(::pthread_self(), &attr) != 0) return;
    void* base = nullptr;
    size_t size = 0;
    if (::pthread_attr_getstack(&attr, &base, &size) == 0) low = reinterpret_cast<uintptr_t>(base);
    ::pthread_attr_destroy(&attr);
  }
  uintptr_t low = 0;
};

thread_local StackEnd t_stackEnd;

bool IsStackOverflow(const siginfo_t* info) {
  const uintptr_t low = t_stackEnd.low;
  if (info == nullptr || low == 0) return false;
  // The guard area below the stack (a frame larger than it may fault further
  // down), or the stack's last megabyte: where an unlimited main stack meets
  // the mapping below, glibc puts its end, and the fault lands in the gap above.
  constexpr uintptr_t kReach = 1 << 20;
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  return at + kReach >= low && at < low + kReach;
}

struct sigaction g_previous[65];

DWORD CodeOf(int sig, const siginfo_t* info) {
  const int code = info ? info->si_code : 0;
  switch (sig) {
    case SIGSEGV:
      return IsStackOverflow(info) ? EXCEPTION_STACK_OVERFLOW : EXCEPTION_ACCESS_VIOLATION;
    case SIGBUS:
      return code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT : EXCEPTION_IN_PAGE_ERROR;
    case SIGILL:
      return code == ILL_PRVOPC || code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION
                                                      : EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGTRAP:
      return EXCEPTION_BREAKPOINT;
    case SIGFPE:
      switch (code) {
        case FPE_INTDIV:
          return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF:
          return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV:
          return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF:
          return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND:
          return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES:
          return EXCEPTION_FLT_INEXACT_RESULT;
        default:
          return EXCEPTION_FLT_INVALID_OPERATION;
      }
  }
  return EXCEPTION_ACCESS_VIOLATION;
}

void OnSignal(int sig, siginfo_t* info, void* context) {
  if (Guard* g = t_guard) {
    g->code = CodeOf(sig, info);
    t_guard = g->outer;  // this guard is spent
    siglongjmp(g->jump, 1);
  }
  const struct sigaction& before = g_previous[sig];
  if (before.sa_flags & SA_SIGINFO) {
    if (before.sa_sigaction) return before.sa_sigaction(sig, info, context);
  } else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
    return before.sa_handler(sig);
  }
  // The default action: returning runs the faulting instruction again, which
  // now ends the process as it would have without us.
  ::signal(sig, SIG_DFL);
}

void Install() {
  struct sigaction action {};
  action.sa_sigaction = OnSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int sig : kSignals) ::sigaction(sig, &action, &g_previous[sig]);
}

}  // namespace
}  // namespace sim

namespace sim::api {

DWORD GuardedCall(GUARDED_ROUTINE routine, void* parameter, EXCEPTION_ROUTINE onException) {
  if (!routine) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  static std::once_flag installed;
  std::call_once(installed, sim::Install);
  sim::t_altStack.Touch();
  (void)sim::t_stackEnd.low;  // read now, outside any handler
  sim::Guard guard;
  guard.code = 0;
  guard.outer = sim::t_guard;
  if (sigsetjmp(guard.jump, 1) == 0) {
    sim::t_guard = &guard;
    DWORD result;
    try {
      result = routine(parameter);
    } catch (...) {
      sim::t_guard = guard.outer;
      throw;
    }
    sim::t_guard = guard.outer;
    return result;
  }
  // Back from the signal handler, which has unlinked the guard already.
  const DWORD code = guard.code;
  return onException ? onException(code, parameter) : code;
}

}  // namespace sim::api
}  // namespace ce
