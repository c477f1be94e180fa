// What both systems' crash reports know: the call into the module each thread
// is in, and where the module's code lies.
#include "module_crash.h"

#include <atomic>

namespace qelhost {
namespace {

thread_local const char* t_what = nullptr;
thread_local const char16_t* t_name = nullptr;

std::atomic<uintptr_t> g_codeBegin{0}, g_codeEnd{0};

}  // namespace

CrashSite CrashSiteAt(uintptr_t pc) {
  const uintptr_t begin = g_codeBegin.load(std::memory_order_relaxed);
  const uintptr_t end = g_codeEnd.load(std::memory_order_relaxed);
  const bool inModuleCode = pc != 0 && pc >= begin && pc < end;
  return {t_what, t_name, inModuleCode, inModuleCode ? pc - begin : 0};
}

void SetModuleCode(const void* begin, const void* end) {
  g_codeBegin.store(uintptr_t(begin), std::memory_order_relaxed);
  g_codeEnd.store(uintptr_t(end), std::memory_order_relaxed);
}

ModuleCall::ModuleCall(const char* what, const char16_t* name) : what_(t_what), name_(t_name) {
  t_name = name;
  t_what = what;
}

ModuleCall::~ModuleCall() {
  t_what = what_;
  t_name = name_;
}

}  // namespace qelhost
