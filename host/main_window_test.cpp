// qelhost's main window: its placement text, and the module reaching it
// through the host's window service.
#include "main_window.h"

#include <gtest/gtest.h>

#include "ce/window.h"
#include "plugin_host.h"
#include "qel/keyboard.h"
#include "test_terminal.h"

namespace {

using qelhost::ParsePlacement;

TEST(MainWindowPlacement, TakesFourWholeNumbersAndAPositiveSize) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"0,0,240,320", true},
      {"-10,-5,1,1", true},
      {"0,0,0,320", false},
      {"0,0,240,-1", false},
      {"0,0,240", false},
      {"0,0,240,320,", false},
      {" 0,0,240,320", false},
      {"0,0,2.5,320", false},
      {"", false},
      {"0,0,240,99999999999", false},
      {"0,-2147483648,240,1", true},
      {"0,2147483000,10,1000", false},
      {"2147483647,0,1,1", false},
      {"2147483646,0,1,1", true},
  };
  for (const auto& c : cases) EXPECT_EQ(ParsePlacement(c.text).has_value(), c.ok) << c.text;
  const auto p = ParsePlacement("-10,20,30,40");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->left, -10);
  EXPECT_EQ(p->top, 20);
  EXPECT_EQ(p->width, 30);
  EXPECT_EQ(p->height, 40);
}

TEST(MainWindow, TheModuleTellsItWhatThePanelDoes) {
  qeltest::TestTerminal terminal;
  ce::HWND main = nullptr;
  {
    qelhost::PluginHost host;
    std::string error;
    ASSERT_TRUE(host.Load(QEL_MODULE_PATH, &error)) << error;
    host.Start();
    main = host.mainWindow().hwnd();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(ce::FindWindowW(qelhost::kMainWindowClass, qelhost::kMainWindowTitle), main);
    ASSERT_TRUE(host.mainWindow().Open({0, 0, 240, 250}, &error)) << error;  // moves it

    IQelService* provider = host.registry().QueryService(qel::IID_QELKEYBOARDSERVICE);
    void* found = nullptr;
    ASSERT_TRUE(provider && provider->GetInterface(qel::IID_QELKEYBOARDSERVICE, &found));
    auto* keyboard = static_cast<IQelKeyboardService*>(found);
    EXPECT_TRUE(keyboard->ShowPanel());
    EXPECT_TRUE(keyboard->HidePanel());
    keyboard->Release();
    host.mainWindow().Flush();
    const auto received = host.mainWindow().Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, kPanelStateMessage);
    EXPECT_EQ(received[0].wParam, 1u);
    EXPECT_EQ(received[1].wParam, 0u);
    ce::RECT panel{};
    ASSERT_TRUE(ce::GetWindowRect(ce::FindWindowW(u"SipWndClass", nullptr), &panel));
    EXPECT_EQ(panel.bottom, 250);
  }
  // Gone with the host; the module's keyboard service put the panel back.
  EXPECT_FALSE(ce::IsWindow(main));
  ce::RECT panel{};
  ASSERT_TRUE(ce::GetWindowRect(ce::FindWindowW(u"SipWndClass", nullptr), &panel));
  EXPECT_EQ(panel.bottom, 320);
}

}  // namespace
