#include "trace.h"

#include <gtest/gtest.h>

#include <string>

namespace ce::sim::trace {
namespace {

template <class T>
std::string Shown(T value) {
  std::string out;
  AppendValue(out, value);
  return out;
}

TEST(Trace, ArgumentsAreShownAsTheTraceReaderNeedsThem) {
  const std::u16string longText(300, u'a');
  char16_t buffer[] = u"output";
  const struct {
    const char* what;
    std::string shown, expected;
  } rows[] = {
      {"text", Shown<LPCWSTR>(u"Software\\Demo \u00C4"), "u\"Software\\\\Demo \xC3\x84\""},
      {"quotes and controls", Shown<LPCWSTR>(u"a\"b\tc\u007F"), "u\"a\\\"b\\x09c\\x7F\""},
      {"what a terminal would act on", Shown<LPCWSTR>(u"\u0085\u009B\u2028\u202E"),
       "u\"\\x85\\x9B\\u2028\\u202E\""},
      {"surrogates", Shown<LPCWSTR>(u"\xD800x\U0001F600\xFFFD"), "u\"\\uD800x\xF0\x9F\x98\x80\xEF\xBF\xBD\""},
      {"long text", Shown<LPCWSTR>(longText.c_str()), "u\"" + std::string(256, 'a') + "\"..."},
      {"null text", Shown<LPCWSTR>(nullptr), "NULL"},
      {"null pointer", Shown<const void*>(nullptr), "NULL"},
      {"pointer", Shown(reinterpret_cast<const void*>(uintptr_t{0x1234})), "0x1234"},
      {"handle", Shown(reinterpret_cast<HANDLE>(uintptr_t{0x80000002})), "0x80000002"},
      {"output buffer", Shown<LPWSTR>(buffer), Shown(static_cast<const void*>(buffer))},  // not its text
      {"by address", Shown(ShowAddress<LPCWSTR>(u"x")).substr(0, 2), "0x"},
      {"negative", Shown(LONG{-1}), "-1"},
      {"small unsigned", Shown(DWORD{9}), "9"},
      {"unsigned", Shown(DWORD{10}), "0xA"},
      {"access mask", Shown(DWORD{0x20019}), "0x20019"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.shown, row.expected) << row.what;
}

}  // namespace
}  // namespace ce::sim::trace
