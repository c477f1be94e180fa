#include "commands/process_stop.h"

#include <atomic>
#include <string>

#include "ce/handle.h"
#include "ce/module.h"
#include "ce/process.h"
#include "ce/sync.h"
#include "ce/toolhelp.h"
#include "ce/window.h"
#include "ceutil/text.h"
#include "core/proc_address.h"

namespace qel {
namespace {

// Loaded on first use and kept for the life of the process.
ce::HMODULE ToolHelp() {
  static std::atomic<ce::HMODULE> module{nullptr};
  ce::HMODULE loaded = module.load(std::memory_order_acquire);
  if (!loaded) {
    loaded = ce::LoadLibraryW(u"ToolHelp.dll");
    module.store(loaded, std::memory_order_release);
  }
  return loaded;
}

constexpr ce::DWORD kSnapshotFlags = TH32CS_SNAPNOHEAPS | TH32CS_SNAPPROCESS;
constexpr ce::DWORD kStopAccess = SYNCHRONIZE | PROCESS_TERMINATE;

ce::BOOL CALLBACK CloseIfOwned(ce::HWND window, ce::LPARAM id) {
  ce::DWORD owner = 0;
  ce::GetWindowThreadProcessId(window, &owner);
  if (owner == ce::DWORD(id)) ce::PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;  // every window is visited: a program may have several
}

}  // namespace

uint32_t FindProcessByName(std::u16string_view name) {
  std::u16string wanted(name);
  if (wanted.find(u'.') == std::u16string::npos) wanted += u".exe";
  const ce::HMODULE toolhelp = ToolHelp();
  if (!toolhelp) return 0;
  const auto snapshot = ProcAddress<ce::PFN_CreateToolhelp32Snapshot>(toolhelp, u"CreateToolhelp32Snapshot");
  const auto close = ProcAddress<ce::PFN_CloseToolhelp32Snapshot>(toolhelp, u"CloseToolhelp32Snapshot");
  const auto first = ProcAddress<ce::PFN_Process32First>(toolhelp, u"Process32First");
  const auto next = ProcAddress<ce::PFN_Process32Next>(toolhelp, u"Process32Next");
  if (!snapshot || !close || !first || !next) return 0;
  const ce::HANDLE list = snapshot(kSnapshotFlags, 0);
  if (list == INVALID_HANDLE_VALUE) return 0;
  uint32_t found = 0;
  ce::TOOLHELP_PROCESSENTRY entry{};
  entry.dwSize = sizeof entry;
  for (ce::BOOL more = first(list, &entry); more && !found; more = next(list, &entry))
    if (ceutil::EqualNoCase(entry.szExeFile, wanted)) found = entry.th32ProcessID;
  close(list);
  return found;
}

bool ProcessCloser(uint32_t id, uint32_t exitCode, int32_t waitMs) {
  const ce::HANDLE process = ce::OpenProcess(kStopAccess, FALSE, id);
  if (!process) return false;
  bool ended = false;
  if (waitMs != -1) {
    ce::EnumWindows(CloseIfOwned, ce::LPARAM(id));
    // Any other negative time is no time: a wait of some 49 days is no one's intent.
    ended = ce::WaitForSingleObject(process, waitMs < 0 ? 0 : ce::DWORD(waitMs)) == WAIT_OBJECT_0;
  }
  if (!ended) ended = ce::TerminateProcess(process, exitCode) != FALSE;
  ce::CloseHandle(process);
  return ended;
}

}  // namespace qel
