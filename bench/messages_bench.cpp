// Messages between two threads of this process: a posted round trip (post,
// the other thread's GetMessageW wakes and posts back) beside the bare eventfd
// round trip of BM_EventfdPingPongFloor, and a window's SendMessageW round trip,
// whose procedure runs on the window's own thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "bench_terminal.h"
#include "ce/thread.h"
#include "ce/window.h"

namespace {

BenchTerminal& Terminal() {
  static BenchTerminal t;
  return t;
}

// The calling thread's queue, made now rather than in the timed loop.
void MakeQueue() {
  ce::MSG msg;
  ce::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

void BM_ThreadMessagePingPong(benchmark::State& state) {
  Terminal();
  MakeQueue();
  const ce::DWORD self = ce::GetCurrentThreadId();
  std::atomic<ce::DWORD> answerer{0};
  std::thread answer([&] {
    MakeQueue();
    answerer = ce::GetCurrentThreadId();
    ce::MSG msg;
    while (ce::GetMessageW(&msg, nullptr, 0, 0) > 0) ce::PostThreadMessageW(self, WM_USER, 0, 0);
  });
  while (answerer == 0) std::this_thread::yield();
  ce::MSG msg;
  for (auto _ : state) {
    ce::PostThreadMessageW(answerer, WM_USER, 0, 0);
    ce::GetMessageW(&msg, nullptr, 0, 0);
  }
  ce::PostThreadMessageW(answerer, WM_QUIT, 0, 0);
  answer.join();
}
BENCHMARK(BM_ThreadMessagePingPong)->UseRealTime()->Unit(benchmark::kMicrosecond);

ce::LRESULT CALLBACK Answering(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam, ce::LPARAM lParam) {
  if (message == WM_USER) return ce::LRESULT(wParam + 1);
  if (message == WM_DESTROY) ce::PostQuitMessage(0);
  return ce::DefWindowProcW(hwnd, message, wParam, lParam);
}

void BM_SendMessageToAnotherThread(benchmark::State& state) {
  Terminal();
  MakeQueue();
  static const ce::ATOM registered = [] {
    ce::WNDCLASSW wc{};
    wc.lpfnWndProc = Answering;
    wc.lpszClassName = u"QelBenchAnswering";
    return ce::RegisterClassW(&wc);
  }();
  if (!registered) state.SkipWithError("cannot register the window class");
  std::atomic<ce::HWND> window{nullptr};
  std::thread owner([&] {
    ce::HWND hwnd =
        ce::CreateWindowExW(0, u"QelBenchAnswering", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    window = hwnd ? hwnd : ce::HWND(-1);
    ce::MSG msg;
    while (hwnd && ce::GetMessageW(&msg, nullptr, 0, 0) > 0) ce::DispatchMessageW(&msg);
  });
  while (window == nullptr) std::this_thread::yield();
  if (window == ce::HWND(-1)) state.SkipWithError("cannot make the window");
  ce::WPARAM n = 0;
  for (auto _ : state) {
    if (ce::SendMessageW(window, WM_USER, n, 0) != ce::LRESULT(n + 1)) state.SkipWithError("a wrong answer");
    ++n;
  }
  ce::PostMessageW(window, WM_CLOSE, 0, 0);
  owner.join();
}
BENCHMARK(BM_SendMessageToAnotherThread)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
