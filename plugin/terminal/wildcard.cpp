#include "terminal/wildcard.h"

#include "ceutil/text.h"

namespace qel {

// Greedy with one back-tracking point: the last "*" seen. On a mismatch the
// pattern restarts after that star and the text one character further on.
bool WildcardMatchFolded(std::u16string_view p, std::u16string_view t) {
  size_t pi = 0, ti = 0;
  size_t starP = std::u16string_view::npos, starT = 0;
  while (ti < t.size()) {
    if (pi < p.size() && p[pi] == u'*') {
      starP = ++pi;
      starT = ti;
    } else if (pi < p.size() && (p[pi] == u'?' || p[pi] == t[ti])) {
      ++pi;
      ++ti;
    } else if (starP != std::u16string_view::npos) {
      pi = starP;
      ti = ++starT;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view text) {
  return WildcardMatchFolded(ceutil::ToUpper(pattern), ceutil::ToUpper(text));
}

}  // namespace qel
