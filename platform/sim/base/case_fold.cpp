#include "case_fold.h"

namespace ce {
namespace sim {

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

char16_t FoldChar(char16_t c) {
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
