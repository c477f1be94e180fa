// End to end: the terminal's programs in processes of their own, started,
// listed and stopped by separate qelhost runs, and the terminal restarted
// warm and cold by SRB.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "host_run.h"
#include "temp_dir.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using qeltest::HostRun;

// A terminal this process never joins: only the qelhost runs use it, so a
// reboot reaches them alone.
class QelHostProcesses : public ::testing::Test {
 protected:
  void SetUp() override { Make("thor-vm1"); }
  void Make(std::string_view profile) {
    std::string error;
    ASSERT_TRUE(ce::sim::CreateTerminal(dir(), *ce::sim::BuiltinProfile(profile), &error)) << error;
  }
  fs::path dir() const { return temp_.path() / name_; }
  HostRun Host(std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", dir().string()});
    return qeltest::RunHost(args, temp_.path());
  }
  // A program of the terminal, "\Windows\<name>", made of its settings lines.
  void Program(const std::string& name, const std::string& settings) {
    std::ofstream(dir() / "fs" / "Windows" / name) << "#!qel-program app\n" << settings;
  }
  uint32_t Start(const std::string& name) {
    const HostRun r = Host({"terminal", "start", "\\Windows\\" + name, "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out, nullptr, false).value("id", 0u);
  }
  // The process's entry in the table, or null.
  json Entry(uint32_t id) {
    const HostRun r = Host({"terminal", "processes", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const json& p : json::parse(r.out, nullptr, false))
      if (p.value("id", 0u) == id) return p;
    return nullptr;
  }
  // Until the program has made its windows (it starts them after its process).
  json EntryWithWindows(uint32_t id, size_t windows) {
    json entry;
    for (int i = 0; i < 100; ++i) {
      entry = Entry(id);
      if (entry.is_null() || entry["windows"].size() >= windows) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return entry;
  }
  std::string RegistryValue() {
    const HostRun r = Host({"run", R"(PXS R %REG HKEY_LOCAL_MACHINE\Software\QelTest Name $v $t)", "--json"});
    const json v = json::parse(r.out, nullptr, false)["variables"]["v"];
    return v.is_string() ? v.get<std::string>() : "<none>";
  }

  qeltest::TempDir temp_;
  std::string name_ = "terminal";
};

TEST_F(QelHostProcesses, AProgramOutlivesItsStarterAndAnotherRunStopsIt) {
  // keep.exe holds the terminal (and its table) up between the runs.
  Program("keep.exe", "run=forever\n");
  Program("pword.exe", "window=Pocket Word\nclose=exit 0\n");
  const uint32_t keep = Start("keep.exe"), pword = Start("pword.exe");
  ASSERT_NE(keep, 0u);
  ASSERT_NE(pword, 0u);
  json entry = EntryWithWindows(pword, 1);
  ASSERT_FALSE(entry.is_null());
  EXPECT_EQ(entry["state"], "running");
  EXPECT_EQ(entry["name"], "\\Windows\\pword.exe");
  ASSERT_EQ(entry["windows"].size(), 1u);
  EXPECT_EQ(entry["windows"][0]["title"], "Pocket Word");

  // Without a wait time the program is ended at once, with the exit code given.
  const HostRun stop = Host({"run", "BSP PWORD 5"});
  EXPECT_EQ(stop.status, 0) << stop.out << stop.err;
  entry = Entry(pword);
  ASSERT_FALSE(entry.is_null());
  EXPECT_EQ(entry["state"], "exited");
  EXPECT_EQ(entry.value("exit_code", 0u), 5u);
  EXPECT_TRUE(entry["windows"].empty());

  // Stopped by its id; a name no process has, and an id no process has, fail.
  const HostRun byId = Host({"run", "BSP " + std::to_string(keep)});
  EXPECT_EQ(byId.status, 0) << byId.out << byId.err;
  for (const char* line : {"BSP nosuch", "BSP 999999"}) {
    const HostRun r = Host({"run", line, "--json"});
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_EQ(json::parse(r.out, nullptr, false).value("code", 0), 1) << line << r.out;
  }
}

TEST_F(QelHostProcesses, WaitTimeLetsAProgramCloseItselfOrEndsItByForce) {
  Program("keep.exe", "run=forever\n");
  Program("polite.exe", "window=Polite\nclose=exit 7\n");
  Program("stubborn.exe", "window=Stubborn\nclose=ignore\n");
  ASSERT_NE(Start("keep.exe"), 0u);
  const struct {
    const char* program;
    const char* line;
    uint32_t code;
  } cases[] = {
      {"polite.exe", "BSP polite -9", 7},                // closed its window and ended by itself
      {"stubborn.exe", "BSP stubborn.exe 0x2A", 0x2Au},  // ignored the request: ended by force
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const uint32_t id = Start(c.program);
    ASSERT_FALSE(EntryWithWindows(id, 1).is_null());
    const HostRun r = Host({"run", c.line, "--wait-time", "3000"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const json entry = Entry(id);
    ASSERT_FALSE(entry.is_null());
    EXPECT_EQ(entry["state"], "exited");
    EXPECT_EQ(entry.value("exit_code", 0u), c.code);
  }
}

TEST_F(QelHostProcesses, SrbWarmKeepsTheStoreColdMakesItAfresh) {
  const fs::path note = dir() / "fs" / "Temp" / "note.txt";
  auto write = [&] {
    ASSERT_EQ(Host({"run", R"(PXS W %REG HKEY_LOCAL_MACHINE\Software\QelTest Name Kept S)"}).status, 0);
    std::ofstream(note) << "kept";
  };
  write();
  Program("keep.exe", "run=forever\n");
  const uint32_t keep = Start("keep.exe");
  ASSERT_NE(keep, 0u);

  const struct {
    const char* line;
    const char* said;
    bool kept;
  } cases[] = {
      {"SRB", "the terminal went down (warm reboot)", true},
      {"SRB x", "the terminal went down (warm reboot)", true},
      {"SRB h", "the terminal went down (cold reboot)", false},
      {"SRB H", "the terminal went down (cold reboot)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    write();
    const HostRun r = Host({"run", c.line});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(RegistryValue(), c.kept ? "Kept" : "<none>");
    EXPECT_EQ(fs::exists(note), c.kept);
    // What the profile made is there either way; the programs ended with the terminal.
    EXPECT_TRUE(fs::exists(dir() / "fs" / "Windows" / "Wceload.exe"));
    EXPECT_TRUE(Entry(keep).is_null());
  }
}

TEST_F(QelHostProcesses, AnotherQelhostOnTheTerminalIsCutShort) {
  // An events follower on the terminal while a second qelhost reboots it.
  const fs::path status = temp_.path() / "follower.status", said = temp_.path() / "follower.err";
  qeltest::HostOptions o;
  o.prefix = "(" + qeltest::Quoted(qeltest::HostPath()) + " --terminal " + qeltest::Quoted(dir().string()) +
             " events --seconds 30 >/dev/null 2>" + qeltest::Quoted(said.string()) + "; echo $? > " +
             qeltest::Quoted(status.string()) + ") & sleep 2; ";
  const HostRun r = qeltest::RunHost({"--terminal", dir().string(), "run", "SRB"}, temp_.path(), o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("the terminal went down (warm reboot)\n"), std::string::npos) << r.err;
  // The shell makes the file before it writes the status: wait for the status.
  std::string code;
  for (int i = 0; i < 200 && code.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream(status) >> code;
  }
  std::stringstream text;
  text << std::ifstream(said).rdbuf();
  EXPECT_EQ(code, "1");
  EXPECT_NE(
      text.str().find(
          "qelhost: the terminal went down (warm reboot, asked by another process): this run is cut short\n"),
      std::string::npos)
      << text.str();
}

TEST_F(QelHostProcesses, AnotherQelhostIsNotTheTerminalsToStop) {
  // A follower joined from outside: BSP may neither close its windows nor end it.
  qeltest::HostOptions o;
  o.prefix = "(" + qeltest::Quoted(qeltest::HostPath()) + " --terminal " + qeltest::Quoted(dir().string()) +
             " events --seconds 20 >/dev/null 2>&1 &) ; sleep 2; ";
  const HostRun listing =
      qeltest::RunHost({"--terminal", dir().string(), "terminal", "processes", "--json"}, temp_.path(), o);
  uint32_t follower = 0;
  for (const json& p : json::parse(listing.out, nullptr, false))
    if (p.value("kind", "") == "host" && !p["windows"].empty()) follower = p.value("id", 0u);
  ASSERT_NE(follower, 0u) << listing.out;
  const HostRun r = Host({"run", "BSP " + std::to_string(follower), "--wait-time", "500", "--json"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const json entry = Entry(follower);
  ASSERT_FALSE(entry.is_null());
  EXPECT_EQ(entry["state"], "running");
  EXPECT_FALSE(entry["windows"].empty());  // its main window was not asked to close
  // The follower ends when the test removes the terminal.
}

TEST_F(QelHostProcesses, SrbWithoutTheVendorLibraryAsksTheKernel) {
  // A terminal without LXEAPI.dll: the terminal service cannot reboot, the kernel does.
  name_ = "mc9090";
  Make("mc9090");
  ASSERT_EQ(Host({"run", R"(PXS W %REG HKEY_LOCAL_MACHINE\Software\QelTest Name Kept S)"}).status, 0);
  const HostRun r = Host({"run", "SRB H", "--json"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find(R"({"asked":true,"reboot":"cold","terminal":"down"})"), std::string::npos) << r.err;
  EXPECT_EQ(RegistryValue(), "<none>");
}

TEST_F(QelHostProcesses, SrbReportsATerminalThatStaysUp) {
  ASSERT_EQ(Host({"terminal", "set", "hal.reboot_ignored", "true"}).status, 0);
  ASSERT_EQ(Host({"run", R"(PXS W %REG HKEY_LOCAL_MACHINE\Software\QelTest Name Kept S)"}).status, 0);
  const HostRun r = Host({"run", "SRB H", "--wait-time", "200", "--json"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const json reply = json::parse(r.out, nullptr, false);
  EXPECT_EQ(reply.value("code", 0), 1) << r.out;
  EXPECT_NE(r.out.find("The terminal did not restart."), std::string::npos) << r.out;
  EXPECT_EQ(RegistryValue(), "Kept");
  // The clean-boot flag that SRB set stays, as on the device: the next reboot is cold.
  EXPECT_TRUE(fs::exists(dir() / "clean-boot"));
  ASSERT_EQ(Host({"terminal", "set", "hal.reboot_ignored", "false"}).status, 0);
  const HostRun warm = Host({"run", "SRB"});
  EXPECT_NE(warm.err.find("the terminal went down (cold reboot)"), std::string::npos) << warm.err;
  EXPECT_EQ(RegistryValue(), "<none>");
}

TEST_F(QelHostProcesses, ATerminalRemovedTakesItsProgramsWithIt) {
  const uint32_t id = Start("ctlpnl.exe");  // ignores close requests, runs for ever
  ASSERT_NE(id, 0u);
  const HostRun objects = Host({"terminal", "objects", "--json"});
  const json listing = json::parse(objects.out, nullptr, false);
  int pid = 0;
  for (const json& p : listing["processes"])
    if (p.value("id", 0u) == id) pid = p.value("pid", 0);
  ASSERT_GT(pid, 0) << objects.out;
  const fs::path proc = "/proc/" + std::to_string(pid);
  ASSERT_TRUE(fs::exists(proc));
  fs::remove_all(dir());
  // The terminal's server looks every few seconds, then ends its programs and itself.
  for (int i = 0; i < 300 && fs::exists(proc); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(fs::exists(proc)) << "the program's runner outlived its terminal";
}

TEST_F(QelHostProcesses, StartRefusesWhatIsNoProgram) {
  std::ofstream(dir() / "fs" / "Windows" / "text.exe") << "just text\n";
  const struct {
    const char* path;
    int status;
    const char* said;
  } cases[] = {
      {"\\Windows\\nosuch.exe", 1, "(error 2)"},
      {"\\Windows\\text.exe", 1, "(error 193)"},
      {"Windows\\pword.exe", 2, "device path"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const HostRun r = Host({"terminal", "start", c.path});
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
  }
}

}  // namespace
