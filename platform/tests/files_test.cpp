#include "ce/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ceutil/text.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;
using List = std::vector<std::string>;

// A new file is marked for archiving. Wine cannot take the mark away (it has
// no place to keep it), so the tests that make a file read-only keep it.
constexpr DWORD kLocked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;

class Files : public cetest::FolderTest {
 protected:
  // old.txt, B.TXT, c.doc, a read-only locked.txt and a folder sub.
  void MakeDocs() {
    Put(u"old.txt", "old");
    Put(u"B.TXT", "bb");
    Put(u"c.doc", "");
    Put(u"locked.txt", "keep");
    ASSERT_TRUE(SetFileAttributesW(At(u"locked.txt").c_str(), kLocked));
    ASSERT_TRUE(CreateDirectoryW(At(u"sub").c_str(), nullptr));
  }
  bool Exists(std::u16string_view rel) const {
    return GetFileAttributesW(At(rel).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
};

TEST_F(Files, DispositionsOpenCreateAndTruncate) {
  const struct {
    DWORD disposition;
    bool existing;
    DWORD error;        // last error afterwards; a handle when ERROR_SUCCESS or ERROR_ALREADY_EXISTS
    const char* after;  // content afterwards, or null when the file must not exist
  } rows[] = {
      {CREATE_NEW, false, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "disposition " << row.disposition << " existing " << row.existing);
    cetest::RemoveTree(At(u"sub"));
    ASSERT_TRUE(CreateDirectoryW(At(u"sub").c_str(), nullptr));
    if (row.existing) Put(u"sub\\Case.txt", "old");
    SetLastError(kSentinel);
    UniqueHandle h(CreateFileW(At(u"SUB\\case.TXT").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               row.disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(GetLastError(), row.error);
    EXPECT_EQ(h.valid(), row.error == ERROR_SUCCESS || row.error == ERROR_ALREADY_EXISTS);
    h.reset();
    if (row.after == nullptr) {
      EXPECT_EQ(Names(u"sub"), List{});
    } else {  // one file, spelled as it was first made
      EXPECT_EQ(Names(u"sub"), List{row.existing ? "Case.txt" : "case.TXT"});
      EXPECT_EQ(Get(u"sub\\case.txt"), row.after);
    }
  }
}

TEST_F(Files, CreateFileRefusals) {
  MakeDocs();
  const std::u16string old = At(u"old.txt"), locked = At(u"locked.txt"), trailing = old + u"\\",
                       missing = At(u"nowhere\\x.txt"), tooLong = u"\\" + std::u16string(MAX_PATH, u'a');
  const struct {
    const char16_t* path;
    DWORD access, disposition, error;
  } rows[] = {
      {missing.c_str(), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {dir_.c_str(), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},  // a folder
      {u"\\", GENERIC_READ, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
      {locked.c_str(), GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {locked.c_str(), GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
      {old.c_str(), GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
      {old.c_str(), GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
      {trailing.c_str(), GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
      {tooLong.c_str(), GENERIC_WRITE, CREATE_NEW, ERROR_FILENAME_EXCED_RANGE},
      {u"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {nullptr, GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path ? ceutil::ToUtf8(row.path).substr(0, 60) : "null");
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileW(row.path, row.access, 0, nullptr, row.disposition, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), row.error);
  }
  EXPECT_EQ(Get(u"locked.txt"), "keep");
  EXPECT_EQ(Names(), (List{"B.TXT", "c.doc", "locked.txt", "old.txt", "sub"}));  // nothing made on the way
}

TEST_F(Files, ReadWriteSeekAndSize) {
  UniqueHandle h(
      CreateFileW(At(u"rw.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(h);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h.get(), "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(SetFilePointer(h.get(), 6, nullptr, FILE_BEGIN), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "world");
  SetLastError(kSentinel);
  ASSERT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));  // end of file: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(SetFilePointer(h.get(), -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(h.get(), -1, nullptr, FILE_CURRENT), 5u);
  SetLastError(kSentinel);
  EXPECT_EQ(SetFilePointer(h.get(), -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  SetLastError(kSentinel);
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
  SetLastError(kSentinel);
  EXPECT_EQ(SetFilePointer(h.get(), 1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);  // 0xFFFFFFFF is a position, not a failure
  SetLastError(kSentinel);
  EXPECT_EQ(SetFilePointer(h.get(), 1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);  // 4 GiB needs the high part
  h.reset();
  EXPECT_EQ(Get(u"rw.bin"), "hello");
}

TEST_F(Files, HandlesKeepTheirAccessAndSharing) {
  Put(u"old.txt", "old");
  UniqueHandle reader(
      CreateFileW(At(u"old.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader);
  DWORD n = 0;
  SetLastError(kSentinel);
  EXPECT_FALSE(WriteFile(reader.get(), "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(kSentinel);
  EXPECT_FALSE(SetEndOfFile(reader.get()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  const struct {
    DWORD access, share, error;
  } rows[] = {
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
       ERROR_SHARING_VIOLATION},                   // the reader denies writers
      {GENERIC_READ, 0, ERROR_SHARING_VIOLATION},  // would deny the reader
      {GENERIC_READ, FILE_SHARE_READ, ERROR_SUCCESS},
      {0, 0, ERROR_SUCCESS},  // attributes only
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.access << "/" << row.share);
    SetLastError(kSentinel);
    UniqueHandle second(
        CreateFileW(At(u"OLD.txt").c_str(), row.access, row.share, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(second.valid(), row.error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), row.error);
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(DeleteFileW(At(u"old.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  SetLastError(kSentinel);
  EXPECT_FALSE(MoveFileW(At(u"old.txt").c_str(), At(u"moved.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  reader.reset();
  EXPECT_TRUE(DeleteFileW(At(u"old.txt").c_str()));

  UniqueHandle writer(CreateFileW(At(u"w.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  char c;
  SetLastError(kSentinel);
  EXPECT_FALSE(ReadFile(writer.get(), &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(Files, ClosedAndForeignHandlesAreInvalid) {
  Put(u"old.txt", "old");
  HANDLE file = CreateFileW(At(u"old.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(At(u"*").c_str(), &data);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  char buf[4];
  DWORD n = 0;
  EXPECT_FALSE(FindClose(file));  // not a search: the file stays open
  EXPECT_TRUE(ReadFile(file, buf, 3, &n, nullptr));
  // An open search is not a file either. Made before the file is closed, as a
  // desktop gives a closed handle's value to the next handle made.
  HANDLE search = FindFirstFileW(At(u"*").c_str(), &data);
  EXPECT_TRUE(FindClose(find));
  EXPECT_TRUE(CloseHandle(file));
  const std::vector<std::pair<const char*, std::function<bool()>>> uses = {
      {"ReadFile", [&] { return ReadFile(file, buf, 1, &n, nullptr); }},
      {"WriteFile", [&] { return WriteFile(file, "x", 1, &n, nullptr); }},
      {"SetFilePointer",
       [&] { return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER; }},
      {"GetFileSize", [&] { return GetFileSize(file, nullptr) != INVALID_FILE_SIZE; }},
      {"SetEndOfFile", [&] { return SetEndOfFile(file); }},
      {"FlushFileBuffers", [&] { return FlushFileBuffers(file); }},
      {"CloseHandle", [&] { return CloseHandle(file); }},
      {"FindNextFileW", [&] { return FindNextFileW(find, &data); }},
      {"FindClose", [&] { return FindClose(find); }},
      {"FindNextFileW on a file", [&] { return FindNextFileW(file, &data); }},
      {"ReadFile on a search", [&] { return ReadFile(search, buf, 1, &n, nullptr); }},
      {"INVALID_HANDLE_VALUE", [&] { return ReadFile(INVALID_HANDLE_VALUE, buf, 1, &n, nullptr); }},
  };
  for (const auto& [name, use] : uses) {
    SetLastError(kSentinel);
    EXPECT_FALSE(use()) << name;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << name;
  }
  EXPECT_TRUE(FindClose(search));
}

TEST_F(Files, OneHandleServesSeveralThreads) {
  UniqueHandle h(CreateFileW(At(u"log.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
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
  h.reset();
  const std::string all = Get(u"log.bin");
  for (size_t i = 0; i < all.size(); i += kSize)
    ASSERT_EQ(all.substr(i, kSize), std::string(kSize, all[i])) << i;
}

TEST_F(Files, AttributesAndMountedStores) {
  MakeDocs();
  ASSERT_TRUE(CreateDirectoryW(At(u"Storage Card").c_str(), nullptr));
  const std::u16string slash = dir_ + u"\\", file = At(u"old.txt"), locked = At(u"LOCKED.txt"),
                       nested = At(u"storage card"), none = At(u"none.txt"), noFolder = At(u"none\\none.txt");
  const struct {
    const char16_t* path;
    DWORD attributes, error;
  } rows[] = {
      {u"\\", FILE_ATTRIBUTE_DIRECTORY, kSentinel},
      {slash.c_str(), FILE_ATTRIBUTE_DIRECTORY, kSentinel},
      {file.c_str(), FILE_ATTRIBUTE_ARCHIVE, kSentinel},
      {locked.c_str(), kLocked, kSentinel},
      {nested.c_str(), FILE_ATTRIBUTE_DIRECTORY, kSentinel},  // only root folders are stores
      {none.c_str(), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {noFolder.c_str(), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.path));
    SetLastError(kSentinel);
    const DWORD attributes = GetFileAttributesW(row.path);
    if (cetest::broken(row.path == std::u16string_view(u"\\"))) {
      // A desktop's root is a drive's, with attributes of its own.
      EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
      continue;
    }
    EXPECT_EQ(attributes, row.attributes);
    EXPECT_EQ(GetLastError(), row.error);
  }
  // The terminal's mounted stores are root folders marked temporary; none may
  // be removed. A desktop's stores are drives, so its root has no such folder.
  std::vector<std::u16string> stores;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do
    if (data.dwFileAttributes & FILE_ATTRIBUTE_TEMPORARY) stores.push_back(data.cFileName);
  while (FindNextFileW(find, &data));
  FindClose(find);
  EXPECT_TRUE(!stores.empty() || cetest::broken(stores.empty()));
  for (const auto& store : stores) {
    SCOPED_TRACE(ceutil::ToUtf8(store));
    EXPECT_EQ(GetFileAttributesW((u"/" + ceutil::ToUpper(store) + u"/").c_str()),
              DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
    SetLastError(kSentinel);
    EXPECT_FALSE(RemoveDirectoryW((u"\\" + store).c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
}

TEST_F(Files, ReadOnlyFilesRefuseWritersButNotTheirCreator) {
  Put(u"old.txt", "old");
  const std::u16string old = At(u"old.txt");
  SetLastError(kSentinel);
  ASSERT_TRUE(SetFileAttributesW(old.c_str(), kLocked));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(GetFileAttributesW(old.c_str()), kLocked);
  SetLastError(kSentinel);
  EXPECT_FALSE(UniqueHandle(CreateFileW(old.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(UniqueHandle(CreateFileW(old.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
  SetLastError(kSentinel);
  EXPECT_FALSE(SetFileAttributesW(At(u"none").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  UniqueHandle made(CreateFileW(At(u"ro.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_READONLY, nullptr));
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(made.get(), "x", 1, &n, nullptr));
  EXPECT_EQ(GetFileAttributesW(At(u"ro.txt").c_str()), kLocked);
}

TEST_F(Files, DeleteMoveCopyAndFolders) {
  MakeDocs();
  enum Op { kDelete, kMkdir, kRmdir, kMove, kCopy, kCopyNew };
  const struct {
    Op op;
    const char16_t *path, *to;    // in the test's folder; "\\" is the root, "." the folder
    DWORD error;                  // 0: must succeed
    std::function<bool()> after;  // the state afterwards
  } rows[] = {
      {kDelete, u"none.txt", nullptr, ERROR_FILE_NOT_FOUND, nullptr},
      {kDelete, u"none\\x", nullptr, ERROR_PATH_NOT_FOUND, nullptr},
      {kDelete, u"sub", nullptr, ERROR_ACCESS_DENIED, nullptr},
      {kDelete, u"locked.txt", nullptr, ERROR_ACCESS_DENIED, [&] { return Exists(u"locked.txt"); }},
      {kDelete, u"C.DOC", nullptr, 0, [&] { return !Exists(u"c.doc"); }},
      {kMkdir, u"SUB", nullptr, ERROR_ALREADY_EXISTS, nullptr},
      {kMkdir, u"\\", nullptr, ERROR_ALREADY_EXISTS, nullptr},
      {kMkdir, u"a\\b", nullptr, ERROR_PATH_NOT_FOUND, nullptr},
      {kMkdir, u"New\\", nullptr, 0, [&] { return Exists(u"new"); }},
      {kRmdir, u".", nullptr, ERROR_DIR_NOT_EMPTY, nullptr},
      {kRmdir, u"old.txt", nullptr, ERROR_DIRECTORY, nullptr},
      {kRmdir, u"none", nullptr, ERROR_FILE_NOT_FOUND, nullptr},
      {kRmdir, u"\\", nullptr, ERROR_ACCESS_DENIED, nullptr},
      {kRmdir, u"new", nullptr, 0, [&] { return !Exists(u"New"); }},
      {kMove, u"old.txt", u"b.txt", ERROR_ALREADY_EXISTS, [&] { return Get(u"B.TXT") == "bb"; }},
      {kMove, u"none", u"x", ERROR_FILE_NOT_FOUND, nullptr},
      {kMove, u".", u"sub\\x", ERROR_ACCESS_DENIED, nullptr},  // a folder into itself
      {kMove, u"OLD.txt", u"sub\\moved.txt", 0,
       [&] { return Get(u"sub\\moved.txt") == "old" && !Exists(u"old.txt"); }},
      {kMove, u"b.txt", u"b.Txt", 0,
       [&] {
         return Names() == List{"b.Txt", "locked.txt", "sub"};
       }},  // case only
      {kCopy, u"none", u"x", ERROR_FILE_NOT_FOUND, nullptr},
      {kCopy, u"sub", u"x", ERROR_ACCESS_DENIED, nullptr},
      {kCopyNew, u"b.txt", u"sub\\MOVED.txt", ERROR_FILE_EXISTS,
       [&] { return Get(u"sub\\moved.txt") == "old"; }},
      {kCopy, u"b.txt", u"B.TXT", ERROR_SHARING_VIOLATION, [&] { return Get(u"b.Txt") == "bb"; }},
      {kCopy, u"b.txt", u"locked.txt", ERROR_ACCESS_DENIED, [&] { return Get(u"locked.txt") == "keep"; }},
      {kCopy, u"b.txt", u"sub\\moved.txt", 0,
       [&] { return Get(u"sub\\moved.txt") == "bb" && Get(u"b.Txt") == "bb"; }},
      {kCopyNew, u"locked.txt", u"copy.txt", 0,
       [&] { return Get(u"copy.txt") == "keep" && GetFileAttributesW(At(u"copy.txt").c_str()) == kLocked; }},
  };
  auto path = [&](const char16_t* rel) {
    const std::u16string r = rel ? rel : u"";
    return r == u"\\" ? r : r == u"." ? dir_ : At(r);
  };
  for (const auto& row : rows) {
    const std::u16string from = path(row.path), to = path(row.to);
    SCOPED_TRACE(testing::Message() << "op " << row.op << " " << ceutil::ToUtf8(from) << " "
                                    << ceutil::ToUtf8(to));
    SetLastError(kSentinel);
    const BOOL ok = row.op == kDelete  ? DeleteFileW(from.c_str())
                    : row.op == kMkdir ? CreateDirectoryW(from.c_str(), nullptr)
                    : row.op == kRmdir ? RemoveDirectoryW(from.c_str())
                    : row.op == kMove  ? MoveFileW(from.c_str(), to.c_str())
                                       : CopyFileW(from.c_str(), to.c_str(), row.op == kCopyNew);
    EXPECT_EQ(ok, row.error == 0);
    EXPECT_EQ(GetLastError(), row.error ? row.error : kSentinel);
    if (row.after) {
      EXPECT_TRUE(row.after());
    }
  }
}

TEST_F(Files, FindMatchesPatternsWithoutRegardToCase) {
  MakeDocs();
  ASSERT_TRUE(CreateDirectoryW(At(u"Storage Card").c_str(), nullptr));
  const List all = {"B.TXT", "Storage Card", "c.doc", "locked.txt", "old.txt", "sub"};
  std::u16string forward = dir_ + u"/?.DOC";
  std::replace(forward.begin(), forward.end(), u'\\', u'/');
  const struct {
    std::u16string pattern;
    List names;
    DWORD error;
  } rows[] = {
      {At(u"*"), all, 0},
      {At(u"*.*"), all, 0},
      {At(u"*.TXT"), {"B.TXT", "locked.txt", "old.txt"}, 0},
      {forward, {"c.doc"}, 0},
      {At(u"SUB"), {"sub"}, 0},
      {At(u"none*"), {}, ERROR_FILE_NOT_FOUND},
      {At(u""), {}, ERROR_FILE_NOT_FOUND},
      {At(u"none\\*"), {}, ERROR_PATH_NOT_FOUND},
      {u"\\Q*\\*", {}, ERROR_INVALID_NAME},
      {At(u"a<*"), {}, ERROR_INVALID_NAME},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.pattern));
    WIN32_FIND_DATAW data;
    SetLastError(kSentinel);
    HANDLE find = FindFirstFileW(row.pattern.c_str(), &data);
    if (row.error) {
      EXPECT_EQ(find, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), row.error);
      continue;
    }
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    List names{ceutil::ToUtf8(data.cFileName)};
    while (FindNextFileW(find, &data)) names.push_back(ceutil::ToUtf8(data.cFileName));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, row.names);
    EXPECT_TRUE(FindClose(find));
  }
}

// The device's names have no short form for a pattern to match instead.
TEST_F(Files, FindMatchesLongNamesOnly) {
  Put(u"page.html", "");
  Put(u"a long name.text", "");
  Put(u"note.htm", "");
  const struct {
    const char16_t* pattern;
    List names;
  } rows[] = {
      {u"*.htm", {"note.htm"}}, {u"*.htm?", {"page.html"}},         {u"*~*", {}}, {u"along*", {}},
      {u"*.tex", {}},           {u"A LONG*", {"a long name.text"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ceutil::ToUtf8(row.pattern));
    WIN32_FIND_DATAW data;
    SetLastError(kSentinel);
    HANDLE find = FindFirstFileW(At(row.pattern).c_str(), &data);
    List names;
    if (find != INVALID_HANDLE_VALUE) {
      do names.push_back(ceutil::ToUtf8(data.cFileName));
      while (FindNextFileW(find, &data));
      EXPECT_TRUE(FindClose(find));
    } else {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, row.names);
  }
}

TEST_F(Files, FindReportsAttributesSizesAndTimes) {
  Put(u"B.TXT", "bb");
  ASSERT_TRUE(CreateDirectoryW(At(u"sub").c_str(), nullptr));
  const uint64_t now =
      (uint64_t(std::time(nullptr)) + 11644473600ull) * 10'000'000ull;  // since 1601, in 100 ns
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(At(u"b.txt").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  EXPECT_EQ(std::u16string(data.cFileName), u"B.TXT");
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(data.nFileSizeLow, 2u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  const uint64_t written =
      (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  EXPECT_NEAR(double(written), double(now), 5.0 * 10'000'000);
  find = FindFirstFileW(At(u"SUB").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
}  // namespace ce
