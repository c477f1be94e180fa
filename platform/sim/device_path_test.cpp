#include "device_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ce/error.h"
#include "ce/files.h"

namespace ce::sim {
namespace {

namespace fs = std::filesystem;

class DevicePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/qel_devpath_XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    dir_ = templ;
    root_ = dir_ / "fs";
    fs::create_directories(root_ / "Windows");
    fs::create_directories(root_ / "My Documents");
    fs::create_directories(root_ / "etc");
    fs::create_directories(dir_ / "outside");
    Touch(root_ / "Windows" / "Wceload.exe");
    Touch(root_ / "My Documents" / "\xC3\x84-Datei.txt");  // Ä-Datei.txt
    Touch(root_ / "readme.txt");
    Touch(root_ / "README.TXT");
    Touch(dir_ / "outside" / "secret.txt");
    fs::create_directory_symlink(dir_ / "outside", root_ / "Outside");
    fs::create_symlink(dir_ / "outside" / "secret.txt", root_ / "Windows" / "secret.lnk");
    fs::create_directory_symlink(root_ / "Windows", root_ / "Loop");  // a link even to inside
    fs::create_symlink(dir_ / "nowhere", root_ / "dangling");
  }
  void TearDown() override { fs::remove_all(dir_); }

  static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

  // Where a resolved path points on the host, relative to the root.
  std::string HostPathOf(const ResolvedPath& rp) {
    const fs::path folder = fs::read_symlink("/proc/self/fd/" + std::to_string(rp.folder.get()));
    const fs::path full = rp.isRoot ? folder : folder / rp.name;
    return fs::relative(full, root_).generic_string();
  }

  DWORD Walk(std::u16string_view path, ResolvedPath* rp, Resolve mode = Resolve::kName) {
    return ResolveDevicePath(root_, path, mode, rp);
  }

  fs::path dir_, root_;
};

TEST_F(DevicePathTest, MapsDevicePathsInsideTheRoot) {
  struct Row {
    std::u16string path;
    std::string host;  // relative to the root
    bool exists;
  };
  const Row rows[] = {
      {u"\\Windows\\Wceload.exe", "Windows/Wceload.exe", true},
      {u"/WINDOWS/wceload.EXE", "Windows/Wceload.exe", true},
      {u"Windows\\\\Wceload.exe", "Windows/Wceload.exe", true},  // relative, doubled separator
      {u"\\\\Windows//Wceload.exe", "Windows/Wceload.exe", true},
      {u"\\my documents\\\u00E4-datei.TXT", "My Documents/\xC3\x84-Datei.txt", true},
      {u"\\Windows\\New File.txt", "Windows/New File.txt", false},
      {u"\\My Documents\\", "My Documents", true},
      {u"\\", ".", true},
      {u"/etc/passwd", "etc/passwd", false},  // a host path names a device path, inside
      {u"\\readme.txt", "readme.txt", true},   // the exact spelling wins
      {u"\\Readme.txt", "README.TXT", true},   // else the first in byte order
      {u"\\x...", "x...", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.path.begin(), row.path.end()));
    ResolvedPath rp;
    ASSERT_EQ(Walk(row.path, &rp), ERROR_SUCCESS);
    EXPECT_EQ(HostPathOf(rp), row.host);
    EXPECT_EQ(rp.exists, row.exists);
  }
}

TEST_F(DevicePathTest, RefusesPathsThatCouldLeaveTheRoot) {
  struct Row {
    std::u16string path;
    DWORD error;
    Resolve mode = Resolve::kName;
  };
  const std::u16string longest(MAX_PATH - 1, u'a');
  const Row rows[] = {
      {u"\\..\\..\\etc\\passwd", ERROR_INVALID_NAME},
      {u"\\Windows\\..\\..", ERROR_INVALID_NAME},
      {u"\\.\\Windows", ERROR_INVALID_NAME},
      {u"..", ERROR_INVALID_NAME},
      {u"C:\\Windows", ERROR_INVALID_NAME},
      {u"\\Windows\\a<b", ERROR_INVALID_NAME},
      {u"\\Windows\\a|b", ERROR_INVALID_NAME},
      {u"\\Windows\\a\"b", ERROR_INVALID_NAME},
      {u"\\Windows\\tab\there", ERROR_INVALID_NAME},
      {u"\\Windows\\*.exe", ERROR_INVALID_NAME},
      {u"\\Win*\\x.exe", ERROR_INVALID_NAME, Resolve::kPattern},
      {u"\\Windows\\\xD800x", ERROR_INVALID_NAME},  // unpaired surrogate
      {u"\\Windows\\Wceload.exe\\", ERROR_INVALID_NAME},
      {u"\\Nowhere\\x", ERROR_PATH_NOT_FOUND},
      {u"\\Windows\\Wceload.exe\\x", ERROR_PATH_NOT_FOUND},
      {u"\\Outside\\secret.txt", ERROR_ACCESS_DENIED},
      {u"\\OUTSIDE\\new.txt", ERROR_ACCESS_DENIED},
      {u"\\Outside", ERROR_ACCESS_DENIED},
      {u"\\Outside\\*", ERROR_ACCESS_DENIED, Resolve::kPattern},
      {u"\\Windows\\secret.lnk", ERROR_ACCESS_DENIED},
      {u"\\Loop\\Wceload.exe", ERROR_ACCESS_DENIED},
      {u"\\dangling", ERROR_ACCESS_DENIED},
      {u"\\" + longest, ERROR_FILENAME_EXCED_RANGE},
      {u"\\" + std::u16string(200, u'\u00E4'), ERROR_FILENAME_EXCED_RANGE},  // 400 UTF-8 bytes
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.path.begin(), row.path.begin() + std::min<size_t>(row.path.size(), 40)));
    ResolvedPath rp;
    EXPECT_EQ(Walk(row.path, &rp, row.mode), row.error);
  }
  // 259 characters and the NUL fit MAX_PATH: walked (and not found), not refused.
  const std::u16string part = u"\\" + std::u16string(100, u'b');
  const std::u16string fits = part + part + u"\\" + std::u16string(56, u'c');
  ASSERT_EQ(fits.size(), size_t(MAX_PATH - 1));
  ResolvedPath rp;
  EXPECT_EQ(Walk(fits, &rp), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Walk(fits + u"c", &rp), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(DevicePathTest, PatternModeLeavesTheLastComponent) {
  ResolvedPath rp;
  ASSERT_EQ(Walk(u"\\windows\\W?e*.EXE", &rp, Resolve::kPattern), ERROR_SUCCESS);
  EXPECT_EQ(rp.pattern, u"W?e*.EXE");
  EXPECT_EQ(HostPathOf(rp), "Windows");
  EXPECT_FALSE(rp.inRoot);
}

TEST(DeviceNameRules, CompareWithoutRegardToCase) {
  struct Row {
    std::u16string a, b;
    bool same;
  };
  const Row rows[] = {
      {u"WCELOAD.exe", u"wceload.EXE", true}, {u"\u00C4\u00D6\u00DC", u"\u00E4\u00F6\u00FC", true},
      {u"\u0178", u"\u00FF", true},           {u"\u0141\u0104", u"\u0142\u0105", true},
      {u"\u03A9", u"\u03C9", true},           {u"\u0416\u0401", u"\u0436\u0451", true},
      {u"\u00D7", u"\u00F7", false},          {u"ab", u"abc", false},
      {u"\u00DF", u"ss", false},
  };
  for (const auto& row : rows) EXPECT_EQ(SameDeviceName(row.a, row.b), row.same) << int(row.a[0]);
}

TEST(DeviceNameRules, MatchWildcards) {
  struct Row {
    std::u16string pattern, name;
    bool matches;
  };
  const Row rows[] = {
      {u"*", u"anything", true},          {u"*.*", u"noextension", true},
      {u"*.exe", u"WCELOAD.EXE", true},   {u"*.exe", u"a.exe.bak", false},
      {u"?.txt", u"a.txt", true},         {u"?.txt", u"ab.txt", false},
      {u"a*b*c", u"aXXbYYc", true},       {u"a*b*c", u"aXXbYY", false},
      {u"*a", u"bab", false},             {u"*b", u"bab", true},
      {u"\u00C4*", u"\u00E4pfel", true},  {u"", u"x", false},
      {u"exact.txt", u"EXACT.TXT", true}, {u"**?", u"", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(MatchesPattern(row.pattern, row.name), row.matches)
        << std::string(row.pattern.begin(), row.pattern.end()) << " / " << std::string(row.name.begin(), row.name.end());
}

TEST(DeviceNameRules, HostNamesTheDeviceCannotSpellAreHidden) {
  EXPECT_EQ(DeviceNameOf("\xC3\x84pfel"), std::u16string(u"\u00C4pfel"));
  for (const char* host : {"\xFF", "a:b", "a\\b", "tab\t", "x?"}) EXPECT_FALSE(DeviceNameOf(host)) << host;
}

}  // namespace
}  // namespace ce::sim
