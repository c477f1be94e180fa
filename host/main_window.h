// qelhost's main window: a window of its own class ("QelHostWindow", titled
// "qelhost") in the terminal's window system, made and served by a thread of
// qelhost so that what other components post to it is received, and handed
// to the module through the host's window service (IID_QELWINDOWSERVICE).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ce/handle.h"
#include "ce/window.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "qel/object.h"

namespace qelhost {

inline constexpr char16_t kMainWindowClass[] = u"QelHostWindow";
inline constexpr char16_t kMainWindowTitle[] = u"qelhost";

// Where the window stands on the screen; the default fills a 240 by 320 screen.
struct WindowPlacement {
  int left = 0, top = 0, width = 240, height = 320;
};
// "LEFT,TOP,WIDTH,HEIGHT" (width and height at least 1); nullopt for anything else.
std::optional<WindowPlacement> ParsePlacement(const std::string& text);

// One message the window received.
struct ReceivedMessage {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

class MainWindow {
 public:
  MainWindow() = default;
  ~MainWindow();  // Close()
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Makes the window on a thread of its own; false with error when the
  // terminal refuses it. A window already open is moved instead.
  bool Open(const WindowPlacement& placement, std::string* error);
  // Ends the thread, and with it the window.
  void Close();
  ce::HWND hwnd() const;
  // Returns once the window has handled every message posted to it before the call.
  void Flush();
  // Every message received, oldest first (the window's own bookkeeping left out).
  std::vector<ReceivedMessage> Received() const;

 private:
  static ce::LRESULT CALLBACK Procedure(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam,
                                        ce::LPARAM lParam);
  void Serve(WindowPlacement placement);

  std::thread thread_;
  mutable std::mutex mu_;
  ce::HWND hwnd_ = nullptr;
  std::string openError_;
  std::vector<ReceivedMessage> received_;
  ce::UniqueHandle ready_;    // set once the thread made its window or failed to
  ce::UniqueHandle flushed_;  // set when the window handles a flush mark
};

// The host's window service: hands out the main window, counted.
class WindowService final : public IQelWindowService, public CQelRefCounted {
 public:
  explicit WindowService(MainWindow& window) : window_(window) {}
  int32_t Release() override { return CQelRefCounted::Release(); }
  void* GetWindowHandle() override { return window_.hwnd(); }

 private:
  MainWindow& window_;
};

// Found under IID_QELWINDOWSERVICE; each GetInterface gives a new counted window service.
class WindowServiceProvider final : public qel::CQelObject<IQelService, qel::IID_QELWINDOWSERVICE> {
 public:
  explicit WindowServiceProvider(MainWindow& window) : window_(window) {}
  bool GetInterface(GUID iid, void** out) override;

 private:
  MainWindow& window_;
};

}  // namespace qelhost
