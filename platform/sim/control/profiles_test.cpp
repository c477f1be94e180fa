// Built-in profiles and the terminals made from them.
#include <gtest/gtest.h>

#include <fstream>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/module.h"
#include "ce/registry.h"
#include "ce/sim/control.h"
#include "ce/system.h"
#include "temp_dir.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using ce::sim::Json;
using qeltest::TempDir;

using qeltest::Entries;
using qeltest::Profile;

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
  Json twelveBitSound = Profile();
  twelveBitSound["sounds"]["\\Windows\\x.wav"] = {{"rate", 22050}, {"bits", 12}, {"tones", {{440, 100}}}};
  Json longSound = Profile();
  longSound["sounds"]["\\Windows\\x.wav"] = {
      {"rate", 8000}, {"bits", 8}, {"tones", {{440, 6000}, {0, 5000}}}};
  Json shrillSound = Profile();
  shrillSound["sounds"]["\\Windows\\x.wav"] = {{"rate", 8000}, {"bits", 8}, {"tones", {{20001, 10}}}};
  Json escapingSound = Profile();
  escapingSound["sounds"]["\\..\\outside.wav"] = {{"rate", 8000}, {"bits", 8}, {"tones", {{440, 10}}}};
  const Case cases[] = {
      {"not an object", Json::array(), "not a JSON object"},
      {"sound of 12 bits", twelveBitSound, "\"bits\" must be 8 or 16"},
      {"sound too long", longSound, "11000 ms"},
      {"tone too high", shrillSound, "20001"},
      {"sound outside the root", escapingSound, "outside.wav"},
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

}  // namespace
