// How a script file becomes command lines and labels.
#include "script.h"

#include <gtest/gtest.h>

namespace {

using qelhost::ParseScript;

TEST(Script, LabelsMarkTheLineAfterThem) {
  std::string error;
  const auto s = ParseScript("# head\r\n:Start\r\nA 1\n  \n  :loop  \n\tB 2\n:end\n", &error);
  ASSERT_TRUE(s) << error;
  ASSERT_EQ(s->lines.size(), 2u);
  EXPECT_EQ(s->lines[0].text, "A 1");
  EXPECT_EQ(s->lines[0].fileLine, 3u);
  EXPECT_EQ(s->lines[1].text, "\tB 2");
  EXPECT_EQ(s->lines[1].fileLine, 6u);
  const struct {
    const char* target;
    std::optional<size_t> index;
  } cases[] = {
      {"start", 0},
      {":START", 0},
      {"Loop", 1},
      {"end", 2},  // the end: past the last line
      {"", std::nullopt},
      {":", std::nullopt},
      {"nowhere", std::nullopt},
      {"::loop", std::nullopt},
      {"loop ", std::nullopt},
      {"A 1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(s->Find(c.target), c.index) << c.target;
}

TEST(Script, AMalformedOrRepeatedLabelNamesItsLine) {
  const struct {
    const char* body;
    const char* error;
  } cases[] = {
      {"A\n:\n", "line 2: a label is ':'"},
      {":two words\n", "line 1: a label is ':'"},
      {":x;y\n", "line 1: a label is ':'"},
      {":é\n", "line 1: a label is ':'"},
      {":a\nA\n:A\n", "line 3: the label ':A' is on line 1 already"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseScript(c.body, &error)) << c.body;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
  std::string error;
  EXPECT_TRUE(ParseScript(":" + std::string(64, 'x') + "\n", &error)) << error;
  EXPECT_FALSE(ParseScript(":" + std::string(65, 'x') + "\n", &error));
}

}  // namespace
