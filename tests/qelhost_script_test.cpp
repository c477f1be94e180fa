// Scripts with labels: CCK sends the run to one of two labels by whether the
// terminal's WLAN adapter is connected; a target that is not a label of the
// running script is refused, and a script that branches forever is stopped.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "host_test.h"
#include "test_terminal.h"

namespace {

using nlohmann::json;
using qeltest::HostRun;

class QelHostScript : public qeltest::HostTest {
 protected:
  std::string Script(const std::string& body) {
    const auto path = terminal.root() / ("script" + std::to_string(++scripts_) + ".txt");
    std::ofstream(path) << body;
    return path.string();
  }
  void Connected(bool connected) {
    const auto adapters = terminal.Hardware("network.adapters");
    for (const auto& name : adapters) {
      const std::string key = "network.adapter." + name.get<std::string>() + ".wlan.connected";
      if (!terminal.Hardware(key).is_null()) terminal.Set(key, connected);
    }
  }
  std::string Read(const std::string& name) {
    const HostRun r = Host({"run", "PXS R %REG HKEY_LOCAL_MACHINE\\Software\\" + name + " $v $t", "--json"});
    const json j = json::parse(r.out, nullptr, false);
    if (j.is_discarded()) return r.out;
    return j["code"] == 0 ? j["variables"]["v"].dump() : "missing";
  }

  int scripts_ = 0;
};

TEST_F(QelHostScript, CckGoesOnAtTheLabelOfTheAdaptersState) {
  for (const bool connected : {true, false}) {
    SCOPED_TRACE(connected ? "connected" : "not connected");
    const std::string key = connected ? "Connected" : "NotConnected";
    const std::string script = Script(
        "CCK x :up down\n"
        ":down\n"
        "PXS W %REG HKEY_LOCAL_MACHINE\\Software\\" +
        key +
        " down yes S\n"
        "CCK x End END\n"
        ":up\n"
        "PXS W %REG HKEY_LOCAL_MACHINE\\Software\\" +
        key +
        " up yes S\n"
        ":end\n");
    Connected(connected);
    const HostRun r = Host({"script", script, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json steps = json::parse(r.out);
    ASSERT_EQ(steps.size(), connected ? 2u : 3u) << r.out;
    EXPECT_EQ(steps[0]["branch"], connected ? ":up" : "down");
    EXPECT_EQ(Read(key + (connected ? " up" : " down")), "\"yes\"");
    EXPECT_EQ(Read(key + (connected ? " down" : " up")), "missing") << "the other branch ran too";
  }
}

TEST_F(QelHostScript, ATargetThatIsNoLabelIsRefused) {
  Connected(false);
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"run", "CCK x here here"}, 1},  // one line has no labels at all
      {{"script", Script(":here\nCCK x here there\n")}, 1},
  };
  for (const auto& c : cases) {
    const HostRun r = Host(c.args);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.out.find("{\"kind\":\"BadArgument\",\"argument\":3}"), std::string::npos) << r.out;
  }
}

TEST_F(QelHostScript, AScriptThatBranchesForeverIsStopped) {
  Connected(true);
  const std::string script = Script(":again\nCCK x again again\n");
  const HostRun r = Host({"script", script, "--max-steps", "25"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(qeltest::CountOf(r.out, "branch to again"), 25u);
  EXPECT_NE(r.err.find("stopped after 25 command lines"), std::string::npos) << r.err;
  const HostRun j = Host({"script", script, "--max-steps", "3", "--json"});
  EXPECT_EQ(j.status, 1);
  const json ran = json::parse(j.out, nullptr, false);  // what ran, whole, before the stop
  ASSERT_TRUE(ran.is_array()) << j.out;
  EXPECT_EQ(ran.size(), 3u);

  // Going only forward, a script runs to its end however long it is.
  std::string forward;
  for (int i = 0; i < 4; ++i) forward += "CCK x n" + std::to_string(i) + " x\n:n" + std::to_string(i) + "\n";
  const HostRun ahead = Host({"script", Script(forward), "--max-steps", "2", "--json"});
  EXPECT_EQ(ahead.status, 0) << ahead.err;
  const json steps = json::parse(ahead.out, nullptr, false);
  ASSERT_TRUE(steps.is_array()) << ahead.out;
  ASSERT_EQ(steps.size(), 4u);
  for (size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i]["line"], 2 * i + 1);

  const HostRun bad = Host({"script", Script(":a\n:A\n")});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("line 2: the label ':A' is on line 1 already"), std::string::npos) << bad.err;
}

TEST_F(QelHostScript, IcdReportsTheCradlesRefusals) {
  const struct {
    const char* line;
    const char* report;
  } cases[] = {
      {"ICD unlock", R"({"kind":"SetResult","result":1,"text":"Cradle Unlock Failed"})"},
      {"ICD BLINK 3 ;1500", R"({"kind":"SetResult","result":1,"text":"Cradle Led Blink Failed"})"},
      {"ICD FASTCHARGE 1", R"({"kind":"SetResult","result":1,"text":"Set Fast Charge State Failed"})"},
      {"ICD FASTCHARGE", R"({"kind":"MissingArguments"})"},
      {"ICD UNLOCK 31", R"({"kind":"BadArgument","argument":2})"},
      {"ICD OPEN", R"({"kind":"BadArgument","argument":1})"},
  };
  for (const auto& c : cases) {
    const HostRun r = Host({"run", c.line});
    EXPECT_EQ(r.status, 1) << c.line;
    EXPECT_NE(r.out.find(c.report), std::string::npos) << c.line << "\n" << r.out;
  }
}

}  // namespace
