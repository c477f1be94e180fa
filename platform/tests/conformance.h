// Helpers of the conformance tests, written with ce calls only so that they
// run on every backend. Each test works under a folder or key of its own,
// named after the test, and removes it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "backend.h"
#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/registry.h"
#include "ceutil/text.h"

namespace cetest {

// Set before each call, so that a call that should set the last error is seen to.
inline constexpr ce::DWORD kSentinel = 0xdeadbeef;

// Whether a call that only the device has failed as it does on a desktop
// (ERROR_CALL_NOT_IMPLEMENTED), leaving the rest of its test nothing to check:
//   if (cetest::DesktopLacks(ok)) GTEST_SKIP() << "a desktop has no LED driver";
// False on the device's backend, where the call must work.
inline bool DesktopLacks(bool ok) { return !ok && broken(ce::GetLastError() == ERROR_CALL_NOT_IMPLEMENTED); }

// "QelTest-Suite-Name", unique per test.
inline std::u16string UniqueName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return ceutil::FromUtf8(std::string("QelTest-") + info->test_suite_name() + "-" + info->name());
}

// Removes a folder and everything in it, read-only files included.
inline void RemoveTree(const std::u16string& folder) {
  ce::WIN32_FIND_DATAW data;
  const ce::HANDLE find = ce::FindFirstFileW((folder + u"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string path = folder + u"\\" + data.cFileName;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ce::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ce::DeleteFileW(path.c_str());
      }
    } while (ce::FindNextFileW(find, &data));
    ce::FindClose(find);
  }
  ce::RemoveDirectoryW(folder.c_str());
}

// A fresh folder "QelTest-..." in the test root, for the test's files.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(dir_);  // left by an earlier run that crashed
    ASSERT_TRUE(ce::CreateDirectoryW(dir_.c_str(), nullptr)) << ce::GetLastError();
  }
  void TearDown() override { RemoveTree(dir_); }

  // A path inside the test's folder.
  std::u16string At(std::u16string_view rel) const { return dir_ + u"\\" + std::u16string(rel); }
  void Put(std::u16string_view rel, std::string_view content) const {
    ce::UniqueHandle h(
        ce::CreateFileW(At(rel).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ce::DWORD n = 0;
    ASSERT_TRUE(h.valid() && ce::WriteFile(h.get(), content.data(), ce::DWORD(content.size()), &n, nullptr));
  }
  // The content of a file; "<missing>" when it cannot be opened.
  std::string Get(std::u16string_view rel) const {
    ce::UniqueHandle h(
        ce::CreateFileW(At(rel).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h) return "<missing>";
    std::string all;
    char buffer[512];
    ce::DWORD n = 0;
    while (ce::ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) all.append(buffer, n);
    return all;
  }
  // The names in a folder of the test's, sorted.
  std::vector<std::string> Names(std::u16string_view rel = u"") const {
    std::vector<std::string> names;
    ce::WIN32_FIND_DATAW data;
    const std::u16string pattern = (rel.empty() ? dir_ : At(rel)) + u"\\*";
    const ce::HANDLE find = ce::FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(ceutil::ToUtf8(data.cFileName));
    while (ce::FindNextFileW(find, &data));
    ce::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
  }

  const std::u16string dir_ = TestRoot() + UniqueName();
};

// A fresh key under HKEY_CURRENT_USER named after the test, deleted afterwards.
class KeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ce::RegDeleteKeyW(HKEY_CURRENT_USER, name_.c_str());
    ASSERT_EQ(ce::RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  root_.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    root_.reset();
    ce::RegDeleteKeyW(HKEY_CURRENT_USER, name_.c_str());
  }

  const std::u16string name_ = UniqueName();
  ce::RegKey root_;
};

}  // namespace cetest
