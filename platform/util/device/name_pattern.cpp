#include "name_pattern.h"

#include "device_text.h"

namespace device_text {

bool MatchesPattern(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*.*") return true;
  size_t p = 0, n = 0;
  size_t star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || UpperCase(pattern[p]) == UpperCase(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;  // let the last * swallow one more character
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace device_text
