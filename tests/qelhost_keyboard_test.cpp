// End to end: qelhost's main window and its 'keyboard' verb driving the input
// panel through the module, with and without the shell library.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host_test.h"
#include "test_terminal.h"

namespace {

using nlohmann::json;
using qeltest::HostRun;

using QelHostKeyboard = qeltest::HostTest;

TEST_F(QelHostKeyboard, ShowAlignsThePanelAndTellsTheMainWindowWithOrWithoutTheShell) {
  struct Case {
    const char* what;
    json modules;
    bool shell;
  };
  const Case cases[] = {
      {"shell present", json::array({"coredll.dll", "aygshell.dll", "LXEAPI.dll"}), true},
      {"no shell library", json::array({"coredll.dll", "LXEAPI.dll"}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    terminal.Set("modules", c.modules);
    const HostRun r = Host({"--json", "--trace", "keyboard", "show", "--main-window", "5,10,240,290"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json out = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(out.is_discarded()) << r.out;
    EXPECT_EQ(out["panel"], "shown");
    EXPECT_EQ(out["main_window_rect"], json::array({5, 10, 245, 300}));
    EXPECT_EQ(out["panel_rect"], json::array({0, 220, 240, 300}));
    EXPECT_EQ(out["backdrop_rect"], json::array({0, 220, 240, 300}));
    EXPECT_EQ(out["main_window_received"], json::parse(R"([{"message":1539,"wparam":1,"lparam":0}])"));
    // Which way the module went: the shell's call, or the system's own.
    EXPECT_EQ(r.err.find("u\"SHSipInfo\") -> 0x") != std::string::npos, c.shell) << r.err;
    EXPECT_EQ(r.err.find("SipSetInfo(") != std::string::npos, !c.shell) << r.err;
  }
}

TEST_F(QelHostKeyboard, ToggleAndStateFollowThePanel) {
  HostRun r = Host({"keyboard", "toggle"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("panel: shown\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("main window received: 0x603 1 (panel shown)\n"), std::string::npos) << r.out;
  // The service hides the panel when it ends with qelhost, and puts it back in place.
  r = Host({"--json", "terminal", "show"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json hw = json::parse(r.out, nullptr, false);
  ASSERT_FALSE(hw.is_discarded()) << r.out;
  EXPECT_EQ(hw["input_panel"], json::parse(R"({"present":true,"shown":false,"rect":[0,240,240,320]})"));
  r = Host({"keyboard", "state"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("panel: hidden\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("main window received"), std::string::npos) << r.out;
}

TEST_F(QelHostKeyboard, BadInputIsRefused) {
  const std::vector<std::string> bad[] = {
      {"keyboard", "fly"},
      {"keyboard", "show", "--main-window", "0,0,0,10"},
      {"keyboard", "show", "--main-window", "0,0,10"},
      {"keyboard", "show", "--main-window", "a,b,c,d"},
      {"keyboard", "show", "--main-window", "0,0,10,10,"},
      {"keyboard", "show", "--main-window", ""},
      {"keyboard", "show", "--main-window", "0,2147483000,10,1000"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args.back());
    const HostRun r = Host(args);
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("qelhost: keyboard: "), std::string::npos) << r.err;
  }
}

}  // namespace
