// End to end: qelhost date and file-info on a fresh terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

#include "host_test.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;

using qeltest::HostRun;

using QelHostDate = qeltest::HostTest;

TEST_F(QelHostDate, FormatsAndRefusesBadInput) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;  // stdout, or a part of stderr for a refusal
  };
  const Case cases[] = {
      {{"date", "%d%/%m%/%Y %h%:%N:%S.%L", "--at", "2024-03-05T14:07:09.045"}, 0, "5/3/2024 14:07:09.045\n"},
      {{"date", "%#64", "--at", "2024-03-05T14:07"}, 0, "2:07 PM\n"},
      {{"date", "%W %C", "--at", "2021-01-01"}, 0, "53 001\n"},
      {{"date", "%A %B", "--at", "2024-03-05 14:07:09", "--language", "fr"},
       0,
       "Tuesday March\n"},                                                             // the locale wins
      {{"date", "%H:%N", "--at", "2024-01-15T12:00", "--utc"}, 0, "02:00\n"},          // bias -600
      {{"date", "%H:%N UTC", "--at", "2024-01-15T12:00", "--utc"}, 0, "02:00 UTC\n"},  // converted once
      {{"date", "%H:%N UTC", "--at", "2024-01-15T12:00"}, 0, "02:00 UTC\n"},
      {{"date", "%Y", "--at", "2024-02-30"}, 2, "names no day"},
      {{"date", "%Y", "--at", "5 March"}, 2, "is not a time"},
      {{"date", "%Y", "--at", "2024-03-05T14"}, 2, "is not a time"},
      {{"date", "%Y", "--language", "de"}, 2, "must be fr, nl or en"},
      {{"date", "%Y", "--language", ""}, 2, "must be fr, nl or en"},
      {{"date"}, 2, "FORMAT"},
  };
  terminal.Set("time.zone.bias", -600);
  terminal.Set("time.zone.daylight_date.month", 0);
  for (const Case& c : cases) {
    const HostRun r = Host(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "") << ": "
                                  << r.err;
    if (c.status == 0)
      EXPECT_EQ(r.out, c.out);
    else
      EXPECT_NE(r.err.find(c.out), std::string::npos) << r.err;
  }
  terminal.Set("time.locale", 1040);  // a locale the terminal lacks: the built-in names
  EXPECT_EQ(Host({"date", "%A %b", "--at", "2024-03-05", "--language", "nl"}).out, "Dinsdag Maa\n");
  const HostRun json = Host({"date", "%Y", "--at", "2024-03-05", "--json"});
  EXPECT_EQ(nlohmann::json::parse(json.out, nullptr, false),
            (nlohmann::json{{"format", "%Y"}, {"text", "2024"}}));
}

TEST_F(QelHostDate, FileInfo) {
  fs::create_directories(terminal.dir() / "fs" / "Temp");
  std::ofstream(terminal.dir() / "fs" / "Temp" / "a.txt") << "hello";
  fs::last_write_time(terminal.dir() / "fs" / "Temp" / "a.txt",
                      fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{
                          std::chrono::seconds{1709647620}}));  // 2024-03-05 14:07 UTC
  const HostRun r = Host({"file-info", "\\Temp\\A.TXT", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out, nullptr, false);
  EXPECT_EQ(j["size"], 5);
  EXPECT_EQ(j["last_write_utc"], "2024-03-05T14:07:00.000Z");
  EXPECT_EQ(j["changed"], false);

  const HostRun missing = Host({"file-info", "\\Temp\\none.txt"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("\\Temp\\none.txt: cannot be opened (error 2)"), std::string::npos)
      << missing.err;
}

}  // namespace
