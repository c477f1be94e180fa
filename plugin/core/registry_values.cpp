#include "core/registry_values.h"

namespace qel {

ce::RegKey OpenExistingKey(ce::HKEY root, const char16_t* path) {
  ce::RegKey key;
  if (ce::RegOpenKeyExW(root, path, 0, 0, key.put()) != ERROR_SUCCESS) return ce::RegKey();
  return key;
}

bool QueryDword(ce::HKEY key, const char16_t* name, ce::DWORD* value) {
  ce::DWORD size = sizeof *value;
  return ce::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<ce::BYTE*>(value), &size) ==
         ERROR_SUCCESS;
}

bool WriteDword(ce::HKEY key, const char16_t* name, ce::DWORD value) {
  return ce::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

}  // namespace qel
