// The system's security policy value that lets an installer run without
// asking: policy 0x101A under "Security\Policies\Policies".
#pragma once

#include <cstdint>

namespace qel {

// Sets the policy to *value. True on success, with *value then holding what
// was there before; false (and *value untouched) when the key or the value
// cannot be read, or the write fails.
bool SetPolicyValue(uint32_t* value);

// Sets the policy to 1 for as long as it lives, then puts back what it found
// (0 when it could not change it).
class SilentInstallPolicy {
 public:
  SilentInstallPolicy() {
    uint32_t v = 1;
    restore_ = SetPolicyValue(&v) ? v : 0;
  }
  ~SilentInstallPolicy() { SetPolicyValue(&restore_); }
  SilentInstallPolicy(const SilentInstallPolicy&) = delete;
  SilentInstallPolicy& operator=(const SilentInstallPolicy&) = delete;

 private:
  uint32_t restore_ = 0;
};

}  // namespace qel
