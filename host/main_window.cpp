#include "main_window.h"

#include <charconv>
#include <cstdint>

#include "ce/error.h"
#include "ce/sync.h"
#include "ceutil/text.h"

namespace qelhost {
namespace {

// Posted by Flush behind whatever waits in the queue; not a received message.
constexpr ce::UINT kFlushMark = WM_USER + 0x7F0;
constexpr ce::DWORD kFlushWaitMs = 10'000;

}  // namespace

std::optional<WindowPlacement> ParsePlacement(const std::string& text) {
  int values[4] = {};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    auto [next, ec] = std::from_chars(at, end, values[i]);
    if (ec != std::errc() || next == at) return std::nullopt;
    at = next;
    if (i < 3) {
      if (at == end || *at != ',') return std::nullopt;
      ++at;
    }
  }
  if (at != end || values[2] < 1 || values[3] < 1) return std::nullopt;
  // The right and bottom edges are 32-bit too.
  if (int64_t(values[0]) + values[2] > INT32_MAX || int64_t(values[1]) + values[3] > INT32_MAX)
    return std::nullopt;
  return WindowPlacement{values[0], values[1], values[2], values[3]};
}

MainWindow::~MainWindow() { Close(); }

bool MainWindow::Open(const WindowPlacement& placement, std::string* error) {
  if (ce::HWND open = hwnd()) {
    if (ce::MoveWindow(open, placement.left, placement.top, placement.width, placement.height, TRUE))
      return true;
    if (error) *error = "the main window cannot be moved (error " + std::to_string(ce::GetLastError()) + ")";
    return false;
  }
  Close();
  ready_.reset(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  flushed_.reset(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ready_ || !flushed_) {
    if (error) *error = "no event for the main window's thread";
    return false;
  }
  thread_ = std::thread([this, placement] { Serve(placement); });
  ce::WaitForSingleObject(ready_.get(), INFINITE);
  std::lock_guard lock(mu_);
  if (hwnd_) return true;
  if (error) *error = openError_;
  return false;
}

void MainWindow::Close() {
  if (!thread_.joinable()) return;
  if (ce::HWND w = hwnd()) ce::PostMessageW(w, WM_CLOSE, 0, 0);
  thread_.join();
  std::lock_guard lock(mu_);
  hwnd_ = nullptr;
}

ce::HWND MainWindow::hwnd() const {
  std::lock_guard lock(mu_);
  return hwnd_;
}

void MainWindow::Flush() {
  ce::HWND w = hwnd();
  if (!w || !ce::PostMessageW(w, kFlushMark, 0, 0)) return;
  ce::WaitForSingleObject(flushed_.get(), kFlushWaitMs);
}

std::vector<ReceivedMessage> MainWindow::Received() const {
  std::lock_guard lock(mu_);
  return received_;
}

ce::LRESULT CALLBACK MainWindow::Procedure(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam,
                                           ce::LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(ce::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_DESTROY) {
    ce::PostQuitMessage(0);
    return 0;
  }
  if (self && message == kFlushMark) {
    ce::SetEvent(self->flushed_.get());
    return 0;
  }
  if (self && message >= WM_USER) {
    std::lock_guard lock(self->mu_);
    self->received_.push_back({message, wParam, lParam});
    return 0;
  }
  return ce::DefWindowProcW(hwnd, message, wParam, lParam);
}

void MainWindow::Serve(WindowPlacement p) {
  ce::WNDCLASSW wc{};
  wc.lpfnWndProc = Procedure;
  wc.lpszClassName = kMainWindowClass;
  wc.hbrBackground = static_cast<ce::HBRUSH>(ce::GetStockObject(WHITE_BRUSH));
  const bool registered = ce::RegisterClassW(&wc) != 0 || ce::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  ce::HWND w = registered
                   ? ce::CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_POPUP | WS_VISIBLE, p.left,
                                         p.top, p.width, p.height, nullptr, nullptr, nullptr, nullptr)
                   : nullptr;
  {
    std::lock_guard lock(mu_);
    if (!w)
      openError_ =
          "the terminal refused qelhost's main window (error " + std::to_string(ce::GetLastError()) + ")";
    hwnd_ = w;
  }
  if (w) ce::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<ce::LONG_PTR>(this));
  ce::SetEvent(ready_.get());
  if (!w) return;
  ce::MSG msg{};
  while (ce::GetMessageW(&msg, nullptr, 0, 0) > 0) ce::DispatchMessageW(&msg);
  std::lock_guard lock(mu_);
  hwnd_ = nullptr;
}

bool WindowServiceProvider::GetInterface(GUID iid, void** out) {
  if (!out || iid != qel::IID_QELWINDOWSERVICE) return false;
  *out = static_cast<IQelWindowService*>(new WindowService(window_));
  return true;
}

}  // namespace qelhost
