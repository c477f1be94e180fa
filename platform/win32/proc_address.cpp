// Windows CE names exports in UTF-16 (GetProcAddressW); desktop Windows takes
// the 8-bit names export tables hold. Export names are ASCII, so a name with
// any other character is one no library exports.
#include <cstdint>
#include <string>

#include "ce/error.h"
#include "ce/module.h"

namespace ce {

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
  // A value below 0x10000 is an ordinal, as MAKEINTRESOURCE makes it.
  if (reinterpret_cast<uintptr_t>(name) <= 0xFFFF)
    return ::GetProcAddress(module, reinterpret_cast<const char*>(name));
  std::string narrow;
  for (const char16_t* c = name; *c != u'\0'; ++c) {
    if (*c >= 0x80) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    narrow.push_back(static_cast<char>(*c));
  }
  return ::GetProcAddress(module, narrow.c_str());
}

}  // namespace ce
