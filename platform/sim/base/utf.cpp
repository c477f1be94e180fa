// UTF-8 and UTF-16, one code point at a time, and whole texts.
#include "utf.h"

namespace ce::sim {
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

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  char bytes[4];
  for (size_t i = 0; i < text.size();)
    out.append(bytes, size_t(EncodeUtf8(NextUtf16(text.data(), text.size(), i), bytes)));
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  char16_t units[2];
  for (size_t i = 0; i < text.size();)
    out.append(units, size_t(EncodeUtf16(NextUtf8(bytes, text.size(), i), units)));
  return out;
}

bool FromUtf8Strict(std::string_view text, std::u16string* out) {
  out->clear();
  out->reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  char16_t units[2];
  for (size_t i = 0; i < text.size();) {
    const size_t at = i;
    const char32_t cp = NextUtf8(bytes, text.size(), i);
    // U+FFFD stands for ill-formed input unless the text spelled it out.
    if (cp == kReplacement && text.substr(at, i - at) != "\xEF\xBF\xBD") return false;
    out->append(units, size_t(EncodeUtf16(cp, units)));
  }
  return true;
}

}  // namespace ce::sim
