// End to end: the real qelhost and the real module, each run on a fresh
// terminal, and the module's export table as the dynamic linker sees it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "ce/text.h"
#include "expected_properties.h"
#include "host_run.h"
#include "plugin_host.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using qeltest::CountOf;
using qeltest::HostRun;
using qeltest::RunHost;

// A terminal for qelhost to run on, and a shorthand for --terminal it.
class QelHost : public ::testing::Test {
 protected:
  HostRun Host(std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return RunHost(args, terminal.root());
  }
  static json Parse(const HostRun& r) {
    json j = json::parse(r.out, nullptr, false);
    if (j.is_discarded()) ADD_FAILURE() << "not JSON: " << r.out;
    return j;
  }

  qeltest::TestTerminal terminal;
};

TEST_F(QelHost, PropsListsAllSixtyEightInRegistrationOrder) {
  const HostRun r = Host({"props", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json all = Parse(r);
  ASSERT_TRUE(all.is_array());
  ASSERT_EQ(all.size(), qeltest::kExpectedProperties.size());

  std::map<std::string, json> byName;
  for (size_t i = 0; i < all.size(); ++i) {
    const json& p = all[i];
    SCOPED_TRACE(p.dump());
    EXPECT_EQ(p.value("name", ""), qeltest::kExpectedProperties[i].name) << "entry " << i;
    ASSERT_TRUE(p.contains("ok") && p["ok"].is_boolean());
    std::set<std::string> keys;
    for (const auto& [k, v] : p.items()) keys.insert(k);
    if (p["ok"].get<bool>()) {
      EXPECT_EQ(keys, (std::set<std::string>{"name", "ok", "kind", "text"}));
      EXPECT_TRUE(p["kind"].is_string() && p["text"].is_string());
    } else {
      EXPECT_EQ(keys, (std::set<std::string>{"name", "ok"}));
    }
    byName[p.value("name", "")] = p;
  }
  // What the default terminal's profile reports, one of each kind the host renders.
  const std::pair<const char*, json> known[] = {
      {"POWER_BATTERY_LEVEL", {{"kind", "UInt32"}, {"text", "100"}}},
      {"POWER_BATTERY_LIFETIME", {{"kind", "String"}, {"text", "?"}}},
      {"SYS_DISK_FREE_SPACE", {{"kind", "UInt64"}, {"text", "201326592"}}},
  };
  for (const auto& [name, want] : known) {
    const json& got = byName[name];
    EXPECT_EQ(got.value("ok", false), true) << name;
    EXPECT_EQ(got.value("kind", ""), want["kind"]) << name;
    EXPECT_EQ(got.value("text", ""), want["text"]) << name;
  }
}

TEST_F(QelHost, TerminalSetIsSeenByShowAndByTheModule) {
  ASSERT_EQ(Host({"terminal", "set", "power.battery_life_percent", "255"}).status, 0);
  const HostRun show = Host({"terminal", "show", "--json"});
  ASSERT_EQ(show.status, 0) << show.err;
  const json hw = Parse(show);
  EXPECT_EQ(hw["power"]["battery_life_percent"], 255);
  EXPECT_EQ(hw["display"]["supported_orientations"], 7);
  const HostRun r = Host({"prop", "get", "POWER_BATTERY_LEVEL", "--json"});  // 255: the driver does not know
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Parse(r),
            (json{{"name", "POWER_BATTERY_LEVEL"}, {"ok", true}, {"kind", "String"}, {"text", "?"}}));
}

TEST_F(QelHost, ServicesAreListedInRegistrationOrder) {
  const HostRun r = Host({"services", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Parse(r), json::parse(R"([
      {"iid": "{03B9D283-38E7-46BE-8A3F-F31F6DA1764B}", "name": "IID_QELHALEVENTHANDLER"},
      {"iid": "{782527C7-2F54-450D-90D9-714AB013D46E}", "name": "IID_QELAUDIOSERVICE"},
      {"iid": "{DAC1824C-ACB6-4CA1-BC47-D96A1E2F8766}", "name": "IID_QELKEYBOARDSERVICE"},
      {"iid": "{F1631E15-DDCA-4910-B220-78EBAD68671C}", "name": "IID_QELWAKEUPSERVICE"},
      {"iid": "{9E7FF393-7E7E-4AB5-B071-328A198CD551}", "name": "IID_QELPOWEREVENTSERVICE"},
      {"iid": "{B1A9E70F-C876-49B0-B2DF-652D104F4C44}", "name": "IID_QELBACKLIGHTSERVICE"},
      {"iid": "{8BA03742-1F65-45DA-8AF2-AD19559A3EE2}", "name": "IID_QELCRADLESERVICE"},
      {"iid": "{EBF4025B-D3EC-436D-8897-F2459600C82A}", "name": "IID_QELLEDSERVICE"},
      {"iid": "{C881164D-BADD-47BE-A0DE-DCF2B0DA44D0}", "name": "IID_QELBATTERYSERVICE"},
      {"iid": "{5141A1E6-73B2-429E-8EA3-6B4A2D5907E1}", "name": "IID_QELWLANSERVICE"},
      {"iid": "{9D70AA81-E389-4C9A-929A-0AA9E4F00703}", "name": "IID_QELTERMINALSERVICE"},
      {"iid": "{52ED0073-98DE-43DD-A729-74BD01AB81CC}", "name": "IID_QELDISPLAYSERVICE"}])"));
}

TEST_F(QelHost, ExitStatusSaysWhatWentWrong) {
  const fs::path root = terminal.root(), junk = root / "junk", broken = root / "broken.json";
  fs::create_directory(junk);
  std::ofstream(junk / "notes.txt") << "keep me";
  std::ofstream(broken) << "{\"name\": \"x\", ";
  // Readable, but a file it asks for would land outside the terminal.
  std::ofstream(root / "escape.json")
      << R"({"name": "x", "hardware": {}, "files": {"\\..\\..\\outside.txt": "x"}})";
  const std::string made = (root / "made").string();

  struct Case {
    std::vector<std::string> args;  // without --terminal when it starts with it
    int status;
    std::string inError;  // text the error output must contain
  };
  const Case cases[] = {
      {{"prop", "get", "SYS_DROP_COUNT"}, 0, ""},
      {{"prop", "get", "SYS_DEVICE_DATE"}, 1, ""},
      {{"prop", "get", "NO_SUCH_PROPERTY"}, 2, "NO_SUCH_PROPERTY"},
      {{"prop", "set", "SYS_DROP_COUNT", "1"}, 2, "read-only"},
      {{"prop", "set", "SYS_ID_NAME", "x", "--kind", "Wibble"}, 2, "Wibble"},
      {{"prop", "set", "SYS_ID_NAME", "12abc", "--kind", "UInt32"}, 2, "12abc"},
      {{"prop", "set", "SYS_ID_NAME", "4294967296", "--kind", "UInt32"}, 2, "UInt32"},
      {{"prop", "set", "SYS_ID_NAME", "-1", "--kind", "UInt64"}, 2, "UInt64"},
      {{"prop", "set", "SYS_ID_NAME", "1.5x", "--kind", "Double"}, 2, "Double"},
      {{"prop", "set", "SYS_ID_NAME", " 42 ", "--kind", "UInt32"}, 0, ""},  // well formed: stored as its text
      {{"prop", "get"}, 2, ""},
      {{"frobnicate"}, 2, ""},
      {{}, 2, ""},
      {{"props", "--no-such-option"}, 2, ""},
      {{"terminal", "set", "power.battery_life_percent", "50"}, 0, ""},
      {{"terminal", "set", "power.no_such_field", "1"}, 2, "power.no_such_field"},
      {{"terminal", "set", "power.battery_life_percent", "abc"}, 2, "power.battery_life_percent"},
      {{"terminal", "set", "power.battery_life_percent", "\"50\""}, 2, "power.battery_life_percent"},
      {{"--terminal", junk.string(), "props"}, 2, junk.string()},
      {{"--terminal", made, "--profile", "no-such-profile", "props"}, 2, "no-such-profile"},
      {{"--terminal", made, "--profile", broken.string(), "props"}, 2, broken.string()},
      {{"--terminal", made, "--profile", (root / "escape.json").string(), "props"}, 2, "outside.txt"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const HostRun r = !c.args.empty() && c.args[0] == "--terminal" ? RunHost(c.args, root) : Host(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.inError), std::string::npos) << r.err;
  }
  EXPECT_EQ(qeltest::Contents(junk / "notes.txt"), "keep me");
  EXPECT_EQ(terminal.Hardware("power.battery_life_percent"), 50);  // the refused sets changed nothing
  // A refused profile leaves no terminal, nor part of one, behind.
  EXPECT_FALSE(fs::exists(root / "outside.txt"));
  for (const auto& e : fs::directory_iterator(root))
    EXPECT_EQ(e.path().filename().string().find("made"), std::string::npos) << e.path();
}

// Packages and scripts are regular files: anything else in their place is
// refused with a message, without waiting on it and without leaving a copy.
TEST_F(QelHost, InstallAndScriptReadOnlyRegularFiles) {
  const fs::path root = terminal.root(), folder = root / "folder", fifo = root / "fifo";
  fs::create_directory(folder);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string verb, file, inError;
  } cases[] = {
      {"install", folder.string(), "is a folder"},
      {"install", "/dev/null", "not a regular file"},
      {"install", fifo.string(), "not a regular file"},
      {"install", (root / "none.cab").string(), "no such file"},
      {"script", folder.string(), "is a folder"},
      {"script", "/dev/null", "not a regular file"},
      {"script", fifo.string(), "not a regular file"},
      {"script", (root / "none.txt").string(), "no such file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.verb + " " + c.file);
    // A run that waits on the FIFO is ended, and fails, rather than hanging the test.
    const HostRun r =
        RunHost({"--terminal", terminal.dir().string(), c.verb, c.file}, root, {.prefix = "timeout 20 "});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(c.file + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.inError), std::string::npos) << r.err;
  }
  EXPECT_TRUE(!fs::exists(terminal.dir() / "fs" / "Temp") || fs::is_empty(terminal.dir() / "fs" / "Temp"));
}

// A file no handler takes changes nothing on the terminal, and a package of
// this machine never writes over a file of the terminal: it is staged in a
// folder of its own, removed afterwards, so that concurrent installs of one
// name do not meet.
TEST_F(QelHost, InstallStagesAPackageWithoutTouchingTheTerminalsFiles) {
  const fs::path temp = terminal.dir() / "fs" / "Temp", root = terminal.root();
  fs::create_directories(temp);
  std::ofstream(temp / "notes.txt") << "the terminal's own notes";
  std::ofstream(root / "notes.txt") << "not a cabinet";
  HostRun r = Host({"install", (root / "notes.txt").string()});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("no file handler for notes.txt"), std::string::npos) << r.err;
  EXPECT_EQ(qeltest::Contents(temp / "notes.txt"), "the terminal's own notes");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);

  // A cabinet of this machine beside a file of its name on the terminal.
  const fs::path work = root / "cab";
  fs::create_directories(work);
  std::ofstream(work / "app.txt") << "installed";
  ASSERT_EQ(std::system(("cd '" + work.string() + "' && gcab -c -z app.cab app.txt").c_str()), 0);
  std::ofstream(temp / "app.cab") << "the terminal's own app.cab";
  r = Host({"install", (work / "app.cab").string()});
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_EQ(qeltest::Contents(terminal.dir() / "fs" / "Program Files" / "app" / "app.txt"), "installed");
  EXPECT_EQ(qeltest::Contents(temp / "app.cab"), "the terminal's own app.cab");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 2)
      << "no staging folder is left";

  // Eight installs of one name at once all succeed.
  std::vector<std::thread> installs;
  std::atomic<int> failed{0};
  for (int i = 0; i < 8; ++i)
    installs.emplace_back([&] {
      const HostRun c = Host({"install", (work / "app.cab").string()});
      if (c.status != 0) {
        ++failed;
        ADD_FAILURE() << c.err << c.out;
      }
    });
  for (auto& t : installs) t.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(qeltest::Contents(terminal.dir() / "fs" / "Program Files" / "app" / "app.txt"), "installed");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 2);
  for (const auto& e : fs::directory_iterator(terminal.dir() / "fs" / "Program Files"))
    EXPECT_FALSE(e.path().filename().string().starts_with("~wceload")) << "a staging folder is left";
}

// A copy that fails says why.
TEST_F(QelHost, InstallSaysWhyTheCopyFailed) {
  const fs::path root = terminal.root();
  ASSERT_EQ(Host({"props"}).status, 0);
  fs::remove_all(terminal.dir() / "fs" / "Temp");
  std::ofstream(terminal.dir() / "fs" / "Temp") << "a file where the folder goes";
  std::ofstream(root / "app.cab") << "MSCF";
  const HostRun r = Host({"install", (root / "app.cab").string()});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("\\Temp on the terminal is a file, not a folder"), std::string::npos) << r.err;
}

// Shell completion leaves a slash at the end of a folder's name.
TEST_F(QelHost, ANewTerminalFolderMayEndInASlash) {
  const fs::path fresh = terminal.root() / "fresh";
  const HostRun r =
      RunHost({"--terminal", fresh.string() + "/", "prop", "get", "SYS_DROP_COUNT"}, terminal.root());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ce::sim::IsTerminal(fresh));
}

// Runs a following verb in the background; Ready waits until it listens.
class Background {
 public:
  Background(std::vector<std::string> args, fs::path scratch, qeltest::HostOptions options = {})
      : scratch_(std::move(scratch)) {
    fs::create_directories(scratch_);
    thread_ = std::thread([this, args, options] { run_ = RunHost(args, scratch_, options); });
  }
  bool Ready() {
    for (int i = 0; i < 1000; ++i) {
      if (qeltest::Contents(scratch_ / "stderr").find("qelhost: ") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  HostRun Finish() {
    thread_.join();
    return run_;
  }

 private:
  fs::path scratch_;
  HostRun run_;
  std::thread thread_;
};

TEST_F(QelHost, EventsPrintsWhatAnotherProcessMakesTheTerminalDeliver) {
  Background events({"--terminal", terminal.dir().string(), "events", "--count", "5", "--seconds", "30"},
                    terminal.root() / "events");
  ASSERT_TRUE(events.Ready());
  for (const char* which : {"suspend", "resume", "power-status"}) {
    const HostRun r = Host({"terminal", which});
    EXPECT_EQ(r.status, 0) << which << ": " << r.err;
  }
  const HostRun r = events.Finish();
  ASSERT_EQ(r.status, 0) << r.err;
  // Each service keeps its order; the wake-up comes on a channel of its own,
  // so where it falls among the power events is not fixed.
  std::string power, wakeup;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    (line.find("\"wakeup\"") != std::string::npos ? wakeup : power) += line + "\n";
  EXPECT_EQ(power,
            "{\"service\":\"power\",\"event\":\"OnSuspend\"}\n"
            "{\"service\":\"power\",\"event\":\"OnResume\"}\n"
            "{\"service\":\"power\",\"event\":\"OnPowerOn\"}\n"
            "{\"service\":\"power\",\"event\":\"OnPowerStatusChange\"}\n")
      << r.out;
  EXPECT_EQ(wakeup, "{\"service\":\"wakeup\",\"event\":\"OnWakeUp\"}\n") << r.out;
}

TEST_F(QelHost, WatchPrintsChangesOfATerminalFolder) {
  fs::create_directories(terminal.dir() / "fs" / "Temp" / "Sub");
  Background watch(
      {"--terminal", terminal.dir().string(), "watch", "docs", "\\Temp\\", "--count", "1", "--seconds", "30"},
      terminal.root() / "watch");
  ASSERT_TRUE(watch.Ready());
  fs::create_directory(terminal.dir() / "fs" / "Temp" / "Sub" / "New");
  const HostRun r = watch.Finish();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"watch\":\"FS:docs\",\"event\":\"changed\"}\n");

  // The message names the folder the module tried: the part before the last backslash.
  const struct {
    const char* path;
    const char* says;
  } missing[] = {
      {"\\Nowhere\\file.txt", "its folder '\\Nowhere' does not exist"},
      {"\\Temp", "the part before the last backslash, and that is empty"},
  };
  for (const auto& m : missing) {
    const HostRun r = Host({"watch", "docs", m.path, "--count", "1"});
    EXPECT_EQ(r.status, 1) << m.path;
    EXPECT_NE(r.err.find(std::string("cannot watch '") + m.path + "'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(m.says), std::string::npos) << r.err;
  }
  // After the refusal come UnRegister and the release of the module's
  // objects: none of it may start a thread of the module.
  const HostRun traced = Host({"--trace", "watch", "docs", "\\Nowhere\\", "--count", "1"});
  const size_t refused = traced.err.find("qelhost: cannot watch");
  ASSERT_NE(refused, std::string::npos) << traced.err;
  EXPECT_EQ(traced.err.find("CreateThread", refused), std::string::npos) << traced.err;
}

// A binary value comes back as the bytes the registry holds: "abc" written as
// "B" is its UTF-16 characters and one zero, eight bytes.
TEST_F(QelHost, ABinaryRegistryValueReadsBackAsItsBytes) {
  ASSERT_EQ(Host({"run", "PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Bin v abc B"}).status, 0);
  const HostRun r = Host({"run", "PXS R %REG HKEY_LOCAL_MACHINE\\Software\\Bin v $v $t", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json out = Parse(r);
  EXPECT_EQ(out["variables"]["v"], json({{"bytes", "6100620063000000"}})) << r.out;
  EXPECT_EQ(out["variables"]["t"], "B") << r.out;
}

TEST_F(QelHost, BoundsAreWholeCountsAndFiniteSeconds) {
  const struct {
    const char* option;
    const char* value;
  } bad[] = {
      {"--count", "0"},       {"--count", "-3"},   {"--count", "1.5"},   {"--count", "x"},
      {"--seconds", "0"},     {"--seconds", "-1"}, {"--seconds", "nan"}, {"--seconds", "inf"},
      {"--seconds", "1e999"}, {"--seconds", " 2"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(std::string(b.option) + " " + b.value);
    for (const char* verb : {"events", "watch"}) {
      std::vector<std::string> args{verb};
      if (std::string(verb) == "watch") args.insert(args.end(), {"docs", "\\Windows\\"});
      args.insert(args.end(), {b.option, b.value});
      args.insert(args.begin(), {"--terminal", terminal.dir().string()});
      // A bound taken wrongly would run on; ended, the run fails rather than hangs.
      const HostRun r = RunHost(args, terminal.root(), {.prefix = "timeout 20 "});
      EXPECT_EQ(r.status, 2) << verb << ": " << r.err;
      EXPECT_NE(r.err.find(b.option), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(std::string(b.option) == "--count" ? "whole number" : "number of seconds above 0"),
                std::string::npos)
          << r.err;
      EXPECT_LT(r.err.size(), 400u) << r.err;
    }
  }
}

// A following verb ends at its first failed write, with the reason of that write.
TEST_F(QelHost, FollowingEndsAtTheFirstFailedWrite) {
  const struct {
    const char* to;
    const char* reason;
  } outputs[] = {{"/dev/full", "No space left on device"}, {"&-", "Bad file descriptor"}};
  for (const auto& o : outputs) {
    SCOPED_TRACE(o.to);
    const fs::path scratch = terminal.root() / "events";
    fs::remove_all(scratch);
    Background events({"--terminal", terminal.dir().string(), "events", "--seconds", "60"}, scratch,
                      {.stdoutTo = o.to});
    ASSERT_TRUE(events.Ready());
    EXPECT_EQ(Host({"terminal", "suspend"}).status, 0);
    const auto start = std::chrono::steady_clock::now();
    const HostRun r = events.Finish();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30))
        << "ran on after the failure";
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find(std::string("the output could not be written: ") + o.reason), std::string::npos)
        << r.err;
    EXPECT_EQ(CountOf(r.err, "could not be written"), 1u) << r.err;
  }
}

// A watch belongs to the folder it was opened on: deleting that folder ends
// it, and qelhost says so rather than follow a folder it no longer sees.
TEST_F(QelHost, WatchEndsWithAnErrorWhenItsFolderIsDeleted) {
  const fs::path temp = terminal.dir() / "fs" / "Temp";
  fs::create_directories(temp);
  Background watch({"--terminal", terminal.dir().string(), "watch", "w1", "\\Temp\\", "--seconds", "60"},
                   terminal.root() / "watch");
  ASSERT_TRUE(watch.Ready());
  const auto start = std::chrono::steady_clock::now();
  fs::remove_all(temp);
  fs::create_directory(temp);
  std::ofstream(temp / "b") << "b\n";
  const HostRun r = watch.Finish();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30))
      << "ran on after the deletion";
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("the folder '\\Temp' was deleted"), std::string::npos) << r.err;
}

// Every name the module defines for the dynamic linker, with nm's type letter:
// the six entry points, each a global function (T), and nothing else.
TEST(ModuleFile, ExportsExactlyTheSixEntryPoints) {
  FILE* nm = popen(("nm -D --defined-only '" + std::string(QEL_MODULE_PATH) + "'").c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::map<std::string, char> symbols;
  char address[32], type, name[256];
  while (std::fscanf(nm, "%31s %c %255s", address, &type, name) == 3) symbols[name] = type;
  ASSERT_EQ(pclose(nm), 0);
  EXPECT_EQ(symbols, (std::map<std::string, char>{{"GetESN", 'T'},
                                                  {"GetQELPlatform", 'T'},
                                                  {"GetUSN", 'T'},
                                                  {"Register", 'T'},
                                                  {"RegisterService", 'T'},
                                                  {"UnRegister", 'T'}}));
}

}  // namespace

namespace {

// The trace shows the module's calls, with text as text and the failure's
// error, and nothing of what qelhost itself asks of the system.
TEST_F(QelHost, TraceShowsTheModulesCallsOnly) {
  const struct {
    std::vector<std::string> args;
    std::string expected;  // a whole line of stderr
  } cases[] = {
      {{"--trace", "prop", "get", "QEL_REMOTE_SESSION"},
       "ce: OpenEventW(0x1F0003, 0, u\"QEL4 BigBrother\") -> NULL, last error 2"},
      {{"prop", "get", "SYS_DISK_FREE_SPACE", "--trace"}, "ce: GetDiskFreeSpaceExW(NULL, 0x"},
  };
  for (const auto& c : cases) {
    const HostRun r = Host(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.err);
    std::vector<std::string> traced;
    for (std::string line; std::getline(lines, line);) traced.push_back(line);
    EXPECT_TRUE(std::any_of(traced.begin(), traced.end(), [&](const std::string& l) {
      return l.rfind(c.expected, 0) == 0;
    })) << r.err;
    // qelhost converts every property name and value it prints; none of that
    // is the module's, which converts only the names of its five threads
    // (with the audio service's beeper and output, and the keyboard service's).
    EXPECT_EQ(std::count_if(
                  traced.begin(), traced.end(),
                  [](const std::string& l) { return l.find("WideCharToMultiByte") != std::string::npos; }),
              5)
        << r.err;
  }
  // Without the flag or the variable nothing is traced.
  const HostRun quiet = Host({"prop", "get", "QEL_REMOTE_SESSION"});
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
