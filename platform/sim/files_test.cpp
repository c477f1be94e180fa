// The file API and the device path rules beneath it, on a terminal whose fs/
// the fixture lays out: folders, a read-only file, spellings that differ only
// in case, and links that lead outside, inside and nowhere.
#include "ce/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/sim/control.h"
#include "ce/text.h"
#include "case_fold.h"
#include "ceutil/text.h"
#include "device_path.h"
#include "registry_store.h"
#include "temp_dir.h"

namespace ce {
namespace {

namespace fs = std::filesystem;
using sim::Resolve;
using sim::ResolvedPath;

class FilesTest : public ::testing::Test {
 protected:
  static constexpr fs::perms kWriteBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

  void SetUp() override {
    fs::create_directories(root_ / "docs" / "sub");
    fs::create_directories(root_ / "Storage Card");
    fs::create_directories(root_ / "docs" / "Storage Card");
    fs::create_directories(dir_ / "outside");
    Put("docs/old.txt", "old");
    Put("docs/B.TXT", "bb");
    Put("docs/c.doc", "");
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
  std::string Get(const std::string& rel) { return qeltest::Contents(root_ / rel); }
  std::vector<std::string> Names(const std::string& rel) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_ / rel)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
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

TEST_F(FilesTest, DevicePathsMapInsideTheRoot) {
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

TEST_F(FilesTest, DevicePathsThatCouldLeaveTheRootAreRefused) {
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

TEST_F(FilesTest, DispositionsOpenCreateAndTruncateAsTheDeviceDoes) {
  struct Row {
    DWORD disposition;
    bool existing;
    DWORD error;  // last error after the call; handle expected when 0 or 183
    const char* after;  // content afterwards, or null when the file must not exist
  };
  const Row rows[] = {
      {CREATE_NEW, false, ERROR_SUCCESS, ""},          {CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, ERROR_SUCCESS, ""},       {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr}, {OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, ERROR_SUCCESS, ""},         {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr}, {TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "disposition " << row.disposition << " existing " << row.existing);
    fs::remove_all(root_ / "docs" / "sub");
    fs::create_directory(root_ / "docs" / "sub");
    if (row.existing) Put("docs/sub/Case.txt", "old");
    SetLastError(12345);
    UniqueHandle h(CreateFileW(u"\\DOCS\\SUB\\case.TXT", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               row.disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(GetLastError(), row.error);
    EXPECT_EQ(h.valid(), row.error == ERROR_SUCCESS || row.error == ERROR_ALREADY_EXISTS);
    h.reset();
    if (row.after == nullptr) {
      EXPECT_TRUE(Names("docs/sub").empty());
    } else {  // one file, spelled as it was first made
      EXPECT_EQ(Names("docs/sub"), std::vector<std::string>{row.existing ? "Case.txt" : "case.TXT"});
      EXPECT_EQ(Get("docs/sub/" + Names("docs/sub")[0]), row.after);
    }
  }
}

TEST_F(FilesTest, CreateFileRefusals) {
  struct Row {
    const char16_t* path;
    DWORD access, disposition, error;
  };
  const std::u16string tooLong = u"\\" + std::u16string(MAX_PATH, u'a');
  const Row rows[] = {
      {u"\\nowhere\\x.txt", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\docs", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {u"\\", GENERIC_READ, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
      {u"\\docs\\locked.txt", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {u"\\docs\\locked.txt", GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
      {u"\\docs\\old.txt", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
      {u"\\docs\\old.txt", GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
      {u"\\docs\\old.txt\\", GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
      {u"\\docs\\..\\..\\terminal.json", GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
      {tooLong.c_str(), GENERIC_WRITE, CREATE_NEW, ERROR_FILENAME_EXCED_RANGE},
      {u"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path ? ceutil::ToUtf8(row.path).substr(0, 40) : "null");
    EXPECT_EQ(CreateFileW(row.path, row.access, 0, nullptr, row.disposition, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), row.error);
  }
  EXPECT_EQ(Get("docs/locked.txt"), "keep");
  EXPECT_EQ(Names("docs").size(), 7u);  // nothing made on the way
}

TEST_F(FilesTest, ReadWriteSeekAndSize) {
  UniqueHandle h(CreateFileW(u"\\docs\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(h);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h.get(), "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(SetFilePointer(h.get(), 6, nullptr, FILE_BEGIN), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "world");
  ASSERT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));  // end of file: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h.get(), -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(h.get(), -1, nullptr, FILE_CURRENT), 5u);
  EXPECT_EQ(SetFilePointer(h.get(), -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, FILE_CURRENT), 5u);  // failed moves left it alone
  ASSERT_TRUE(SetEndOfFile(h.get()));
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(h.get(), &high), 5u);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(FlushFileBuffers(h.get()));
  LONG moveHigh = 1;  // 4 GiB: only the pointer moves, nothing is written
  EXPECT_EQ(SetFilePointer(h.get(), 2, &moveHigh, FILE_BEGIN), 2u);
  EXPECT_EQ(moveHigh, 1);
  EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_EQ(SetFilePointer(h.get(), 0x7FFFFFFF, nullptr, FILE_CURRENT), 0x7FFFFFFFu);
  EXPECT_EQ(SetFilePointer(h.get(), 0x7FFFFFFF, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
  EXPECT_EQ(SetFilePointer(h.get(), 1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);  // 0xFFFFFFFF is a position, not a failure
  EXPECT_EQ(SetFilePointer(h.get(), 1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);  // 4 GiB needs the high part
  h.reset();
  EXPECT_EQ(Get("docs/rw.bin"), "hello");
}

TEST_F(FilesTest, HandlesKeepTheirAccessAndSharing) {
  UniqueHandle reader(CreateFileW(u"\\docs\\old.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader);
  DWORD n = 0;
  EXPECT_FALSE(WriteFile(reader.get(), "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetEndOfFile(reader.get()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  struct Row {
    DWORD access, share, error;
  };
  const Row rows[] = {
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},  // reader denies writers
      {GENERIC_READ, 0, ERROR_SHARING_VIOLATION},                                     // would deny the reader
      {GENERIC_READ, FILE_SHARE_READ, ERROR_SUCCESS},
      {0, 0, ERROR_SUCCESS},  // attributes only
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.access << "/" << row.share);
    UniqueHandle second(CreateFileW(u"\\docs\\OLD.txt", row.access, row.share, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(second.valid(), row.error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), row.error);
  }
  EXPECT_FALSE(DeleteFileW(u"\\docs\\old.txt"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(MoveFileW(u"\\docs\\old.txt", u"\\docs\\moved.txt"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  reader.reset();
  EXPECT_TRUE(DeleteFileW(u"\\docs\\old.txt"));

  UniqueHandle writer(CreateFileW(u"\\docs\\w.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  char c;
  EXPECT_FALSE(ReadFile(writer.get(), &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(FilesTest, ClosedAndForeignHandlesAreInvalid) {
  HANDLE file = CreateFileW(u"\\docs\\old.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"\\docs\\*", &data);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  char buf[4];
  DWORD n = 0;
  EXPECT_FALSE(FindNextFileW(file, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindClose(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(ReadFile(file, buf, 3, &n, nullptr));  // FindClose left the file handle alone
  EXPECT_FALSE(ReadFile(find, buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(FindClose(find));
  EXPECT_TRUE(CloseHandle(file));

  const std::vector<std::pair<const char*, std::function<bool()>>> uses = {
      {"ReadFile", [&] { return ReadFile(file, buf, 1, &n, nullptr); }},
      {"WriteFile", [&] { return WriteFile(file, "x", 1, &n, nullptr); }},
      {"SetFilePointer", [&] { return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER; }},
      {"GetFileSize", [&] { return GetFileSize(file, nullptr) != INVALID_FILE_SIZE; }},
      {"SetEndOfFile", [&] { return SetEndOfFile(file); }},
      {"FlushFileBuffers", [&] { return FlushFileBuffers(file); }},
      {"CloseHandle", [&] { return CloseHandle(file); }},
      {"FindNextFileW", [&] { return FindNextFileW(find, &data); }},
      {"FindClose", [&] { return FindClose(find); }},
      {"INVALID_HANDLE_VALUE", [&] { return ReadFile(INVALID_HANDLE_VALUE, buf, 1, &n, nullptr); }},
  };
  for (const auto& [name, use] : uses) {
    SetLastError(0);
    EXPECT_FALSE(use()) << name;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << name;
  }
}

TEST_F(FilesTest, OneHandleServesSeveralThreads) {
  UniqueHandle h(CreateFileW(u"\\docs\\log.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(h);
  constexpr int kThreads = 4, kRecords = 200, kSize = 16;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([&h, t] {
      const std::string record(kSize, char('a' + t));
      DWORD n = 0;
      for (int i = 0; i < kRecords; ++i) WriteFile(h.get(), record.data(), kSize, &n, nullptr);
    });
  for (auto& w : writers) w.join();
  EXPECT_EQ(GetFileSize(h.get(), nullptr), DWORD(kThreads * kRecords * kSize));
  const std::string all = Get("docs/log.bin");
  for (size_t i = 0; i < all.size(); i += kSize) ASSERT_EQ(all.substr(i, kSize), std::string(kSize, all[i])) << i;
}

TEST_F(FilesTest, AttributesIncludingMountedStores) {
  struct Row {
    const char16_t* path;
    DWORD attributes, error;
  };
  const Row rows[] = {
      {u"\\", FILE_ATTRIBUTE_DIRECTORY, 0},
      {u"\\Docs\\", FILE_ATTRIBUTE_DIRECTORY, 0},
      {u"\\docs\\old.txt", FILE_ATTRIBUTE_NORMAL, 0},
      {u"\\docs\\LOCKED.txt", FILE_ATTRIBUTE_READONLY, 0},
      {u"\\Storage Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY, 0},
      {u"/storage card/", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY, 0},
      {u"\\docs\\Storage Card", FILE_ATTRIBUTE_DIRECTORY, 0},  // only root folders are stores
      {u"\\docs\\none.txt", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {u"\\none\\none.txt", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.path));
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(row.path), row.attributes);
    EXPECT_EQ(GetLastError(), row.error);
  }
  EXPECT_FALSE(RemoveDirectoryW(u"\\Storage Card"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  std::string error;
  ASSERT_TRUE(sim::SetHardware("storage.mounted", sim::Json::array({"docs"}), &error)) << error;
  EXPECT_EQ(GetFileAttributesW(u"\\Storage Card"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesW(u"\\DOCS"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY);
}

TEST_F(FilesTest, ReadOnlyAttributeIsTheHostWriteBits) {
  ASSERT_TRUE(SetFileAttributesW(u"\\docs\\old.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(fs::status(root_ / "docs/old.txt").permissions() & kWriteBits, fs::perms::none);
  EXPECT_EQ(GetFileAttributesW(u"\\docs\\old.txt"), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(SetFileAttributesW(u"\\docs\\old.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(UniqueHandle(CreateFileW(u"\\docs\\old.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
  EXPECT_FALSE(SetFileAttributesW(u"\\docs\\none", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  UniqueHandle made(CreateFileW(u"\\docs\\ro.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr));
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(made.get(), "x", 1, &n, nullptr));  // the creating handle may still write
  EXPECT_EQ(GetFileAttributesW(u"\\docs\\ro.txt"), FILE_ATTRIBUTE_READONLY);
}

TEST_F(FilesTest, DeleteMoveCopyAndFolders) {
  struct Row {
    const char* what;
    std::function<BOOL()> call;
    DWORD error;                   // 0: must succeed
    std::function<bool()> after;   // the host state afterwards
  };
  auto exists = [&](const char* rel) { return fs::exists(fs::symlink_status(root_ / rel)); };
  const Row rows[] = {
      {"delete missing", [] { return DeleteFileW(u"\\docs\\none.txt"); }, ERROR_FILE_NOT_FOUND, nullptr},
      {"delete in missing folder", [] { return DeleteFileW(u"\\none\\x"); }, ERROR_PATH_NOT_FOUND, nullptr},
      {"delete folder", [] { return DeleteFileW(u"\\docs\\sub"); }, ERROR_ACCESS_DENIED, nullptr},
      {"delete read-only", [] { return DeleteFileW(u"\\docs\\locked.txt"); }, ERROR_ACCESS_DENIED,
       [&] { return exists("docs/locked.txt"); }},
      {"delete", [] { return DeleteFileW(u"\\DOCS\\c.DOC"); }, 0, [&] { return !exists("docs/c.doc"); }},
      {"mkdir existing", [] { return CreateDirectoryW(u"\\docs\\SUB", nullptr); }, ERROR_ALREADY_EXISTS, nullptr},
      {"mkdir root", [] { return CreateDirectoryW(u"\\", nullptr); }, ERROR_ALREADY_EXISTS, nullptr},
      {"mkdir no parent", [] { return CreateDirectoryW(u"\\a\\b", nullptr); }, ERROR_PATH_NOT_FOUND, nullptr},
      {"mkdir", [] { return CreateDirectoryW(u"\\Docs\\New\\", nullptr); }, 0, [&] { return exists("docs/New"); }},
      {"rmdir not empty", [] { return RemoveDirectoryW(u"\\docs"); }, ERROR_DIR_NOT_EMPTY, nullptr},
      {"rmdir file", [] { return RemoveDirectoryW(u"\\docs\\old.txt"); }, ERROR_DIRECTORY, nullptr},
      {"rmdir missing", [] { return RemoveDirectoryW(u"\\docs\\none"); }, ERROR_FILE_NOT_FOUND, nullptr},
      {"rmdir root", [] { return RemoveDirectoryW(u"\\"); }, ERROR_ACCESS_DENIED, nullptr},
      {"rmdir", [] { return RemoveDirectoryW(u"\\docs\\new"); }, 0, [&] { return !exists("docs/New"); }},
      {"move onto existing", [] { return MoveFileW(u"\\docs\\old.txt", u"\\docs\\b.txt"); }, ERROR_ALREADY_EXISTS,
       [&] { return Get("docs/B.TXT") == "bb"; }},
      {"move missing", [] { return MoveFileW(u"\\docs\\none", u"\\docs\\x"); }, ERROR_FILE_NOT_FOUND, nullptr},
      {"move folder into itself", [] { return MoveFileW(u"\\docs", u"\\docs\\sub\\docs"); }, ERROR_ACCESS_DENIED,
       nullptr},
      {"move", [] { return MoveFileW(u"\\docs\\OLD.txt", u"\\docs\\sub\\moved.txt"); }, 0,
       [&] { return Get("docs/sub/moved.txt") == "old" && !exists("docs/old.txt"); }},
      {"rename case only", [] { return MoveFileW(u"\\docs\\b.txt", u"\\docs\\b.Txt"); }, 0,
       [&] { return Get("docs/b.Txt") == "bb" && !exists("docs/B.TXT"); }},
      {"copy missing", [] { return CopyFileW(u"\\docs\\none", u"\\docs\\x", FALSE); }, ERROR_FILE_NOT_FOUND, nullptr},
      {"copy folder", [] { return CopyFileW(u"\\docs\\sub", u"\\docs\\x", FALSE); }, ERROR_ACCESS_DENIED, nullptr},
      {"copy onto existing", [] { return CopyFileW(u"\\docs\\b.txt", u"\\docs\\sub\\MOVED.txt", TRUE); },
       ERROR_FILE_EXISTS, [&] { return Get("docs/sub/moved.txt") == "old"; }},
      {"copy onto itself", [] { return CopyFileW(u"\\docs\\b.txt", u"\\DOCS\\B.TXT", FALSE); },
       ERROR_SHARING_VIOLATION, [&] { return Get("docs/b.Txt") == "bb"; }},
      {"copy onto read-only", [] { return CopyFileW(u"\\docs\\b.txt", u"\\docs\\locked.txt", FALSE); },
       ERROR_ACCESS_DENIED, [&] { return Get("docs/locked.txt") == "keep"; }},
      {"copy over", [] { return CopyFileW(u"\\docs\\b.txt", u"\\docs\\sub\\moved.txt", FALSE); }, 0,
       [&] { return Get("docs/sub/moved.txt") == "bb" && Get("docs/b.Txt") == "bb"; }},
      {"copy read-only", [] { return CopyFileW(u"\\docs\\locked.txt", u"\\copy.txt", TRUE); }, 0,
       [&] { return Get("copy.txt") == "keep" && GetFileAttributesW(u"\\copy.txt") == FILE_ATTRIBUTE_READONLY; }},
  };
  for (const auto& row : rows) {
    SetLastError(0);
    const BOOL ok = row.call();
    EXPECT_EQ(ok, row.error == 0) << row.what;
    if (row.error) {
      EXPECT_EQ(GetLastError(), row.error) << row.what;
    }
    if (row.after) {
      EXPECT_TRUE(row.after()) << row.what;
    }
  }
}

TEST_F(FilesTest, FindMatchesPatternsWithoutRegardToCase) {
  struct Row {
    const char16_t* pattern;
    std::vector<std::string> names;
    DWORD error;
  };
  const Row rows[] = {
      {u"\\docs\\*", {"B.TXT", "Storage Card", "c.doc", "locked.txt", "old.txt", "sub"}, 0},
      {u"\\docs\\*.*", {"B.TXT", "Storage Card", "c.doc", "locked.txt", "old.txt", "sub"}, 0},
      {u"\\DOCS\\*.txt", {"B.TXT", "locked.txt", "old.txt"}, 0},
      {u"docs/?.DOC", {"c.doc"}, 0},
      {u"\\docs\\SUB", {"sub"}, 0},
      {u"\\docs\\link_file", {}, ERROR_FILE_NOT_FOUND},  // links are not device entries
      {u"\\docs\\none*", {}, ERROR_FILE_NOT_FOUND},
      {u"\\docs\\", {}, ERROR_FILE_NOT_FOUND},
      {u"\\none\\*", {}, ERROR_PATH_NOT_FOUND},
      {u"\\d*\\*", {}, ERROR_INVALID_NAME},
      {u"\\docs\\a<*", {}, ERROR_INVALID_NAME},
      {u"\\link_dir\\*", {}, ERROR_ACCESS_DENIED},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.pattern));
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(row.pattern, &data);
    if (row.error) {
      EXPECT_EQ(find, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), row.error);
      continue;
    }
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> names{ceutil::ToUtf8(data.cFileName)};
    while (FindNextFileW(find, &data)) names.push_back(ceutil::ToUtf8(data.cFileName));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_EQ(names, row.names);
    EXPECT_TRUE(FindClose(find));
  }
}

TEST_F(FilesTest, FindReportsAttributesSizesAndTimes) {
  fs::last_write_time(root_ / "docs/B.TXT", fs::file_time_type::clock::now() - std::chrono::hours(24));
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"\\docs\\b.txt", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(data.nFileSizeLow, 2u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  const uint64_t written = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  const uint64_t now = (uint64_t(::time(nullptr)) + 11644473600ull) * 10'000'000ull;
  const uint64_t day = 24ull * 3600 * 10'000'000ull;
  EXPECT_NEAR(double(now - written), double(day), 5.0 * 10'000'000);

  find = FindFirstFileW(u"\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::map<std::string, DWORD> attributes;
  do attributes[ceutil::ToUtf8(data.cFileName)] = data.dwFileAttributes;
  while (FindNextFileW(find, &data));
  FindClose(find);
  const std::map<std::string, DWORD> expected = {
      {"Storage Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY}, {"docs", FILE_ATTRIBUTE_DIRECTORY}};
  EXPECT_EQ(attributes, expected);
}

TEST_F(FilesTest, LinksNeverLeadOutside) {
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
      {"find through folder link", [&] { return FindFirstFileW(u"\\link_dir\\*", &data) != INVALID_HANDLE_VALUE; }},
      {"attributes of file link", [] { return GetFileAttributesW(u"\\docs\\link_file") != INVALID_FILE_ATTRIBUTES; }},
      {"read-only through file link", [] { return SetFileAttributesW(u"\\docs\\link_file", FILE_ATTRIBUTE_READONLY); }},
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
}

// The device has no hard links: a file of fs/ with a second host link (one
// planted from outside, say) is refused by every call, and never listed.
TEST_F(FilesTest, HardLinkedFilesAreRefused) {
  fs::create_directories(root_ / "Plant");
  fs::create_hard_link(dir_ / "outside" / "secret.txt", root_ / "Plant" / "hardlink.txt");
  const auto outsideBefore = qeltest::Contents(dir_ / "outside/secret.txt");
  WIN32_FIND_DATAW data;
  auto open = [](DWORD access, DWORD disposition) {
    UniqueHandle h(CreateFileW(u"\\Plant\\hardlink.txt", access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr));
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
      {"get attributes", [] { return GetFileAttributesW(u"\\plant\\HARDLINK.TXT") != INVALID_FILE_ATTRIBUTES; }},
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
TEST_F(FilesTest, NameIndexFindsWhatAListingFinds) {
  sim::NameIndex index;
  const std::u16string paths[] = {u"\\DOCS\\OLD.TXT", u"\\docs\\sub\\readme.txt", u"\\Docs\\Sub\\Readme.Txt",
                                  u"\\docs\\sub\\\u00e4-datei.TXT", u"\\docs\\none.txt", u"\\NO\\x"};
  for (const auto& path : paths) {
    ResolvedPath plain, indexed;
    const DWORD a = Walk(path, &plain), b = sim::ResolveDevicePath(root_, path, Resolve::kName, &indexed, &index);
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

TEST(DeviceNameRules, CompareAndMatchWithoutRegardToCase) {
  struct Row {
    std::u16string a, b;
    bool yes;
  };
  const Row sameName[] = {
      {u"WCELOAD.exe", u"wceload.EXE", true}, {u"\u00C4\u00D6\u00DC", u"\u00E4\u00F6\u00FC", true},
      {u"\u0178", u"\u00FF", true},           {u"\u0141\u0104", u"\u0142\u0105", true},
      {u"\u03A9", u"\u03C9", true},           {u"\u0416\u0401", u"\u0436\u0451", true},
      {u"\u00D7", u"\u00F7", false},          {u"ab", u"abc", false},
      {u"\u00DF", u"ss", false},
  };
  const Row patternMatches[] = {
      {u"*", u"anything", true},          {u"*.*", u"noextension", true},
      {u"*.exe", u"WCELOAD.EXE", true},   {u"*.exe", u"a.exe.bak", false},
      {u"?.txt", u"a.txt", true},         {u"?.txt", u"ab.txt", false},
      {u"a*b*c", u"aXXbYYc", true},       {u"a*b*c", u"aXXbYY", false},
      {u"*a", u"bab", false},             {u"*b", u"bab", true},
      {u"\u00C4*", u"\u00E4pfel", true},  {u"", u"x", false},
      {u"exact.txt", u"EXACT.TXT", true}, {u"**?", u"", false},
  };
  for (const auto& r : sameName) EXPECT_EQ(sim::SameName(r.a, r.b), r.yes) << ceutil::ToUtf8(r.a) << " / " << ceutil::ToUtf8(r.b);
  for (const auto& r : patternMatches)
    EXPECT_EQ(sim::MatchesPattern(r.a, r.b), r.yes) << ceutil::ToUtf8(r.a) << " / " << ceutil::ToUtf8(r.b);
}

TEST(DeviceNameRules, HostNamesTheDeviceCannotSpellAreHidden) {
  EXPECT_EQ(sim::DeviceNameOf("\xC3\x84pfel"), std::u16string(u"\u00C4pfel"));
  for (const char* host : {"\xFF", "a:b", "a\\b", "tab\t", "x?"}) EXPECT_FALSE(sim::DeviceNameOf(host)) << host;
}

}  // namespace
}  // namespace ce
