// Identifiers from their text form.
#include "ce/com.h"

#include "api.h"

namespace ce::sim::api {
namespace {

bool HexDigits(LPCWSTR s, int n, uint32_t* out) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    const char16_t c = s[i];
    int d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      return false;
    v = v << 4 | uint32_t(d);
  }
  *out = v;
  return true;
}

}  // namespace

HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid) {
  if (!text || !clsid) return E_INVALIDARG;
  std::size_t n = 0;
  while (n < 39 && text[n]) ++n;
  if (n != 38 || text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' ||
      text[24] != u'-' || text[37] != u'}')
    return CO_E_CLASSSTRING;
  GUID g{};
  uint32_t v = 0;
  if (!HexDigits(text + 1, 8, &v)) return CO_E_CLASSSTRING;
  g.Data1 = v;
  if (!HexDigits(text + 10, 4, &v)) return CO_E_CLASSSTRING;
  g.Data2 = WORD(v);
  if (!HexDigits(text + 15, 4, &v)) return CO_E_CLASSSTRING;
  g.Data3 = WORD(v);
  const int at[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!HexDigits(text + at[i], 2, &v)) return CO_E_CLASSSTRING;
    g.Data4[i] = BYTE(v);
  }
  *clsid = g;
  return S_OK;
}

}  // namespace ce::sim::api
