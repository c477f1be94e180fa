// End to end: SVR and SPR through qelhost on an image the build made, placed
// in the terminal, and on the module's image in the host's install folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "host_test.h"

namespace {

using qeltest::HostRun;
using json = nlohmann::json;

class QelHostVersion : public qeltest::HostTest {
 protected:
  json Run(const std::string& line) {
    const HostRun r = Host({"--json", "run", line});
    json j = json::parse(r.out, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << r.out << r.err;
    return j;
  }
};

TEST_F(QelHostVersion, SvrAndSprReadTheImagesOfTheTerminal) {
  std::filesystem::copy_file(std::filesystem::path(QEL_PE_DIR) / "translations64.dll",
                             terminal.dir() / "fs" / "Windows" / "x.dll");
  json j = Run(R"(SVR "\Windows\x.dll" $v)");
  EXPECT_EQ(j["code"], 0);
  EXPECT_EQ(j["variables"]["v"], "1.2.3.4");

  j = Run(R"(SVR "\Program Files\Qel\Plugins\QelHal_HON2.mpi" $v)");
  EXPECT_EQ(j["variables"]["v"], QEL_PROJECT_VERSION);

  j = Run(R"(SPR "\Windows\x.dll" CompanyName $a Comments $b Missing $c)");
  EXPECT_EQ(j["code"], 0);
  EXPECT_EQ(j["variables"], json({{"a", "Qel Test"}, {"b", "nur in der zweiten"}, {"c", "?"}}));

  j = Run(R"(SPR "\Windows\missing.dll" CompanyName $a)");
  EXPECT_EQ(j["code"], 1);
  EXPECT_EQ(j["reports"][0]["text"], "Can't retrieve file information");
}

// The host's install folder as every terminal gets it, plus a plug-in beside
// the module and one file there that is no image.
TEST_F(QelHostVersion, VersionListNamesTheHostsFilesAndItsPlugins) {
  const std::filesystem::path plugins = terminal.dir() / "fs" / "Program Files" / "Qel" / "Plugins";
  std::filesystem::copy_file(std::filesystem::path(QEL_PE_DIR) / "translations32.dll", plugins / "Extra.mpi");
  std::ofstream(plugins / "Broken.mpi") << "not an image";
  const HostRun r = Host({"--json", "prop", "get", "QEL_VER_LIST"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(r.out, nullptr, false);
  ASSERT_FALSE(j.is_discarded()) << r.out;
  const std::string v = QEL_PROJECT_VERSION;
  const std::string hostFiles = "qelhost.exe (" + v + ");qelhost.dll (" + v + ");";
  // The plug-ins come in the order the host lists the folder, which is not fixed.
  const std::string a = "QelHal_HON2.mpi (" + v + ");", b = "Extra.mpi (1.2.3.4);";
  EXPECT_TRUE(j["text"] == hostFiles + a + b || j["text"] == hostFiles + b + a) << j.dump();
}

}  // namespace
