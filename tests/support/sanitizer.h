// Loop counts sized for the build: a sanitizer makes each round several times
// slower, and the rounds a plain build runs catch nothing more under it.
#pragma once

namespace qeltest {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// plain rounds, or sanitized rounds under a sanitizer.
constexpr int Rounds(int plain, int sanitized) { return kSanitized ? sanitized : plain; }

}  // namespace qeltest
