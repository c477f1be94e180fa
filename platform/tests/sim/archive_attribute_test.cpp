// The archive attribute a file gets when it is made or overwritten, and which
// SetFileAttributesW sets and clears. (Under Wine the mark cannot be cleared,
// so the shared suite leaves it set.)
#include <gtest/gtest.h>

#include "ce/files.h"
#include "ce/handle.h"
#include "conformance.h"

namespace ce {
namespace {

using ArchiveAttribute = cetest::FolderTest;

TEST_F(ArchiveAttribute, MadeOverwrittenAndSetByTheCaller) {
  const std::u16string file = At(u"a.txt"), folder = At(u"sub");
  Put(u"a.txt", "a");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const struct {
    const char* what;
    DWORD set;  // given to SetFileAttributesW, or 0 for an overwrite
    DWORD after;
  } steps[] = {
      {"cleared", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
      {"overwritten", 0, FILE_ATTRIBUTE_ARCHIVE},
      {"read-only alone", FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY},
      {"set with read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
      {"set alone", FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.set) {
      ASSERT_TRUE(SetFileAttributesW(file.c_str(), step.set));
    } else {
      Put(u"a.txt", "b");
    }
    EXPECT_EQ(GetFileAttributesW(file.c_str()), step.after);
  }
  // A folder has no such mark.
  ASSERT_TRUE(SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesW(folder.c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

}  // namespace
}  // namespace ce
