// CreateProcessW, OpenProcess and TerminateProcess, and the process objects
// their handles name.
#include "processes.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

#include "api.h"
#include "ce/error.h"
#include "ce/files.h"
#include "ce/process.h"
#include "kernel.h"
#include "last_error.h"
#include "sibling_program.h"
#include "terminal.h"
#include "terminal_objects.h"
#include "utf.h"

namespace ce::sim {

std::shared_ptr<Process> Process::Open(DWORD id, DWORD* error, bool toTerminate) {
  auto objects = CurrentObjects();
  if (!objects) {
    *error = ERROR_NOT_READY;
    return nullptr;
  }
  TerminalObjects::Opened opened = objects->OpenProcess(id, toTerminate);
  if (opened.status != wire::Status::kCreated && opened.status != wire::Status::kOpened) {
    *error = opened.status == wire::Status::kMissing     ? ERROR_INVALID_PARAMETER
             : opened.status == wire::Status::kOtherKind ? ERROR_ACCESS_DENIED
                                                         : ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  ServerHold hold(objects, opened.id, opened.connection);
  auto page = std::make_unique<SharedPage>(std::move(opened.page));
  if (!page->ok()) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  return std::shared_ptr<Process>(new Process(id, std::move(opened.event), std::move(page), std::move(hold)));
}

DWORD Process::ExitCode() const {
  pollfd p{event_.get(), POLLIN, 0};
  if (::poll(&p, 1, 0) != 1 || !(p.revents & POLLIN)) return STILL_ACTIVE;
  return (*page_)->exitCode.load(std::memory_order_acquire);
}

namespace {

// A program file is at most this long: its settings are read whole.
constexpr DWORD kMaxProgramFile = 16 * 1024;

std::atomic<void (*)()> startedHook{nullptr};

}  // namespace

DWORD FindProgramOf(LPCWSTR path, ProgramMain* out, std::string* settings) {
  HANDLE file = api::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  std::string head(kMaxProgramFile + 1, '\0');
  DWORD got = 0;
  const BOOL read = api::ReadFile(file, head.data(), kMaxProgramFile + 1, &got, nullptr);
  api::CloseHandle(file);
  if (!read || got > kMaxProgramFile) return ERROR_BAD_EXE_FORMAT;
  head.resize(got);
  const size_t end = head.find_first_of("\r\n");
  const std::string_view line = std::string_view(head).substr(0, end);
  if (!line.starts_with(kProgramMagic)) return ERROR_BAD_EXE_FORMAT;
  *out = FindProgram(line.substr(kProgramMagic.size()));
  if (end != std::string::npos) *settings = head.substr(end);
  return *out ? ERROR_SUCCESS : ERROR_BAD_EXE_FORMAT;
}

void OnProgramStarted(void (*started)()) { startedHook = started; }

void ProgramStarted() {
  if (auto started = startedHook.exchange(nullptr)) started();
}

}  // namespace ce::sim

namespace ce::sim::api {

BOOL CreateProcessW(LPCWSTR imagePath, LPWSTR commandLine, void*, void*, BOOL, DWORD, void*, LPCWSTR,
                    STARTUPINFOW*, PROCESS_INFORMATION* info) {
  if (!imagePath || !info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ProgramMain main = nullptr;
  std::string settings;
  if (const DWORD error = FindProgramOf(imagePath, &main, &settings); error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  const auto terminal = Current();
  auto objects = CurrentObjects();
  if (!terminal || !objects) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  // Listed first, held by this process's handle, then run: the runner claims
  // the entry, and the handle sees the end however soon it comes.
  // Listed as the device names it: '/' is a separator there as '\\' is.
  std::u16string listed(imagePath);
  std::replace(listed.begin(), listed.end(), u'/', u'\\');
  const DWORD id = objects->ProgramStarted(listed);
  DWORD error = ERROR_NOT_ENOUGH_MEMORY;
  auto process = id ? Process::Open(id, &error) : nullptr;
  if (!process) {
    if (id) objects->ProgramEnded(id, wire::kVanishedExitCode);
    SetLastError(error);
    return FALSE;
  }
  std::string why;
  const auto said = StartSibling(
      kRunnerName,
      {terminal->dir().string(), std::to_string(id), ToUtf8(listed), ToUtf8(commandLine ? commandLine : u"")},
      &why);
  if (!said || !said->starts_with("ok")) {
    objects->ProgramEnded(id, wire::kVanishedExitCode);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  info->hProcess = AddHandle(process);
  info->hThread = AddHandle(std::make_shared<ProcessThread>(process));
  info->dwProcessId = id;
  info->dwThreadId = id + 2;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
  DWORD error = ERROR_INVALID_PARAMETER;
  auto process = processId ? Process::Open(processId, &error, access & PROCESS_TERMINATE) : nullptr;
  if (!process) {
    SetLastError(error);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return AddHandle(process);
}

HANDLE GetCurrentProcess() { return INVALID_HANDLE_VALUE; }

BOOL TerminateProcess(HANDLE handle, UINT exitCode) {
  if (handle == GetCurrentProcess()) {
    // Said first, so that a waiter on this process sees the code; then
    // nothing more of this process runs: no destructors, no buffers flushed.
    if (auto objects = CurrentObjects()) objects->Terminate(objects->processId(), exitCode);
    std::_Exit(int(exitCode & 0xFF));
  }
  auto p = LookupHandleAs<Process>(handle);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  switch (p->objects()->Terminate(p->id(), exitCode)) {
    case wire::Status::kOpened:
      // The caller's own process goes at once, as the call never returns there.
      if (p->id() == GetCurrentProcessId()) std::_Exit(int(exitCode & 0xFF));
      SetLastError(ERROR_SUCCESS);
      return TRUE;
    case wire::Status::kOtherKind:
    case wire::Status::kMissing:
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    default:
      SetLastError(ERROR_NOT_READY);
      return FALSE;
  }
}

DWORD GetCurrentProcessId() {
  auto objects = CurrentObjects();
  return objects ? objects->processId() : DWORD(::getpid());
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  auto p = LookupHandleAs<Process>(process);
  if (!p || !exitCode) {
    SetLastError(p ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = p->ExitCode();
  return TRUE;
}

}  // namespace ce::sim::api
