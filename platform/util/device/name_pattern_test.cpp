// The device's name patterns, as both backends' searches match them.
#include "device/name_pattern.h"

#include <gtest/gtest.h>

#include <string>

#include "ceutil/text.h"

TEST(DeviceNameRules, PatternsMatchWithoutRegardToCase) {
  const struct {
    std::u16string pattern, name;
    bool matches;
  } rows[] = {
      {u"*", u"anything", true},
      {u"*.*", u"noextension", true},
      {u"*.exe", u"WCELOAD.EXE", true},
      {u"*.exe", u"a.exe.bak", false},
      {u"?.txt", u"a.txt", true},
      {u"?.txt", u"ab.txt", false},
      {u"a*b*c", u"aXXbYYc", true},
      {u"a*b*c", u"aXXbYY", false},
      {u"*a", u"bab", false},
      {u"*b", u"bab", true},
      {u"\u00C4*", u"\u00E4pfel", true},
      {u"", u"x", false},
      {u"exact.txt", u"EXACT.TXT", true},
      {u"**?", u"", false},
  };
  for (const auto& r : rows)
    EXPECT_EQ(device_text::MatchesPattern(r.pattern, r.name), r.matches)
        << ceutil::ToUtf8(r.pattern) << " / " << ceutil::ToUtf8(r.name);
}
