#include "ce/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/sim/control.h"

namespace ce {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/qel_files_XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    dir_ = templ;
    root_ = dir_ / "fs";
    fs::create_directories(root_ / "docs" / "sub");
    fs::create_directories(root_ / "Storage Card");
    fs::create_directories(root_ / "docs" / "Storage Card");
    fs::create_directories(dir_ / "outside");
    Put("docs/old.txt", "old");
    Put("docs/B.TXT", "bb");
    Put("docs/c.doc", "");
    Put("docs/locked.txt", "keep");
    fs::permissions(root_ / "docs" / "locked.txt", fs::perms::owner_write | fs::perms::group_write |
                                                     fs::perms::others_write, fs::perm_options::remove);
    std::ofstream(dir_ / "outside" / "secret.txt") << "secret";
    fs::create_directory_symlink(dir_ / "outside", root_ / "link_dir");
    fs::create_symlink(dir_ / "outside" / "secret.txt", root_ / "docs" / "link_file");
    std::ofstream(dir_ / "terminal.json") << "{}";
    std::ofstream(dir_ / "hardware.json") << R"({"storage":{"mounted":["Storage Card"]}})";
    std::string error;
    ASSERT_TRUE(sim::UseTerminal(dir_, &error)) << error;
  }
  void TearDown() override {
    sim::CloseTerminal();
    fs::remove_all(dir_);
  }

  void Put(const std::string& rel, const std::string& content) {
    std::ofstream(root_ / rel, std::ios::binary) << content;
  }
  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Get(const std::string& rel) { return Read(root_ / rel); }
  std::vector<std::string> Names(const std::string& rel) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_ / rel)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_, root_;
};

std::string Narrow(const char16_t* s) {
  std::string out;
  for (; *s; ++s) out += char(*s);
  return out;
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
      {u"\\nowhere\\x.txt", GENERIC_WRITE, CREATE_NEW, ERROR_PATH_NOT_FOUND},
      {u"\\docs", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {u"\\", GENERIC_READ, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
      {u"\\docs\\locked.txt", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {u"\\docs\\locked.txt", GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
      {u"\\docs\\locked.txt", GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_ACCESS_DENIED},
      {u"\\docs\\old.txt", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
      {u"\\docs\\old.txt", GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
      {u"\\docs\\old.txt\\", GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
      {u"C:\\docs\\old.txt", GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
      {u"\\docs\\..\\..\\terminal.json", GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
      {u"\\docs\\new?.txt", GENERIC_WRITE, CREATE_NEW, ERROR_INVALID_NAME},
      {tooLong.c_str(), GENERIC_WRITE, CREATE_NEW, ERROR_FILENAME_EXCED_RANGE},
      {u"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
      {u"/etc/passwd", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},  // inside the terminal
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path ? Narrow(row.path).substr(0, 40) : "null");
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
    SCOPED_TRACE(Narrow(row.path));
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
  EXPECT_EQ(fs::status(root_ / "docs/old.txt").permissions() & fs::perms::all & ~fs::perms::owner_read &
                ~fs::perms::group_read & ~fs::perms::others_read,
            fs::perms::none);
  EXPECT_EQ(GetFileAttributesW(u"\\docs\\old.txt"), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFileW(u"\\docs\\old.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributesW(u"\\docs\\old.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(u"\\docs\\old.txt"), FILE_ATTRIBUTE_NORMAL);
  UniqueHandle h(CreateFileW(u"\\docs\\old.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(h);
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
    SCOPED_TRACE(Narrow(row.pattern));
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(row.pattern, &data);
    if (row.error) {
      EXPECT_EQ(find, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), row.error);
      continue;
    }
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> names{Narrow(data.cFileName)};
    while (FindNextFileW(find, &data)) names.push_back(Narrow(data.cFileName));
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
  do attributes[Narrow(data.cFileName)] = data.dwFileAttributes;
  while (FindNextFileW(find, &data));
  FindClose(find);
  const std::map<std::string, DWORD> expected = {
      {"Storage Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY}, {"docs", FILE_ATTRIBUTE_DIRECTORY}};
  EXPECT_EQ(attributes, expected);
}

TEST_F(FilesTest, LinksNeverLeadOutside) {
  const auto outsideBefore = Read(dir_ / "outside/secret.txt");
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
  EXPECT_EQ(Read(dir_ / "outside/secret.txt"), outsideBefore);
  EXPECT_TRUE(fs::is_symlink(root_ / "docs/link_file"));
  EXPECT_FALSE(fs::exists(root_ / "docs/stolen.txt"));
  EXPECT_NE(fs::status(dir_ / "outside/secret.txt").permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(FilesTest, WithoutATerminalNothingIsReady) {
  sim::CloseTerminal();
  const char* env = std::getenv(sim::kTerminalEnv);
  const std::string saved = env ? env : "";
  ::unsetenv(sim::kTerminalEnv);
  EXPECT_EQ(GetFileAttributesW(u"\\docs"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
  EXPECT_EQ(CreateFileW(u"\\x", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
  if (env) ::setenv(sim::kTerminalEnv, saved.c_str(), 1);
}

}  // namespace
}  // namespace ce
