// Interface identifiers: 16 bytes passed by value, compared byte for byte.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(_WIN32) && __has_include(<guiddef.h>)
// The SDK's GUID, with its byte-wise comparison operators.
#include <guiddef.h>
#else
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
#endif
static_assert(sizeof(GUID) == 16);

namespace qel {

namespace guid_detail {
// Not constexpr: a GUID text that reaches it does not compile.
inline uint32_t Malformed(const char* /*why*/) { return 0; }

constexpr uint32_t Hex(const char* s, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    const char c = s[i];
    const uint32_t d = (c >= '0' && c <= '9')   ? uint32_t(c - '0')
                       : (c >= 'a' && c <= 'f') ? uint32_t(c - 'a' + 10)
                       : (c >= 'A' && c <= 'F') ? uint32_t(c - 'A' + 10)
                                                : Malformed("bad hex digit in GUID");
    v = (v << 4) | d;
  }
  return v;
}
}  // namespace guid_detail

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" at compile time (no
// exceptions needed, so builds without them can use it too).
consteval GUID MakeGuid(const char (&s)[39]) {
  using guid_detail::Hex;
  if (s[0] != '{' || s[9] != '-' || s[14] != '-' || s[19] != '-' || s[24] != '-' || s[37] != '}')
    guid_detail::Malformed("malformed GUID");
  GUID g{Hex(s + 1, 8), uint16_t(Hex(s + 10, 4)), uint16_t(Hex(s + 15, 4)), {}};
  g.Data4[0] = uint8_t(Hex(s + 20, 2));
  g.Data4[1] = uint8_t(Hex(s + 22, 2));
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = uint8_t(Hex(s + 25 + 2 * i, 2));
  return g;
}

}  // namespace qel
