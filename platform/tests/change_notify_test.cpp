#include <gtest/gtest.h>

#include <initializer_list>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/sync.h"

namespace {

using namespace ce;

struct ChangeTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Held(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindCloseChangeNotification(h); }
};
using UniqueChange = Unique<ChangeTraits>;

constexpr DWORD kAll = 0x1F;

void Touch(const char16_t* path) {
  UniqueHandle f(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(f.valid());
  ASSERT_TRUE(WriteFile(f.get(), "x", 1, &written, nullptr));
}

// What an earlier run left (under --gtest_repeat): files first, then folders.
void RemoveLeftovers(std::initializer_list<const char16_t*> paths) {
  for (const char16_t* path : paths)
    if (!DeleteFileW(path)) RemoveDirectoryW(path);
}

TEST(ChangeNotifications, SignalOnChangesBelowTheFolderUntilRearmed) {
  RemoveLeftovers({u"\\Watched\\Sub\\New\\b.txt", u"\\Watched\\Sub\\New"});
  ASSERT_TRUE(CreateDirectoryW(u"\\Watched", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(CreateDirectoryW(u"\\Watched\\Sub", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  UniqueChange tree(FindFirstChangeNotificationW(u"\\Watched", TRUE, kAll));
  UniqueChange flat(FindFirstChangeNotificationW(u"\\Watched", FALSE, kAll));
  ASSERT_TRUE(tree.valid() && flat.valid());
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), DWORD(WAIT_TIMEOUT));

  Touch(u"\\Watched\\Sub\\a.txt");
  EXPECT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), WAIT_OBJECT_0);          // until re-armed
  EXPECT_EQ(WaitForSingleObject(flat.get(), 100), DWORD(WAIT_TIMEOUT));  // not its own folder
  ASSERT_TRUE(FindNextChangeNotification(tree.get()));
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), DWORD(WAIT_TIMEOUT));

  // A folder made after the watch began is watched too.
  ASSERT_TRUE(CreateDirectoryW(u"\\Watched\\Sub\\New", nullptr));
  ASSERT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(FindNextChangeNotification(tree.get()));
  Touch(u"\\Watched\\Sub\\New\\b.txt");
  EXPECT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  Touch(u"\\Watched\\c.txt");
  EXPECT_EQ(WaitForSingleObject(flat.get(), 5000), WAIT_OBJECT_0);
}

// The notification keeps to the folder it was opened on: its deletion is the
// last thing it reports, and a folder made again under the name is another.
TEST(ChangeNotifications, ADeletedFolderEndsItsNotification) {
  RemoveLeftovers({u"\\Doomed\\b.txt", u"\\Doomed"});
  ASSERT_TRUE(CreateDirectoryW(u"\\Doomed", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"\\Doomed\\Sub", nullptr));
  UniqueChange tree(FindFirstChangeNotificationW(u"\\Doomed", TRUE, kAll));
  ASSERT_TRUE(tree.valid());
  // A subfolder's deletion is an ordinary change.
  ASSERT_TRUE(RemoveDirectoryW(u"\\Doomed\\Sub"));
  ASSERT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(FindNextChangeNotification(tree.get()));

  ASSERT_TRUE(RemoveDirectoryW(u"\\Doomed"));
  ASSERT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  SetLastError(0);
  EXPECT_FALSE(FindNextChangeNotification(tree.get()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), DWORD(WAIT_TIMEOUT));  // not signalled for good

  ASSERT_TRUE(CreateDirectoryW(u"\\Doomed", nullptr));
  Touch(u"\\Doomed\\b.txt");
  EXPECT_EQ(WaitForSingleObject(tree.get(), 200), DWORD(WAIT_TIMEOUT));
  EXPECT_FALSE(FindNextChangeNotification(tree.get()));
}

TEST(ChangeNotifications, MissingFoldersAndFilesAreRefused) {
  Touch(u"\\plain.txt");
  const struct {
    const char16_t* path;
    DWORD filter;
    DWORD error;
  } cases[] = {
      {u"\\No Such Folder", kAll, ERROR_PATH_NOT_FOUND},
      {u"\\No Such Folder\\Below", kAll, ERROR_PATH_NOT_FOUND},
      {u"", kAll, ERROR_PATH_NOT_FOUND},
      {u"\\plain.txt", kAll, ERROR_DIRECTORY},
      {u"\\Windows", 0, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FindFirstChangeNotificationW(c.path, TRUE, c.filter), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(FindNextChangeNotification(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
