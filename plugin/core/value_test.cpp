#include "core/value.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ce/text.h"
#include "qel/refcounted.h"
#include "qel/service.h"
#include "slot.h"

namespace {

using K = QelKind;

// A counted object for Object payloads. Counts the live instances so that a
// test can see exactly when the value lets go of one.
class TestObject final : public IQelService, public CQelRefCounted {
 public:
  static inline int live = 0;
  TestObject() { ++live; }
  ~TestObject() override { --live; }
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }
  bool GetInterface(GUID, void**) override { return false; }
};

// ---------------------------------------------------------------------------
// Sources: a kind and its payload, loaded through the setters.

struct Source {
  K kind;
  std::u16string text;
  int64_t i = 0;  // Char, Bool, TriState, Int32, UInt32, Int64 (and UInt64 below 2^63)
  uint64_t u = 0;
  double d = 0;
};

Source Null() { return {K::Null, u""}; }
Source Str(std::u16string s) { return {K::String, std::move(s)}; }
Source Chr(char c) { return {K::Char, u"", static_cast<unsigned char>(c)}; }
Source Bool(bool b) { return {K::Bool, u"", b}; }
Source Tri(int32_t t) { return {K::TriState, u"", t}; }
Source Dbl(double d) { return {K::Double, u"", 0, 0, d}; }
Source I32(int32_t v) { return {K::Int32, u"", v}; }
Source U32(uint32_t v) { return {K::UInt32, u"", v}; }
Source I64(int64_t v) { return {K::Int64, u"", v}; }
Source U64(uint64_t v) { return {K::UInt64, u"", 0, v}; }
Source Obj() { return {K::Object, u""}; }

void Load(CQelValue& v, const Source& s) {
  const uint64_t raw = s.kind == K::UInt64 ? s.u : uint64_t(s.i);
  switch (s.kind) {
    case K::Null: v.Clear(); break;
    case K::String: ASSERT_TRUE(v.SetString(s.text.data(), uint32_t(s.text.size()))); break;
    case K::Char: v.SetChar(char(s.i)); break;
    case K::Bool: v.SetBool(s.i != 0); break;
    case K::TriState: v.SetTriState(int32_t(s.i)); break;
    case K::Double: v.SetDouble(s.d); break;
    case K::Int32: v.SetInt32(int32_t(s.i)); break;
    case K::UInt32: v.SetUInt32(uint32_t(s.i)); break;
    case K::Int64: v.SetInt64(uint32_t(raw), uint32_t(raw >> 32)); break;
    case K::UInt64: v.SetUInt64(uint32_t(raw), uint32_t(raw >> 32)); break;
    case K::Object: {
      IQelService* object = new TestObject;
      ASSERT_TRUE(v.SetObject(&object));
      break;
    }
  }
  ASSERT_EQ(v.GetKind(), s.kind);
}

std::string Describe(const Source& s) {
  std::string text = QelKindName(s.kind);
  switch (s.kind) {
    case K::String: return text + " \"" + ce::ToUtf8(s.text) + "\"";
    case K::Double: return text + " " + std::to_string(s.d);
    case K::UInt64: return text + " " + std::to_string(s.u);
    case K::Null:
    case K::Object: return text;
    default: return text + " " + std::to_string(s.i);
  }
}

// ---------------------------------------------------------------------------
// Getters, with every result rendered as text so that one table holds them all.

enum class Get { String, Char, Bool, TriState, Double, Int32, UInt32, Int64, UInt64 };

K KindOf(Get g) {
  const K kinds[] = {K::String, K::Char,   K::Bool,  K::TriState, K::Double,
                     K::Int32,  K::UInt32, K::Int64, K::UInt64};
  return kinds[int(g)];
}

std::string Shortest(double d) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, d).ptr);
}

struct Outcome {
  bool ok;
  std::string result;  // meaningful when ok
};

Outcome Read(CQelValue& v, Get g) {
  switch (g) {
    case Get::String: {
      IQelText* t = nullptr;
      if (!v.GetString(&t)) return {false, ""};
      EXPECT_EQ(t, &v.TextBuffer());
      EXPECT_EQ(t->Chars()[t->Length()], u'\0');
      return {true, ce::ToUtf8(std::u16string_view(t->Chars(), t->Length()))};
    }
    case Get::Char: {
      char c;
      return v.GetChar(&c) ? Outcome{true, std::string(1, c)} : Outcome{false, ""};
    }
    case Get::Bool: {
      bool b;
      return v.GetBool(&b) ? Outcome{true, b ? "1" : "0"} : Outcome{false, ""};
    }
    case Get::TriState: {
      int32_t t;
      return v.GetTriState(&t) ? Outcome{true, std::to_string(t)} : Outcome{false, ""};
    }
    case Get::Double: {
      double d;
      return v.GetDouble(&d) ? Outcome{true, Shortest(d)} : Outcome{false, ""};
    }
    case Get::Int32: {
      int32_t x;
      return v.GetInt32(&x) ? Outcome{true, std::to_string(x)} : Outcome{false, ""};
    }
    case Get::UInt32: {
      uint32_t x;
      return v.GetUInt32(&x) ? Outcome{true, std::to_string(x)} : Outcome{false, ""};
    }
    case Get::Int64: {
      int64_t x;
      return v.GetInt64(&x) ? Outcome{true, std::to_string(x)} : Outcome{false, ""};
    }
    case Get::UInt64: {
      uint64_t x;
      return v.GetUInt64(&x) ? Outcome{true, std::to_string(x)} : Outcome{false, ""};
    }
  }
  return {false, ""};
}

// The state of a value, read with the getter of its own kind (which converts
// nothing), so that a test can tell that a failed getter changed nothing.
std::string Snapshot(CQelValue& v) {
  switch (v.GetKind()) {
    case K::Null: return "Null";
    case K::Object: {
      IQelService* object = nullptr;
      if (!v.GetObject(&object)) return "Object?";
      const int32_t count = object->Release();
      return "Object count " + std::to_string(count);
    }
    default: {
      const K kinds[] = {K::String, K::Char,   K::Bool,  K::TriState, K::Double,
                         K::Int32,  K::UInt32, K::Int64, K::UInt64};
      for (int g = 0; g < 9; ++g)
        if (kinds[g] == v.GetKind())
          return QelKindName(v.GetKind()) + (" " + Read(v, Get(g)).result);
      return "?";
    }
  }
}

struct Case {
  Source source;
  Get getter;
  bool ok;
  std::string result;
  K kindAfter;
};

// Runs a table: each case on a fresh value, checking the result, the kind after,
// that a failure changed nothing, and that a conversion away from Object
// released the object.
void RunTable(const std::vector<Case>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << Describe(c.source) << " read as "
                                    << QelKindName(KindOf(c.getter)));
    {
      CQelValue v;
      Load(v, c.source);
      const std::string before = Snapshot(v);
      const Outcome out = Read(v, c.getter);
      EXPECT_EQ(out.ok, c.ok);
      if (c.ok && out.ok) {
        EXPECT_EQ(out.result, c.result);
      }
      EXPECT_EQ(v.GetKind(), c.kindAfter) << "kind after is " << QelKindName(v.GetKind());
      if (!out.ok) {
        EXPECT_EQ(Snapshot(v), before) << "a failed getter changed the value";
      }
      EXPECT_EQ(TestObject::live, v.GetKind() == K::Object ? 1 : 0);
    }
    EXPECT_EQ(TestObject::live, 0);
  }
}

// ---------------------------------------------------------------------------

// One typical value of each kind against every getter.
TEST(Value, EveryKindAgainstEveryGetter) {
  const bool Y = true, N = false;
  RunTable({
      {Null(), Get::String, Y, "", K::String},
      {Null(), Get::Char, N, "", K::Null},
      {Null(), Get::Bool, N, "", K::Null},
      {Null(), Get::TriState, Y, "0", K::TriState},
      {Null(), Get::Double, N, "", K::Null},
      {Null(), Get::Int32, N, "", K::Null},
      {Null(), Get::UInt32, N, "", K::Null},
      {Null(), Get::Int64, N, "", K::Null},
      {Null(), Get::UInt64, N, "", K::Null},

      {Str(u"12"), Get::String, Y, "12", K::String},
      {Str(u"12"), Get::Char, Y, "1", K::Char},
      {Str(u"12"), Get::Bool, Y, "1", K::Bool},  // first character "1": yes
      {Str(u"12"), Get::TriState, Y, "1", K::TriState},
      {Str(u"12"), Get::Double, Y, "12", K::Double},
      {Str(u"12"), Get::Int32, Y, "12", K::Int32},
      {Str(u"12"), Get::UInt32, Y, "12", K::UInt32},
      {Str(u"12"), Get::Int64, Y, "12", K::Int64},
      {Str(u"12"), Get::UInt64, Y, "12", K::UInt64},

      {Chr('Y'), Get::String, Y, "Y", K::String},
      {Chr('Y'), Get::Char, Y, "Y", K::Char},
      {Chr('Y'), Get::Bool, Y, "1", K::Bool},
      {Chr('Y'), Get::TriState, Y, "1", K::TriState},
      {Chr('Y'), Get::Double, Y, "89", K::Double},
      {Chr('Y'), Get::Int32, Y, "89", K::Int32},
      {Chr('Y'), Get::UInt32, Y, "89", K::UInt32},
      {Chr('Y'), Get::Int64, Y, "89", K::Int64},
      {Chr('Y'), Get::UInt64, Y, "89", K::UInt64},

      {Bool(true), Get::String, Y, "Y", K::String},
      {Bool(true), Get::Char, Y, "Y", K::Char},
      {Bool(true), Get::Bool, Y, "1", K::Bool},
      {Bool(true), Get::TriState, Y, "1", K::TriState},
      {Bool(true), Get::Double, Y, "1", K::Double},
      {Bool(true), Get::Int32, Y, "1", K::Int32},
      {Bool(true), Get::UInt32, Y, "1", K::UInt32},
      {Bool(true), Get::Int64, Y, "1", K::Int64},
      {Bool(true), Get::UInt64, Y, "1", K::UInt64},

      {Tri(kTriNo), Get::String, Y, "N", K::String},
      {Tri(kTriNo), Get::Char, Y, "N", K::Char},
      {Tri(kTriNo), Get::Bool, Y, "0", K::Bool},
      {Tri(kTriNo), Get::TriState, Y, "2", K::TriState},
      {Tri(kTriNo), Get::Double, Y, "0", K::Double},
      {Tri(kTriNo), Get::Int32, Y, "0", K::Int32},
      {Tri(kTriNo), Get::UInt32, Y, "0", K::UInt32},
      {Tri(kTriNo), Get::Int64, Y, "0", K::Int64},
      {Tri(kTriNo), Get::UInt64, Y, "0", K::UInt64},

      {Dbl(2.5), Get::String, Y, "2.5", K::String},
      {Dbl(2.5), Get::Char, Y, "2", K::Char},
      {Dbl(2.5), Get::Bool, Y, "1", K::Bool},
      {Dbl(2.5), Get::TriState, Y, "1", K::TriState},
      {Dbl(2.5), Get::Double, Y, "2.5", K::Double},
      {Dbl(2.5), Get::Int32, Y, "3", K::Int32},
      {Dbl(2.5), Get::UInt32, Y, "3", K::UInt32},
      {Dbl(2.5), Get::Int64, Y, "3", K::Int64},
      {Dbl(2.5), Get::UInt64, Y, "3", K::UInt64},

      {I32(-5), Get::String, Y, "-5", K::String},
      {I32(-5), Get::Char, Y, "-", K::Char},
      {I32(-5), Get::Bool, Y, "1", K::Bool},
      {I32(-5), Get::TriState, Y, "1", K::TriState},
      {I32(-5), Get::Double, Y, "-5", K::Double},
      {I32(-5), Get::Int32, Y, "-5", K::Int32},
      {I32(-5), Get::UInt32, N, "", K::Int32},
      {I32(-5), Get::Int64, Y, "-5", K::Int64},
      {I32(-5), Get::UInt64, N, "", K::Int32},

      {U32(7), Get::String, Y, "7", K::String},
      {U32(7), Get::Char, Y, "7", K::Char},
      {U32(7), Get::Bool, Y, "1", K::Bool},
      {U32(7), Get::TriState, Y, "1", K::TriState},
      {U32(7), Get::Double, Y, "7", K::Double},
      {U32(7), Get::Int32, Y, "7", K::Int32},
      {U32(7), Get::UInt32, Y, "7", K::UInt32},
      {U32(7), Get::Int64, Y, "7", K::Int64},
      {U32(7), Get::UInt64, Y, "7", K::UInt64},

      {I64(-3), Get::String, Y, "-3", K::String},
      {I64(-3), Get::Char, Y, "-", K::Char},
      {I64(-3), Get::Bool, Y, "1", K::Bool},
      {I64(-3), Get::TriState, Y, "1", K::TriState},
      {I64(-3), Get::Double, Y, "-3", K::Double},
      {I64(-3), Get::Int32, Y, "-3", K::Int32},
      {I64(-3), Get::UInt32, N, "", K::Int64},
      {I64(-3), Get::Int64, Y, "-3", K::Int64},
      {I64(-3), Get::UInt64, N, "", K::Int64},

      {U64(9), Get::String, Y, "9", K::String},
      {U64(9), Get::Char, Y, "9", K::Char},
      {U64(9), Get::Bool, Y, "1", K::Bool},
      {U64(9), Get::TriState, Y, "1", K::TriState},
      {U64(9), Get::Double, Y, "9", K::Double},
      {U64(9), Get::Int32, Y, "9", K::Int32},
      {U64(9), Get::UInt32, Y, "9", K::UInt32},
      {U64(9), Get::Int64, Y, "9", K::Int64},
      {U64(9), Get::UInt64, Y, "9", K::UInt64},

      // The object's text and character are this project's choice: "Object", 'O'.
      {Obj(), Get::String, Y, "Object", K::String},
      {Obj(), Get::Char, Y, "O", K::Char},
      {Obj(), Get::Bool, N, "", K::Object},
      {Obj(), Get::TriState, Y, "0", K::TriState},
      {Obj(), Get::Double, N, "", K::Object},
      {Obj(), Get::Int32, N, "", K::Object},
      {Obj(), Get::UInt32, N, "", K::Object},
      {Obj(), Get::Int64, N, "", K::Object},
      {Obj(), Get::UInt64, N, "", K::Object},
  });
}

TEST(Value, TextParsesToIntegersWithinTheStatedLimits) {
  const bool Y = true, N = false;
  RunTable({
      // GetInt32 never fails; accumulation stops once the value reaches 214748365.
      {Str(u"2147483647"), Get::Int32, Y, "2147483647", K::Int32},
      {Str(u"-2147483648"), Get::Int32, Y, "-2147483648", K::Int32},
      {Str(u"214748364"), Get::Int32, Y, "214748364", K::Int32},
      {Str(u"2147483650"), Get::Int32, Y, "214748365", K::Int32},  // stopped at 214748365
      {Str(u"9999999999"), Get::Int32, Y, "999999999", K::Int32},
      {Str(u"2147483648"), Get::Int32, Y, "-2147483648", K::Int32},  // 32-bit wrap
      {Str(u"  +  42"), Get::Int32, Y, "42", K::Int32},
      {Str(u" - 42 "), Get::Int32, Y, "-42", K::Int32},
      {Str(u"-7x9"), Get::Int32, Y, "-7", K::Int32},
      {Str(u"12 34"), Get::Int32, Y, "12", K::Int32},
      {Str(u"abc"), Get::Int32, Y, "0", K::Int32},
      {Str(u""), Get::Int32, Y, "0", K::Int32},
      {Str(u"--5"), Get::Int32, Y, "0", K::Int32},
      {Str(u"\t5"), Get::Int32, Y, "0", K::Int32},  // only U+0020 counts as a space

      // GetUInt32 fails only when the digits do not fit.
      {Str(u"4294967295"), Get::UInt32, Y, "4294967295", K::UInt32},
      {Str(u"4294967296"), Get::UInt32, N, "", K::String},
      {Str(u"42949672950"), Get::UInt32, N, "", K::String},
      {Str(u"99999999999"), Get::UInt32, N, "", K::String},
      {Str(u"0004294967295"), Get::UInt32, Y, "4294967295", K::UInt32},
      {Str(u"4294967290"), Get::UInt32, Y, "4294967290", K::UInt32},
      {Str(u"  17  "), Get::UInt32, Y, "17", K::UInt32},
      {Str(u"17 2"), Get::UInt32, Y, "17", K::UInt32},
      {Str(u"abc"), Get::UInt32, Y, "0", K::UInt32},
      {Str(u"-1"), Get::UInt32, Y, "0", K::UInt32},  // no sign: no digits
      {Str(u""), Get::UInt32, Y, "0", K::UInt32},

      // GetInt64 never fails and saturates at the limits.
      {Str(u"9223372036854775807"), Get::Int64, Y, "9223372036854775807", K::Int64},
      {Str(u"-9223372036854775808"), Get::Int64, Y, "-9223372036854775808", K::Int64},
      {Str(u"9223372036854775808"), Get::Int64, Y, "9223372036854775807", K::Int64},
      {Str(u"-99999999999999999999"), Get::Int64, Y, "-9223372036854775808", K::Int64},
      {Str(u" - 12"), Get::Int64, Y, "-12", K::Int64},
      {Str(u"x"), Get::Int64, Y, "0", K::Int64},

      // GetUInt64 fails when there is no number or it does not fit.
      {Str(u"18446744073709551615"), Get::UInt64, Y, "18446744073709551615", K::UInt64},
      {Str(u"18446744073709551616"), Get::UInt64, N, "", K::String},
      {Str(u"  +5 apples"), Get::UInt64, Y, "5", K::UInt64},
      {Str(u"-1"), Get::UInt64, N, "", K::String},
      {Str(u"abc"), Get::UInt64, N, "", K::String},
      {Str(u""), Get::UInt64, N, "", K::String},
  });
}

TEST(Value, TextParsesToDoubles) {
  const bool Y = true, N = false;
  RunTable({
      {Str(u"3,5"), Get::Double, Y, "3.5", K::Double},
      {Str(u"1.5,0"), Get::Double, Y, "1.5", K::Double},  // the comma after the point ends the scan
      {Str(u"1,5,0"), Get::Double, Y, "1.5", K::Double},  // only the first comma becomes a point
      {Str(u",5"), Get::Double, Y, "0.5", K::Double},
      {Str(u"  -2.25e2"), Get::Double, Y, "-225", K::Double},
      {Str(u"+1e3"), Get::Double, Y, "1000", K::Double},
      {Str(u"100ergs"), Get::Double, Y, "100", K::Double},
      {Str(u"1e"), Get::Double, Y, "1", K::Double},
      {Str(u"0x10"), Get::Double, Y, "0", K::Double},
      {Str(u"1234567890.12345678901"), Get::Double, Y, "1234567890.1234567", K::Double},  // 22
      {Str(u"1234567890.123456789012"), Get::Double, N, "", K::String},  // 23: too long
      {Str(u""), Get::Double, N, "", K::String},
      {Str(u"   "), Get::Double, N, "", K::String},
      {Str(u"abc"), Get::Double, N, "", K::String},
      {Str(u"."), Get::Double, N, "", K::String},
      {Str(u"+-1"), Get::Double, N, "", K::String},
      {Str(u"inf"), Get::Double, N, "", K::String},
      {Str(u"nan"), Get::Double, N, "", K::String},
      {Str(u"1e400"), Get::Double, N, "", K::String},
      {Str(u"\u00BD"), Get::Double, N, "", K::String},
  });
}

TEST(Value, NumbersConvertWithinRangesAndRoundHalfUp) {
  const bool Y = true, N = false;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double two63 = 9223372036854775808.0, two64 = 18446744073709551616.0;
  RunTable({
      {Dbl(2.5), Get::Int32, Y, "3", K::Int32},
      {Dbl(-2.5), Get::Int32, Y, "-2", K::Int32},
      {Dbl(2.49), Get::Int32, Y, "2", K::Int32},
      {Dbl(-0.5), Get::Int32, Y, "0", K::Int32},
      {Dbl(-0.51), Get::Int32, Y, "-1", K::Int32},
      {Dbl(2147483647.0), Get::Int32, Y, "2147483647", K::Int32},
      {Dbl(2147483647.25), Get::Int32, N, "", K::Double},
      {Dbl(-2147483648.0), Get::Int32, Y, "-2147483648", K::Int32},
      {Dbl(-2147483648.5), Get::Int32, N, "", K::Double},
      {Dbl(nan), Get::Int32, N, "", K::Double},
      {Dbl(4294967295.0), Get::UInt32, Y, "4294967295", K::UInt32},
      {Dbl(4294967295.5), Get::UInt32, N, "", K::Double},
      {Dbl(0.49), Get::UInt32, Y, "0", K::UInt32},
      {Dbl(-0.1), Get::UInt32, N, "", K::Double},
      {Dbl(nan), Get::UInt32, N, "", K::Double},
      {Dbl(-two63), Get::Int64, Y, "-9223372036854775808", K::Int64},
      {Dbl(two63), Get::Int64, N, "", K::Double},  // 2^63 itself does not fit
      {Dbl(1e15 + 0.5), Get::Int64, Y, "1000000000000001", K::Int64},
      {Dbl(nan), Get::Int64, N, "", K::Double},
      {Dbl(two63), Get::UInt64, Y, "9223372036854775808", K::UInt64},
      {Dbl(two64), Get::UInt64, N, "", K::Double},
      {Dbl(-1.0), Get::UInt64, N, "", K::Double},

      {U32(0x7FFFFFFF), Get::Int32, Y, "2147483647", K::Int32},
      {U32(0x80000000), Get::Int32, N, "", K::UInt32},
      {I64(2147483647), Get::Int32, Y, "2147483647", K::Int32},
      {I64(2147483648), Get::Int32, N, "", K::Int64},
      {I64(-2147483648), Get::Int32, Y, "-2147483648", K::Int32},
      {I64(-2147483649), Get::Int32, N, "", K::Int64},
      {U64(2147483648), Get::Int32, N, "", K::UInt64},
      {I64(4294967295), Get::UInt32, Y, "4294967295", K::UInt32},
      {I64(4294967296), Get::UInt32, N, "", K::Int64},
      {U64(4294967296), Get::UInt32, N, "", K::UInt64},
      {I32(0), Get::UInt32, Y, "0", K::UInt32},
      {I32(-1), Get::Int64, Y, "-1", K::Int64},
      {U32(0xFFFFFFFF), Get::Int64, Y, "4294967295", K::Int64},
      {U64(0x7FFFFFFFFFFFFFFF), Get::Int64, Y, "9223372036854775807", K::Int64},
      {U64(0x8000000000000000), Get::Int64, N, "", K::UInt64},
      {I64(INT64_MIN), Get::UInt64, N, "", K::Int64},
      {I64(INT64_MAX), Get::UInt64, Y, "9223372036854775807", K::UInt64},
      // 2^64 - 1 reads as the nearest double, 2^64.
      {U64(UINT64_MAX), Get::Double, Y, "18446744073709551616", K::Double},
      {Chr('\x80'), Get::Int32, Y, "128", K::Int32},  // the code, 0..255
      {Chr('\xFF'), Get::UInt64, Y, "255", K::UInt64},
      {Tri(kTriUnknown), Get::Int32, N, "", K::TriState},
      {Tri(kTriUnknown), Get::Double, N, "", K::TriState},
      {Tri(kTriYes), Get::UInt32, Y, "1", K::UInt32},
      {Tri(7), Get::Int64, N, "", K::TriState},
      {Bool(false), Get::Double, Y, "0", K::Double},
  });
}

TEST(Value, YesAndNoCharacters) {
  std::vector<Case> cases;
  for (const char c : std::string("1EeTtYy")) {
    cases.push_back({Str(std::u16string(1, char16_t(c)) + u"..."), Get::Bool, true, "1", K::Bool});
    cases.push_back({Chr(c), Get::Bool, true, "1", K::Bool});
    cases.push_back({Chr(c), Get::TriState, true, "1", K::TriState});
  }
  for (const char c : std::string("0DdFfNn")) {
    cases.push_back({Str(std::u16string(1, char16_t(c)) + u"..."), Get::Bool, true, "0", K::Bool});
    cases.push_back({Chr(c), Get::Bool, true, "0", K::Bool});
    cases.push_back({Str(std::u16string(1, char16_t(c))), Get::TriState, true, "2", K::TriState});
  }
  for (const char c : std::string("2AaXxSsJj ?")) {
    cases.push_back({Str(std::u16string(1, char16_t(c)) + u"es"), Get::Bool, false, "", K::String});
    cases.push_back({Chr(c), Get::Bool, false, "", K::Char});
    cases.push_back({Str(std::u16string(1, char16_t(c))), Get::TriState, true, "0", K::TriState});
    cases.push_back({Chr(c), Get::TriState, true, "0", K::TriState});
  }
  const std::vector<Case> others = {
      {Str(u""), Get::Bool, false, "", K::String},
      {Str(u""), Get::TriState, true, "0", K::TriState},
      {Str(u"\u00DDes"), Get::Bool, false, "", K::String},  // not ASCII Y
      {Tri(kTriYes), Get::Bool, true, "1", K::Bool},
      {Tri(kTriUnknown), Get::Bool, false, "", K::TriState},
      {Tri(3), Get::Bool, false, "", K::TriState},
      {Bool(false), Get::TriState, true, "2", K::TriState},
      {Dbl(0.0), Get::Bool, true, "0", K::Bool},
      {Dbl(0.0), Get::TriState, true, "2", K::TriState},
      {Dbl(-0.001), Get::TriState, true, "1", K::TriState},
      {I32(0), Get::TriState, true, "2", K::TriState},
      {U32(0), Get::Bool, true, "0", K::Bool},
      {I64(int64_t{1} << 32), Get::Bool, true, "1", K::Bool},  // only the high word is set
      {U64(uint64_t{1} << 32), Get::TriState, true, "1", K::TriState},
      {U64(0), Get::TriState, true, "2", K::TriState},
  };
  cases.insert(cases.end(), others.begin(), others.end());
  RunTable(cases);
}

TEST(Value, ToStringAndGetChar) {
  const bool Y = true, N = false;
  RunTable({
      {I32(5), Get::String, Y, "5", K::String},
      {I32(INT32_MIN), Get::String, Y, "-2147483648", K::String},
      {U32(UINT32_MAX), Get::String, Y, "4294967295", K::String},
      {I64(INT64_MIN), Get::String, Y, "-9223372036854775808", K::String},
      {U64(UINT64_MAX), Get::String, Y, "18446744073709551615", K::String},
      {Dbl(0.0001), Get::String, Y, "0.0001", K::String},
      {Dbl(0.00000015), Get::String, Y, "1.5e-07", K::String},  // exponent 7 is above 6
      {Dbl(0.00001), Get::String, Y, "0.00001", K::String},     // "1e-05" printed again, "%.5lf"
      {Dbl(0.0000015), Get::String, Y, "0.000002", K::String},  // "%.6lf" keeps 6 decimals
      {Dbl(0.1), Get::String, Y, "0.1", K::String},
      {Dbl(1.0 / 3), Get::String, Y, "0.333333333333333", K::String},
      {Dbl(-1e20), Get::String, Y, "-1e+20", K::String},
      {Dbl(123456789012345678.0), Get::String, Y, "1.23456789012346e+17", K::String},
      {Dbl(-0.0), Get::String, Y, "-0", K::String},
      {Dbl(1e-300), Get::String, Y, "1e-300", K::String},
      {Chr('\x80'), Get::String, Y, "\u20AC", K::String},  // the ANSI code page, 1252
      {Chr('\0'), Get::String, Y, "", K::String},
      {Bool(false), Get::String, Y, "N", K::String},
      {Tri(kTriYes), Get::String, Y, "Y", K::String},
      {Tri(kTriUnknown), Get::String, Y, "X", K::String},
      {Tri(9), Get::String, Y, "X", K::String},

      {Tri(kTriYes), Get::Char, Y, "Y", K::Char},
      {Tri(kTriNo), Get::Char, Y, "N", K::Char},
      {Tri(kTriUnknown), Get::Char, Y, "X", K::Char},
      {Bool(false), Get::Char, Y, "N", K::Char},
      {Dbl(0.5), Get::Char, Y, "0", K::Char},
      {U64(UINT64_MAX), Get::Char, Y, "1", K::Char},
      {Str(u"\u20ACuro"), Get::Char, Y, "\x80", K::Char},
      {Str(u"\u4E2D"), Get::Char, Y, "?", K::Char},  // not in the code page
      {Str(u""), Get::Char, N, "", K::String},
  });
}

// The double formatting must print exactly what "%.15lg" and the "e-" rule
// print with the C library.
TEST(Value, DoubleTextMatchesPrintf) {
  auto reference = [](double d) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15lg", d);
    if (const char* e = std::strstr(text, "e-"); e != nullptr && std::atoi(e + 2) <= 6)
      std::snprintf(text, sizeof text, "%.*lf", std::atoi(e + 2), d);
    return std::string(text);
  };
  // Borders of the layouts, specials, and (last two) ties at the 16th digit.
  // clang-format off
  std::vector<double> samples = {
      0.0, 1.0, -1.0, 0.5, 1e15, 1e16, 123456789012345.0, 1234567890123456.0, 9.999999999999995e-5,
      5e-324, std::numeric_limits<double>::max(), 1.0 / 7, std::numeric_limits<double>::infinity(),
      0.000123456789, -std::numeric_limits<double>::infinity(), 1e14, 1e15, 99999999999999.9,
      999999999999999.0, 0.0001, 0.00001, 1.25e-5, 2.5e-6, 1e-7, -0.0,
      std::numeric_limits<double>::quiet_NaN(), 1e21, 1.5e300, 123.456, 123456789012345.5,
      123456789012346.5, 999999999999999.5, 0.99999999999999995, 9.9999999999999995e-5,
      0x1.b3abce426ea44p+74, 0x1.481dde4d5821dp-886};
  // clang-format on

  std::mt19937_64 random(42);
  for (int i = 0; i < 3000; ++i) {
    // Few digits at every scale: the fast path's layouts.
    const double digits =
        double(random() % 1000000000000000ull) / double(uint64_t{1} << (random() % 50));
    samples.push_back((i % 2 ? 1 : -1) * digits * std::pow(10.0, int(random() % 60) - 30));
    samples.push_back(std::round(digits) * std::pow(10.0, int(random() % 40) - 25));
    samples.push_back(double(random() % 100000) * std::pow(10.0, int(random() % 50) - 25));
  }
  for (int i = 0; i < 2000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isnan(d)) samples.push_back(d);
    samples.push_back(std::ldexp(double(random() % 1000000) / 7.0, int(random() % 80) - 60));
  }
  CQelValue v;
  for (const double d : samples) {
    SCOPED_TRACE(reference(d));
    v.SetDouble(d);
    EXPECT_EQ(Read(v, Get::String).result, reference(d));
  }
}

TEST(Value, ConversionHappensInPlace) {
  CQelValue v;
  v.SetInt32(5);
  IQelText* text = nullptr;
  ASSERT_TRUE(v.GetString(&text));
  EXPECT_EQ(std::u16string(text->Chars()), u"5");
  EXPECT_EQ(v.GetKind(), K::String);
  EXPECT_EQ(v.IsEmpty(), 0);

  // The value now is the text: a second read parses it again.
  ASSERT_TRUE(v.SetStringZ(u"2.5"));
  int32_t i = 0;
  ASSERT_TRUE(v.GetInt32(&i));
  EXPECT_EQ(i, 2);  // the text "2.5" parses to 2, not the rounded 3
  double d = 0;
  ASSERT_TRUE(v.GetDouble(&d));
  EXPECT_EQ(d, 2.0);  // read from the Int32 that the last getter left
}

TEST(Value, IsEmptyAndSetters) {
  CQelValue v;
  EXPECT_EQ(v.GetKind(), K::Null);
  EXPECT_EQ(v.IsEmpty(), 1);
  EXPECT_EQ(v.TextBuffer().Granule(), 64u);

  const struct {
    const char* what;
    std::function<bool(CQelValue&)> set;
    bool ok;
    K kind;
    int32_t empty;
  } setters[] = {
      {"SetString", [](CQelValue& x) { return x.SetString(u"abcdef", 3); }, true, K::String, 0},
      {"SetString to the NUL", [](CQelValue& x) { return x.SetString(u"abc", 0xFFFFFFFF); }, true,
       K::String, 0},
      {"SetString empty", [](CQelValue& x) { return x.SetString(u"abc", 0); }, true, K::String, 1},
      {"SetString null", [](CQelValue& x) { return x.SetString(nullptr, 3); }, false, K::Object, 0},
      {"SetString null, empty", [](CQelValue& x) { return x.SetString(nullptr, 0); }, true,
       K::String, 1},
      {"SetStringZ", [](CQelValue& x) { return x.SetStringZ(u"abc"); }, true, K::String, 0},
      {"SetStringZ null", [](CQelValue& x) { return x.SetStringZ(nullptr); }, false, K::Object, 0},
      {"SetText null", [](CQelValue& x) { return x.SetText(nullptr); }, false, K::Object, 0},
      {"SetChar", [](CQelValue& x) { return x.SetChar('a'); }, true, K::Char, 0},
      {"SetBool", [](CQelValue& x) { return x.SetBool(false); }, true, K::Bool, 0},
      {"SetTriState", [](CQelValue& x) { return x.SetTriState(kTriUnknown); }, true, K::TriState,
       0},
      {"SetDouble", [](CQelValue& x) { return x.SetDouble(0.0); }, true, K::Double, 0},
      {"SetInt32", [](CQelValue& x) { return x.SetInt32(0); }, true, K::Int32, 0},
      {"SetUInt32", [](CQelValue& x) { return x.SetUInt32(0); }, true, K::UInt32, 0},
      {"SetInt64", [](CQelValue& x) { return x.SetInt64(0, 0); }, true, K::Int64, 0},
      {"SetUInt64", [](CQelValue& x) { return x.SetUInt64(0, 0); }, true, K::UInt64, 0},
      {"Clear", [](CQelValue& x) { return x.Clear(); }, true, K::Null, 1},
  };
  for (const auto& s : setters) {
    SCOPED_TRACE(s.what);
    CQelValue x;
    IQelService* object = new TestObject;
    ASSERT_TRUE(x.SetObject(&object));
    EXPECT_EQ(s.set(x), s.ok);
    // A setter that fails on its arguments leaves the value as it was.
    EXPECT_EQ(TestObject::live, s.kind == K::Object ? 1 : 0)
        << "object not released (or released early)";
    EXPECT_EQ(x.GetKind(), s.kind);
    EXPECT_EQ(x.IsEmpty(), s.empty);
    if (s.kind != K::String) {
      EXPECT_EQ(x.TextBuffer().Length(), 0u) << "text left behind";
    }
  }

  // The 64-bit setters take the low word first.
  v.SetInt64(0xFFFFFFFE, 0xFFFFFFFF);
  int64_t i64 = 0;
  ASSERT_TRUE(v.GetInt64(&i64));
  EXPECT_EQ(i64, -2);
  v.SetUInt64(0x89ABCDEF, 0x01234567);
  uint64_t u64 = 0;
  ASSERT_TRUE(v.GetUInt64(&u64));
  EXPECT_EQ(u64, 0x0123456789ABCDEFu);

  // A value takes its own text back, and a long text grows the buffer.
  ASSERT_TRUE(v.SetStringZ(u"own text"));
  IQelText* text = nullptr;
  ASSERT_TRUE(v.GetString(&text));
  ASSERT_TRUE(v.SetText(text));
  EXPECT_EQ(std::u16string(text->Chars()), u"own text");
  ASSERT_TRUE(v.SetString(text->Chars() + 4, 4));
  EXPECT_EQ(std::u16string(text->Chars()), u"text");
  const std::u16string longText(100, u'L');
  ASSERT_TRUE(v.SetStringZ(longText.c_str()));
  EXPECT_EQ(v.TextBuffer().Capacity(), 128u);
  v.SetInt32(1);  // clearing gives the big array back
  EXPECT_EQ(v.TextBuffer().Capacity(), 64u);
}

TEST(Value, AssignCopiesKindAndPayload) {
  const std::vector<Source> sources = {Str(u"text"),     Chr('c'),         Bool(true),
                                       Tri(kTriNo),      Dbl(-1.25),       I32(-7),
                                       U32(4000000000u), I64(-5000000000), U64(UINT64_MAX)};
  for (const Source& s : sources) {
    SCOPED_TRACE(Describe(s));
    CQelValue from, to;
    Load(from, s);
    to.SetStringZ(u"previous");
    EXPECT_TRUE(to.Assign(&from));
    EXPECT_EQ(to.GetKind(), s.kind);
    EXPECT_EQ(from.GetKind(), s.kind);
    EXPECT_EQ(Snapshot(to), Snapshot(from));
  }

  // An object is shared: one more reference, released with the value.
  {
    CQelValue from, to;
    auto* object = new TestObject;
    IQelService* handed = object;
    ASSERT_TRUE(from.SetObject(&handed));
    EXPECT_TRUE(to.Assign(&from));
    EXPECT_EQ(object->RefCount(), 2);
    IQelService* got = nullptr;
    ASSERT_TRUE(to.GetObject(&got));
    EXPECT_EQ(got, static_cast<IQelService*>(object));
    got->Release();
  }
  EXPECT_EQ(TestObject::live, 0);

  // A null or Null source fails, keeps the kind and empties the text buffer.
  for (const bool nullPointer : {true, false}) {
    CQelValue null, to;
    ASSERT_TRUE(to.SetStringZ(u"abc"));
    EXPECT_FALSE(to.Assign(nullPointer ? nullptr : &null));
    EXPECT_EQ(to.GetKind(), K::String);
    EXPECT_EQ(to.TextBuffer().Length(), 0u);
    EXPECT_EQ(to.IsEmpty(), 1);
    to.SetInt32(3);
    EXPECT_FALSE(to.Assign(nullPointer ? nullptr : &null));
    int32_t i = 0;
    EXPECT_TRUE(to.GetInt32(&i));
    EXPECT_EQ(i, 3);
  }
  CQelValue self;
  self.SetDouble(1.5);
  EXPECT_TRUE(self.Assign(&self));
  EXPECT_EQ(Snapshot(self), "Double 1.5");
}

TEST(Value, ObjectReferencesAreCounted) {
  auto* object = new TestObject;
  {
    CQelValue v;
    IQelService* mine = object;
    ASSERT_TRUE(v.SetObject(&mine));
    EXPECT_EQ(mine, nullptr) << "SetObject takes over the caller's reference";
    EXPECT_EQ(object->RefCount(), 1);

    IQelService* out = nullptr;
    ASSERT_TRUE(v.GetObject(&out));
    EXPECT_EQ(out, static_cast<IQelService*>(object));
    EXPECT_EQ(object->RefCount(), 2);
    EXPECT_FALSE(v.GetObject(&out)) << "the pointer must be null on entry";
    EXPECT_FALSE(v.GetObject(nullptr));
    EXPECT_EQ(object->RefCount(), 2);
    EXPECT_EQ(v.GetKind(), K::Object);
    EXPECT_EQ(v.IsEmpty(), 0);

    EXPECT_FALSE(v.SetObject(nullptr));
    IQelService* none = nullptr;
    ASSERT_TRUE(v.SetObject(&none));  // a null object clears the value
    EXPECT_EQ(v.GetKind(), K::Null);
    EXPECT_EQ(object->RefCount(), 1);
    IQelService* nothing = nullptr;
    EXPECT_FALSE(v.GetObject(&nothing));

    ASSERT_TRUE(v.SetObject(&out));  // hand the second reference back
    EXPECT_EQ(object->RefCount(), 1);
    object->AddRef();
    out = object;
    ASSERT_TRUE(v.SetObject(&out));  // the same object again: the value's old reference goes
    EXPECT_EQ(object->RefCount(), 1);
  }
  EXPECT_EQ(TestObject::live, 0) << "the destructor releases the object";
}

TEST(Value, KindNames) {
  const struct {
    uint32_t code;
    const char* name;
  } names[] = {{0x10000, "Null"},     {0x20000, "String"}, {0x30000, "Char"},   {0x40000, "Bool"},
               {0x50000, "TriState"}, {0x60000, "Double"}, {0x70000, "Int32"},  {0x80000, "UInt32"},
               {0x90000, "Int64"},    {0xA0000, "UInt64"}, {0xB0000, "Object"}, {0, "?"},
               {0xC0000, "?"},        {0x10001, "?"}};
  for (const auto& n : names) EXPECT_STREQ(QelKindName(QelKind(n.code)), n.name) << n.code;
}

// The slot numbers are the contract with the host client.
TEST(Value, InterfaceSlotsAreFixed) {
  const size_t valueSlots[] = {
      SlotOf(&IQelValue::IsEmpty),    SlotOf(&IQelValue::GetKind),
      SlotOf(&IQelValue::GetString),  SlotOf(&IQelValue::GetChar),
      SlotOf(&IQelValue::GetBool),    SlotOf(&IQelValue::GetTriState),
      SlotOf(&IQelValue::GetDouble),  SlotOf(&IQelValue::GetInt32),
      SlotOf(&IQelValue::GetUInt32),  SlotOf(&IQelValue::GetInt64),
      SlotOf(&IQelValue::GetUInt64),  SlotOf(&IQelValue::GetObject),
      SlotOf(&IQelValue::SetObject),  SlotOf(&IQelValue::Assign),
      SlotOf(&IQelValue::SetUInt64),  SlotOf(&IQelValue::SetInt64),
      SlotOf(&IQelValue::SetUInt32),  SlotOf(&IQelValue::SetInt32),
      SlotOf(&IQelValue::SetDouble),  SlotOf(&IQelValue::SetTriState),
      SlotOf(&IQelValue::SetBool),    SlotOf(&IQelValue::SetChar),
      SlotOf(&IQelValue::SetText),    SlotOf(&IQelValue::SetString),
      SlotOf(&IQelValue::SetStringZ), SlotOf(&IQelValue::Clear),
  };
  for (size_t i = 0; i < std::size(valueSlots); ++i)
    EXPECT_EQ(valueSlots[i], i) << "IQelValue operation " << i;

  EXPECT_EQ(SlotOf(&IQelText::Length), 0u);
  EXPECT_EQ(SlotOf(&IQelText::Chars), 1u);

  // The destructor takes slots 26 and 27, IQelText has none: a virtual function
  // added by a derived class lands right after them.
  struct ValueProbe : IQelValue {
    virtual void Next() {}
  };
  struct TextProbe : IQelText {
    virtual void Next() {}
  };
  EXPECT_EQ(SlotOf(&ValueProbe::Next), 28u);
  EXPECT_EQ(SlotOf(&TextProbe::Next), 2u);
  // A concrete value keeps the interface's table first.
  EXPECT_EQ(SlotOf(&CQelValue::Clear), 25u);
  EXPECT_EQ(SlotOf(&CQelTextBuffer::Chars), 1u);
}

}  // namespace
