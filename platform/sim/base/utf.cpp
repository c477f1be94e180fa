// Whole texts in UTF-8 and UTF-16, through the device's codecs.
#include "utf.h"

#include "device/device_text.h"

namespace ce::sim {

using device_text::EncodeUtf16;
using device_text::EncodeUtf8;
using device_text::kReplacement;
using device_text::NextUtf16;
using device_text::NextUtf8;

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
