// CreateProcessW and the process objects it makes.
#include "processes.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "api.h"
#include "ce/error.h"
#include "ce/files.h"
#include "ce/process.h"
#include "kernel.h"
#include "last_error.h"
#include "programs.h"
#include "terminal.h"
#include "terminal_objects.h"

namespace ce::sim {

Process::Process(DWORD id, std::shared_ptr<TerminalObjects> terminal)
    : id_(id),
      fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      exitCode_(STILL_ACTIVE),
      terminal_(std::move(terminal)) {}

Process::~Process() {
  if (fd_ >= 0) ::close(fd_);
}

void Process::Finish(DWORD exitCode) {
  exitCode_.store(exitCode, std::memory_order_release);
  if (terminal_) terminal_->ProgramEnded(id_, exitCode);
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void ProcessTable::Start(std::shared_ptr<Process> process, std::function<DWORD()> body) {
  // Detached: the program's end is seen through its process object, which the
  // thread holds; nothing joins it, and the kernel outlives every program.
  std::thread([process = std::move(process), body = std::move(body)] { process->Finish(body()); }).detach();
}

namespace {

thread_local DWORD t_program = 0;

// Set once by the program, or by its end.
class StartSignal {
 public:
  void Set() {
    std::lock_guard lock(mu_);
    set_ = true;
    cv_.notify_all();
  }
  void Wait(std::chrono::milliseconds bound) {
    std::unique_lock lock(mu_);
    cv_.wait_for(lock, bound, [&] { return set_; });
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool set_ = false;
};
thread_local StartSignal* t_started = nullptr;
// A program that neither says it started nor ends is waited for no longer.
constexpr std::chrono::milliseconds kStartWait{5'000};

// A program file's settings are read this far.
constexpr DWORD kMaxProgramFile = 16 * 1024;

// The program a file names on its first line and the settings after it, or
// the error for a file that is none.
DWORD ProgramOf(LPCWSTR path, ProgramMain* out, std::string* settings) {
  HANDLE file = api::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  std::string head(kMaxProgramFile, '\0');
  DWORD got = 0;
  const BOOL read = api::ReadFile(file, head.data(), kMaxProgramFile, &got, nullptr);
  api::CloseHandle(file);
  if (!read) return ERROR_BAD_EXE_FORMAT;
  head.resize(got);
  const size_t end = head.find_first_of("\r\n");
  const std::string_view line = std::string_view(head).substr(0, end);
  if (!line.starts_with(kProgramMagic)) return ERROR_BAD_EXE_FORMAT;
  *out = FindProgram(line.substr(kProgramMagic.size()));
  if (end != std::string::npos) *settings = head.substr(end);
  return *out ? ERROR_SUCCESS : ERROR_BAD_EXE_FORMAT;
}

}  // namespace

DWORD CurrentProgramId() { return t_program; }

void ProgramStarted() {
  if (t_started) t_started->Set();
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
  if (const DWORD error = ProgramOf(imagePath, &main, &settings); error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  auto& table = Kernel::Get().processes;
  // On a joined terminal the program is listed terminal-wide, under the id the terminal gives it.
  auto objects = CurrentObjects();
  const DWORD listed = objects ? objects->ProgramStarted(imagePath) : 0;
  if (!listed) objects.reset();
  auto process = std::make_shared<Process>(listed ? listed : table.NextId(), objects);
  if (!process->ok()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  info->hProcess = AddHandle(process);
  info->hThread = AddHandle(std::make_shared<ProcessThread>(process));
  info->dwProcessId = process->id();
  info->dwThreadId = process->id() + 2;
  auto started = std::make_shared<StartSignal>();
  table.Start(process, [main, started, id = process->id(), settings = std::move(settings),
                        arguments = std::u16string(commandLine ? commandLine : u"")] {
    t_program = id;
    t_started = started.get();
    const DWORD code = main(arguments, settings);
    started->Set();
    return code;
  });
  started->Wait(kStartWait);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
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
