// Device paths on a terminal whose fs/ the fixture lays out on the host:
// folders, a read-only file, spellings that differ only in case, and links that
// lead outside, inside and nowhere. The file API itself is tested in
// platform/tests against ce calls alone.
#include "device_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "ce/text.h"
#include "ceutil/text.h"
#include "registry_store.h"
#include "temp_dir.h"
#include "terminal.h"

namespace ce {
namespace {

namespace fs = std::filesystem;
using sim::Resolve;
using sim::ResolvedPath;

class DevicePathTest : public ::testing::Test {
 protected:
  static constexpr fs::perms kWriteBits =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

  void SetUp() override {
    fs::create_directories(root_ / "docs" / "sub");
    fs::create_directories(root_ / "Storage Card");
    fs::create_directories(root_ / "docs" / "Storage Card");
    fs::create_directories(dir_ / "outside");
    Put("docs/old.txt", "old");
    Put("docs/locked.txt", "keep");
    fs::permissions(root_ / "docs" / "locked.txt", kWriteBits, fs::perm_options::remove);
    Put("docs/sub/readme.txt", "");
    Put("docs/sub/README.TXT", "");
    Put("docs/sub/\xC3\x84-Datei.txt", "");  // Ä-Datei.txt
    std::ofstream(dir_ / "outside" / "secret.txt") << "secret";
    fs::create_directory_symlink(dir_ / "outside", root_ / "link_dir");
    fs::create_symlink(dir_ / "outside" / "secret.txt", root_ / "docs" / "link_file");
    fs::create_directory_symlink(root_ / "docs", root_ / "Loop");  // a link even to inside
    fs::create_symlink(dir_ / "nowhere", root_ / "dangling");
    std::ofstream(dir_ / "terminal.json") << "{}";
    std::ofstream(dir_ / "hardware.json") << R"({"storage":{"mounted":["Storage Card"]}})";
    std::string error;
    ASSERT_NE(sim::RegistryStore::Create(dir_ / "registry.db", &error), nullptr) << error;
    ASSERT_TRUE(sim::UseTerminal(dir_, &error)) << error;
  }
  void TearDown() override { sim::CloseTerminal(); }

  void Put(const std::string& rel, const std::string& content) {
    std::ofstream(root_ / rel, std::ios::binary) << content;
  }

  // Where a resolved path points on the host, relative to the root.
  std::string HostPathOf(const ResolvedPath& rp) {
    const fs::path folder = fs::read_symlink("/proc/self/fd/" + std::to_string(rp.folder.get()));
    return fs::relative(rp.isRoot ? folder : folder / rp.name, root_).generic_string();
  }
  DWORD Walk(std::u16string_view path, ResolvedPath* rp, Resolve mode = Resolve::kName) {
    return sim::ResolveDevicePath(root_, path, mode, rp);
  }

  qeltest::TempDir tmp_;
  const fs::path dir_ = tmp_.path(), root_ = dir_ / "fs";
};

TEST_F(DevicePathTest, MapInsideTheRoot) {
  struct Row {
    std::u16string path;
    std::string host;  // relative to the root
    bool exists;
  };
  const Row rows[] = {
      {u"\\docs\\old.txt", "docs/old.txt", true},
      {u"/DOCS/OLD.txt", "docs/old.txt", true},
      {u"docs\\\\old.txt", "docs/old.txt", true},  // relative, doubled separator
      {u"\\\\docs//old.txt", "docs/old.txt", true},
      {u"\\docs\\sub\\\u00E4-datei.TXT", "docs/sub/\xC3\x84-Datei.txt", true},
      {u"\\docs\\New File.txt", "docs/New File.txt", false},
      {u"\\Storage Card\\", "Storage Card", true},
      {u"\\", ".", true},
      {u"\\docs\\sub\\readme.txt", "docs/sub/readme.txt", true},  // the exact spelling wins
      {u"\\docs\\sub\\Readme.txt", "docs/sub/README.TXT", true},  // else the first in byte order
      {u"\\x...", "x...", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.path));
    ResolvedPath rp;
    ASSERT_EQ(Walk(row.path, &rp), ERROR_SUCCESS);
    EXPECT_EQ(HostPathOf(rp), row.host);
    EXPECT_EQ(rp.exists, row.exists);
  }
  ResolvedPath rp;  // a pattern stays the last component
  ASSERT_EQ(Walk(u"\\DOCS\\o?d*.TXT", &rp, Resolve::kPattern), ERROR_SUCCESS);
  EXPECT_EQ(rp.pattern, u"o?d*.TXT");
  EXPECT_EQ(HostPathOf(rp), "docs");
  EXPECT_FALSE(rp.inRoot);
}

TEST_F(DevicePathTest, PathsThatCouldLeaveTheRootAreRefused) {
  struct Row {
    std::u16string path;
    DWORD error;
    Resolve mode = Resolve::kName;
  };
  const std::u16string longest(MAX_PATH - 1, u'a');
  const Row rows[] = {
      {u"\\..\\..\\etc\\passwd", ERROR_INVALID_NAME},
      {u"\\docs\\..\\..", ERROR_INVALID_NAME},
      {u"\\.\\docs", ERROR_INVALID_NAME},
      {u"..", ERROR_INVALID_NAME},
      {u"C:\\docs", ERROR_INVALID_NAME},
      {u"\\docs\\a<b", ERROR_INVALID_NAME},
      {u"\\docs\\tab\there", ERROR_INVALID_NAME},
      {u"\\docs\\*.txt", ERROR_INVALID_NAME},
      {u"\\d*\\x.txt", ERROR_INVALID_NAME, Resolve::kPattern},
      {u"\\docs\\\xD800x", ERROR_INVALID_NAME},  // unpaired surrogate
      {u"\\docs\\old.txt\\", ERROR_INVALID_NAME},
      {u"\\nowhere\\x", ERROR_PATH_NOT_FOUND},
      {u"\\docs\\old.txt\\x", ERROR_PATH_NOT_FOUND},
      {u"/etc/passwd", ERROR_PATH_NOT_FOUND},  // a host path names a device path, inside
      {u"\\link_dir\\secret.txt", ERROR_ACCESS_DENIED},
      {u"\\LINK_DIR\\new.txt", ERROR_ACCESS_DENIED},
      {u"\\link_dir", ERROR_ACCESS_DENIED},
      {u"\\link_dir\\*", ERROR_ACCESS_DENIED, Resolve::kPattern},
      {u"\\docs\\link_file", ERROR_ACCESS_DENIED},
      {u"\\Loop\\old.txt", ERROR_ACCESS_DENIED},
      {u"\\dangling", ERROR_ACCESS_DENIED},
      {u"\\" + longest, ERROR_FILENAME_EXCED_RANGE},
      {u"\\" + std::u16string(200, u'\u00E4'), ERROR_FILENAME_EXCED_RANGE},  // 400 UTF-8 bytes
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.path).substr(0, 40));
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

// The fixture's hardware mounts "Storage Card"; read-only is the host's write bits.
TEST_F(DevicePathTest, StoresAndReadOnlyComeFromTheHost) {
  const struct {
    const char16_t* path;
    DWORD attributes;
  } rows[] = {
      {u"\\Storage Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY},
      {u"\\docs\\Storage Card", FILE_ATTRIBUTE_DIRECTORY},  // only root folders are stores
      {u"\\docs\\LOCKED.txt", FILE_ATTRIBUTE_READONLY},
  };
  for (const auto& row : rows)
    EXPECT_EQ(GetFileAttributesW(row.path), row.attributes) << ceutil::ToUtf8(row.path);
  std::string error;
  ASSERT_TRUE(sim::SetHardware("storage.mounted", sim::Json::array({"docs"}), &error)) << error;
  EXPECT_EQ(GetFileAttributesW(u"\\Storage Card"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesW(u"\\DOCS"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY);
  ASSERT_TRUE(SetFileAttributesW(u"\\docs\\old.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(fs::status(root_ / "docs/old.txt").permissions() & kWriteBits, fs::perms::none);
  EXPECT_EQ(GetFileAttributesW(u"\\docs\\old.txt"), FILE_ATTRIBUTE_READONLY);  // nothing else is kept
}

TEST_F(DevicePathTest, LinksNeverLeadOutside) {
  const auto outsideBefore = qeltest::Contents(dir_ / "outside/secret.txt");
  struct Row {
    const char* what;
    std::function<bool()> call;
  };
  WIN32_FIND_DATAW data;
  auto open = [](const char16_t* p, DWORD disposition) {
    UniqueHandle h(CreateFileW(p, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr));
    return h.valid();
  };
  const Row rows[] = {
      {"open through folder link", [&] { return open(u"\\link_dir\\secret.txt", OPEN_EXISTING); }},
      {"create through folder link", [&] { return open(u"\\LINK_DIR\\new.txt", CREATE_NEW); }},
      {"open file link", [&] { return open(u"\\docs\\link_file", OPEN_EXISTING); }},
      {"truncate file link", [&] { return open(u"\\docs\\LINK_FILE", CREATE_ALWAYS); }},
      {"delete file link", [] { return DeleteFileW(u"\\docs\\link_file"); }},
      {"delete through folder link", [] { return DeleteFileW(u"\\link_dir\\secret.txt"); }},
      {"find through folder link",
       [&] { return FindFirstFileW(u"\\link_dir\\*", &data) != INVALID_HANDLE_VALUE; }},
      {"attributes of file link",
       [] { return GetFileAttributesW(u"\\docs\\link_file") != INVALID_FILE_ATTRIBUTES; }},
      {"read-only through file link",
       [] { return SetFileAttributesW(u"\\docs\\link_file", FILE_ATTRIBUTE_READONLY); }},
      {"copy onto file link", [] { return CopyFileW(u"\\docs\\old.txt", u"\\docs\\link_file", FALSE); }},
      {"copy from file link", [] { return CopyFileW(u"\\docs\\link_file", u"\\docs\\stolen.txt", FALSE); }},
      {"move into folder link", [] { return MoveFileW(u"\\docs\\old.txt", u"\\link_dir\\old.txt"); }},
      {"mkdir in folder link", [] { return CreateDirectoryW(u"\\link_dir\\d", nullptr); }},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(row.call()) << row.what;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << row.what;
  }
  std::vector<std::string> outside;
  for (const auto& e : fs::directory_iterator(dir_ / "outside")) outside.push_back(e.path().filename());
  EXPECT_EQ(outside, std::vector<std::string>{"secret.txt"});
  EXPECT_EQ(qeltest::Contents(dir_ / "outside/secret.txt"), outsideBefore);
  EXPECT_TRUE(fs::is_symlink(root_ / "docs/link_file"));
  EXPECT_FALSE(fs::exists(root_ / "docs/stolen.txt"));
  EXPECT_NE(fs::status(dir_ / "outside/secret.txt").permissions() & fs::perms::owner_write, fs::perms::none);
  // Links are no device entries: a listing leaves them out.
  std::vector<std::string> listed;
  HANDLE find = FindFirstFileW(u"\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do listed.push_back(ceutil::ToUtf8(data.cFileName));
  while (FindNextFileW(find, &data));
  FindClose(find);
  EXPECT_EQ(listed, (std::vector<std::string>{"Storage Card", "docs"}));
  EXPECT_EQ(FindFirstFileW(u"\\docs\\link_file", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// The terminal walks from the fs/ folder it opened and looks at fs/ again once
// the recheck interval has passed: a link put in its place is never followed,
// a missing fs/ is ERROR_NOT_READY, and a folder put in its place is used by
// file calls and change notifications alike.
TEST_F(DevicePathTest, WalksFollowWhatFsIsNowButNeverALink) {
  const fs::path moved = dir_ / "fs.moved";
  struct Row {
    const char* what;
    std::function<void()> swap;
    DWORD error;  // of a call after the swap
  };
  const Row rows[] = {
      {"a link", [&] { fs::create_directory_symlink(dir_ / "outside", root_); }, ERROR_NOT_READY},
      {"nothing", [] {}, ERROR_NOT_READY},
      {"a new folder", [&] { fs::create_directory(root_); }, ERROR_SUCCESS},
  };
  auto afterRecheck = [] { std::this_thread::sleep_for(sim::kRecheck + std::chrono::milliseconds(1)); };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::rename(root_, moved);
    row.swap();
    afterRecheck();
    SetLastError(0);
    UniqueHandle made(CreateFileW(u"\\made.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    EXPECT_EQ(made.valid() ? DWORD{ERROR_SUCCESS} : GetLastError(), row.error);
    HANDLE change = FindFirstChangeNotificationW(u"\\", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    EXPECT_EQ(change != INVALID_HANDLE_VALUE ? DWORD{ERROR_SUCCESS} : GetLastError(), row.error);
    if (row.error == ERROR_SUCCESS) {
      EXPECT_TRUE(fs::exists(root_ / "made.txt"));
      UniqueHandle second(CreateFileW(u"\\second.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
      EXPECT_EQ(WaitForSingleObject(change, 5000), WAIT_OBJECT_0);
    }
    if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
    made.reset();
    EXPECT_FALSE(fs::exists(moved / "made.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "outside" / "made.txt"));
    // Put back, the original folder serves again.
    fs::remove_all(root_);
    fs::rename(moved, root_);
    afterRecheck();
    EXPECT_NE(GetFileAttributesW(u"\\docs\\old.txt"), INVALID_FILE_ATTRIBUTES);
  }
}

// A root deleted just before a change notification is asked for is never
// taken for a folder that carries its old host name and " (deleted)".
TEST_F(DevicePathTest, ADeletedRootIsNotWatchedThroughANamesake) {
  // An empty root, so that deleting it is one quick call.
  fs::rename(root_, dir_ / "fs.full");
  fs::create_directory(root_);
  fs::create_directory(dir_ / "fs (deleted)");
  std::this_thread::sleep_for(sim::kRecheck + std::chrono::milliseconds(1));
  ASSERT_EQ(GetFileAttributesW(u"\\docs"), INVALID_FILE_ATTRIBUTES);  // the new root is in use
  fs::remove(root_);
  HANDLE change = FindFirstChangeNotificationW(u"\\", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
  const DWORD error = GetLastError();
  EXPECT_EQ(change, INVALID_HANDLE_VALUE);
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
  EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_NOT_READY) << error;
}

TEST(DeviceNameRules, HostNamesTheDeviceCannotSpellAreHidden) {
  EXPECT_EQ(sim::DeviceNameOf("\xC3\x84pfel"), std::u16string(u"\u00C4pfel"));
  for (const char* host : {"\xFF", "a:b", "a\\b", "tab\t", "x?"})
    EXPECT_FALSE(sim::DeviceNameOf(host)) << host;
}

// The device has no hard links: a file of fs/ with a second host link (one
// planted from outside, say) is refused by every call, and never listed.
TEST_F(DevicePathTest, HardLinkedFilesAreRefused) {
  fs::create_directories(root_ / "Plant");
  fs::create_hard_link(dir_ / "outside" / "secret.txt", root_ / "Plant" / "hardlink.txt");
  const auto outsideBefore = qeltest::Contents(dir_ / "outside/secret.txt");
  WIN32_FIND_DATAW data;
  auto open = [](DWORD access, DWORD disposition) {
    UniqueHandle h(
        CreateFileW(u"\\Plant\\hardlink.txt", access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr));
    return h.valid();
  };
  struct Row {
    const char* what;
    std::function<bool()> call;
  };
  const Row rows[] = {
      {"read", [&] { return open(GENERIC_READ, OPEN_EXISTING); }},
      {"write", [&] { return open(GENERIC_WRITE, OPEN_EXISTING); }},
      {"truncate", [&] { return open(GENERIC_WRITE, CREATE_ALWAYS); }},
      {"attributes only", [&] { return open(0, OPEN_EXISTING); }},
      {"get attributes",
       [] { return GetFileAttributesW(u"\\plant\\HARDLINK.TXT") != INVALID_FILE_ATTRIBUTES; }},
      {"set read-only", [] { return SetFileAttributesW(u"\\Plant\\hardlink.txt", FILE_ATTRIBUTE_READONLY); }},
      {"delete", [] { return DeleteFileW(u"\\Plant\\hardlink.txt"); }},
      {"move", [] { return MoveFileW(u"\\Plant\\hardlink.txt", u"\\Plant\\moved.txt"); }},
      {"copy from", [] { return CopyFileW(u"\\Plant\\hardlink.txt", u"\\Plant\\copy.txt", FALSE); }},
      {"copy onto", [] { return CopyFileW(u"\\docs\\old.txt", u"\\Plant\\hardlink.txt", FALSE); }},
  };
  for (const auto& row : rows) {
    SetLastError(0xDEAD);
    EXPECT_FALSE(row.call()) << row.what;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << row.what;
  }
  EXPECT_EQ(FindFirstFileW(u"\\Plant\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(qeltest::Contents(dir_ / "outside/secret.txt"), outsideBefore);
  EXPECT_EQ(fs::hard_link_count(dir_ / "outside/secret.txt"), 2u);
  EXPECT_NE(fs::status(dir_ / "outside/secret.txt").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_FALSE(fs::exists(root_ / "Plant" / "copy.txt"));
  // Once the second link is gone, the file is an ordinary one again.
  fs::remove(dir_ / "outside" / "secret.txt");
  EXPECT_NE(GetFileAttributesW(u"\\Plant\\hardlink.txt"), INVALID_FILE_ATTRIBUTES);
}

// The index the making of a terminal resolves names through finds what a
// folder listing finds: any spelling of a name, the first in byte order.
TEST_F(DevicePathTest, NameIndexFindsWhatAListingFinds) {
  sim::NameIndex index;
  const std::u16string paths[] = {u"\\DOCS\\OLD.TXT",         u"\\docs\\sub\\readme.txt",
                                  u"\\Docs\\Sub\\Readme.Txt", u"\\docs\\sub\\\u00e4-datei.TXT",
                                  u"\\docs\\none.txt",        u"\\NO\\x"};
  for (const auto& path : paths) {
    ResolvedPath plain, indexed;
    const DWORD a = Walk(path, &plain),
                b = sim::ResolveDevicePath(root_, path, Resolve::kName, &indexed, &index);
    EXPECT_EQ(a, b) << ceutil::ToUtf8(path);
    if (a != ERROR_SUCCESS) continue;
    EXPECT_EQ(plain.exists, indexed.exists) << ceutil::ToUtf8(path);
    EXPECT_EQ(plain.name, indexed.name) << ceutil::ToUtf8(path);
  }
  // An entry made through the index is found by it, in any spelling.
  ResolvedPath at;
  ASSERT_EQ(sim::ResolveDevicePath(root_, u"\\docs\\New.txt", Resolve::kName, &at, &index), ERROR_SUCCESS);
  ASSERT_FALSE(at.exists);
  std::ofstream(root_ / "docs" / "New.txt") << "n";
  index.Add(at.folder.get(), at.name);
  ASSERT_EQ(sim::ResolveDevicePath(root_, u"\\DOCS\\NEW.TXT", Resolve::kName, &at, &index), ERROR_SUCCESS);
  EXPECT_TRUE(at.exists);
  EXPECT_EQ(at.name, "New.txt");
}

}  // namespace
}  // namespace ce
