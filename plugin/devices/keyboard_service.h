// CQelKeyboardService (IID_QELKEYBOARDSERVICE): shows, hides and toggles the
// soft input panel, keeps the panel's windows at the bottom of the host's
// main window while it shows, and runs a hidden window, "QelKeyboardWindow",
// whose keyboard notifications go to named handlers. The window lives on the
// service's own thread, "Keyboard Service".
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "ce/window.h"
#include "core/critical_section.h"
#include "core/thread.h"
#include "qel/guids.h"
#include "qel/keyboard.h"
#include "qel/object.h"

namespace qel {

inline constexpr char16_t kKeyboardWindowClass[] = u"QelKeyboardWindow";

// The window class of the service's window, registered while the module is
// attached to a process.
bool RegisterKeyboardWindowClass(ce::HINSTANCE instance);
void UnregisterKeyboardWindowClass(ce::HINSTANCE instance);

class CQelKeyboardService final : public CQelObject<IQelKeyboardService, IID_QELKEYBOARDSERVICE> {
 public:
  CQelKeyboardService();
  ~CQelKeyboardService() override;

  bool SetLayer(uint32_t) override { return false; }
  uint32_t GetLayer() override { return 0; }
  bool Reserved10(uint32_t, uint32_t) override { return false; }
  bool IsPanelOn() override;
  void TogglePanel() override;
  bool ShowPanel() override;
  bool HidePanel() override;
  bool Reserved15(uint32_t, uint32_t) override { return false; }
  bool Reserved16(uint32_t) override { return false; }
  bool Reserved17(uint32_t, uint32_t) override { return false; }
  bool Reserved18(uint32_t) override { return false; }
  bool AttachWindow(void* window) override;
  bool DetachWindow(void* window) override;
  void AddHandler(const char16_t* name, QelKeyboardHandler handler, void* context) override;
  bool RemoveHandler(const char16_t* name) override;

  // The message window, null until the thread has made it.
  ce::HWND window() const { return window_.load(std::memory_order_acquire); }
  // Waits until the thread has made its window (or failed to); false when it has none.
  bool WaitForWindow(ce::DWORD milliseconds);

  // The procedure of every "QelKeyboardWindow".
  static ce::LRESULT CALLBACK WindowProc(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam,
                                         ce::LPARAM lParam);

 private:
  class Thread final : public CQelThread {
   public:
    explicit Thread(CQelKeyboardService* service) : CQelThread(u"Keyboard Service"), service_(service) {}
    ce::DWORD Run() override { return service_->Serve(); }

   private:
    CQelKeyboardService* service_;
  };

  struct Handler {
    std::u16string name;
    QelKeyboardHandler callback = nullptr;
    void* context = nullptr;
  };

  ce::DWORD Serve();
  void Notify(uint32_t notification);
  bool AlignPanelWindows();
  void RestorePanelWindows();
  void PostPanelState(bool shown);

  Thread thread_;
  std::atomic<ce::HWND> window_{nullptr};
  ce::RECT panelRect_{};
  ce::RECT backdropRect_{};
  std::vector<Handler> handlers_;  // sorted by name without regard to case
  CriticalSection lock_;           // the handler table
  std::atomic<bool> moved_{false};
  CriticalSection panelLock_;     // the remembered rectangles
  ce::UniqueHandle windowReady_;  // set once the thread has made its window or failed to
};

IQelService* CreateKeyboardService();

}  // namespace qel
