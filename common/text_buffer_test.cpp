#include "qelcommon/text_buffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

std::u16string Text(const IQelText& t) {
  EXPECT_EQ(t.Chars()[t.Length()], u'\0') << "not NUL-terminated";
  return std::u16string(t.Chars(), t.Length());
}

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

TEST(TextBuffer, CapacityRoundsUpAndLeavesRoomForTheNul) {
  const struct {
    uint32_t length, granule, capacity;
  } cases[] = {
      {0, 64, 64},    {1, 64, 64}, {63, 64, 64}, {64, 64, 128}, {65, 64, 128}, {127, 64, 128},
      {128, 64, 192}, {0, 1, 1},   {5, 1, 6},    {7, 8, 8},     {8, 8, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << " in granules of " << c.granule);
    EXPECT_EQ(CQelTextBuffer::RoundCapacity(c.length, c.granule), c.capacity);
  }
  CQelTextBuffer fresh;
  EXPECT_EQ(fresh.Granule(), 64u);
  EXPECT_EQ(fresh.Capacity(), 64u);
  EXPECT_EQ(Text(fresh), u"");
  EXPECT_FALSE(fresh.IsLocked());
  EXPECT_EQ(CQelTextBuffer(0).Granule(), 1u);
}

TEST(TextBuffer, AssignAndAppendGrowByGranules) {
  const std::u16string s63 = Repeat(u'a', 63), s64 = Repeat(u'b', 64), s200 = Repeat(u'c', 200);
  const struct {
    const char* what;
    const char16_t* text;
    uint32_t length;
    bool ok;
    std::u16string expected;
    uint32_t capacity;
  } cases[] = {
      {"short", u"hello", 5, true, u"hello", 64},
      {"part of a text", u"hello", 3, true, u"hel", 64},
      {"up to the NUL", u"hello", CQelTextBuffer::kUpToNul, true, u"hello", 64},
      {"63 fill one granule", s63.c_str(), 63, true, s63, 64},
      {"64 need two", s64.c_str(), 64, true, s64, 128},
      {"200", s200.c_str(), CQelTextBuffer::kUpToNul, true, s200, 256},
      {"null and empty", nullptr, 0, true, u"", 64},
      {"null with a length", nullptr, 3, false, u"old", 64},
      {"null up to the NUL", nullptr, CQelTextBuffer::kUpToNul, false, u"old", 64},
      {"too long", u"x", CQelTextBuffer::kMaxLength + 1, false, u"old", 64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CQelTextBuffer b;
    ASSERT_TRUE(b.AssignZ(u"old"));
    EXPECT_EQ(b.Assign(c.text, c.length), c.ok);
    EXPECT_EQ(Text(b), c.expected);
    EXPECT_EQ(b.Capacity(), c.capacity);
  }

  CQelTextBuffer b;
  EXPECT_FALSE(b.AssignZ(nullptr));
  ASSERT_TRUE(b.Assign(s63.c_str(), 60));
  const char16_t* before = b.Chars();
  ASSERT_TRUE(b.Append(u"xyz", 3));  // 63 characters still fit
  EXPECT_EQ(b.Chars(), before);
  ASSERT_TRUE(b.Append(u"!", CQelTextBuffer::kUpToNul));  // the 64th does not
  EXPECT_EQ(b.Capacity(), 128u);
  EXPECT_EQ(Text(b), Repeat(u'a', 60) + u"xyz!");
  EXPECT_TRUE(b.Append(nullptr, 0));
  EXPECT_FALSE(b.Append(nullptr, 1));
  EXPECT_EQ(b.Length(), 64u);
}

TEST(TextBuffer, TextFromItsOwnArrayIsCopiedSafely) {
  CQelTextBuffer b;
  ASSERT_TRUE(b.AssignZ(u"0123456789"));
  ASSERT_TRUE(b.Assign(b.Chars() + 2, 5));  // overlapping, within the capacity
  EXPECT_EQ(Text(b), u"23456");
  ASSERT_TRUE(b.Append(b.Chars(), b.Length()));
  EXPECT_EQ(Text(b), u"2345623456");
  const std::u16string s40 = Repeat(u'q', 40);
  ASSERT_TRUE(b.AssignZ(s40.c_str()));
  ASSERT_TRUE(b.Append(b.Chars(), b.Length()));  // grows while reading the old array
  EXPECT_EQ(Text(b), s40 + s40);
  ASSERT_TRUE(b.AssignZ(b.Chars() + 70));
  EXPECT_EQ(Text(b), Repeat(u'q', 10));
}

TEST(TextBuffer, SetLengthStaysWithinTheCapacity) {
  CQelTextBuffer b;
  ASSERT_TRUE(b.AssignZ(u"abcdef"));
  EXPECT_TRUE(b.SetLength(3));
  EXPECT_EQ(Text(b), u"abc");
  EXPECT_TRUE(b.SetLength(63));  // the last place before the NUL's
  EXPECT_EQ(b.Length(), 63u);
  EXPECT_EQ(b.Chars()[63], u'\0');
  EXPECT_FALSE(b.SetLength(64));  // no room left for the NUL
  EXPECT_EQ(b.Length(), 63u);
}

TEST(TextBuffer, ClearKeepsASmallArrayAndShrinksABigOne) {
  const struct {
    const char* what;
    uint32_t startLength;  // text assigned first
    uint32_t clearTo;
    bool keepsArray;
    uint32_t capacity;
  } cases[] = {
      {"small stays", 10, 0, true, 64},
      {"small, room for 63", 10, 63, true, 64},
      {"small, room for 64 grows", 10, 64, false, 128},
      {"grown shrinks back", 100, 0, false, 64},
      {"grown, same size kept", 100, 100, true, 128},
      {"grown, grows more", 100, 300, false, 320},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CQelTextBuffer b;
    const std::u16string start = Repeat(u'z', c.startLength);
    ASSERT_TRUE(b.AssignZ(start.c_str()));
    const char16_t* before = b.Chars();
    ASSERT_TRUE(b.Clear(c.clearTo));
    EXPECT_EQ(Text(b), u"");
    EXPECT_EQ(b.Chars() == before, c.keepsArray);
    EXPECT_EQ(b.Capacity(), c.capacity);
  }
}

TEST(TextBuffer, LockBlocksEveryChange) {
  CQelTextBuffer b;
  ASSERT_TRUE(b.AssignZ(u"keep"));
  char16_t* array = b.Lock();
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array, b.Chars());
  EXPECT_TRUE(b.IsLocked());
  EXPECT_EQ(b.Lock(), nullptr);  // already locked

  const struct {
    const char* what;
    std::function<bool()> change;
  } changes[] = {
      {"Assign", [&] { return b.Assign(u"x", 1); }}, {"AssignZ", [&] { return b.AssignZ(u"x"); }},
      {"Append", [&] { return b.Append(u"x", 1); }}, {"SetLength", [&] { return b.SetLength(1); }},
      {"Clear", [&] { return b.Clear(); }},          {"Clear to a size", [&] { return b.Clear(500); }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.change());
    EXPECT_EQ(Text(b), u"keep");
    EXPECT_EQ(b.Capacity(), 64u);
  }

  // The intended use: write into the locked array, unlock, set the length.
  array[0] = u'K';
  array[4] = u'!';
  b.Unlock();
  EXPECT_FALSE(b.IsLocked());
  ASSERT_TRUE(b.SetLength(5));
  EXPECT_EQ(Text(b), u"Keep!");
  for (const auto& c : changes) EXPECT_TRUE(c.change()) << c.what;
}

}  // namespace
