// A text handed to a new owner: read through IQelText (its first part) and
// released through its counted part (the second).
#pragma once

#include <new>
#include <string>
#include <string_view>

#include "qel/refcounted.h"
#include "qel/value.h"

class CQelCountedText final : public IQelText, public CQelRefCounted {
 public:
  // Count 1, or null when memory runs out.
  static CQelCountedText* Create(std::u16string_view text) noexcept {
    try {
      return new (std::nothrow) CQelCountedText(text);
    } catch (const std::bad_alloc&) {  // the copy of the text
      return nullptr;
    }
  }

  uint32_t Length() const override { return uint32_t(text_.size()); }
  const char16_t* Chars() const override { return text_.c_str(); }

 private:
  explicit CQelCountedText(std::u16string_view text) : text_(text) {}
  ~CQelCountedText() override = default;

  std::u16string text_;
};

// Releases a text handed out as a new object through its counted part.
inline void ReleaseText(IQelText* text) {
  if (text) static_cast<CQelCountedText*>(text)->Release();
}
