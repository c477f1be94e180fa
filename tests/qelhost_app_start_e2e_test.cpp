// End to end: BRP through qelhost on programs of the default terminal, the
// host's application service printing its notices, and an end signal while
// BRP waits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "host_test.h"

namespace {

using qeltest::HostRun;
using qeltest::Quoted;
using json = nlohmann::json;

class QelHostAppStart : public qeltest::HostTest {};

TEST_F(QelHostAppStart, BrpPrintsTheNoticeAndHandsBackTheExitCode) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string notice;  // a line of stderr
  } rows[] = {
      {"plain",
       {"run", R"(BRP \Windows\ctlpnl.exe 1 "exit=3 run=50" $c)"},
       "qelhost: ctlpnl.exe comes to the foreground"},
      {"json, to the back",
       {"--json", "run", R"(BRP \Windows\ctlpnl.exe 1 "exit=3 run=50" $c 0)"},
       R"({"application":"ctlpnl.exe","notice":"background"})"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const HostRun r = Host(row.args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find(row.notice + "\n"), std::string::npos) << r.err;
    if (row.args[0] == "--json") {
      const json j = json::parse(r.out, nullptr, false);
      ASSERT_FALSE(j.is_discarded()) << r.out;
      EXPECT_EQ(j["variables"]["c"], 3);
    } else {
      EXPECT_NE(r.out.find("$c = 3"), std::string::npos) << r.out;
    }
  }
  const HostRun missing = Host({"run", R"(BRP \Windows\none.exe)"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("result 2 (failed)"), std::string::npos) << missing.out;
}

// A BRP waiting on a program that runs until it is closed: SIGTERM (what a
// shell's background job does not ignore, as it does Ctrl-C) ends qelhost.
TEST_F(QelHostAppStart, AnEndSignalEndsTheWait) {
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);  // makes the terminal
  const std::string err = (terminal.root() / "err").string(), status = (terminal.root() / "status").string();
  const std::string script =
      Quoted(qeltest::HostPath()) + " --terminal " + Quoted(terminal.dir().string()) + " run " +
      Quoted(R"(BRP \Windows\pword.exe 1 "" $c)") + " >/dev/null 2>" + Quoted(err) +
      " & host=$!; for i in $(seq 400); do grep -q foreground " + Quoted(err) +
      " && break; sleep 0.05; done; sleep 0.2; kill -TERM $host; wait $host; " + "echo $? >" + Quoted(status);
  ASSERT_EQ(std::system(script.c_str()), 0);
  EXPECT_EQ(qeltest::Contents(terminal.root() / "status"), "143\n")
      << qeltest::Contents(terminal.root() / "err");
}

}  // namespace
