// "LXEAPI.dll": the terminal maker's library of version texts, boot counters
// and the audio codec's gain.
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

// The codec takes -17.0 to +29.0 dB; the hardware state can make both calls fail.
constexpr LONG kMinGain = -170, kMaxGain = 290;

BOOL LXEAudioSetGain(LONG tenths) {
  if (hw::Read(hw::kLxeAudioGainFails) || tenths < kMinGain || tenths > kMaxGain) return FALSE;
  return hw::Write(hw::kLxeAudioGain, int32_t(tenths)) ? TRUE : FALSE;
}

BOOL LXEAudioGetGain(LONG* tenths) {
  if (!tenths || hw::Read(hw::kLxeAudioGainFails)) return FALSE;
  *tenths = hw::Read(hw::kLxeAudioGain);
  return TRUE;
}

const bool kRegistered = RegisterModuleExports(
    u"LXEAPI.dll", {{u"LXEVersionSerial", Export<PFN_LXEVersionSerial>(LXEVersionSerial)},
                    {u"LXEVersionOAL", Export<PFN_LXEVersionOAL>(LXEVersionOAL)},
                    {u"LXEBoot", Export<PFN_LXEBoot>(LXEBoot)},
                    {u"LXEBootClear", Export<PFN_LXEBootClear>(LXEBootClear)},
                    {u"LXEAudioSetGain", Export<PFN_LXEAudioSetGain>(LXEAudioSetGain)},
                    {u"LXEAudioGetGain", Export<PFN_LXEAudioGetGain>(LXEAudioGetGain)}});

}  // namespace
}  // namespace ce::sim
