// A counted text object that owns its characters: what an operation returns
// when it hands a new text to its caller.
#pragma once

#include <new>
#include <string>
#include <string_view>

#include "qel/host.h"

namespace qel {

class CountedText final : public CQelCountedText {
 public:
  explicit CountedText(std::u16string_view text) : text_(text) {}
  uint32_t Length() const override { return uint32_t(text_.size()); }
  const char16_t* Chars() const override { return text_.c_str(); }

 private:
  std::u16string text_;
};

// Null when memory runs out; the caller releases it with ReleaseText.
inline IQelText* NewText(std::u16string_view text) {
  try {
    return new CountedText(text);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace qel
