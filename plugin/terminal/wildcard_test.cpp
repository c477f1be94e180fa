// The model table's matcher against an independent oracle: fnmatch with case
// folded, "*" and "?" only (no brackets, no escapes, "/" and "." ordinary).
#include "terminal/wildcard.h"

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ceutil/text.h"
#include "test_terminal.h"

namespace {

bool Oracle(const std::string& pattern, const std::string& text) {
  return ::fnmatch(pattern.c_str(), text.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

TEST(Wildcard, AgreesWithFnmatchOnRandomPatternsAndTexts) {
  qeltest::TestTerminal terminal;  // the case fold is the system's
  std::mt19937 rng(20261206);
  const std::string patternChars = "aAbB*?*c", textChars = "aAbBcC";
  auto draw = [&](const std::string& from, size_t maxLength) {
    std::string s(std::uniform_int_distribution<size_t>(0, maxLength)(rng), ' ');
    for (char& c : s) c = from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
    return s;
  };
  int matches = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string p = draw(patternChars, 7), t = draw(textChars, 9);
    const bool want = Oracle(p, t);
    matches += want;
    ASSERT_EQ(qel::WildcardMatch(ceutil::FromUtf8(p), ceutil::FromUtf8(t)), want)
        << "'" << p << "' on '" << t << "'";
  }
  EXPECT_GT(matches, 1000);  // both outcomes were exercised
}

TEST(Wildcard, EdgeCases) {
  qeltest::TestTerminal terminal;
  const struct {
    const char16_t* pattern;
    const char16_t* text;
    bool match;
  } cases[] = {
      {u"Intermec 7?1*", u"Intermec 701", true},
      {u"Intermec 7?1*", u"Intermec 71", false},  // "?" never matches past the end
      {u"PA692?", u"PA692", false},               // a trailing "?" needs one more character
      {u"IA32", u"IA32 ", false},                 // without "*" the whole text must match
      {u"IA32", u"ia32", true},
      {u"*CK3", u"Intermec CK3", true},
      {u"*CK3", u"Intermec CK3R", false},
      {u"*", u"", true},
      {u"**", u"", true},
      {u"", u"", true},
      {u"", u"x", false},
      {u"*a*a", u"aaa", true},
      {u"*ab", u"aab", true},  // the back-tracking point moves on
      {u"*Psion Teklogix PX750", u"x Psion Teklogix PX7500", false},
      {u"hon*", u"HONEYWELL", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qel::WildcardMatch(c.pattern, c.text), c.match)
        << ceutil::ToUtf8(c.pattern) << " on " << ceutil::ToUtf8(c.text);
}

}  // namespace
