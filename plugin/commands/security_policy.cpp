#include "commands/security_policy.h"

#include "ce/registry.h"

namespace qel {

bool SetPolicyValue(uint32_t* value) {
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Security\\Policies\\Policies", 0, 0, key.put()) !=
      ERROR_SUCCESS)
    return false;
  uint32_t before = 0;
  ce::DWORD size = sizeof before;
  // The stored type is not checked: the policy is whatever four bytes are there.
  const bool read = ce::RegQueryValueExW(key.get(), u"0000101a", nullptr, nullptr,
                                         reinterpret_cast<ce::BYTE*>(&before), &size) == ERROR_SUCCESS;
  if (!read || before == *value) return read;
  const bool written =
      ce::RegSetValueExW(key.get(), u"0000101a", 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(value),
                         sizeof *value) == ERROR_SUCCESS;
  if (written) *value = before;
  return written;
}

}  // namespace qel
