#include "qelcommon/value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ce/text.h"
#include "ceutil/text.h"
#include "qel/refcounted.h"
#include "qel/service.h"
#include "qelcommon/kind_names.h"
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
    case K::Null:
      v.Clear();
      break;
    case K::String:
      ASSERT_TRUE(v.SetString(s.text.data(), uint32_t(s.text.size())));
      break;
    case K::Char:
      v.SetChar(char(s.i));
      break;
    case K::Bool:
      v.SetBool(s.i != 0);
      break;
    case K::TriState:
      v.SetTriState(int32_t(s.i));
      break;
    case K::Double:
      v.SetDouble(s.d);
      break;
    case K::Int32:
      v.SetInt32(int32_t(s.i));
      break;
    case K::UInt32:
      v.SetUInt32(uint32_t(s.i));
      break;
    case K::Int64:
      v.SetInt64(uint32_t(raw), uint32_t(raw >> 32));
      break;
    case K::UInt64:
      v.SetUInt64(uint32_t(raw), uint32_t(raw >> 32));
      break;
    case K::Object: {
      IQelService* object = new TestObject;
      ASSERT_TRUE(v.SetObject(&object));
      break;
    }
  }
  ASSERT_EQ(v.GetKind(), s.kind);
}

// ---------------------------------------------------------------------------
// Getters, with every result rendered as text so that one table holds them all.

enum class Get { String, Char, Bool, TriState, Double, Int32, UInt32, Int64, UInt64 };
constexpr K kGetKind[] = {K::String, K::Char,   K::Bool,  K::TriState, K::Double,
                          K::Int32,  K::UInt32, K::Int64, K::UInt64};

std::string Render(char c) { return std::string(1, c); }
std::string Render(bool b) { return b ? "1" : "0"; }
std::string Render(double d) {  // the shortest text that reads back as d
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, d).ptr);
}
template <class T>
std::string Render(T n) {
  return std::to_string(n);
}

template <class T>
std::optional<std::string> Try(CQelValue& v, bool (CQelValue::*get)(T*)) {
  T x{};
  if (!(v.*get)(&x)) return std::nullopt;
  return Render(x);
}

// The getter's result as text, or nothing when it fails.
std::optional<std::string> Read(CQelValue& v, Get g) {
  switch (g) {
    case Get::String: {
      IQelText* t = nullptr;
      if (!v.GetString(&t)) return std::nullopt;
      EXPECT_EQ(t, &v.TextBuffer());
      EXPECT_EQ(t->Chars()[t->Length()], u'\0');
      return ceutil::ToUtf8(std::u16string_view(t->Chars(), t->Length()));
    }
    case Get::Char:
      return Try(v, &CQelValue::GetChar);
    case Get::Bool:
      return Try(v, &CQelValue::GetBool);
    case Get::TriState:
      return Try(v, &CQelValue::GetTriState);
    case Get::Double:
      return Try(v, &CQelValue::GetDouble);
    case Get::Int32:
      return Try(v, &CQelValue::GetInt32);
    case Get::UInt32:
      return Try(v, &CQelValue::GetUInt32);
    case Get::Int64:
      return Try(v, &CQelValue::GetInt64);
    case Get::UInt64:
      return Try(v, &CQelValue::GetUInt64);
  }
  return std::nullopt;
}

// The state of a value, read with the getter of its own kind (which converts
// nothing), so that a test can tell that a failed getter changed nothing.
std::string Snapshot(CQelValue& v) {
  const K kind = v.GetKind();
  if (kind == K::Null) return "Null";
  if (kind == K::Object) {
    IQelService* object = nullptr;
    if (!v.GetObject(&object)) return "Object?";
    return "Object count " + std::to_string(object->Release());
  }
  const auto own = std::find(std::begin(kGetKind), std::end(kGetKind), kind) - std::begin(kGetKind);
  return QelKindName(kind) + (" " + Read(v, Get(own)).value_or("?"));
}

constexpr const char* F = nullptr;  // the getter fails

struct Case {
  Source source;
  Get getter;
  const char* result;  // or F
};

// Runs each case on a fresh value: a getter that succeeds converts the value to
// its own kind, releasing an object; one that fails changes nothing.
void RunTable(const std::vector<Case>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const K kind = kGetKind[int(c.getter)];
    SCOPED_TRACE(testing::Message() << "row " << i << " read as " << QelKindName(kind));
    {
      CQelValue v;
      Load(v, c.source);
      const std::string before = Snapshot(v);
      SCOPED_TRACE(before);
      const auto out = Read(v, c.getter);
      EXPECT_EQ(out.has_value(), c.result != F);
      if (out && c.result) {
        EXPECT_EQ(*out, c.result);
      }
      EXPECT_EQ(v.GetKind(), c.result ? kind : c.source.kind) << "kind after is " << QelKindName(v.GetKind());
      if (!out) {
        EXPECT_EQ(Snapshot(v), before) << "a failed getter changed the value";
      }
      EXPECT_EQ(TestObject::live, v.GetKind() == K::Object ? 1 : 0);
    }
    EXPECT_EQ(TestObject::live, 0);
  }
}

// Texts read with one getter.
std::vector<Case> Texts(Get g, std::initializer_list<std::pair<std::u16string, const char*>> rows) {
  std::vector<Case> cases;
  for (const auto& [text, result] : rows) cases.push_back({Str(text), g, result});
  return cases;
}

// ---------------------------------------------------------------------------

// The tables below are laid out by hand: related rows share a line.
// clang-format off

// One typical value of each kind against every getter.
TEST(Value, EveryKindAgainstEveryGetter) {
  // Results in the getters' order: String, Char, Bool, TriState, Double, Int32, UInt32, Int64, UInt64.
  const std::pair<Source, std::array<const char*, 9>> rows[] = {
      {Null(), {"", F, F, "0", F, F, F, F, F}},
      {Str(u"12"), {"12", "1", "1", "1", "12", "12", "12", "12", "12"}},  // Bool: first character "1", yes
      {Chr('Y'), {"Y", "Y", "1", "1", "89", "89", "89", "89", "89"}},
      {Bool(true), {"Y", "Y", "1", "1", "1", "1", "1", "1", "1"}},
      {Tri(kTriNo), {"N", "N", "0", "2", "0", "0", "0", "0", "0"}},
      {Dbl(2.5), {"2.5", "2", "1", "1", "2.5", "3", "3", "3", "3"}},
      {I32(-5), {"-5", "-", "1", "1", "-5", "-5", F, "-5", F}},
      {U32(7), {"7", "7", "1", "1", "7", "7", "7", "7", "7"}},
      {I64(-3), {"-3", "-", "1", "1", "-3", "-3", F, "-3", F}},
      {U64(9), {"9", "9", "1", "1", "9", "9", "9", "9", "9"}},
      // The object's text and character are this project's choice: "Object", 'O'.
      {Obj(), {"Object", "O", F, "0", F, F, F, F, F}},
  };
  std::vector<Case> cases;
  for (const auto& [source, results] : rows)
    for (int g = 0; g < 9; ++g) cases.push_back({source, Get(g), results[g]});
  RunTable(cases);
}

TEST(Value, TextParsesToIntegersWithinTheStatedLimits) {
  // GetInt32 never fails; accumulation stops once the value reaches 214748365.
  RunTable(Texts(Get::Int32, {
      {u"2147483647", "2147483647"}, {u"-2147483648", "-2147483648"}, {u"214748364", "214748364"},
      {u"2147483650", "214748365"}, {u"9999999999", "999999999"},
      {u"2147483648", "-2147483648"},  // 32-bit wrap
      {u"  +  42", "42"}, {u" - 42 ", "-42"}, {u"-7x9", "-7"}, {u"2.5", "2"},  // a text is not rounded
      {u"", "0"}, {u"--5", "0"}, {u"\t5", "0"},  // only U+0020 counts as a space
  }));
  // GetUInt32 fails only when the digits do not fit.
  RunTable(Texts(Get::UInt32, {
      {u"4294967295", "4294967295"}, {u"4294967296", F}, {u"42949672950", F},
      {u"0004294967295", "4294967295"}, {u"  17 2", "17"}, {u"abc", "0"}, {u"", "0"},
      {u"-1", "0"},  // no sign: no digits
  }));
  // GetInt64 never fails and saturates at the limits.
  RunTable(Texts(Get::Int64, {
      {u"9223372036854775807", "9223372036854775807"}, {u"-9223372036854775808", "-9223372036854775808"},
      {u"9223372036854775808", "9223372036854775807"}, {u"-99999999999999999999", "-9223372036854775808"},
      {u" - 12", "-12"}, {u"x", "0"},
  }));
  // GetUInt64 fails when there is no number or it does not fit.
  RunTable(Texts(Get::UInt64, {
      {u"18446744073709551615", "18446744073709551615"}, {u"18446744073709551616", F},
      {u"  +5 apples", "5"}, {u"-1", F}, {u"abc", F}, {u"", F},
  }));
}

TEST(Value, TextParsesToDoubles) {
  RunTable(Texts(Get::Double, {
      {u"3,5", "3.5"}, {u",5", "0.5"},
      {u"1.5,0", "1.5"},  // the comma after the point ends the scan
      {u"1,5,0", "1.5"},  // only the first comma becomes a point
      {u"  -2.25e2", "-225"}, {u"+1e3", "1000"}, {u"100ergs", "100"}, {u"1e", "1"}, {u"0x10", "0"},
      {u"1234567890.12345678901", "1234567890.1234567"},  // 22 characters
      {u"1234567890.123456789012", F},                     // 23: too long
      {u"", F}, {u"   ", F}, {u"abc", F}, {u".", F}, {u"+-1", F}, {u"inf", F}, {u"nan", F}, {u"1e400", F},
      {u"\u00BD", F},
  }));
}

TEST(Value, NumbersConvertWithinRangesAndRoundHalfUp) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double two63 = 9223372036854775808.0, two64 = 18446744073709551616.0;
  RunTable({
      {Dbl(-2.5), Get::Int32, "-2"}, {Dbl(2.49), Get::Int32, "2"},
      {Dbl(-0.5), Get::Int32, "0"}, {Dbl(-0.51), Get::Int32, "-1"},
      {Dbl(2147483647.0), Get::Int32, "2147483647"}, {Dbl(2147483647.25), Get::Int32, F},
      {Dbl(-2147483648.0), Get::Int32, "-2147483648"}, {Dbl(-2147483648.5), Get::Int32, F},
      {Dbl(nan), Get::Int32, F}, {Dbl(nan), Get::UInt32, F}, {Dbl(nan), Get::Int64, F},
      {Dbl(4294967295.0), Get::UInt32, "4294967295"}, {Dbl(4294967295.5), Get::UInt32, F},
      {Dbl(0.49), Get::UInt32, "0"}, {Dbl(-0.1), Get::UInt32, F},
      {Dbl(-two63), Get::Int64, "-9223372036854775808"},
      {Dbl(two63), Get::Int64, F},  // 2^63 itself does not fit
      {Dbl(1e15 + 0.5), Get::Int64, "1000000000000001"},
      {Dbl(two63), Get::UInt64, "9223372036854775808"}, {Dbl(two64), Get::UInt64, F}, {Dbl(-1.0), Get::UInt64, F},

      {U32(0x7FFFFFFF), Get::Int32, "2147483647"}, {U32(0x80000000), Get::Int32, F},
      {I64(2147483647), Get::Int32, "2147483647"}, {I64(2147483648), Get::Int32, F},
      {I64(-2147483648), Get::Int32, "-2147483648"}, {I64(-2147483649), Get::Int32, F},
      {U64(2147483648), Get::Int32, F},
      {I64(4294967295), Get::UInt32, "4294967295"}, {I64(4294967296), Get::UInt32, F},
      {U64(4294967296), Get::UInt32, F}, {I32(0), Get::UInt32, "0"},
      {I32(-1), Get::Int64, "-1"}, {U32(0xFFFFFFFF), Get::Int64, "4294967295"},
      {U64(0x7FFFFFFFFFFFFFFF), Get::Int64, "9223372036854775807"}, {U64(0x8000000000000000), Get::Int64, F},
      {I64(INT64_MIN), Get::UInt64, F}, {I64(INT64_MAX), Get::UInt64, "9223372036854775807"},
      {U64(UINT64_MAX), Get::Double, "18446744073709551616"},  // the nearest double, 2^64
      {Chr('\x80'), Get::Int32, "128"}, {Chr('\xFF'), Get::UInt64, "255"},  // the code, 0..255
      {Tri(kTriUnknown), Get::Int32, F}, {Tri(kTriUnknown), Get::Double, F},
      {Tri(kTriYes), Get::UInt32, "1"}, {Tri(7), Get::Int64, F}, {Bool(false), Get::Double, "0"},
  });
}

TEST(Value, YesAndNoCharacters) {
  std::vector<Case> cases = {
      {Str(u""), Get::Bool, F}, {Str(u""), Get::TriState, "0"},
      {Str(u"\u00DDes"), Get::Bool, F},  // not ASCII Y
      {Tri(kTriYes), Get::Bool, "1"}, {Tri(kTriUnknown), Get::Bool, F}, {Tri(3), Get::Bool, F},
      {Bool(false), Get::TriState, "2"}, {Dbl(0.0), Get::Bool, "0"}, {Dbl(0.0), Get::TriState, "2"},
      {Dbl(-0.001), Get::TriState, "1"}, {I32(0), Get::TriState, "2"}, {U32(0), Get::Bool, "0"},
      {I64(int64_t{1} << 32), Get::Bool, "1"},  // only the high word is set
      {U64(uint64_t{1} << 32), Get::TriState, "1"}, {U64(0), Get::TriState, "2"},
  };
  for (const char c : std::string("1EeTtYy")) {
    cases.push_back({Str(std::u16string(1, char16_t(c)) + u"..."), Get::Bool, "1"});
    cases.push_back({Chr(c), Get::Bool, "1"});
    cases.push_back({Chr(c), Get::TriState, "1"});
  }
  for (const char c : std::string("0DdFfNn")) {
    cases.push_back({Str(std::u16string(1, char16_t(c)) + u"..."), Get::Bool, "0"});
    cases.push_back({Chr(c), Get::Bool, "0"});
    cases.push_back({Str(std::u16string(1, char16_t(c))), Get::TriState, "2"});
  }
  for (const char c : std::string("2AaXxSsJj ?")) {
    cases.push_back({Str(std::u16string(1, char16_t(c)) + u"es"), Get::Bool, F});
    cases.push_back({Chr(c), Get::Bool, F});
    cases.push_back({Str(std::u16string(1, char16_t(c))), Get::TriState, "0"});
    cases.push_back({Chr(c), Get::TriState, "0"});
  }
  RunTable(cases);
}

// Double texts beyond these are checked against the C library below.
TEST(Value, ToStringAndGetChar) {
  RunTable({
      {I32(INT32_MIN), Get::String, "-2147483648"}, {U32(UINT32_MAX), Get::String, "4294967295"},
      {I64(INT64_MIN), Get::String, "-9223372036854775808"}, {U64(UINT64_MAX), Get::String, "18446744073709551615"},
      {Dbl(0.00000015), Get::String, "1.5e-07"},  // exponent 7 is above 6
      {Dbl(0.00001), Get::String, "0.00001"},     // "1e-05" printed again, "%.5lf"
      {Dbl(0.0000015), Get::String, "0.000002"},  // "%.6lf" keeps 6 decimals
      {Chr('\x80'), Get::String, "\u20AC"},       // the ANSI code page, 1252
      {Chr('\0'), Get::String, ""}, {Bool(false), Get::String, "N"}, {Tri(kTriYes), Get::String, "Y"},
      {Tri(kTriUnknown), Get::String, "X"}, {Tri(9), Get::String, "X"},

      {Tri(kTriYes), Get::Char, "Y"}, {Tri(kTriUnknown), Get::Char, "X"}, {Bool(false), Get::Char, "N"},
      {Dbl(0.5), Get::Char, "0"}, {U64(UINT64_MAX), Get::Char, "1"}, {Str(u"\u20ACuro"), Get::Char, "\x80"},
      {Str(u"\u4E2D"), Get::Char, "?"},  // not in the code page
      {Str(u""), Get::Char, F},
  });
}

// clang-format on

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
    const double digits = double(random() % 1000000000000000ull) / double(uint64_t{1} << (random() % 50));
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
    EXPECT_EQ(Read(v, Get::String), reference(d));
  }
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
      {"SetString to the NUL", [](CQelValue& x) { return x.SetString(u"abc", 0xFFFFFFFF); }, true, K::String,
       0},
      {"SetString empty", [](CQelValue& x) { return x.SetString(u"abc", 0); }, true, K::String, 1},
      {"SetString null", [](CQelValue& x) { return x.SetString(nullptr, 3); }, false, K::Object, 0},
      {"SetString null, empty", [](CQelValue& x) { return x.SetString(nullptr, 0); }, true, K::String, 1},
      {"SetStringZ", [](CQelValue& x) { return x.SetStringZ(u"abc"); }, true, K::String, 0},
      {"SetStringZ null", [](CQelValue& x) { return x.SetStringZ(nullptr); }, false, K::Object, 0},
      {"SetText null", [](CQelValue& x) { return x.SetText(nullptr); }, false, K::Object, 0},
      {"SetChar", [](CQelValue& x) { return x.SetChar('a'); }, true, K::Char, 0},
      {"SetBool", [](CQelValue& x) { return x.SetBool(false); }, true, K::Bool, 0},
      {"SetTriState", [](CQelValue& x) { return x.SetTriState(kTriUnknown); }, true, K::TriState, 0},
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
    EXPECT_EQ(TestObject::live, s.kind == K::Object ? 1 : 0) << "object not released (or released early)";
    EXPECT_EQ(x.GetKind(), s.kind);
    EXPECT_EQ(x.IsEmpty(), s.empty);
    if (s.kind != K::String) {
      EXPECT_EQ(x.TextBuffer().Length(), 0u) << "text left behind";
    }
  }

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
    CQelValue from, to;
    Load(from, s);
    SCOPED_TRACE(Snapshot(from));
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
      SlotOf(&IQelValue::IsEmpty),    SlotOf(&IQelValue::GetKind),     SlotOf(&IQelValue::GetString),
      SlotOf(&IQelValue::GetChar),    SlotOf(&IQelValue::GetBool),     SlotOf(&IQelValue::GetTriState),
      SlotOf(&IQelValue::GetDouble),  SlotOf(&IQelValue::GetInt32),    SlotOf(&IQelValue::GetUInt32),
      SlotOf(&IQelValue::GetInt64),   SlotOf(&IQelValue::GetUInt64),   SlotOf(&IQelValue::GetObject),
      SlotOf(&IQelValue::SetObject),  SlotOf(&IQelValue::Assign),      SlotOf(&IQelValue::SetUInt64),
      SlotOf(&IQelValue::SetInt64),   SlotOf(&IQelValue::SetUInt32),   SlotOf(&IQelValue::SetInt32),
      SlotOf(&IQelValue::SetDouble),  SlotOf(&IQelValue::SetTriState), SlotOf(&IQelValue::SetBool),
      SlotOf(&IQelValue::SetChar),    SlotOf(&IQelValue::SetText),     SlotOf(&IQelValue::SetString),
      SlotOf(&IQelValue::SetStringZ), SlotOf(&IQelValue::Clear),
  };

  for (size_t i = 0; i < std::size(valueSlots); ++i)
    EXPECT_EQ(valueSlots[i], i) << "IQelValue operation " << i;

  EXPECT_EQ(SlotOf(&IQelText::Length), 0u);
  EXPECT_EQ(SlotOf(&IQelText::Chars), 1u);

  // The destructor takes slots 26 and 27, IQelText has none: a virtual function
  // added by a derived class lands right after them. In Microsoft's layout
  // slot 26 is the one deleting destructor, and g++'s own two entries follow it.
  constexpr size_t kAfterDestructor = QEL_EXPLICIT_MS_LAYOUT ? 29 : 28;
  struct ValueProbe : IQelValue {
    virtual void Next() {}
  };
  struct TextProbe : IQelText {
    virtual void Next() {}
  };
  EXPECT_EQ(SlotOf(&ValueProbe::Next), kAfterDestructor);
  EXPECT_EQ(SlotOf(&TextProbe::Next), 2u);
  // A concrete value keeps the interface's table first.
  EXPECT_EQ(SlotOf(&CQelValue::Clear), 25u);
  EXPECT_EQ(SlotOf(&CQelTextBuffer::Chars), 1u);
}

}  // namespace
