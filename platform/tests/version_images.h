// The version-resource tests' images and fixture: real PE32 and PE32+ images
// made by the build with mingw-w64 (version 1.2.3.4, two translations; one
// without resources), read from QEL_PE_DIR and copied into a test folder.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/version.h"
#include "ceutil/text.h"
#include "conformance.h"

namespace cetest {

// The bytes of an image the build made; empty when it is missing.
inline std::string HostImage(const std::string& name) {
  std::ifstream in(std::string(QEL_PE_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Version : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    for (const char* name : {"translations32.dll", "translations64.dll", "noversion.dll"}) {
      const std::string bytes = HostImage(name);
      ASSERT_FALSE(bytes.empty()) << name << " was not built in " << QEL_PE_DIR;
      Put(ceutil::FromUtf8(name), bytes);
    }
    Put(u"text.txt", "MZ is not enough to make a program");
    Put(u"empty.dll", "");
  }

  // The block of a file, read as a caller does: its size, then the block.
  std::vector<uint8_t> Block(const std::u16string& path) {
    ce::DWORD handle = 7;
    const ce::DWORD size = ce::GetFileVersionInfoSizeW(path.c_str(), &handle);
    EXPECT_NE(size, 0u) << ce::GetLastError();
    EXPECT_EQ(handle, 0u);
    std::vector<uint8_t> block(size);
    EXPECT_TRUE(size && ce::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) << ce::GetLastError();
    return block;
  }

  // The text at a string path, or "<error N>".
  static std::string Query(const std::vector<uint8_t>& block, const std::u16string& subBlock) {
    void* value = nullptr;
    ce::UINT length = 0;
    ce::SetLastError(kSentinel);
    if (!ce::VerQueryValueW(block.data(), subBlock.c_str(), &value, &length))
      return "<error " + std::to_string(ce::GetLastError()) + ">";
    const auto* at = static_cast<const uint8_t*>(value);
    EXPECT_TRUE(at >= block.data() && at + 2 * length <= block.data() + block.size())
        << "points into the block";
    std::u16string text(static_cast<const char16_t*>(value), length);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return ceutil::ToUtf8(text);
  }
};

}  // namespace cetest
