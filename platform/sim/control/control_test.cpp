#include "ce/sim/control.h"

#include <gtest/gtest.h>

#include <fcntl.h>
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
#include "ce/system.h"
#include "temp_dir.h"
#include "test_terminal.h"
#include "hardware_state.h"
#include "staging.h"
#include "terminal.h"

namespace {

namespace fs = std::filesystem;
using ce::sim::Json;
using qeltest::TempDir;

Json Profile(const std::string& name = "thor-vm1") { return *ce::sim::BuiltinProfile(name); }

size_t Entries(const fs::path& dir) {
  return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// A field of a terminal's hardware as that terminal reads it now; null when absent.
nlohmann::json FieldOf(ce::sim::Terminal& terminal, const std::string& path) {
  nlohmann::json out;
  terminal.ReadHardware([&](const nlohmann::json& state) {
    if (const auto* field = ce::sim::FindField(state, path)) out = *field;
  });
  return out;
}

TEST(Profiles, DefaultComesFirstAndIsTheThorVm1) {
  const auto names = ce::sim::ProfileNames();
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names.front(), "thor-vm1");
  EXPECT_EQ(ce::sim::DefaultProfileName(), "thor-vm1");
  qeltest::TestTerminal t("thor-vm1");
  char16_t oem[64] = {};
  ASSERT_TRUE(ce::SystemParametersInfoW(SPI_GETOEMINFO, sizeof oem, oem, 0));
  EXPECT_EQ(std::u16string(oem), u"IA32");
  ce::OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_TRUE(ce::GetVersionExW(&v));
  EXPECT_EQ(v.dwMajorVersion, 6u);
  EXPECT_EQ(v.dwMinorVersion, 0u);
  EXPECT_NE(ce::GetFileAttributesW(u"\\WINDOWS\\VM1CEAPI.DLL"), INVALID_FILE_ATTRIBUTES);
}

TEST(Profiles, EveryBuiltInMakesAUsableTerminal) {
  for (const auto& name : ce::sim::ProfileNames()) {
    SCOPED_TRACE(name);
    qeltest::TestTerminal t(name);
    EXPECT_TRUE(ce::sim::IsTerminal(t.dir()));
    const auto hw = ce::sim::ReadHardware(nullptr);
    ASSERT_TRUE(hw);
    EXPECT_TRUE((*hw)["oem_info"].is_string());
    ce::ULARGE_INTEGER avail{};
    EXPECT_TRUE(ce::GetDiskFreeSpaceExW(nullptr, &avail, nullptr, nullptr));
    ce::RegKey ident;
    EXPECT_EQ(ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, KEY_READ, ident.put()), 0);
    ce::UniqueModule lxe(ce::LoadLibraryW(u"\\Windows\\LXEAPI.dll"));  // only the LXE terminal has it
    EXPECT_EQ(lxe.valid(), name == "thor-vm1");
    EXPECT_TRUE(lxe || ce::GetLastError() == ERROR_MOD_NOT_FOUND);
  }
}

TEST(CreateTerminal, BadProfilesLeaveNothingBehind) {
  struct Case {
    const char* what;
    Json profile;
    const char* errorMentions;
  };
  Json noName = Profile();
  noName.erase("name");
  Json badHardware = Profile();
  badHardware["hardware"] = 3;
  Json escapes = Profile();
  escapes["files"]["\\Windows\\..\\..\\evil"] = "x";
  Json badContent = Profile();
  badContent["files"]["\\x.txt"] = 5;
  Json badSeed = Profile();
  badSeed["registry"]["HKEY_NOWHERE\\Key"] = Json::object();
  Json walkingName = Profile();
  walkingName["name"] = "../../elsewhere";
  Json kernelNotGroup = Profile();
  kernelNotGroup["hardware"]["kernel"] = 5;
  Json percentTooBig = Profile();
  percentTooBig["hardware"]["power"]["battery_life_percent"] = 300;
  const Case cases[] = {
      {"not an object", Json::array(), "not a JSON object"},
      {"no name", noName, "name"},
      {"hardware not an object", badHardware, "hardware"},
      {"path leaves the root", escapes, "evil"},
      {"file content not text", badContent, "x.txt"},
      {"registry root unknown", badSeed, "HKEY_NOWHERE"},
      {"name walks out of its folder", walkingName, "plain name"},
      {"kernel not a group", kernelNotGroup, "\"kernel\" must be a group"},
      {"byte field out of range", percentTooBig, "power.battery_life_percent"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    std::string error;
    EXPECT_FALSE(ce::sim::CreateTerminal(tmp / "t", c.profile, &error));
    EXPECT_NE(error.find(c.errorMentions), std::string::npos) << error;
    EXPECT_EQ(Entries(tmp.path()), 0u) << "left behind in " << tmp.path();
  }
}

TEST(CreateTerminal, RefusesAFolderInUse) {
  TempDir tmp;
  fs::create_directories(tmp / "t");
  std::ofstream(tmp / "t" / "keep.txt") << "mine";
  std::string error;
  EXPECT_FALSE(ce::sim::CreateTerminal(tmp / "t", Profile(), &error));
  EXPECT_NE(error.find("not an empty folder"), std::string::npos);
  EXPECT_TRUE(fs::exists(tmp / "t" / "keep.txt"));
  EXPECT_FALSE(ce::sim::UseTerminal(tmp / "t", &error));
  EXPECT_NE(error.find("not a terminal"), std::string::npos);
}

TEST(LoadProfile, NamesTheFileAndTheFault) {
  TempDir tmp;
  std::ofstream(tmp / "broken.json") << "{ \"name\": ";
  std::ofstream(tmp / "nohw.json") << R"({"name": "x"})";
  struct Case {
    std::string arg;
    std::string mentions;
  };
  const Case cases[] = {
      {(tmp / "broken.json").string(), "broken.json: not valid JSON"},
      {(tmp / "nohw.json").string(), "nohw.json: \"hardware\""},
      {(tmp / "absent.json").string(), "absent.json: no such profile file"},
      {"no-such-profile", "thor-vm1"},  // lists the built-in names
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ce::sim::LoadProfile(c.arg, &error));
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
  EXPECT_TRUE(ce::sim::LoadProfile("falcon-x3", nullptr));
}

TEST(Hardware, SetKeepsTypesAndIsSeenByAnotherOpener) {
  qeltest::TestTerminal t("thor-vm1");
  std::string error;
  auto other = ce::sim::Terminal::Open(t.dir(), &error);  // as another process would see it
  ASSERT_TRUE(other) << error;
  EXPECT_EQ(FieldOf(*other, "power.battery_life_percent"), 100);

  ASSERT_TRUE(ce::sim::SetHardware("power.battery_life_percent", 255, &error)) << error;
  EXPECT_EQ(FieldOf(*other, "power.battery_life_percent"), 255);

  struct Bad {
    const char* key;
    Json value;
    const char* mentions;
  };
  const Bad bad[] = {
      {"power.no_such_field", 1, "no field"},
      {"power.battery_life_percent", "full", "0 to 255"},
      {"power.battery_life_percent", 256, "0 to 255"},
      {"power.battery_life_percent", -1, "0 to 255"},
      {"power.battery_life_percent", 3.7, "0 to 255"},
      {"memory.total_phys", 4294967296u, "0 to 4294967295"},
      {"oem_info", 5, "a text"},
      {"oem_info", "\xff\xfe", "UTF-8"},
      {"kernel.named_events", Json::array({1}), "list of texts"},
      {"power", Json::object(), "group of fields"},
      {"storage.mounted.99999999999999999999", "x", "no field"},
      {"power..x", 1, "not a dotted key"},
      {"", 1, "not a dotted key"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.key);
    EXPECT_FALSE(ce::sim::SetHardware(b.key, b.value, &error));
    EXPECT_NE(error.find(b.mentions), std::string::npos) << error;
  }
  EXPECT_EQ(FieldOf(*other, "power.battery_life_percent"), 255);
}

// Without a terminal every family of calls fails as on a device not ready.
TEST(Hardware, ConcurrentWritersLoseNoUpdate) {
  qeltest::TestTerminal t("thor-vm1");
  auto writer = [](const char* key) {
    for (uint32_t i = 1; i <= 25; ++i) {
      std::string error;
      ASSERT_TRUE(ce::sim::SetHardware(key, i, &error)) << error;
    }
  };
  auto other = ce::sim::Terminal::Open(t.dir(), nullptr);  // a second opener writes too, as another process
  std::thread a(writer, "memory.memory_load");
  std::thread b([&] {
    for (uint32_t i = 1; i <= 25; ++i) ASSERT_TRUE(other->set_hardware("power.battery_voltage", 1000 + i, nullptr));
  });
  a.join();
  b.join();
  EXPECT_EQ(FieldOf(*other, "memory.memory_load"), 25);
  EXPECT_EQ(FieldOf(*other, "power.battery_voltage"), 1025);
  for (const auto& e : fs::directory_iterator(t.dir()))
    EXPECT_EQ(e.path().filename().string().find("hardware.json."), std::string::npos) << e.path();  // no temp left
}

TEST(Hardware, ABrokenRegistryIsReportedWhenTheTerminalOpens) {
  qeltest::TestTerminal t("thor-vm1");
  ce::sim::CloseTerminal();
  std::ofstream(t.dir() / "registry.db", std::ios::trunc) << "this is not a database, not even close to one";
  std::string error;
  EXPECT_FALSE(ce::sim::UseTerminal(t.dir(), &error));
  EXPECT_NE(error.find("registry.db"), std::string::npos) << error;
  fs::remove(t.dir() / "registry.db");
  EXPECT_FALSE(ce::sim::UseTerminal(t.dir(), &error));  // a lost registry is not quietly made anew
  EXPECT_NE(error.find("not a terminal"), std::string::npos) << error;
}

TEST(Hardware, NoTerminalMeansNotReady) {
  qeltest::NoTerminal none;
  EXPECT_FALSE(ce::sim::ReadHardware(nullptr));
  ce::ULARGE_INTEGER avail{};
  EXPECT_FALSE(ce::GetDiskFreeSpaceExW(nullptr, &avail, nullptr, nullptr));
  EXPECT_EQ(ce::GetLastError(), ERROR_NOT_READY);
  EXPECT_EQ(ce::GetFileAttributesW(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ce::GetLastError(), ERROR_NOT_READY);
  EXPECT_EQ(ce::CreateFileW(u"\\x", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ce::GetLastError(), ERROR_NOT_READY);
  ce::RegKey key;
  EXPECT_EQ(ce::RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, key.put()), ERROR_NOT_READY);
  EXPECT_EQ(ce::RegCreateKeyExW(HKEY_USERS, u"X", 0, nullptr, 0, 0, nullptr, key.put(), nullptr),
            ERROR_NOT_READY);
  ce::MEMORYSTATUS m{};
  ce::GlobalMemoryStatus(&m);
  EXPECT_EQ(m.dwTotalPhys, 0u);
}

TEST(Hardware, EnvironmentNamesTheTerminalWhenNoneIsChosen) {
  TempDir tmp;
  ASSERT_TRUE(ce::sim::CreateTerminal(tmp / "t", Profile("omnii-xt10"), nullptr));
  qeltest::NoTerminal none;
  ::setenv(ce::sim::kTerminalEnv, (tmp / "t").c_str(), 1);
  char16_t oem[64] = {};
  EXPECT_TRUE(ce::SystemParametersInfoW(SPI_GETOEMINFO, sizeof oem, oem, 0));
  EXPECT_EQ(std::u16string(oem), u"Psion 7545XA");
}

TEST(SystemInfo, BuffersAndVolumes) {
  qeltest::TestTerminal t("thor-vm1");
  char16_t small[4] = {};
  EXPECT_FALSE(ce::SystemParametersInfoW(SPI_GETOEMINFO, sizeof small, small, 0));
  EXPECT_EQ(ce::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(ce::SystemParametersInfoW(12345, 0, nullptr, 0));

  ce::ULARGE_INTEGER root{}, system{}, total{};
  ASSERT_TRUE(ce::GetDiskFreeSpaceExW(u"\\", &root, &total, nullptr));
  ASSERT_TRUE(ce::GetDiskFreeSpaceExW(u"\\system\\", &system, nullptr, nullptr));
  EXPECT_NE(root.QuadPart, system.QuadPart);  // a mounted store reports itself
  EXPECT_LE(root.QuadPart, total.QuadPart);
  EXPECT_FALSE(ce::GetDiskFreeSpaceExW(u"\\No Such Folder", &root, nullptr, nullptr));
  EXPECT_EQ(ce::GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(Modules, ExportsAndCounts) {
  qeltest::TestTerminal t("thor-vm1");
  ce::HMODULE a = ce::LoadLibraryW(u"lxeapi");
  ce::HMODULE b = ce::LoadLibraryW(u"\\Windows\\LXEAPI.DLL");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(ce::GetProcAddressW(a, u"NoSuchExport"), nullptr);
  EXPECT_EQ(ce::GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(ce::FreeLibrary(a));
  EXPECT_TRUE(ce::FreeLibrary(b));
  EXPECT_FALSE(ce::FreeLibrary(b));  // loads balanced: a third free is an error
  EXPECT_EQ(ce::LoadLibraryW(nullptr), nullptr);
}

// ---- Hardening (issue 6) ----------------------------------------------------

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
  const pid_t dead = ::fork();
  if (dead == 0) _exit(0);
  ::waitpid(dead, nullptr, 0);
  const fs::path orphan = temp.path() / (".t.making." + std::to_string(dead));
  const fs::path mine = temp.path() / (".t.making." + std::to_string(::getppid()));
  const fs::path notStaging = temp.path() / (".t.making.x" + std::to_string(dead));
  const fs::path lookalike = temp.path() / (".u.making." + std::to_string(dead));  // holds someone's notes
  for (const auto& p : {orphan, mine, notStaging, lookalike}) fs::create_directories(p / "fs");
  std::ofstream(orphan / "registry.db") << "half";
  std::ofstream(lookalike / "notes.txt") << "mine";
  EXPECT_EQ(ce::sim::RemoveOrphanedStaging(temp.path()), 1u);
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_TRUE(fs::exists(mine));
  EXPECT_TRUE(fs::exists(notStaging));
  EXPECT_TRUE(fs::exists(lookalike / "notes.txt"));

  qeltest::TestTerminal t;
  std::ofstream(t.dir() / "hardware.json.AAAAAA") << "{";
  std::ofstream(t.dir() / "hardware.json.toolong1") << "{";  // not a temporary file's name
  {
    ce::sim::HostFd lock(::open((t.dir() / "hardware.lock").c_str(), O_RDWR | O_CREAT, 0644));
    ASSERT_EQ(::flock(lock.get(), LOCK_EX), 0);
    EXPECT_EQ(ce::sim::RemoveStaleHardwareTemps(t.dir()), 0u);  // a writer is at work
  }
  EXPECT_EQ(ce::sim::RemoveStaleHardwareTemps(t.dir()), 1u);
  EXPECT_FALSE(fs::exists(t.dir() / "hardware.json.AAAAAA"));
  EXPECT_TRUE(fs::exists(t.dir() / "hardware.json.toolong1"));
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
  EXPECT_NE(error.find("\"memory.total_phys\" must be a whole number from 0 to 4294967295"), std::string::npos) << error;
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
      {"files", [](Json* p) {
         for (size_t i = 0; i <= ce::sim::kMaxProfileEntries; ++i) (*p)["files"]["\\f" + std::to_string(i)] = "";
       }},
      {"registry keys", [](Json* p) {
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
  const fs::perms owner = ::geteuid() == 0 ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_exec;
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
