// "LXEAPI.dll": the terminal maker's library of version texts and boot counters.
#include "ce/vendor.h"
#include "hardware.h"
#include "modules.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

BOOL LXEVersionSerial(char* buffer, DWORD size) { return AnsiAnswer(hw::Read(hw::kLxeSerial), buffer, size); }
BOOL LXEVersionOAL(char* buffer, DWORD size) {
  return AnsiAnswer(hw::Read(hw::kLxeOalVersion), buffer, size);
}

void LXEBoot() { hw::Increment(hw::kLxeBoots); }
void LXEBootClear() { hw::Increment(hw::kLxeClearBoots); }

const bool kRegistered = RegisterModuleExports(
    u"LXEAPI.dll", {{u"LXEVersionSerial", Export<PFN_LXEVersionSerial>(LXEVersionSerial)},
                    {u"LXEVersionOAL", Export<PFN_LXEVersionOAL>(LXEVersionOAL)},
                    {u"LXEBoot", Export<PFN_LXEBoot>(LXEBoot)},
                    {u"LXEBootClear", Export<PFN_LXEBootClear>(LXEBootClear)}});

}  // namespace
}  // namespace ce::sim
