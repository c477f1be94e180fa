// Code-page conversion of the simulated terminal: Windows-1252 (the ANSI code
// page) and UTF-8, with the argument checks, counts and error codes of Win32.
//
// Behaviour that follows Windows and is worth knowing:
//  - 1252: every byte maps to a character (the five bytes Windows leaves
//    undefined, 0x81 0x8D 0x8F 0x90 0x9D, map to U+0081 and so on, and back).
//    No "best fit": any other character becomes the default character, one per
//    UTF-16 unit, so a surrogate pair gives two.
//  - UTF-8: an unpaired surrogate is written as U+FFFD; an ill-formed byte
//    sequence is read as one U+FFFD per maximal ill-formed subpart.
//  - The flags are accepted and ignored.
#include "ce/text.h"

#include <cstdint>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "last_error.h"
#include "utf.h"

namespace ce {
namespace sim {
namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char16_t From1252(unsigned char b) { return (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : char16_t(b); }

// The byte for a character, or -1 when the code page has none.
int To1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return int(c);
  for (int i = 0; i < 32; ++i)
    if (k1252High[i] == c) return 0x80 + i;
  return -1;
}

enum class Page { k1252, kUtf8, kInvalid };

Page PageOf(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_1252) return Page::k1252;
  if (codePage == CP_UTF8) return Page::kUtf8;
  return Page::kInvalid;
}

int Fail(DWORD code) {
  SetLastError(code);
  return 0;
}

// Collects output into a caller's buffer, or only counts it when the buffer
// size is 0. Records an overflow instead of writing past the end.
template <class T>
class Sink {
 public:
  Sink(T* dst, int size) : dst_(dst), size_(size) {}
  // Adds n units at once (a character is never split).
  void Put(const T* units, int n) {
    if (count_ > kMaxCount - n) {  // more than an int can count
      overflow_ = true;
      return;
    }
    if (size_ != 0) {
      if (count_ + n > size_) {
        overflow_ = true;
        return;
      }
      for (int k = 0; k < n; ++k) dst_[count_ + k] = units[k];
    }
    count_ += n;
  }
  bool overflow() const { return overflow_; }
  int count() const { return count_; }

 private:
  static constexpr int kMaxCount = 0x7FFFFFFF;
  T* dst_;
  int size_;
  int count_ = 0;
  bool overflow_ = false;
};

size_t MeasureWide(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

size_t MeasureNarrow(const char* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

namespace api {

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR src, int srcLength, char* dst, int dstSize,
                        const char* defaultChar, BOOL* usedDefault) {
  const Page page = PageOf(codePage);
  if (page == Page::kInvalid || src == nullptr || srcLength == 0 || srcLength < -1 || dstSize < 0 ||
      (dst == nullptr && dstSize != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  // UTF-8 has no default character; Windows rejects the two arguments.
  if (page == Page::kUtf8 && (defaultChar != nullptr || usedDefault != nullptr))
    return Fail(ERROR_INVALID_PARAMETER);

  const size_t n = srcLength == -1 ? MeasureWide(src) + 1 : size_t(srcLength);
  Sink<char> out(dst, dstSize);
  if (page == Page::kUtf8) {
    char bytes[4];
    for (size_t i = 0; i < n && !out.overflow();) out.Put(bytes, EncodeUtf8(NextUtf16(src, n, i), bytes));
  } else {
    const char fallback = defaultChar != nullptr ? *defaultChar : '?';
    bool used = false;
    for (size_t i = 0; i < n && !out.overflow(); ++i) {
      const int b = To1252(src[i]);
      const char c = b < 0 ? fallback : char(b);
      used = used || b < 0;
      out.Put(&c, 1);
    }
    if (usedDefault != nullptr) *usedDefault = used ? TRUE : FALSE;
  }
  if (out.overflow()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return out.count();
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* src, int srcLength, LPWSTR dst,
                        int dstSize) {
  const Page page = PageOf(codePage);
  if (page == Page::kInvalid || src == nullptr || srcLength == 0 || srcLength < -1 || dstSize < 0 ||
      (dst == nullptr && dstSize != 0))
    return Fail(ERROR_INVALID_PARAMETER);

  const size_t n = srcLength == -1 ? MeasureNarrow(src) + 1 : size_t(srcLength);
  const auto* bytes = reinterpret_cast<const unsigned char*>(src);
  Sink<char16_t> out(dst, dstSize);
  if (page == Page::kUtf8) {
    char16_t units[2];
    for (size_t i = 0; i < n && !out.overflow();) out.Put(units, EncodeUtf16(NextUtf8(bytes, n, i), units));
  } else {
    for (size_t i = 0; i < n && !out.overflow(); ++i) {
      const char16_t c = From1252(bytes[i]);
      out.Put(&c, 1);
    }
  }
  if (out.overflow()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return out.count();
}

UINT GetACP() { return CP_1252; }

DWORD CharUpperBuffW(LPWSTR text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = sim::FoldChar(text[i]);
  return length;
}

}  // namespace api

std::string Utf8ToAnsi(std::string_view utf8) {
  const std::u16string wide = FromUtf8(utf8);
  std::string out;
  out.reserve(wide.size());
  for (const char16_t c : wide) {
    const int b = To1252(c);
    out += b < 0 ? '?' : char(b);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::u16string wide;
  wide.reserve(ansi.size());
  for (const char c : ansi) wide += From1252(static_cast<unsigned char>(c));
  return ToUtf8(wide);
}

}  // namespace sim
}  // namespace ce
