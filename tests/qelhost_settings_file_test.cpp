// Settings files under programs that run at once: many qelhost processes
// writing, and reading, one INI file of one terminal.
#include <gtest/gtest.h>

#include <string>

#include "host_run.h"
#include "test_terminal.h"

namespace {

using qeltest::Quoted;

TEST(SettingsFileInParallel, NoWriterLosesAKeyAndNoReaderSeesAHalfFile) {
  constexpr int kWriters = 12, kReaders = 4;
  qeltest::TestTerminal terminal;
  const std::string host = Quoted(qeltest::HostPath()) + " --terminal " + Quoted(terminal.dir().string());
  auto run = [&](const std::string& line) {
    return std::system((host + " run " + Quoted(line) + " >/dev/null 2>&1").c_str());
  };
  ASSERT_EQ(run("PXS W \\Data\\shared.ini Main kept 1 x"), 0);

  // Each writer adds two keys of its own and rewrites one that all share;
  // each reader must find the key that was there first.
  std::string all = "(";
  const std::string out = (terminal.root() / "status").string();
  for (int i = 0; i < kWriters; ++i)
    all += host + " run " +
           Quoted("PXS W \\Data\\shared.ini Main a" + std::to_string(i) + " " + std::to_string(i) +
                  " x common " + std::to_string(i) + " x b" + std::to_string(i) + " x x") +
           " >/dev/null 2>&1 || echo writer" + std::to_string(i) + " >>" + Quoted(out) + " & ";
  for (int i = 0; i < kReaders; ++i)
    all += host + " run " + Quoted("PXS R \\Data\\shared.ini Main kept $k x") +
           " | grep -q '\\$k = \"1\"' || echo reader" + std::to_string(i) + " >>" + Quoted(out) + " & ";
  all += "wait)";
  ASSERT_EQ(std::system(all.c_str()), 0);
  EXPECT_EQ(qeltest::Contents(terminal.root() / "status"), "") << "the commands that failed";

  const std::string ini = qeltest::Contents(terminal.dir() / "fs" / "Data" / "shared.ini");
  EXPECT_NE(ini.find("kept=1\r\n"), std::string::npos) << ini;
  for (int i = 0; i < kWriters; ++i) {
    EXPECT_NE(ini.find("a" + std::to_string(i) + "=" + std::to_string(i) + "\r\n"), std::string::npos)
        << i << ini;
    EXPECT_NE(ini.find("b" + std::to_string(i) + "=x\r\n"), std::string::npos) << i << ini;
  }
  EXPECT_EQ(ini.find("common="), ini.rfind("common=")) << "one value per name";
}

}  // namespace
