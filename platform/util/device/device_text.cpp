#include "device_text.h"

namespace device_text {

namespace {

char16_t FoldLatinExtendedA(char16_t c) {
  // No simple case pair: dotted/dotless i, kra, n preceded by apostrophe, long s.
  if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F || c == 0x178) return c;
  // Upper case sits on the odd code in these runs, on the even one elsewhere.
  const bool upperIsOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  const bool isLower = upperIsOdd ? c % 2 == 0 : c % 2 == 1;
  return isLower ? static_cast<char16_t>(c - 1) : c;
}

char16_t FoldGreek(char16_t c) {
  switch (c) {
    case 0x3AC:
      return 0x386;
    case 0x3AD:
      return 0x388;
    case 0x3AE:
      return 0x389;
    case 0x3AF:
      return 0x38A;
    case 0x3C2:
      return 0x3A3;  // final sigma
    case 0x3CC:
      return 0x38C;
    case 0x3CD:
      return 0x38E;
    case 0x3CE:
      return 0x38F;
    default:
      return c >= 0x3B1 && c <= 0x3C9 ? static_cast<char16_t>(c - 0x20) : c;
  }
}

}  // namespace

char16_t UpperCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);  // Latin-1, not the division sign
  if (c == 0xFF) return 0x178;
  if (c <= 0x17F) return FoldLatinExtendedA(c);
  if (c >= 0x3AC && c <= 0x3CE) return FoldGreek(c);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);  // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);  // full-width Latin
  return c;
}

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

int EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = char(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = char(0xC0 | (cp >> 6));
    out[1] = char(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = char(0xE0 | (cp >> 12));
    out[1] = char(0x80 | ((cp >> 6) & 0x3F));
    out[2] = char(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = char(0xF0 | (cp >> 18));
  out[1] = char(0x80 | ((cp >> 12) & 0x3F));
  out[2] = char(0x80 | ((cp >> 6) & 0x3F));
  out[3] = char(0x80 | (cp & 0x3F));
  return 4;
}

int EncodeUtf16(char32_t cp, char16_t* out) {
  if (cp < 0x10000) {
    out[0] = char16_t(cp);
    return 1;
  }
  out[0] = char16_t(0xD800 + ((cp - 0x10000) >> 10));
  out[1] = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
  return 2;
}

char32_t NextUtf16(const char16_t* src, size_t n, size_t& i) {
  const char16_t c = src[i++];
  if (IsHighSurrogate(c)) {
    if (i < n && IsLowSurrogate(src[i])) {
      const char16_t low = src[i++];
      return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
    }
    return kReplacement;
  }
  if (IsLowSurrogate(c)) return kReplacement;
  return c;
}

char32_t NextUtf8(const unsigned char* src, size_t n, size_t& i) {
  const unsigned char b = src[i++];
  if (b < 0x80) return b;
  int more;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2;
    cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;  // no overlong forms
    if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3;
    cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;  // no overlong forms
    if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return kReplacement;
  }
  for (int k = 0; k < more; ++k) {
    if (i >= n) return kReplacement;
    const unsigned char c = src[i];
    const unsigned char min = k == 0 ? lo : 0x80;
    const unsigned char max = k == 0 ? hi : 0xBF;
    if (c < min || c > max) return kReplacement;  // the offending byte starts anew
    cp = (cp << 6) | (c & 0x3F);
    ++i;
  }
  return cp;
}

namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

char16_t From1252(unsigned char b) { return (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : char16_t(b); }

// The byte for a character, or -1 when the code page has none.
int To1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return int(c);
  for (int i = 0; i < 32; ++i)
    if (k1252High[i] == c) return 0x80 + i;
  return -1;
}

namespace {

enum class Page { k1252, kUtf8, kInvalid };

Page PageOf(uint32_t codePage) {
  if (codePage == 0 || codePage == 1252) return Page::k1252;
  if (codePage == 65001) return Page::kUtf8;
  return Page::kInvalid;
}

constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kInsufficientBuffer = 122;

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

int Fail(uint32_t* error, uint32_t code) {
  *error = code;
  return 0;
}

}  // namespace

int WideToMultiByte(uint32_t codePage, const char16_t* src, int srcLength, char* dst, int dstSize,
                    const char* defaultChar, int32_t* usedDefault, uint32_t* error) {
  const Page page = PageOf(codePage);
  if (page == Page::kInvalid || src == nullptr || srcLength == 0 || srcLength < -1 || dstSize < 0 ||
      (dst == nullptr && dstSize != 0))
    return Fail(error, kInvalidParameter);
  // UTF-8 has no default character; Windows rejects the two arguments.
  if (page == Page::kUtf8 && (defaultChar != nullptr || usedDefault != nullptr))
    return Fail(error, kInvalidParameter);

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
    if (usedDefault != nullptr) *usedDefault = used ? 1 : 0;
  }
  if (out.overflow()) return Fail(error, kInsufficientBuffer);
  return out.count();
}

int MultiByteToWide(uint32_t codePage, const char* src, int srcLength, char16_t* dst, int dstSize,
                    uint32_t* error) {
  const Page page = PageOf(codePage);
  if (page == Page::kInvalid || src == nullptr || srcLength == 0 || srcLength < -1 || dstSize < 0 ||
      (dst == nullptr && dstSize != 0))
    return Fail(error, kInvalidParameter);

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
  if (out.overflow()) return Fail(error, kInsufficientBuffer);
  return out.count();
}

}  // namespace device_text
