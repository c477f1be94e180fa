#include <gtest/gtest.h>

#include <string>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "ceutil/text.h"
#include "conformance.h"

namespace ce {
namespace {

struct ChangeTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Held(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindCloseChangeNotification(h); }
};
using UniqueChange = Unique<ChangeTraits>;

constexpr DWORD kAll = 0x1F;

void Touch(const std::u16string& path) {
  UniqueHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(f.valid());
  ASSERT_TRUE(WriteFile(f.get(), "x", 1, &written, nullptr));
}

using ChangeNotifications = cetest::FolderTest;

TEST_F(ChangeNotifications, SignalOnChangesBelowTheFolderUntilRearmed) {
  ASSERT_TRUE(CreateDirectoryW(At(u"Sub").c_str(), nullptr));
  UniqueChange tree(FindFirstChangeNotificationW(dir_.c_str(), TRUE, kAll));
  UniqueChange flat(FindFirstChangeNotificationW(dir_.c_str(), FALSE, kAll));
  ASSERT_TRUE(tree.valid() && flat.valid());
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), DWORD(WAIT_TIMEOUT));

  Touch(At(u"Sub\\a.txt"));
  EXPECT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), WAIT_OBJECT_0);          // until re-armed
  EXPECT_EQ(WaitForSingleObject(flat.get(), 100), DWORD(WAIT_TIMEOUT));  // not its own folder
  ASSERT_TRUE(FindNextChangeNotification(tree.get()));
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), DWORD(WAIT_TIMEOUT));

  // A folder made after the watch began is watched too.
  ASSERT_TRUE(CreateDirectoryW(At(u"Sub\\New").c_str(), nullptr));
  ASSERT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(FindNextChangeNotification(tree.get()));
  Touch(At(u"Sub\\New\\b.txt"));
  EXPECT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  Touch(At(u"c.txt"));
  EXPECT_EQ(WaitForSingleObject(flat.get(), 5000), WAIT_OBJECT_0);
}

// The notification keeps to the folder it was opened on: its deletion is the
// last thing it reports, and a folder made again under the name is another.
TEST_F(ChangeNotifications, ADeletedFolderEndsItsNotification) {
  const std::u16string doomed = At(u"Doomed");
  ASSERT_TRUE(CreateDirectoryW(doomed.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(At(u"Doomed\\Sub").c_str(), nullptr));
  UniqueChange tree(FindFirstChangeNotificationW(doomed.c_str(), TRUE, kAll));
  ASSERT_TRUE(tree.valid());
  // A subfolder's deletion is an ordinary change.
  ASSERT_TRUE(RemoveDirectoryW(At(u"Doomed\\Sub").c_str()));
  ASSERT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(FindNextChangeNotification(tree.get()));

  ASSERT_TRUE(RemoveDirectoryW(doomed.c_str()));
  ASSERT_EQ(WaitForSingleObject(tree.get(), 5000), WAIT_OBJECT_0);
  SetLastError(0);
  EXPECT_FALSE(FindNextChangeNotification(tree.get()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(WaitForSingleObject(tree.get(), 0), DWORD(WAIT_TIMEOUT));  // not signalled for good

  ASSERT_TRUE(CreateDirectoryW(doomed.c_str(), nullptr));
  Touch(At(u"Doomed\\b.txt"));
  EXPECT_EQ(WaitForSingleObject(tree.get(), 200), DWORD(WAIT_TIMEOUT));
  EXPECT_FALSE(FindNextChangeNotification(tree.get()));
}

TEST_F(ChangeNotifications, MissingFoldersAndFilesAreRefused) {
  Touch(At(u"plain.txt"));
  const struct {
    std::u16string path;
    DWORD filter;
    DWORD error;
  } cases[] = {
      {At(u"No Such Folder"), kAll, ERROR_PATH_NOT_FOUND},
      {At(u"No Such Folder\\Below"), kAll, ERROR_PATH_NOT_FOUND},
      {u"", kAll, ERROR_PATH_NOT_FOUND},
      {At(u"plain.txt"), kAll, ERROR_DIRECTORY},
      {dir_, 0, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SetLastError(0xDEADBEEF);
    SCOPED_TRACE(ceutil::ToUtf8(c.path));
    EXPECT_EQ(FindFirstChangeNotificationW(c.path.c_str(), TRUE, c.filter), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(FindNextChangeNotification(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
}  // namespace ce
