#include "ce/sim/control.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/module.h"
#include "ce/registry.h"
#include "ce/system.h"
#include "temp_dir.h"
#include "test_terminal.h"
#include "hardware_state.h"
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
    ce::UniqueModule lxe(ce::LoadLibraryW(u"\\Windows\\LXEAPI.dll"));  // only the LXE terminals have it
    EXPECT_EQ(lxe.valid(), name == "thor-vm1" || name == "lxe-mx7");
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

}  // namespace
