// The keyboard service on a simulated terminal: the input panel through the
// shell's call, aligned with a main window of this test, and notifications
// passed to named handlers on the service's thread.
#include "devices/keyboard_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/sip.h"
#include "ce/sync.h"
#include "ce/window.h"
#include "core/module_slots.h"
#include "devices/keyboard_properties.h"
#include "qel/host.h"
#include "qel/object.h"
#include "qelcommon/value.h"
#include "test_terminal.h"

namespace {

using qel::CQelKeyboardService;

constexpr ce::UINT kFlushMark = WM_USER + 1;

// A top-level window of this process on a thread of its own, standing for the
// host's main window: it keeps every message at or above WM_USER.
class MainWindow {
 public:
  explicit MainWindow(ce::RECT r) {
    std::unique_lock lock(mu_);
    thread_ = std::thread([this, r] { Serve(r); });
    cv_.wait(lock, [&] { return started_; });
  }
  ~MainWindow() {
    if (hwnd_) ce::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  ce::HWND hwnd() const { return hwnd_; }
  // The panel-state messages received, once every earlier post has been handled.
  std::vector<ce::WPARAM> PanelStates() {
    std::unique_lock lock(mu_);
    flushed_ = false;
    ce::PostMessageW(hwnd_, kFlushMark, 0, 0);
    cv_.wait(lock, [&] { return flushed_; });
    return states_;
  }

 private:
  static ce::LRESULT Proc(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam, ce::LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(ce::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_DESTROY) ce::PostQuitMessage(0);
    if (!self || message < WM_USER) return ce::DefWindowProcW(hwnd, message, wParam, lParam);
    std::lock_guard lock(self->mu_);
    if (message == kFlushMark) self->flushed_ = true;
    if (message == kPanelStateMessage) self->states_.push_back(wParam);
    if (message != kPanelStateMessage && message != kFlushMark) self->states_.push_back(0xBAD);
    self->cv_.notify_all();
    return 0;
  }
  void Serve(ce::RECT r) {
    ce::WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = u"KeyboardTestMain";
    ce::RegisterClassW(&wc);
    ce::HWND w = ce::CreateWindowExW(0, u"KeyboardTestMain", u"main", WS_VISIBLE, r.left, r.top,
                                     r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    if (w) ce::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<ce::LONG_PTR>(this));
    {
      std::lock_guard lock(mu_);
      hwnd_ = w;
      started_ = true;
      cv_.notify_all();
    }
    ce::MSG msg{};
    while (w && ce::GetMessageW(&msg, nullptr, 0, 0) > 0) ce::DispatchMessageW(&msg);
  }

  std::mutex mu_;
  std::condition_variable cv_;
  bool started_ = false;
  bool flushed_ = false;
  std::vector<ce::WPARAM> states_;
  ce::HWND hwnd_ = nullptr;
  std::thread thread_;
};

// The host's window service over the test's main window, counted.
class WindowService final : public IQelWindowService, public CQelRefCounted {
 public:
  explicit WindowService(ce::HWND w) : w_(w) {}
  int32_t Release() override { return CQelRefCounted::Release(); }
  void* GetWindowHandle() override { return w_; }

 private:
  ce::HWND w_;
};

class WindowProvider final : public qel::CQelObject<IQelService, qel::IID_QELWINDOWSERVICE> {
 public:
  explicit WindowProvider(ce::HWND w) : w_(w) {}
  bool GetInterface(GUID iid, void** out) override {
    if (iid != qel::IID_QELWINDOWSERVICE) return false;
    *out = static_cast<IQelWindowService*>(new WindowService(w_));
    return true;
  }

 private:
  ce::HWND w_;
};

ce::RECT RectOf(const char16_t* className) {
  ce::RECT r{-1, -1, -1, -1};
  ce::HWND w = ce::FindWindowW(className, nullptr);
  EXPECT_NE(w, nullptr) << "no window of the panel's";
  if (w) {
    EXPECT_TRUE(ce::GetWindowRect(w, &r));
  }
  return r;
}

bool Shown(const char16_t* className) {
  return (ce::GetWindowLongW(ce::FindWindowW(className, nullptr), GWL_STYLE) & WS_VISIBLE) != 0;
}

std::string Text(const ce::RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

const ce::RECT kPanelStart{0, 240, 240, 320};

class KeyboardService : public ::testing::Test {
 protected:
  // The service with the main window offered as the host's (or none).
  void Bind(MainWindow* main) {
    if (!main) return;
    WindowProvider provider(main->hwnd());
    ASSERT_NE(qel::FillSlot(qel::Slot::Window, &provider), nullptr);
  }
  void TearDown() override { qel::ReleaseSlot(qel::Slot::Window); }

  qeltest::TestTerminal terminal;
};

TEST_F(KeyboardService, ToggleTwiceComesBackAndTellsTheMainWindowEachTime) {
  for (bool startShown : {false, true}) {
    SCOPED_TRACE(startShown ? "panel shown first" : "panel hidden first");
    MainWindow main({0, 0, 240, 320});
    Bind(&main);
    ASSERT_TRUE(ce::SipShowIM(startShown ? SIPF_ON : SIPF_OFF));
    auto* service = new CQelKeyboardService;
    ASSERT_EQ(service->IsPanelOn(), startShown);
    service->TogglePanel();
    EXPECT_EQ(service->IsPanelOn(), !startShown);
    EXPECT_EQ(Shown(u"SipBackDropWndClass"), !startShown);
    service->TogglePanel();
    EXPECT_EQ(service->IsPanelOn(), startShown);
    const std::vector<ce::WPARAM> told = {startShown ? 0u : 1u, startShown ? 1u : 0u};
    EXPECT_EQ(main.PanelStates(), told);
    service->Release();
    TearDown();
  }
}

TEST_F(KeyboardService, ShownPanelSitsOnTheMainWindowsBottomAndGoesBackAtTheEnd) {
  struct Case {
    const char* what;
    ce::RECT main;
    ce::RECT movedTo;  // the main window's second place, after the first ShowPanel
  };
  const Case cases[] = {
      {"same bottom", {0, 0, 240, 320}, {0, 0, 240, 300}},
      {"shorter window", {0, 0, 240, 200}, {30, 100, 270, 500}},
      {"lower window", {10, 50, 210, 450}, {0, -40, 240, 60}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MainWindow main(c.main);
    Bind(&main);
    auto* service = new CQelKeyboardService;
    ASSERT_TRUE(service->ShowPanel());
    for (const char16_t* name : {u"SipWndClass", u"SipBackDropWndClass"}) {
      const ce::RECT r = RectOf(name);
      EXPECT_EQ(Text(r), Text({0, c.main.bottom - 80, 240, c.main.bottom})) << "first show";
    }
    // The panel follows the window the next time it is shown, size kept.
    ASSERT_TRUE(ce::MoveWindow(main.hwnd(), c.movedTo.left, c.movedTo.top, c.movedTo.right - c.movedTo.left,
                               c.movedTo.bottom - c.movedTo.top, TRUE));
    ASSERT_TRUE(service->HidePanel());
    ASSERT_TRUE(service->ShowPanel());
    EXPECT_EQ(Text(RectOf(u"SipWndClass")), Text({0, c.movedTo.bottom - 80, 240, c.movedTo.bottom}));
    ce::SIPINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(ce::SipGetInfo(&info));
    EXPECT_EQ(Text(info.rcSipRect), Text({0, c.movedTo.bottom - 80, 240, c.movedTo.bottom}));
    // The end hides the panel and gives both windows the place the last
    // alignment found them in: where the first show had put them.
    service->Release();
    EXPECT_FALSE(Shown(u"SipWndClass"));
    const ce::RECT firstShow{0, c.main.bottom - 80, 240, c.main.bottom};
    EXPECT_EQ(Text(RectOf(u"SipWndClass")), Text(firstShow));
    EXPECT_EQ(Text(RectOf(u"SipBackDropWndClass")), Text(firstShow));
    // Shown once, they go back to where they were before.
    service = new CQelKeyboardService;
    ASSERT_TRUE(service->ShowPanel());
    service->Release();
    EXPECT_EQ(Text(RectOf(u"SipWndClass")), Text(firstShow));
    for (const char16_t* name : {u"SipWndClass", u"SipBackDropWndClass"})  // as the next case expects them
      ce::MoveWindow(ce::FindWindowW(name, nullptr), kPanelStart.left, kPanelStart.top,
                     kPanelStart.right - kPanelStart.left, kPanelStart.bottom - kPanelStart.top, TRUE);
    TearDown();
  }
}

// Windows at the far ends of the coordinates: the shift is worked out without
// overflow, and a place beyond them is not taken.
TEST_F(KeyboardService, AlignmentFarAwayNeitherOverflowsNorWraps) {
  MainWindow main({0, 0, 240, 320});
  Bind(&main);
  const ce::HWND panel = ce::FindWindowW(u"SipWndClass", nullptr);
  ASSERT_TRUE(ce::MoveWindow(panel, 0, -2147483600, 240, 80, TRUE));
  auto* service = new CQelKeyboardService;
  ASSERT_TRUE(service->ShowPanel());
  EXPECT_EQ(Text(RectOf(u"SipWndClass")), Text({0, 240, 240, 320}));
  service->Release();
  ASSERT_TRUE(ce::MoveWindow(main.hwnd(), 0, 2147483000, 240, 600, TRUE));
  service = new CQelKeyboardService;
  ASSERT_TRUE(service->ShowPanel());
  EXPECT_EQ(Text(RectOf(u"SipWndClass")), Text({0, 2147483520, 240, 2147483600}));
  ASSERT_TRUE(ce::MoveWindow(main.hwnd(), 0, -2147483648, 240, 1, TRUE));
  ASSERT_TRUE(service->ShowPanel());  // 2147483520 + (-2147483647 - 2147483600) does not fit: it stays
  EXPECT_EQ(Text(RectOf(u"SipWndClass")), Text({0, 2147483520, 240, 2147483600}));
  service->Release();
  for (const char16_t* name : {u"SipWndClass", u"SipBackDropWndClass"})
    ce::MoveWindow(ce::FindWindowW(name, nullptr), kPanelStart.left, kPanelStart.top,
                   kPanelStart.right - kPanelStart.left, kPanelStart.bottom - kPanelStart.top, TRUE);
}

TEST_F(KeyboardService, WithoutAMainWindowThePanelShowsWhereItIs) {
  auto* service = new CQelKeyboardService;
  EXPECT_TRUE(service->ShowPanel());
  EXPECT_TRUE(service->IsPanelOn());
  EXPECT_EQ(Text(RectOf(u"SipWndClass")), Text(kPanelStart));
  EXPECT_TRUE(service->HidePanel());
  EXPECT_FALSE(service->IsPanelOn());
  service->Release();
}

// Handlers, told on the service's thread through its window.
struct Calls {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<std::string> seen;  // "<name> <context> <notification>"
  void WaitFor(size_t n) {
    std::unique_lock lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return seen.size() >= n; }))
        << "only " << seen.size() << " calls";
  }
};
Calls* g_calls = nullptr;

void Record(const char16_t* name, void* context, uint32_t notification) {
  std::string n;
  for (const char16_t* p = name; *p; ++p) n += char(*p);
  std::lock_guard lock(g_calls->mu);
  g_calls->seen.push_back(n + " " + std::to_string(reinterpret_cast<uintptr_t>(context)) + " " +
                          std::to_string(notification));
  g_calls->cv.notify_all();
}

void* Ctx(uintptr_t n) { return reinterpret_cast<void*>(n); }

TEST_F(KeyboardService, NotificationsReachHandlersInNameOrder) {
  struct Step {
    enum { kAdd, kRemove } op;
    const char16_t* name;
    uintptr_t context;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    std::vector<std::string> expected;  // for notification 7
  };
  const Case cases[] = {
      {"sorted without regard to case",
       {{Step::kAdd, u"beta", 2}, {Step::kAdd, u"Alpha", 1}, {Step::kAdd, u"GAMMA", 3}},
       {"Alpha 1 7", "beta 2 7", "GAMMA 3 7"}},
      {"a name in another case replaces the entry",
       {{Step::kAdd, u"Scan", 1}, {Step::kAdd, u"zeta", 9}, {Step::kAdd, u"SCAN", 5}},
       {"Scan 5 7", "zeta 9 7"}},
      {"removal by name in any case",
       {{Step::kAdd, u"one", 1},
        {Step::kAdd, u"two", 2},
        {Step::kRemove, u"ONE", 0},
        {Step::kRemove, u"none", 0}},
       {"two 2 7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Calls calls;
    g_calls = &calls;
    auto* service = new CQelKeyboardService;
    ASSERT_TRUE(service->WaitForWindow(10000));
    for (const Step& s : c.steps) {
      if (s.op == Step::kAdd)
        service->AddHandler(s.name, Record, Ctx(s.context));
      else
        EXPECT_TRUE(service->RemoveHandler(s.name));
    }
    // Found by class, as other components find it.
    ce::HWND w = ce::FindWindowW(qel::kKeyboardWindowClass, nullptr);
    ASSERT_EQ(w, service->window());
    EXPECT_FALSE(ce::GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE);
    ASSERT_TRUE(ce::PostMessageW(w, kKeyboardNotification, 7, 0));
    calls.WaitFor(c.expected.size());
    {
      std::lock_guard lock(calls.mu);
      EXPECT_EQ(calls.seen, c.expected);
    }
    service->Release();
    g_calls = nullptr;
  }
}

TEST_F(KeyboardService, EndingStopsTheWindowThreadAndItsWindow) {
  Calls calls;
  g_calls = &calls;
  auto* service = new CQelKeyboardService;
  ASSERT_TRUE(service->WaitForWindow(10000));
  ce::HWND w = service->window();
  const ce::DWORD thread = ce::GetWindowThreadProcessId(w, nullptr);
  ASSERT_NE(thread, 0u);
  service->AddHandler(u"h", Record, Ctx(1));
  ASSERT_TRUE(ce::PostMessageW(w, kKeyboardNotification, 3, 0));
  calls.WaitFor(1);
  service->Release();
  // The window went with its thread: nothing reaches the handler any more.
  EXPECT_FALSE(ce::IsWindow(w));
  EXPECT_EQ(ce::FindWindowW(qel::kKeyboardWindowClass, nullptr), nullptr);
  EXPECT_FALSE(ce::PostMessageW(w, kKeyboardNotification, 4, 0));
  EXPECT_FALSE(ce::PostThreadMessageW(thread, WM_USER, 0, 0));
  std::lock_guard lock(calls.mu);
  EXPECT_EQ(calls.seen, std::vector<std::string>{"h 1 3"});
  g_calls = nullptr;
}

TEST_F(KeyboardService, LayerPropertyReadsNothingAndTakesAnyNumber) {
  auto* service = new CQelKeyboardService;
  CQelValue value;
  value.SetInt32(42);
  EXPECT_FALSE(qel::GetKeyboardLayer(&value, service));
  int32_t kept = 0;
  EXPECT_TRUE(value.GetInt32(&kept));
  EXPECT_EQ(kept, 42);
  for (int32_t layer : {0, 1, -5}) {
    value.SetInt32(layer);
    EXPECT_TRUE(qel::SetKeyboardLayer(&value, service)) << layer;
  }
  EXPECT_FALSE(qel::SetKeyboardLayer(nullptr, service));
  service->Release();
}

// Panel calls and handler changes from several threads while the service's
// thread takes notifications (run under the thread sanitizer).
TEST_F(KeyboardService, ManyThreadsAtOnce) {
  MainWindow main({0, 0, 240, 320});
  Bind(&main);
  Calls calls;
  g_calls = &calls;
  auto* service = new CQelKeyboardService;
  ASSERT_TRUE(service->WaitForWindow(10000));
  constexpr int kRounds = 40;
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int i = 0; i < kRounds; ++i) service->TogglePanel();
  });
  threads.emplace_back([&] {
    for (int i = 0; i < kRounds; ++i) {
      CQelValue value;
      EXPECT_FALSE(qel::GetKeyboardLayer(&value, service));
      service->IsPanelOn();
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < kRounds; ++i) {
      service->AddHandler(i % 2 ? u"odd" : u"EVEN", Record, Ctx(i));
      if (i % 5 == 0) service->RemoveHandler(u"odd");
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < kRounds; ++i) ce::PostMessageW(service->window(), kKeyboardNotification, i, 0);
  });
  for (auto& t : threads) t.join();
  service->AddHandler(u"last", Record, Ctx(0));
  ASSERT_TRUE(ce::PostMessageW(service->window(), kKeyboardNotification, 99, 0));
  // The last notice comes after every other: once "last" has it, all were told.
  {
    std::unique_lock lock(calls.mu);
    EXPECT_TRUE(calls.cv.wait_for(lock, std::chrono::seconds(10), [&] {
      return std::find(calls.seen.begin(), calls.seen.end(), "last 0 99") != calls.seen.end();
    }));
  }
  EXPECT_EQ(main.PanelStates().size(), size_t(kRounds));
  service->Release();
  g_calls = nullptr;
}

}  // namespace
