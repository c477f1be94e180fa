// A second process on a terminal, for tests of what processes share:
//   qel_terminal_peer TERMINAL wait-event NAME MS   make or open the auto-reset
//       event, say "waiting", wait; says "signalled" (exit 0) or "timeout" (1)
//   qel_terminal_peer TERMINAL create KIND NAME     KIND event|mutex|semaphore:
//       says "created" or "exists", then holds the handle until its standard
//       input ends
//   qel_terminal_peer TERMINAL hold-mutex NAME      takes the mutex, says "owned"
//       and holds it until its standard input ends
//   qel_terminal_peer TERMINAL pong PING PONG STOP  says "ready", then sets the
//       auto-reset event PONG each time PING is set, until STOP is
//   qel_terminal_peer TERMINAL post THREAD MESSAGE WPARAM  posts to a thread of
//       any process on the terminal: exit 0, or says the error and exits 1
//   qel_terminal_peer TERMINAL receive               makes its thread's queue and
//       says "queue THREAD", then "got MESSAGE WPARAM" per message until WM_QUIT
//   qel_terminal_peer TERMINAL exhaust NAME          takes the mutex, then opens
//       named events with few descriptors left until one fails: says "failed
//       ERROR", and holds everything until its standard input ends
//   qel_terminal_peer TERMINAL window CLASS TITLE    makes a window at (1, 2) of
//       30 x 40, says "window HWND THREAD" and runs its messages until it is
//       destroyed (WM_CLOSE does): says "got MESSAGE WPARAM" for each posted
//       WM_USER + n (n > 3); answers WM_USER + 1 with twice its wParam and
//       WM_USER + 2 by sending WM_USER + 1 on to the window in lParam (plus 1);
//       on WM_USER + 3 says "stuck" and never answers
//   qel_terminal_peer TERMINAL fork-hold NAME        opens the mutex; a forked
//       child takes it through the inherited handle and ends holding it; says
//       "child gone" and holds the handle until its standard input ends
//   qel_terminal_peer TERMINAL open-port NAME       opens the serial port: says
//       "opened" and holds it until its standard input ends, or "failed ERROR"
// Each line is flushed at once; the test reads them through a pipe.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "ce/thread.h"
#include "ce/window.h"
#include "ceutil/text.h"

namespace {

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

std::u16string Wide(std::string_view text) { return ceutil::FromUtf8(text); }

void HoldUntilInputEnds() {
  while (std::getchar() != EOF) {
  }
}

ce::LRESULT CALLBACK PeerWindow(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam, ce::LPARAM lParam) {
  switch (message) {
    case WM_USER + 1:
      return ce::LRESULT(wParam * 2);
    case WM_USER + 2:
      return ce::SendMessageW(reinterpret_cast<ce::HWND>(lParam), WM_USER + 1, wParam, 0) + 1;
    case WM_USER + 3:
      Say("stuck");
      while (true) ::pause();
    case WM_DESTROY:
      ce::PostQuitMessage(0);
      return 0;
    default:
      if (message > WM_USER + 3)
        Say(("got " + std::to_string(message) + " " + std::to_string(wParam)).c_str());
      return ce::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: qel_terminal_peer TERMINAL wait-event NAME MS | create event|mutex|semaphore NAME | "
      "hold-mutex NAME | pong PING PONG STOP | post THREAD MESSAGE WPARAM | receive | exhaust NAME | "
      "window CLASS TITLE | fork-hold NAME | open-port NAME\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string error;
  if (!ce::sim::UseTerminal(argv[1], &error)) {
    std::fprintf(stderr, "qel_terminal_peer: %s\n", error.c_str());
    return 2;
  }
  const std::string_view action = argv[2];
  if (action == "wait-event" && argc == 5) {
    ce::UniqueHandle event(ce::CreateEventW(nullptr, FALSE, FALSE, Wide(argv[3]).c_str()));
    if (!event.valid()) return 2;
    Say("waiting");
    const bool signalled =
        ce::WaitForSingleObject(event.get(), ce::DWORD(std::atol(argv[4]))) == WAIT_OBJECT_0;
    Say(signalled ? "signalled" : "timeout");
    return signalled ? 0 : 1;
  }
  if (action == "create" && argc == 5) {
    const std::string_view kind = argv[3];
    const std::u16string name = Wide(argv[4]);
    ce::SetLastError(0xdeadbeef);
    ce::UniqueHandle h(kind == "event"   ? ce::CreateEventW(nullptr, TRUE, FALSE, name.c_str())
                       : kind == "mutex" ? ce::CreateMutexW(nullptr, FALSE, name.c_str())
                                         : ce::CreateSemaphoreW(nullptr, 1, 4, name.c_str()));
    if (!h.valid()) return 2;
    Say(ce::GetLastError() == ERROR_ALREADY_EXISTS ? "exists" : "created");
    HoldUntilInputEnds();
    return 0;
  }
  if (action == "hold-mutex" && argc == 4) {
    ce::UniqueHandle mutex(ce::CreateMutexW(nullptr, FALSE, Wide(argv[3]).c_str()));
    if (!mutex.valid() || ce::WaitForSingleObject(mutex.get(), 10000) != WAIT_OBJECT_0) return 2;
    Say("owned");
    HoldUntilInputEnds();
    return 0;
  }
  if (action == "pong" && argc == 6) {
    ce::UniqueHandle ping(ce::CreateEventW(nullptr, FALSE, FALSE, Wide(argv[3]).c_str()));
    ce::UniqueHandle pong(ce::CreateEventW(nullptr, FALSE, FALSE, Wide(argv[4]).c_str()));
    ce::UniqueHandle stop(ce::CreateEventW(nullptr, TRUE, FALSE, Wide(argv[5]).c_str()));
    if (!ping.valid() || !pong.valid() || !stop.valid()) return 2;
    Say("ready");
    const ce::HANDLE waits[] = {stop.get(), ping.get()};
    while (ce::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
      ce::SetEvent(pong.get());
    return 0;
  }
  if (action == "post" && argc == 6) {
    if (ce::PostThreadMessageW(ce::DWORD(std::stoul(argv[3])), ce::UINT(std::stoul(argv[4])),
                               ce::WPARAM(std::stoul(argv[5])), 0))
      return 0;
    Say(("error " + std::to_string(ce::GetLastError())).c_str());
    return 1;
  }
  if (action == "receive" && argc == 3) {
    ce::MSG msg;
    ce::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    Say(("queue " + std::to_string(ce::GetCurrentThreadId())).c_str());
    while (ce::GetMessageW(&msg, nullptr, 0, 0) > 0)
      Say(("got " + std::to_string(msg.message) + " " + std::to_string(msg.wParam)).c_str());
    return 0;
  }
  if (action == "exhaust" && argc == 4) {
    ce::UniqueHandle mutex(ce::CreateMutexW(nullptr, TRUE, Wide(argv[3]).c_str()));
    if (!mutex.valid()) return 2;
    rlimit few{64, 64};
    ::setrlimit(RLIMIT_NOFILE, &few);
    std::vector<ce::UniqueHandle> events;
    while (true) {
      ce::UniqueHandle e(
          ce::CreateEventW(nullptr, TRUE, FALSE, Wide("exhaust " + std::to_string(events.size())).c_str()));
      if (!e.valid()) break;
      events.push_back(std::move(e));
    }
    Say(("failed " + std::to_string(ce::GetLastError())).c_str());
    HoldUntilInputEnds();
    return 0;
  }
  if (action == "window" && argc == 5) {
    const std::u16string className = Wide(argv[3]), title = Wide(argv[4]);
    ce::WNDCLASSW wc{};
    wc.lpfnWndProc = PeerWindow;
    wc.lpszClassName = className.c_str();
    if (!ce::RegisterClassW(&wc)) return 2;
    const ce::HWND hwnd = ce::CreateWindowExW(0, className.c_str(), title.c_str(), 0, 1, 2, 30, 40, nullptr,
                                              nullptr, nullptr, nullptr);
    if (!hwnd) return 2;
    Say(("window " + std::to_string(reinterpret_cast<uintptr_t>(hwnd)) + " " +
         std::to_string(ce::GetCurrentThreadId()))
            .c_str());
    ce::MSG msg;
    while (ce::GetMessageW(&msg, nullptr, 0, 0) > 0) ce::DispatchMessageW(&msg);
    return 0;
  }
  if (action == "fork-hold" && argc == 4) {
    // The child takes the handle it inherited: the mutex outlives it, held by this process.
    ce::UniqueHandle mutex(ce::CreateMutexW(nullptr, FALSE, Wide(argv[3]).c_str()));
    if (!mutex.valid()) return 2;
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(ce::WaitForSingleObject(mutex.get(), 10000) == WAIT_OBJECT_0 ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    Say(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "child gone" : "child failed");
    HoldUntilInputEnds();
    return 0;
  }
  if (action == "open-port" && argc == 4) {
    ce::UniqueHandle port(ce::CreateFileW(Wide(argv[3]).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (!port.valid()) {
      Say(("failed " + std::to_string(ce::GetLastError())).c_str());
      return 1;
    }
    Say("opened");
    HoldUntilInputEnds();
    return 0;
  }
  return Usage();
}
