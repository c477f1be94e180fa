// Processes of the simulated terminal. A program is a file of the terminal's
// file system whose first line is "#!qel-program NAME": NAME picks one of the
// simulation's built-in programs (programs.h). Each program runs in a process
// of its own, a runner (qelprogram) started detached from its starter and
// listed in the terminal's process table, so that any process on the
// terminal can open it, wait for it or end it, and it ends with the
// terminal. Nothing of the machine outside the terminal is ever run.
#pragma once

#include <memory>
#include <string>

#include "ce/types.h"
#include "handles.h"
#include "programs.h"
#include "sync_objects.h"

namespace ce::sim {

// A handle's view of a process of the terminal: signalled (for good) once
// it has ended, its exit code on the page the server shares.
class Process final : public KernelObject {
 public:
  // The process of that id on the current terminal; null with *error set
  // (ERROR_INVALID_PARAMETER for no such process, ERROR_ACCESS_DENIED when
  // asked toTerminate a process joined from outside the terminal).
  static std::shared_ptr<Process> Open(DWORD id, DWORD* error, bool toTerminate = false);
  int WaitFd() const override { return event_.get(); }
  DWORD id() const { return id_; }
  // STILL_ACTIVE while it runs.
  DWORD ExitCode() const;
  const std::shared_ptr<TerminalObjects>& objects() const { return hold_.objects(); }

 private:
  Process(DWORD id, HostFd event, std::unique_ptr<SharedPage> page, ServerHold hold)
      : id_(id), event_(std::move(event)), page_(std::move(page)), hold_(std::move(hold)) {}
  const DWORD id_;
  const HostFd event_;
  const std::unique_ptr<SharedPage> page_;
  ServerHold hold_;
};

// The process's main thread: signalled when the process is.
class ProcessThread final : public KernelObject {
 public:
  explicit ProcessThread(std::shared_ptr<Process> process) : process_(std::move(process)) {}
  int WaitFd() const override { return process_->WaitFd(); }

 private:
  std::shared_ptr<Process> process_;
};

// The built-in program the file at path names on its first line, and the
// settings after it; ERROR_SUCCESS, or the error for a file that cannot be
// read or is no program.
DWORD FindProgramOf(LPCWSTR path, ProgramMain* out, std::string* settings);

// A program tells its starter that it is under way (an app once its first
// windows are made): CreateProcessW returns then (or at the program's end),
// so that what the starter does next finds those windows.
void ProgramStarted();
// What ProgramStarted does in this process (the runner answers its starter); once.
void OnProgramStarted(void (*started)());

// The helper program that runs one program in a process of its own.
inline constexpr char kRunnerName[] = "qelprogram";

}  // namespace ce::sim
