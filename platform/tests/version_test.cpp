// Version resources of real PE32 and PE32+ images made by the build with
// mingw-w64 (version 1.2.3.4, two translations; one without resources),
// copied into the terminal, and of the images installed in the host's folder.
#include "ce/version.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ce/error.h"
#include "ce/files.h"
#include "ceutil/text.h"
#include "conformance.h"

namespace {

using cetest::kSentinel;

std::string HostImage(const std::string& name) {
  std::ifstream in(std::string(QEL_PE_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Version : public cetest::FolderTest {
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

// The host's install folder holds the build's images of the module's resource script.
TEST_F(Version, HostFolderImagesCarryTheProjectVersion) {
  struct Row {
    std::u16string path;
    std::string originalName;
  };
  const Row rows[] = {
      {u"\\Program Files\\Qel\\qelhost.exe", "qelhost.exe"},
      {u"\\Program Files\\Qel\\qelhost.dll", "qelhost.dll"},
      {u"\\Program Files\\Qel\\Plugins\\QelHal_HON2.mpi", "QelHal_HON2.mpi"},
  };
  for (const Row& row : rows) {
    const auto block = Block(row.path);
    EXPECT_EQ(Query(block, u"\\StringFileInfo\\040904b0\\FileVersion"), QEL_PROJECT_VERSION);
    EXPECT_EQ(Query(block, u"\\StringFileInfo\\040904b0\\OriginalFilename"), row.originalName);
    EXPECT_EQ(Query(block, u"\\StringFileInfo\\040904b0\\ProductName"), "QelHal");
  }
}

// Checked once against an independent reader of the same files.
TEST_F(Version, AgreesWithPefile) {
  const std::string python = QEL_SYSTEM_PYTHON;
  if (python.empty() || std::system((python + " -c 'import pefile' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "pefile is not installed (Debian: python3-pefile); the comparison is not made";
  for (const char* name : {"translations32.dll", "translations64.dll"}) {
    const std::string script =
        "import pefile,sys; p=pefile.PE(sys.argv[1]); f=p.VS_FIXEDFILEINFO[0]; "
        "t=[s for fi in p.FileInfo[0] if fi.Key==b'StringFileInfo' for s in fi.StringTable]; "
        "print('%d.%d.%d.%d|%s|%s' % (f.FileVersionMS>>16, f.FileVersionMS&0xffff, f.FileVersionLS>>16, "
        "f.FileVersionLS&0xffff, t[0].entries[b'CompanyName'].decode(), t[1].entries[b'Comments'].decode()))";
    const std::string command = python + " -c \"" + script + "\" " + QEL_PE_DIR + "/" + name;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ASSERT_EQ(::pclose(pipe), 0) << command;
    ASSERT_TRUE(read);

    const auto block = Block(At(ceutil::FromUtf8(name)));
    void* value = nullptr;
    ce::UINT length = 0;
    ASSERT_TRUE(ce::VerQueryValueW(block.data(), u"\\", &value, &length));
    const auto* info = static_cast<const ce::VS_FIXEDFILEINFO*>(value);
    char ours[512];
    std::snprintf(ours, sizeof ours, "%u.%u.%u.%u|%s|%s\n", info->dwFileVersionMS >> 16,
                  info->dwFileVersionMS & 0xFFFF, info->dwFileVersionLS >> 16, info->dwFileVersionLS & 0xFFFF,
                  Query(block, u"\\StringFileInfo\\040904b0\\CompanyName").c_str(),
                  Query(block, u"\\StringFileInfo\\040704e4\\Comments").c_str());
    EXPECT_EQ(std::string(line), std::string(ours)) << name;
  }
}

}  // namespace
