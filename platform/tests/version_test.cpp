// Version resources of real PE32 and PE32+ images made by the build
// (version_images.h), read through the files and version calls.
#include "ce/version.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "ce/error.h"
#include "ceutil/text.h"
#include "version_images.h"

namespace {

using cetest::kSentinel;
using cetest::Version;

TEST_F(Version, SizeFailsWithTheFilesError) {
  struct Row {
    std::u16string path;
    ce::DWORD error;
  };
  const Row rows[] = {
      {At(u"noversion.dll"), ERROR_RESOURCE_DATA_NOT_FOUND},
      {At(u"text.txt"), ERROR_BAD_EXE_FORMAT},
      {At(u"empty.dll"), ERROR_BAD_EXE_FORMAT},
      {At(u"missing.dll"), ERROR_FILE_NOT_FOUND},
      {At(u"missing\\x.dll"), ERROR_PATH_NOT_FOUND},
      {dir_, ERROR_ACCESS_DENIED},
  };
  for (const Row& row : rows) {
    ce::SetLastError(kSentinel);
    ce::DWORD handle = 7;
    EXPECT_EQ(ce::GetFileVersionInfoSizeW(row.path.c_str(), &handle), 0u) << ceutil::ToUtf8(row.path);
    EXPECT_EQ(ce::GetLastError(), row.error) << ceutil::ToUtf8(row.path);
    EXPECT_EQ(handle, 0u);
    std::array<uint8_t, 256> data{};
    ce::SetLastError(kSentinel);
    EXPECT_FALSE(ce::GetFileVersionInfoW(row.path.c_str(), 0, ce::DWORD(data.size()), data.data()));
    EXPECT_EQ(ce::GetLastError(), row.error) << ceutil::ToUtf8(row.path);
  }
}

TEST_F(Version, FixedRecordOfBothImageKinds) {
  for (const char16_t* name : {u"translations32.dll", u"translations64.dll"}) {
    const auto block = Block(At(name));
    void* value = nullptr;
    ce::UINT length = 0;
    ASSERT_TRUE(ce::VerQueryValueW(block.data(), u"\\", &value, &length));
    ASSERT_EQ(length, sizeof(ce::VS_FIXEDFILEINFO));
    const auto* info = static_cast<const ce::VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(info->dwSignature, ce::DWORD(VS_FFI_SIGNATURE));
    EXPECT_EQ(info->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00030004u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00050006u);
    EXPECT_EQ(info->dwProductVersionLS, 0x00070008u);
    EXPECT_EQ(static_cast<const void*>(info), static_cast<const void*>(block.data() + 40))
        << "after the root's key";
  }
}

TEST_F(Version, QueriesFindValuesWithoutRegardToCase) {
  const auto block = Block(At(u"translations32.dll"));
  void* table = nullptr;
  ce::UINT bytes = 0;
  ASSERT_TRUE(ce::VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &table, &bytes));
  ASSERT_EQ(bytes, 8u);
  std::array<uint16_t, 4> pairs{};
  std::memcpy(pairs.data(), table, 8);
  EXPECT_EQ(pairs, (std::array<uint16_t, 4>{0x0409, 1200, 0x0407, 1252}));

  const std::string missing = "<error " + std::to_string(ERROR_RESOURCE_TYPE_NOT_FOUND) + ">";
  struct Row {
    std::u16string subBlock;
    std::string text;
  };
  const Row rows[] = {
      {u"\\StringFileInfo\\040904b0\\CompanyName", "Qel Test"},
      {u"\\stringfileinfo\\040904B0\\COMPANYNAME", "Qel Test"},
      {u"StringFileInfo\\\\040904b0\\ProductName", "Translations"},
      {u"\\StringFileInfo\\040704e4\\Comments", "nur in der zweiten"},
      {u"\\StringFileInfo\\040704e4\\CompanyName", "Qel Test DE"},
      {u"\\StringFileInfo\\040904b0\\Comments", missing},
      {u"\\StringFileInfo\\041104b0\\CompanyName", missing},
      {u"\\StringFileInfo\\040904b0\\Company", missing},
      {u"\\Nothing", missing},
  };
  for (const Row& row : rows) EXPECT_EQ(Query(block, row.subBlock), row.text) << ceutil::ToUtf8(row.subBlock);

  void* value = nullptr;
  ce::SetLastError(kSentinel);
  EXPECT_FALSE(ce::VerQueryValueW(block.data(), nullptr, &value, nullptr));
  EXPECT_EQ(ce::GetLastError(), ce::DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Version, ShortBufferCopiesWhatFitsAndFails) {
  const std::u16string path = At(u"translations32.dll");
  const auto whole = Block(path);
  ASSERT_GT(whole.size(), 100u);
  std::vector<uint8_t> part(whole.size(), 0xEE);
  ce::SetLastError(kSentinel);
  EXPECT_FALSE(ce::GetFileVersionInfoW(path.c_str(), 0, 100, part.data()));
  EXPECT_EQ(ce::GetLastError(), ce::DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + 100, part.begin()));
  EXPECT_EQ(part[100], 0xEE) << "nothing past the length";

  std::vector<uint8_t> larger(whole.size() + 16);
  EXPECT_TRUE(ce::GetFileVersionInfoW(path.c_str(), 0, ce::DWORD(larger.size()), larger.data()));
  EXPECT_TRUE(std::equal(whole.begin(), whole.end(), larger.begin()));
  ce::SetLastError(kSentinel);
  EXPECT_FALSE(ce::GetFileVersionInfoW(path.c_str(), 0, 16, nullptr));
  EXPECT_EQ(ce::GetLastError(), ce::DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
