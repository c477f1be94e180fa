#include "ceutil/text.h"

#include <climits>

#include "ce/text.h"

namespace ceutil {
namespace {

// The system calls count in int; longer texts are converted a slice at a time,
// never splitting a surrogate pair.
constexpr size_t kSlice = INT_MAX / 4;

template <class Out, class In, class Convert>
Out ConvertSliced(In text, Convert convert) {
  Out out;
  while (!text.empty()) {
    size_t n = std::min(text.size(), kSlice);
    if constexpr (sizeof(typename In::value_type) == 2) {
      if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    } else {
      while (n < text.size() && n > 1 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    const size_t at = out.size();
    const int need = convert(text.data(), int(n), nullptr, 0);
    out.resize(at + size_t(need));
    if (need > 0) convert(text.data(), int(n), out.data() + at, need);
    text.remove_prefix(n);
  }
  return out;
}

std::string Narrow(std::u16string_view text, ce::UINT page) {
  return ConvertSliced<std::string>(text, [page](const char16_t* s, int n, char* d, int size) {
    return ce::WideCharToMultiByte(page, 0, s, n, d, size, nullptr, nullptr);
  });
}

std::u16string Widen(std::string_view text, ce::UINT page) {
  return ConvertSliced<std::u16string>(text, [page](const char* s, int n, char16_t* d, int size) {
    return ce::MultiByteToWideChar(page, 0, s, n, d, size);
  });
}

char16_t Upper(char16_t c) {
  ce::CharUpperBuffW(&c, 1);
  return c;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) { return Narrow(text, CP_UTF8); }
std::u16string FromUtf8(std::string_view text) { return Widen(text, CP_UTF8); }
std::string ToAnsi(std::u16string_view text) { return Narrow(text, CP_ACP); }
std::u16string FromAnsi(std::string_view text) { return Widen(text, CP_ACP); }

std::u16string ToUpper(std::u16string_view text) {
  std::u16string out(text);
  for (size_t at = 0; at < out.size(); at += kSlice)
    ce::CharUpperBuffW(out.data() + at, ce::DWORD(std::min(kSlice, out.size() - at)));
  return out;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const char16_t x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace ceutil
