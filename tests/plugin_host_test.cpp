// The module loaded in-process through the host's own loader, over and over:
// the module's threads run in this process, so the thread sanitizer sees them.
#include "plugin_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "ce/notify.h"
#include "ce/window.h"
#include "command_runner.h"
#include "qel/keyboard.h"
#include "sanitizer.h"
#include "test_terminal.h"
#include "verbs.h"
#include "verbs_events.h"

namespace {

namespace fs = std::filesystem;

// Load, register, unregister and unload, over and over, reading every property
// each time: services must outlive every reference and die before the unload.
TEST(PluginHostInProcess, SurvivesRepeatedLoadCycles) {
  qeltest::TestTerminal terminal;
  for (int cycle = 0; cycle < qeltest::Rounds(100, 25); ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    qelhost::PluginHost host;
    std::string error;
    ASSERT_TRUE(host.Load(QEL_MODULE_PATH, &error)) << error;
    host.Start();
    ASSERT_TRUE(host.started());
    ASSERT_EQ(host.registrar().properties().size(), 68u);
    ASSERT_EQ(host.registrar().services().size(), 12u);
    for (const qelhost::RegisteredProperty& p : host.registrar().properties()) {
      const qelhost::PropertyReading r = host.Read(p);
      if (p.name == u"SYS_DROP_COUNT") {
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.text, "0");
      }
    }
    if (cycle == 0) {  // each text export answers through a service of its own
      const std::u16string expected[] = {u"VM1C12345678", u"3F2A9C41D07E55B18C6342AF0B9D1E7724C58A10",
                                         u"HON_THORVM_CE60"};
      for (int i = 0; i < 3; ++i) {
        std::u16string buffer(64, u'#');
        EXPECT_TRUE(host.textExports()[i](buffer.data(), uint32_t(buffer.size())));
        EXPECT_EQ(std::u16string(buffer.c_str()), expected[i]);
      }
    }
    host.Shutdown();
    EXPECT_FALSE(host.started());
    EXPECT_TRUE(host.registrar().properties().empty());
  }
  // Each start cleared the wake-up notification the one before left behind.
  ce::DWORD kept = 0;
  ce::CeGetUserNotificationHandles(nullptr, 0, &kept);
  EXPECT_EQ(kept, 1u);
}

TEST(PluginHostInProcess, LoadNamesTheFileItCannotUse) {
  qeltest::TestTerminal terminal;
  const fs::path text = terminal.root() / "not-a-module.mpi";
  std::ofstream(text) << "plain text";
  const fs::path library = fs::path(QEL_MODULE_PATH).parent_path() / "libqelce.so";
  const std::pair<fs::path, std::string> cases[] = {
      {terminal.root() / "absent.mpi", "no such module file"},
      {text, "cannot be loaded"},
      {library, "does not export Register"},
  };
  for (const auto& [path, why] : cases) {
    qelhost::PluginHost host;
    std::string error;
    EXPECT_FALSE(host.Load(path, &error)) << path;
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
}

// The events and watch verbs in this process, so that their printing, which
// the module's threads drive, runs under the thread sanitizer too.
class FollowingInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.Load(QEL_MODULE_PATH, &error)) << error;
    host.Start();
  }
  // Calls make() every 20 ms on another thread until follow() returns.
  template <class Make, class Follow>
  int WhileMaking(Make make, Follow follow) {
    std::atomic<bool> done{false};
    std::thread maker([&] {
      while (!done.load()) {
        make();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
    const int status = follow();
    done = true;
    maker.join();
    return status;
  }
  static int Lines(const std::string& text, const std::string& with) {
    int n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) n += line.find(with) != std::string::npos;
    return n;
  }

  qeltest::TestTerminal terminal;
  qelhost::PluginHost host;
  std::ostringstream out, err;
};

TEST_F(FollowingInProcess, EventsPrintsWhatTheTerminalDelivers) {
  const qelhost::Output o{out, err, false};
  const int status = WhileMaking([] { ce::sim::PowerStatusChanged(nullptr); },
                                 [&] {
                                   return qelhost::FollowEvents(host, {3, 30}, o);
                                 });
  EXPECT_EQ(status, qelhost::kOk) << err.str();
  // The bound is looked at between waits: events that came meanwhile are printed too.
  EXPECT_GE(Lines(out.str(), "OnPowerStatusChange"), 3) << out.str();
}

// One change is all this needs: it runs the printing path beside the module's watcher thread.
TEST_F(FollowingInProcess, WatchPrintsChangesOfAFolder) {
  const fs::path folder = terminal.dir() / "fs" / "Temp" / "followed";
  fs::create_directories(folder);
  const qelhost::Output o{out, err, false};
  int n = 0;
  const int status = WhileMaking([&] { std::ofstream(folder / ("f" + std::to_string(n++))) << "x"; },
                                 [&] {
                                   return qelhost::WatchFolder(host, "w", "\\Temp\\followed\\", {1, 30}, o);
                                 });
  EXPECT_EQ(status, qelhost::kOk) << err.str();
  EXPECT_GE(Lines(out.str(), R"("watch":"FS:w")"), 1) << out.str();
}

// Property reads and commands from several threads while the keyboard
// service's thread takes notifications and the panel is toggled.
TEST(PluginHostInProcess, PropertiesCommandsAndThePanelFromManyThreads) {
  qeltest::TestTerminal terminal;
  qelhost::PluginHost host;
  std::string error;
  ASSERT_TRUE(host.Load(QEL_MODULE_PATH, &error)) << error;
  host.Start();
  IQelService* provider = host.registry().QueryService(qel::IID_QELKEYBOARDSERVICE);
  void* found = nullptr;
  ASSERT_TRUE(provider && provider->GetInterface(qel::IID_QELKEYBOARDSERVICE, &found));
  auto* keyboard = static_cast<IQelKeyboardService*>(found);
  ce::HWND window = ce::FindWindowW(u"QelKeyboardWindow", nullptr);
  ASSERT_NE(window, nullptr);
  constexpr int kRounds = 20;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i)
        for (const qelhost::RegisteredProperty& p : host.registrar().properties())
          if (p.name == u"KEYBOARD_LAYER" || p.name == u"AUDIO_BEEP_VOLUME" || p.name == u"SYS_DROP_COUNT")
            failures += host.Read(p).ok == (p.name == u"KEYBOARD_LAYER");
    });
  threads.emplace_back([&] {
    qelhost::CommandRunner runner(host.registrar(), host.registry());
    for (int i = 0; i < kRounds; ++i) {
      std::string e;
      const auto outcome =
          runner.Run("PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Kbd N" + std::to_string(i) + " V S", &e);
      failures += !outcome || outcome->failed();
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < kRounds; ++i) {
      keyboard->TogglePanel();
      ce::PostMessageW(window, kKeyboardNotification, i, 0);
    }
  });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  keyboard->Release();
  host.Shutdown();
  EXPECT_FALSE(ce::IsWindow(window));
}

}  // namespace
