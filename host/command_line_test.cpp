#include "command_line.h"

#include <gtest/gtest.h>

namespace {

using qelhost::Entry;

TEST(SplitCommandLine, BlanksQuotesAndVariables) {
  struct Row {
    std::string line;
    std::vector<std::pair<std::string, bool>> entries;
  };
  const Row rows[] = {
      {"", {}},
      {"  PXS\tR  x ", {{"PXS", false}, {"R", false}, {"x", false}}},
      {"A \"two words\" \"\" b\"c d\"e", {{"A", false}, {"two words", false}, {"", false}, {"bc de", false}}},
      {"A \"say \"\"hi\"\"\"", {{"A", false}, {"say \"hi\"", false}}},
      {"A $v $\"x y\" \"$lit\" a$b",
       {{"A", false}, {"v", true}, {"x y", true}, {"$lit", false}, {"a$b", false}}},
      {"PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Demo",
       {{"PXS", false}, {"W", false}, {"%REG", false}, {"HKEY_LOCAL_MACHINE\\Software\\Demo", false}}},
  };
  for (const Row& row : rows) {
    std::string error;
    const auto entries = qelhost::SplitCommandLine(row.line, &error);
    ASSERT_TRUE(entries) << row.line << ": " << error;
    std::vector<std::pair<std::string, bool>> got;
    for (const Entry& e : *entries) got.emplace_back(e.text, e.variable);
    EXPECT_EQ(got, row.entries) << row.line;
  }
  for (const std::string bad : {"A \"open", "A $", "A $ b"}) {
    std::string error;
    EXPECT_FALSE(qelhost::SplitCommandLine(bad, &error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
  }
}

}  // namespace
