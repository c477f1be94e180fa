// Processes of the simulated terminal. A program is a file of the terminal's
// file system whose first line is "#!qel-program NAME": NAME picks one of the
// simulation's built-in programs (programs.h), which runs on a thread of its
// own. Nothing of the machine outside the terminal is ever run.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ce/types.h"
#include "handles.h"

namespace ce::sim {

// Signalled (for good) once its program has ended.
class TerminalObjects;

class Process final : public KernelObject {
 public:
  // terminal: where the program is listed (and its end reported), or null.
  Process(DWORD id, std::shared_ptr<TerminalObjects> terminal);
  ~Process() override;
  bool ok() const { return fd_ >= 0; }
  int WaitFd() const override { return fd_; }
  DWORD id() const { return id_; }

  // STILL_ACTIVE while the program runs.
  DWORD ExitCode() const { return exitCode_.load(std::memory_order_acquire); }
  void Finish(DWORD exitCode);

 private:
  const DWORD id_;
  const int fd_;
  std::atomic<DWORD> exitCode_;
  const std::shared_ptr<TerminalObjects> terminal_;
};

// The process's main thread: signalled when the process is.
class ProcessThread final : public KernelObject {
 public:
  explicit ProcessThread(std::shared_ptr<Process> process) : process_(std::move(process)) {}
  int WaitFd() const override { return process_->WaitFd(); }

 private:
  std::shared_ptr<Process> process_;
};

// The terminal's id of the program running on the calling thread; 0 on a
// thread that runs none (what it makes is its process's).
DWORD CurrentProgramId();
// A program tells its starter that it is under way (an app once its first
// windows are made): CreateProcessW returns then, at the program's end, or
// after a while, so that what the starter does next finds those windows.
void ProgramStarted();

class ProcessTable {
 public:
  DWORD NextId() { return nextId_.fetch_add(4, std::memory_order_relaxed); }
  // Runs body on a thread of its own.
  void Start(std::shared_ptr<Process> process, std::function<DWORD()> body);

 private:
  std::atomic<DWORD> nextId_{0x2000};
};

}  // namespace ce::sim
