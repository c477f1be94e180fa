// What qelhost says when something fails names the real cause, and what the
// terminal's state may hold is refused at the door, not found out later.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "host_test.h"
#include "test_terminal.h"

namespace {

using qeltest::HostRun;

using Messages = qeltest::HostTest;

TEST_F(Messages, TimeZoneFieldsKeepTheirRanges) {
  const struct {
    const char* field;
    const char* value;
    bool taken;
  } rows[] = {
      {"time.zone.bias", "2147483647", false},
      {"time.zone.bias", "-1441", false},
      {"time.zone.bias", "-1440", true},
      {"time.zone.daylight_bias", "1441", false},
      {"time.zone.standard_date.month", "13", false},
      {"time.zone.standard_date.month", "12", true},
      {"time.zone.daylight_date.hour", "24", false},
      {"time.zone.daylight_date.day_of_week", "7", false},
      {"time.zone.standard_date.minute", "60", false},
      {"time.zone.standard_date.milliseconds", "1000", false},
      {"time.zone.standard_date.milliseconds", "999", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.field) + " " + row.value);
    const HostRun r = Host({"terminal", "set", row.field, row.value});
    EXPECT_EQ(r.status, row.taken ? 0 : 2) << r.err;
    if (!row.taken) {
      EXPECT_NE(r.err.find(std::string("'") + row.field + "' must be a whole number from"), std::string::npos)
          << r.err;
    }
  }
  // What was refused never reached the clock: the date is still a day of the calendar.
  const HostRun date = Host({"date", "%Y"});
  EXPECT_EQ(date.status, 0) << date.err;
}

TEST_F(Messages, AdapterNamesAreDistinctNamesWithoutDots) {
  const struct {
    const char* list;
    bool taken;
  } rows[] = {
      {R"(["E1000CE1", "WLAGS46B1"])", true},
      {R"(["E1000.CE1"])", false},
      {R"(["E1000CE1", "e1000ce1"])", false},
      {R"(["E1000\u0000CE1"])", false},
      {R"(["tab\tname"])", false},
      {R"([""])", false},
      {R"([])", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.list);
    const HostRun r = Host({"terminal", "set", "network.adapters", row.list});
    EXPECT_EQ(r.status, row.taken ? 0 : 2) << r.err;
    if (!row.taken) {
      EXPECT_NE(r.err.find("a list of distinct names"), std::string::npos) << r.err;
    }
  }
}

TEST_F(Messages, AScriptMayStartWithAByteOrderMark) {
  const auto script = terminal.root() / "marked.txt";
  std::ofstream(script, std::ios::binary)
      << "\xEF\xBB\xBFPXS W %REG HKEY_LOCAL_MACHINE\\Software\\Marked N V S\r\n"
      << "PXS R %REG HKEY_LOCAL_MACHINE\\Software\\Marked N $v $t\r\n";
  HostRun r = Host({"script", script.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"V\""), std::string::npos) << r.out;
  std::ofstream(script, std::ios::binary | std::ios::trunc) << std::string("\xFF\xFEP\0X\0S\0", 8);
  r = Host({"script", script.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("is UTF-16 text"), std::string::npos) << r.err;
}

TEST_F(Messages, AWatchOfANameTheModuleDoesNotResolveSaysSo) {
  const HostRun r = Host({"watch", "a", "<QEL>x", "--seconds", "1"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("'<QEL>x' is not a device path"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("watch '\\Program Files\\Qel\\x'"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("does not exist"), std::string::npos) << r.err;
}

}  // namespace
