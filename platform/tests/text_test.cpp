#include "ce/text.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ce/error.h"
#include "ceutil/text.h"
#include "conformance.h"

namespace ce {
namespace {

// The borders of the page and of the block where Windows-1252 differs from
// Latin-1, holes included; the round trip below covers every other byte.
TEST(Text, Cp1252MapsBytesAsWindowsDoes) {
  const struct {
    unsigned char byte;
    char16_t wide;
  } cases[] = {
      {0x00, 0x0000}, {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160},
      {0x8D, 0x008D}, {0x99, 0x2122}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xFF, 0x00FF},
  };
  EXPECT_EQ(GetACP(), 1252u);  // whatever the code page of a desktop's locale
  SetLastError(cetest::kSentinel);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << int(c.byte));
    const char narrow = char(c.byte);
    char16_t wide = 0xFFFF;
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1), 1);
    EXPECT_EQ(wide, c.wide);
    char back = 0;
    BOOL used = TRUE;
    ASSERT_EQ(WideCharToMultiByte(CP_1252, 0, &c.wide, 1, &back, 1, nullptr, &used), 1);
    EXPECT_EQ(back, narrow);
    EXPECT_EQ(used, FALSE);
  }
  // The whole page survives a round trip.
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(char(b));
  EXPECT_EQ(ceutil::ToAnsi(ceutil::FromAnsi(all)), all);
  EXPECT_EQ(GetLastError(), cetest::kSentinel);  // conversions that succeed leave it alone
}

TEST(Text, Cp1252WritesTheDefaultCharacterForWhatItLacks) {
  const struct {
    std::u16string wide;
    const char* defaultChar;
    std::string expected;
  } cases[] = {
      {u"A\u0100B", nullptr, "A?B"},     // Latin Extended-A
      {u"\u0080", nullptr, "?"},         // a C1 control that 1252 replaced by the euro sign
      {u"x\U0001F600", nullptr, "x??"},  // one default character per UTF-16 unit
      {u"\u4E2D", "#", "#"},             // the caller's default character
  };
  for (const auto& c : cases) {
    char out[8] = {};
    BOOL used = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, c.wide.data(), int(c.wide.size()), out, sizeof out,
                                      c.defaultChar, &used);
    EXPECT_EQ(std::string(out, size_t(n)), c.expected);
    EXPECT_EQ(used, TRUE);
  }
  EXPECT_EQ(ceutil::ToAnsi(u"\u20AC\u0100"), "\x80?");
}

TEST(Text, Utf8EncodesCodePointsAndSurrogatePairs) {
  const struct {
    std::u16string wide;
    std::string utf8;
  } cases[] = {
      {u"A", "A"},
      {u"\u00E9", "\xC3\xA9"},
      {u"\u07FF", "\xDF\xBF"},
      {u"\u0800", "\xE0\xA0\x80"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\uFFFF", "\xEF\xBF\xBF"},
      {u"\U00010000", "\xF0\x90\x80\x80"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {std::u16string(1, char16_t(0xD83D)) + u"x", "\xEF\xBF\xBDx"},  // lone high surrogate
      {std::u16string(1, char16_t(0xDE00)), "\xEF\xBF\xBD"},          // lone low surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ceutil::ToUtf8(c.wide), c.utf8);
    char out[16];
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, c.wide.data(), int(c.wide.size()), out, sizeof out, nullptr, nullptr);
    EXPECT_EQ(std::string(out, size_t(n)), c.utf8);
  }
}

TEST(Text, Utf8DecodingReplacesEachMaximalIllFormedSubpart) {
  const struct {
    std::string utf8;
    std::u16string wide;
  } cases[] = {
      {"A\xC3\xA9", u"A\u00E9"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE2\x82", u"\uFFFD"},                            // truncated at the end
      {"\xE2\x82\x41", u"\uFFFDA"},                       // truncated before a character
      {"\x80\x41\xFF", u"\uFFFDA\uFFFD"},                 // stray continuation, invalid byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ceutil::FromUtf8(c.utf8), c.wide);
    char16_t out[16];
    const int n = MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), int(c.utf8.size()), out, 16);
    EXPECT_EQ(std::u16string(out, size_t(n)), c.wide);
  }
}

TEST(Text, CountsSizesAndErrorsFollowWin32) {
  char narrow[8];
  char16_t wide[8];
  // -1: up to and including the NUL.
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, narrow, sizeof narrow, nullptr, nullptr), 4);
  EXPECT_STREQ(narrow, "abc");
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  // Size 0 asks for the size needed, writing nothing.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, nullptr, 0), 2);
  // A short buffer fails, and so does one that would split a character.
  const struct {
    const char* what;
    std::function<int()> call;
    DWORD error;
  } failures[] = {
      {"short narrow",
       [&] { return WideCharToMultiByte(CP_ACP, 0, u"abc", -1, narrow, 3, nullptr, nullptr); },
       ERROR_INSUFFICIENT_BUFFER},
      {"split UTF-8",
       [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a\u20AC", 2, narrow, 3, nullptr, nullptr); },
       ERROR_INSUFFICIENT_BUFFER},
      {"split pair", [&] { return MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, wide, 1); },
       ERROR_INSUFFICIENT_BUFFER},
      {"short wide", [&] { return MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 2); },
       ERROR_INSUFFICIENT_BUFFER},
      {"code page 437", [&] { return WideCharToMultiByte(437, 0, u"a", 1, narrow, 8, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"code page 1250", [&] { return MultiByteToWideChar(1250, 0, "a", 1, wide, 8); },
       ERROR_INVALID_PARAMETER},
      {"null source", [&] { return WideCharToMultiByte(CP_ACP, 0, nullptr, 1, narrow, 8, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"zero length", [&] { return WideCharToMultiByte(CP_ACP, 0, u"a", 0, narrow, 8, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"length -2", [&] { return MultiByteToWideChar(CP_ACP, 0, "a", -2, wide, 8); },
       ERROR_INVALID_PARAMETER},
      {"null target", [&] { return MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 8); },
       ERROR_INVALID_PARAMETER},
      {"negative size", [&] { return MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, -1); },
       ERROR_INVALID_PARAMETER},
      // UTF-8 has no default character.
      {"UTF-8 default", [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, "?", nullptr); },
       ERROR_INVALID_PARAMETER},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.what);
    SetLastError(cetest::kSentinel);
    EXPECT_EQ(f.call(), 0);
    EXPECT_EQ(GetLastError(), f.error);
  }
  EXPECT_EQ(GetACP(), CP_1252);
}

// The device's one case rule: names of files and keys compare in
// this form. One row per block, with the letters at its edges and those that
// have no upper case of their own.
TEST(Text, CharUpperBuffWUpperCasesTheDevicesLetters) {
  const struct {
    const char* block;
    std::u16string text, upper;
  } rows[] = {
      {"ASCII", u"az AZ@[`{09", u"AZ AZ@[`{09"},
      {"Latin-1", u"\u00E0\u00E9\u00FE\u00FF\u00F7\u00DF\u00C4",
       u"\u00C0\u00C9\u00DE\u0178\u00F7\u00DF\u00C4"},
      {"Latin Extended-A", u"\u0101\u0105\u0138\u013A\u0142\u0148\u0149\u014B\u0177\u017A\u017E",
       u"\u0100\u0104\u0138\u0139\u0141\u0147\u0149\u014A\u0176\u0179\u017D"},
      {"Greek", u"\u03B1\u03C9\u03C2\u03AC\u03AF\u03CC\u03CE\u03A9",
       u"\u0391\u03A9\u03A3\u0386\u038A\u038C\u038F\u03A9"},
      {"Cyrillic", u"\u0430\u044F\u0450\u0451\u045F\u0416", u"\u0410\u042F\u0400\u0401\u040F\u0416"},
      {"full-width Latin", u"\uFF41\uFF5A\uFF21\uFF40", u"\uFF21\uFF3A\uFF21\uFF40"},
      {"others", u"\u00D7\u4E2D\u0250\u0561", u"\u00D7\u4E2D\u0250\u0561"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.block);
    std::u16string text = row.text + u"z";  // the last character lies past the length given
    SetLastError(cetest::kSentinel);
    EXPECT_EQ(CharUpperBuffW(text.data(), DWORD(row.text.size())), DWORD(row.text.size()));
    EXPECT_EQ(GetLastError(), cetest::kSentinel);
    EXPECT_EQ(text, row.upper + u"z");
  }
}

}  // namespace
}  // namespace ce
