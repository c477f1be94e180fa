#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <thread>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/module.h"
#include "ce/registry.h"
#include "ce/sim/control.h"
#include "ce/system.h"
#include "dead_pid.h"
#include "hardware_state.h"
#include "staging.h"
#include "state_files.h"
#include "temp_dir.h"
#include "terminal.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using ce::sim::Json;
using qeltest::TempDir;

using qeltest::Entries;
using qeltest::Profile;

// A field of a terminal's hardware as that terminal reads it now; null when absent.
nlohmann::json FieldOf(ce::sim::Terminal& terminal, const std::string& path) {
  nlohmann::json out;
  terminal.ReadHardware([&](const nlohmann::json& state) {
    if (const auto* field = ce::sim::FindField(state, path)) out = *field;
  });
  return out;
}

// Runs body in a child process and returns what it wrote to its pipe, so that
// limits and identities set there stay there.
std::string InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const std::string out = body();
    if (::write(fds[1], out.data(), out.size()) < 0) _exit(2);
    _exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  return out;
}

// 2. Processes making one terminal at once take turns; each then uses it.
TEST(TerminalMaking, ConcurrentMakersOfOneTerminalAllSucceed) {
  TempDir temp;
  const fs::path dir = temp.path() / "shared";
  std::vector<pid_t> children;
  for (int i = 0; i < 8; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {
      std::string error;
      const bool ok = ce::sim::CreateTerminal(dir, Profile(), &error, ce::sim::IfTerminalExists::kUse) &&
                      ce::sim::UseTerminal(dir, &error);
      _exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_TRUE(ce::sim::IsTerminal(dir));
  EXPECT_EQ(Entries(temp.path()), 1u);  // the terminal, no staging folder
  std::string error;
  EXPECT_FALSE(ce::sim::CreateTerminal(dir, Profile(), &error));  // kFail: not twice
}

// 3. Leftovers: removed when their owner is gone, kept while it lives.
TEST(TerminalMaking, OrphansAreRemovedOnlyWhenTheirOwnerIsGone) {
  TempDir temp;
  const pid_t dead = qeltest::DeadPid();
  const fs::path orphan = temp.path() / (".t.making." + std::to_string(dead));
  const fs::path mine = temp.path() / (".t.making." + std::to_string(::getppid()));
  const fs::path notStaging = temp.path() / (".t.making.x" + std::to_string(dead));
  const fs::path lookalike = temp.path() / (".u.making." + std::to_string(dead));  // holds someone's notes
  const fs::path unmarked = temp.path() / (".v.making." + std::to_string(dead));   // only terminal names
  for (const auto& p : {orphan, mine, notStaging, lookalike, unmarked}) fs::create_directories(p / "fs");
  auto mark = [](const fs::path& folder, pid_t pid) {
    std::ofstream(folder / ce::sim::kStagingMarker) << "qel terminal staging, maker " << pid << "\n";
  };
  mark(orphan, dead);
  mark(mine, ::getppid());
  mark(lookalike, dead);
  std::ofstream(orphan / "registry.db") << "half";
  std::ofstream(lookalike / "notes.txt") << "mine";
  std::ofstream(unmarked / "fs" / "thesis.txt") << "mine";
  EXPECT_EQ(ce::sim::RemoveOrphanedStaging(temp.path()), 1u);
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_TRUE(fs::exists(mine));
  EXPECT_TRUE(fs::exists(notStaging));
  EXPECT_TRUE(fs::exists(lookalike / "notes.txt"));
  EXPECT_TRUE(fs::exists(unmarked / "fs" / "thesis.txt"));

  qeltest::TestTerminal t;
  const std::string leftover = ".hardware.json." + std::to_string(dead) + ".AAAAAA";
  const std::vector<std::string> kept = {
      ".hardware.json." + std::to_string(::getpid()) + ".AAAAAA",  // a living writer's
      "hardware.json.AAAAAA",
      "hardware.json.backup",
      ".hardware.json.x.AAAAAA",
      ".hardware.json." + std::to_string(dead) + ".AAAAAAA",
  };
  for (const auto& name : kept) std::ofstream(t.dir() / name) << "{";
  std::ofstream(t.dir() / leftover) << "{";
  {
    ce::sim::HostFd lock(::open((t.dir() / "hardware.lock").c_str(), O_RDWR | O_CREAT, 0644));
    ASSERT_EQ(::flock(lock.get(), LOCK_EX), 0);
    EXPECT_EQ(ce::sim::RemoveStaleStateTemps(t.dir()), 0u);  // a writer is at work
  }
  EXPECT_EQ(ce::sim::RemoveStaleStateTemps(t.dir()), 1u);
  EXPECT_FALSE(fs::exists(t.dir() / leftover));
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(t.dir() / name)) << name;
}

// 10. A hardware.json broken by hand: refused when a terminal opens (naming
// the field); a terminal already open keeps its last good state.
TEST(HardwareState, BrokenFileIsRefusedOnOpenAndIgnoredOnReread) {
  qeltest::TestTerminal t;
  std::string error;
  auto open = ce::sim::Terminal::Open(t.dir(), &error);
  ASSERT_NE(open, nullptr) << error;
  const auto good = FieldOf(*open, "memory.total_phys");
  std::ifstream in(t.dir() / "hardware.json");
  Json hw = Json::parse(in);
  hw["memory"]["total_phys"] = -5;
  std::ofstream(t.dir() / "hardware.json", std::ios::trunc) << hw.dump();
  EXPECT_EQ(FieldOf(*open, "memory.total_phys"), good);
  EXPECT_EQ(ce::sim::Terminal::Open(t.dir(), &error), nullptr);
  EXPECT_NE(error.find("\"memory.total_phys\" must be a whole number from 0 to 4294967295"),
            std::string::npos)
      << error;
  EXPECT_NE(error.find("hardware.json"), std::string::npos) << error;
  EXPECT_FALSE(ce::sim::SetHardware("power.battery_life_percent", 10, &error));
  EXPECT_NE(error.find("memory.total_phys"), std::string::npos) << error;
}

// 12. One rule for field names, in profiles and in terminal set values.
TEST(HardwareState, FieldNamesFollowOneRuleEverywhere) {
  const Json base = {{"extra", nullptr}, {"power", {{"battery_life_percent", 50}}}};
  const Json values[] = {Json{{"a.b", 1}}, Json{{"", {{"", 5}}}}, Json{{"ok", {{"x.y", true}}}}};
  for (const Json& v : values) {
    SCOPED_TRACE(v.dump());
    std::string change, profile;
    EXPECT_FALSE(ce::sim::CheckFieldChange(base, "extra", v, &change));
    Json hw = base;
    hw["extra"] = v;
    EXPECT_FALSE(ce::sim::CheckHardware(hw, &profile));
    EXPECT_NE(change.find("no dots"), std::string::npos) << change;
    EXPECT_NE(profile.find("no dots"), std::string::npos) << profile;
  }
  std::string error;
  EXPECT_TRUE(ce::sim::CheckFieldChange(base, "extra", Json{{"fine", {{"name", 1}}}}, &error)) << error;
  // A declared field below the value keeps its rule.
  EXPECT_FALSE(ce::sim::CheckFieldChange(Json{{"extra", nullptr}}, "extra", Json{{"x", "\xff"}}, &error));
  EXPECT_NE(error.find("UTF-8"), std::string::npos) << error;
  EXPECT_TRUE(ce::sim::IsFieldName("a") && !ce::sim::IsFieldName("") && !ce::sim::IsFieldName("a.b"));
}

// 13. Profiles past the documented limits are refused before anything is made.
TEST(TerminalMaking, ProfilesPastTheLimitsAreRefused) {
  TempDir temp;
  struct Case {
    const char* what;
    std::function<void(Json*)> grow;
  } cases[] = {
      {"files",
       [](Json* p) {
         for (size_t i = 0; i <= ce::sim::kMaxProfileEntries; ++i)
           (*p)["files"]["\\f" + std::to_string(i)] = "";
       }},
      {"registry keys",
       [](Json* p) {
         for (size_t i = 0; i <= ce::sim::kMaxProfileRegistryKeys; ++i)
           (*p)["registry"]["HKLM\\K" + std::to_string(i)] = Json::object();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Json p = {{"name", "big"}, {"hardware", Json::object()}};
    c.grow(&p);
    std::string error;
    EXPECT_FALSE(ce::sim::CreateTerminal(temp.path() / "t", p, &error));
    EXPECT_NE(error.find("limit"), std::string::npos) << error;
    EXPECT_EQ(Entries(temp.path()), 0u);
  }
}

// 14. A write that fails says why (here: the file size limit, as a full disk would).
TEST(HardwareState, FailedWritesSayWhy) {
  qeltest::TestTerminal t;
  const fs::path file = t.dir() / "hardware.json";
  const std::string said = InChild([&] {
    const struct ::rlimit small = {512, 512};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    ce::sim::ChangeHardwareFile(file, "power.battery_life_percent", 10, &error);
    return error;
  });
  EXPECT_NE(said.find("hardware.json: cannot be written: File too large"), std::string::npos) << said;
  for (const auto& e : fs::directory_iterator(t.dir()))  // no temporary file left
    EXPECT_EQ(e.path().filename().string().rfind("hardware.json.", 0), std::string::npos) << e.path();

  // A folder where the lock file cannot be made: said so, with the reason.
  ::unlink((t.dir() / "hardware.lock").c_str());
  fs::permissions(t.root(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
  // Root writes in any folder: the child becomes nobody there; others see a read-only folder.
  const fs::perms owner =
      ::geteuid() == 0 ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_exec;
  fs::permissions(t.dir(), owner | fs::perms::others_read | fs::perms::others_exec);
  const std::string locked = InChild([&] {
    if (::geteuid() == 0 && ::setuid(65534) != 0) return std::string("setuid failed");
    std::string error;
    ce::sim::ChangeHardwareFile(file, "power.battery_life_percent", 10, &error);
    return error;
  });
  fs::permissions(t.dir(), fs::perms::owner_all);
  EXPECT_NE(locked.find("hardware.lock: cannot be created: Permission denied"), std::string::npos) << locked;
}

}  // namespace
