// The simulation's own version-resource checks: the images it installs into
// the host's folder of a terminal, and its reading of the build's images held
// against an independent reader, Debian's pefile.
#include "version_images.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ce/version.h"
#include "ceutil/text.h"

namespace {

using cetest::kSentinel;
class BuildImages : public cetest::Version {};

// The host's install folder holds the build's images of the module's resource script.
TEST_F(BuildImages, HostFolderImagesCarryTheProjectVersion) {
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
TEST_F(BuildImages, AgreeWithPefile) {
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
