#include "case_fold.h"

#include "device/device_text.h"

namespace ce {
namespace sim {

char16_t FoldChar(char16_t c) { return device_text::UpperCase(c); }

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) return false;
  return true;
}

std::u16string FoldName(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = FoldChar(c);
  return out;
}

}  // namespace sim
}  // namespace ce
