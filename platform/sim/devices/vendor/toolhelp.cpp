// "ToolHelp.dll": snapshots of the terminal's process table, walked entry by
// entry. A snapshot is a kernel object of its own, closed by its own call.
#include "ce/toolhelp.h"

#include <algorithm>
#include <vector>

#include "ce/error.h"
#include "handles.h"
#include "last_error.h"
#include "modules.h"
#include "terminal.h"
#include "terminal_objects.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

class ProcessSnapshot final : public KernelObject {
 public:
  explicit ProcessSnapshot(std::vector<wire::ProcessRecord> processes) : processes_(std::move(processes)) {}
  // The entry at index, into entry.
  BOOL Fill(size_t index, TOOLHELP_PROCESSENTRY* entry) {
    if (!entry || entry->dwSize < sizeof *entry) {
      SetLastError(ERROR_BAD_LENGTH);
      return FALSE;
    }
    if (index >= processes_.size()) {
      SetLastError(ERROR_NO_MORE_FILES);
      return FALSE;
    }
    const wire::ProcessRecord& p = processes_[index];
    *entry = TOOLHELP_PROCESSENTRY{};
    entry->dwSize = sizeof *entry;
    entry->th32ProcessID = p.id;
    entry->cntThreads = p.threads;
    entry->th32ParentProcessID = p.parent;
    entry->pcPriClassBase = 251;  // THREAD_PRIORITY_NORMAL on the device's scale
    const std::u16string_view path(p.name, std::min(p.nameUnits, wire::kMaxName));
    const size_t slash = path.find_last_of(u'\\');
    const std::u16string_view file = slash == path.npos ? path : path.substr(slash + 1);
    std::copy_n(file.data(), std::min<size_t>(file.size(), MAX_PATH - 1), entry->szExeFile);
    next_ = index + 1;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  size_t next() const { return next_; }

 private:
  const std::vector<wire::ProcessRecord> processes_;
  size_t next_ = 0;
};

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
  auto objects = CurrentObjects();
  if (!(flags & TH32CS_SNAPPROCESS) || !objects) {
    SetLastError(objects ? ERROR_INVALID_PARAMETER : ERROR_NOT_READY);
    return INVALID_HANDLE_VALUE;
  }
  auto processes = objects->Processes();
  if (!processes) {
    SetLastError(ERROR_NOT_READY);
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(std::make_shared<ProcessSnapshot>(std::move(*processes)));
}

BOOL CloseToolhelp32Snapshot(HANDLE snapshot) {
  if (!LookupHandleAs<ProcessSnapshot>(snapshot) || !RemoveHandle(snapshot)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL Process32First(HANDLE snapshot, TOOLHELP_PROCESSENTRY* entry) {
  auto s = LookupHandleAs<ProcessSnapshot>(snapshot);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return s->Fill(0, entry);
}

BOOL Process32Next(HANDLE snapshot, TOOLHELP_PROCESSENTRY* entry) {
  auto s = LookupHandleAs<ProcessSnapshot>(snapshot);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return s->Fill(s->next(), entry);
}

const bool kRegistered = RegisterModuleExports(
    u"ToolHelp.dll",
    {{u"CreateToolhelp32Snapshot", Export<PFN_CreateToolhelp32Snapshot>(CreateToolhelp32Snapshot)},
     {u"CloseToolhelp32Snapshot", Export<PFN_CloseToolhelp32Snapshot>(CloseToolhelp32Snapshot)},
     {u"Process32First", Export<PFN_Process32First>(Process32First)},
     {u"Process32Next", Export<PFN_Process32Next>(Process32Next)}});

}  // namespace
}  // namespace ce::sim
