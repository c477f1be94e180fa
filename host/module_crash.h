// A module can be damaged in ways no check before loading sees: its code then
// faults inside a call qelhost makes. qelhost cannot make such a module work,
// but it can say what happened: a fault inside a call into the module, or at
// an instruction of the module, prints the signal and the call on stderr and
// ends qelhost with kModuleCrashed. Faults elsewhere keep their usual end
// (whatever handled them before: the default action, or a sanitizer).
#pragma once

#include <cstdint>

namespace qelhost {

// The exit status after a crash inside the module (documented in --help).
inline constexpr int kModuleCrashed = 4;

// Installs the report for every thread. Called once, before the module is
// loaded: the system layer installs its own handler (for guarded calls) later
// and passes the faults it does not take on to this one.
void ReportModuleCrashes();

// The module's code spans [begin, end) in memory (set when it is loaded, cleared at unloading).
void SetModuleCode(const void* begin, const void* end);

// Where a fault at pc happened, for the system's report: the call into the
// module the faulting thread is in (what and name null outside one), and pc's
// offset in the module's image when it lies there.
struct CrashSite {
  const char* what;
  const char16_t* name;
  bool inModuleCode;
  uintptr_t offset;
};
CrashSite CrashSiteAt(uintptr_t pc);

// Marks the current thread as inside a call into the module for the object's
// lifetime. what and name must outlive the call: ("the getter of", u"NAME").
class ModuleCall {
 public:
  explicit ModuleCall(const char* what, const char16_t* name = nullptr);
  ~ModuleCall();
  ModuleCall(const ModuleCall&) = delete;
  ModuleCall& operator=(const ModuleCall&) = delete;

 private:
  const char* what_;
  const char16_t* name_;
};

}  // namespace qelhost
