#include "core/text_out.h"

#include <algorithm>
#include <cstring>

namespace qel {

bool WriteText(std::u16string_view text, char16_t* buffer, uint32_t capacity) {
  if (!buffer || capacity == 0) return false;
  const size_t n = std::min<size_t>(text.size(), capacity - 1);
  std::memmove(buffer, text.data(), n * sizeof(char16_t));
  buffer[n] = 0;
  return true;
}

std::u16string_view TextIn(const char16_t* buffer, uint32_t capacity) {
  if (!buffer) return {};
  uint32_t n = 0;
  while (n < capacity && buffer[n]) ++n;
  return {buffer, n};
}

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace qel
