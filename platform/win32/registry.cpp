// Windows CE deletes a key with everything below it; desktop Windows'
// RegDeleteKeyW refuses a key that has subkeys, RegDeleteTreeW does that.
#include "ce/registry.h"

namespace ce {

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  // RegDeleteTreeW with no subkey empties the key but keeps it.
  if (subKey == nullptr || *subKey == u'\0') return ERROR_INVALID_PARAMETER;
  return ::RegDeleteTreeW(key, reinterpret_cast<const wchar_t*>(subKey));
}

}  // namespace ce
