// The command line's value rules, kind by kind: what each takes, and what it
// refuses although the value's own conversions would read something into it.
#include "value_text.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineValues, EachKindTakesOnlyTextThatPlainlyIsOne) {
  const struct {
    QelKind kind;
    const char* text;
    bool taken;
  } cases[] = {
      {QelKind::Bool, "true", true},
      {QelKind::Bool, "NO", true},
      {QelKind::Bool, " 1 ", true},
      {QelKind::Bool, "disabled", true},
      {QelKind::Bool, "18446744073709551616", false},
      {QelKind::Bool, "nan", false},
      {QelKind::Bool, "1e308", false},
      {QelKind::Bool, "10", false},
      {QelKind::Bool, "yesterday", false},
      {QelKind::Bool, "", false},
      {QelKind::TriState, "unknown", true},
      {QelKind::TriState, "Y", true},
      {QelKind::TriState, "x", false},
      {QelKind::TriState, "xyz", false},
      {QelKind::Int32, "-2147483648", true},
      {QelKind::Int32, "2147483648", false},
      {QelKind::UInt32, "+7", true},
      {QelKind::UInt32, "+-7", false},
      {QelKind::UInt32, "0x10", false},
      {QelKind::UInt64, "-0", false},
      {QelKind::UInt64, "18446744073709551615", true},
      {QelKind::Int64, "9223372036854775808", false},
      {QelKind::Double, "2,5", true},
      {QelKind::Double, "1e999", false},
      {QelKind::Double, "inf", false},
      {QelKind::Double, "1.5x", false},
      {QelKind::Double, "1e-400", false},
      {QelKind::Double, "-0,5e-999", false},
      {QelKind::Double, "0e-400", true},
      {QelKind::Double, "2.5e-308", true},
      {QelKind::Char, "A", true},
      {QelKind::Char, "AB", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " as kind " + std::to_string(uint32_t(c.kind) >> 16));
    CQelValue value;
    EXPECT_EQ(qelhost::MakeValue(c.text, c.kind, &value), c.taken);
    if (c.taken) {
      EXPECT_EQ(value.GetKind(), c.kind);  // the kind asked for, not a text
    }
  }
}

TEST(CommandLineValues, BoolAndTriStateHoldTheWordsMeaning) {
  CQelValue value;
  int32_t tri = -1;
  ASSERT_TRUE(qelhost::MakeValue("Off", QelKind::TriState, &value));
  ASSERT_TRUE(value.GetTriState(&tri));
  EXPECT_EQ(tri, kTriNo);
  ASSERT_TRUE(qelhost::MakeValue("unknown", QelKind::TriState, &value));
  ASSERT_TRUE(value.GetTriState(&tri));
  EXPECT_EQ(tri, kTriUnknown);
  bool b = false;
  ASSERT_TRUE(qelhost::MakeValue("enabled", QelKind::Bool, &value));
  ASSERT_TRUE(value.GetBool(&b));
  EXPECT_TRUE(b);
}

}  // namespace
