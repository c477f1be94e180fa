#include "devices/keyboard_service.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "ce/error.h"
#include "ce/module.h"
#include "ce/sip.h"
#include "ce/sync.h"
#include "ceutil/text.h"
#include "core/module_slots.h"
#include "core/module_state.h"
#include "core/proc_address.h"
#include "qel/host.h"

namespace qel {
namespace {

constexpr char16_t kPanelClass[] = u"SipWndClass";
constexpr char16_t kBackdropClass[] = u"SipBackDropWndClass";
constexpr ce::DWORD kThreadStopMs = 10000;

// The shell's panel call, looked up once and kept for the life of the module;
// null when the terminal has no shell library or it lacks the call.
ce::PFN_SHSipInfo ShellSipInfo() {
  static const ce::PFN_SHSipInfo found = [] {
    ce::HMODULE shell = ce::LoadLibraryW(u"aygshell.dll");
    return shell ? ProcAddress<ce::PFN_SHSipInfo>(shell, u"SHSipInfo") : nullptr;
  }();
  return found;
}

// Through the shell when it answers, else through the system's own calls.
ce::BOOL PanelInfo(bool write, ce::SIPINFO* info) {
  if (!info) return FALSE;
  if (ce::PFN_SHSipInfo shell = ShellSipInfo())
    if (ce::BOOL done = shell(write ? SPI_SETSIPINFO : SPI_GETSIPINFO, 0, info, 0)) return done;
  return write ? ce::SipSetInfo(info) : ce::SipGetInfo(info);
}

ce::SIPINFO ReadPanel() {
  ce::SIPINFO info{};
  info.cbSize = sizeof info;
  PanelInfo(false, &info);
  return info;
}

bool WritePanelFlags(ce::DWORD flags) {
  ce::SIPINFO info = ReadPanel();
  info.fdwFlags = flags;
  return PanelInfo(true, &info) == TRUE;
}

// The host's main window, or null when the host offers none.
ce::HWND MainWindow() {
  auto* service = SlotAs<IQelWindowService>(Slot::Window);
  return service ? static_cast<ce::HWND>(service->GetWindowHandle()) : nullptr;
}

bool NameBefore(const std::u16string& a, const std::u16string& b) { return ceutil::CompareNoCase(a, b) < 0; }

}  // namespace

bool RegisterKeyboardWindowClass(ce::HINSTANCE instance) {
  ce::WNDCLASSW wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = CQelKeyboardService::WindowProc;
  wc.cbWndExtra = 4;
  wc.hInstance = instance;
  wc.hbrBackground = static_cast<ce::HBRUSH>(ce::GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kKeyboardWindowClass;
  return ce::RegisterClassW(&wc) != 0 || ce::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

ce::LRESULT CALLBACK CQelKeyboardService::WindowProc(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam,
                                                     ce::LPARAM lParam) {
  if (message == WM_DESTROY) {
    ce::PostQuitMessage(0);
    return 0;
  }
  if (message == kKeyboardNotification) {
    if (auto* service = reinterpret_cast<CQelKeyboardService*>(ce::GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
      service->Notify(uint32_t(wParam));
    return 0;
  }
  return ce::DefWindowProcW(hwnd, message, wParam, lParam);
}

void UnregisterKeyboardWindowClass(ce::HINSTANCE instance) {
  ce::UnregisterClassW(kKeyboardWindowClass, instance);
}

CQelKeyboardService::CQelKeyboardService()
    : thread_(this), windowReady_(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // Operations and the destructor may count on the window once the service exists.
  if (windowReady_ && thread_.Start()) ce::WaitForSingleObject(windowReady_.get(), INFINITE);
}

CQelKeyboardService::~CQelKeyboardService() {
  if (ce::HWND w = window()) {
    DetachWindow(w);
    ce::PostMessageW(w, WM_QUIT, 0, 0);
    thread_.Wait(kThreadStopMs);
  }
  HidePanel();
  if (moved_.load()) RestorePanelWindows();
}

bool CQelKeyboardService::WaitForWindow(ce::DWORD milliseconds) {
  return windowReady_ && ce::WaitForSingleObject(windowReady_.get(), milliseconds) == WAIT_OBJECT_0 &&
         window();
}

ce::DWORD CQelKeyboardService::Serve() {
  ce::HINSTANCE instance = static_cast<ce::HINSTANCE>(ModuleInstance());
  RegisterKeyboardWindowClass(instance);
  ce::HWND hwnd =
      ce::CreateWindowExW(0, kKeyboardWindowClass, kKeyboardWindowClass, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!hwnd) {
    ce::SetEvent(windowReady_.get());
    return 0;
  }
  ce::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<ce::LONG_PTR>(this));
  ce::ShowWindow(hwnd, SW_HIDE);
  ce::UpdateWindow(hwnd);
  AttachWindow(hwnd);
  ce::SetEvent(windowReady_.get());
  ce::MSG msg{};
  while (ce::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ce::TranslateMessage(&msg);
    ce::DispatchMessageW(&msg);
  }
  // Not from the procedure any more: a notice still queued finds no service.
  ce::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  ce::DestroyWindow(hwnd);
  return 0;
}

bool CQelKeyboardService::AttachWindow(void* window) {
  window_.store(static_cast<ce::HWND>(window), std::memory_order_release);
  return true;
}

bool CQelKeyboardService::DetachWindow(void*) {
  window_.store(nullptr, std::memory_order_release);
  return true;
}

bool CQelKeyboardService::IsPanelOn() { return (ReadPanel().fdwFlags & SIPF_ON) != 0; }

void CQelKeyboardService::TogglePanel() {
  if (IsPanelOn())
    HidePanel();
  else
    ShowPanel();
}

bool CQelKeyboardService::ShowPanel() {
  const bool written = WritePanelFlags(SIPF_ON);
  if (AlignPanelWindows()) moved_.store(true);
  PostPanelState(true);
  return written;
}

bool CQelKeyboardService::HidePanel() {
  const bool written = WritePanelFlags(SIPF_OFF);
  PostPanelState(false);
  return written;
}

bool CQelKeyboardService::AlignPanelWindows() {
  ce::HWND main = MainWindow();
  ce::RECT mainRect{};
  // Without a main window there is nothing to align with: the panel stays.
  const bool aligned = main && ce::GetWindowRect(main, &mainRect);
  Hold hold(panelLock_);
  for (auto [name, remembered] :
       {std::pair{kPanelClass, &panelRect_}, std::pair{kBackdropClass, &backdropRect_}}) {
    ce::HWND w = ce::FindWindowW(name, nullptr);
    ce::RECT r{};
    if (!w || !ce::GetWindowRect(w, &r)) continue;
    // Where this alignment found it is the place given back at the end.
    *remembered = r;
    if (!aligned) continue;
    // In 64 bits: windows far apart would overflow; a place that does not fit is not taken.
    const int64_t top = int64_t(r.top) + (int64_t(mainRect.bottom) - r.bottom);
    const int64_t width = int64_t(r.right) - r.left, height = int64_t(r.bottom) - r.top;
    if (top < INT32_MIN || top > INT32_MAX || width > INT32_MAX || height > INT32_MAX) continue;
    ce::MoveWindow(w, r.left, int(top), int(width), int(height), TRUE);
  }
  return true;
}

void CQelKeyboardService::RestorePanelWindows() {
  Hold hold(panelLock_);
  for (auto [name, r] : {std::pair{kPanelClass, &panelRect_}, std::pair{kBackdropClass, &backdropRect_}})
    if (ce::HWND w = ce::FindWindowW(name, nullptr))
      ce::MoveWindow(w, r->left, r->top, r->right - r->left, r->bottom - r->top, TRUE);
}

void CQelKeyboardService::PostPanelState(bool shown) {
  if (ce::HWND main = MainWindow()) ce::PostMessageW(main, kPanelStateMessage, shown ? 1 : 0, 0);
}

void CQelKeyboardService::AddHandler(const char16_t* name, QelKeyboardHandler handler, void* context) {
  if (!name) return;
  Hold hold(lock_);
  const std::u16string key(name);
  auto at = std::lower_bound(handlers_.begin(), handlers_.end(), key,
                             [](const Handler& h, const std::u16string& k) { return NameBefore(h.name, k); });
  if (at == handlers_.end() || NameBefore(key, at->name)) at = handlers_.insert(at, Handler{key});
  at->callback = handler;
  at->context = context;
}

bool CQelKeyboardService::RemoveHandler(const char16_t* name) {
  if (!name) return true;
  Hold hold(lock_);
  std::erase_if(handlers_, [&](const Handler& h) { return ceutil::EqualNoCase(h.name, name); });
  return true;
}

void CQelKeyboardService::Notify(uint32_t notification) {
  Hold hold(lock_);
  for (const Handler& h : handlers_)
    if (h.callback) h.callback(h.name.c_str(), h.context, notification);
}

IQelService* CreateKeyboardService() { return new (std::nothrow) CQelKeyboardService; }

}  // namespace qel
