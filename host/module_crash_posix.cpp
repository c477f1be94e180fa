#include <signal.h>
#include <string.h>
#include <ucontext.h>
#include <unistd.h>

#include <array>
#include <cstdint>

#include "crash_line.h"
#include "module_crash.h"

namespace qelhost {
namespace {

constexpr std::array kFaults = {SIGSEGV, SIGILL, SIGBUS, SIGFPE, SIGTRAP, SIGSYS};

struct sigaction g_before[NSIG];

// A stack overflow inside the module leaves no stack to report it on.
alignas(16) char g_altStack[64 * 1024];

uintptr_t FaultingInstruction(void* context) {
  const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  return uc ? uintptr_t(uc->uc_mcontext.gregs[REG_RIP]) : 0;
#elif defined(__i386__)
  return uc ? uintptr_t(uc->uc_mcontext.gregs[REG_EIP]) : 0;
#else
  (void)uc;
  return 0;
#endif
}

// Sent by a process (kill, raise) rather than raised by an instruction.
bool Sent(const siginfo_t* info) { return info && info->si_code <= 0; }

void PassOn(int sig, siginfo_t* info, void* context) {
  const struct sigaction& before = g_before[sig];
  if (before.sa_flags & SA_SIGINFO) {
    if (before.sa_sigaction) return before.sa_sigaction(sig, info, context);
  } else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
    return before.sa_handler(sig);
  }
  // Returning runs a faulting instruction again, which now ends the process as
  // before; a sent signal has no instruction to run again, so it is sent anew.
  ::signal(sig, SIG_DFL);
  if (Sent(info)) ::raise(sig);
}

void OnFault(int sig, siginfo_t* info, void* context) {
  const uintptr_t pc = FaultingInstruction(context);
  const CrashSite site = CrashSiteAt(pc);
  // A signal another process sent is no crash, whatever this thread was running.
  if (Sent(info) || (!site.what && !site.inModuleCode)) return PassOn(sig, info, context);
  CrashLine line;
  line << "qelhost: the module crashed (signal ";
  line.Number(uintptr_t(sig), 10);
  if (const char* name = ::sigabbrev_np(sig)) line << ", SIG" << name;
  line << ") ";
  line.Site(site);
  for (size_t done = 0; done < line.size();) {
    const ssize_t n = ::write(STDERR_FILENO, line.text() + done, line.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  ::_exit(kModuleCrashed);
}

}  // namespace

void ReportModuleCrashes() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE)) {
    stack_t mine{};
    mine.ss_sp = g_altStack;
    mine.ss_size = sizeof g_altStack;
    ::sigaltstack(&mine, nullptr);
  }
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  ::sigemptyset(&action.sa_mask);
  for (const int sig : kFaults) ::sigaction(sig, &action, &g_before[sig]);
}

}  // namespace qelhost
