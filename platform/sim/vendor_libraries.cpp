// Libraries of the terminal's makers and optional system libraries, answered
// from the hardware state: "LXEAPI.dll", the Datalogic "DeviceApi.dll" and
// "dl_api.dll", the Intermec "itc50.dll", "btdrt.dll", and the core library's
// GetDeviceUniqueID. Whether a terminal has each is its profile's "modules".
#include <cstring>
#include <string>

#include "api.h"
#include "ce/com.h"
#include "ce/device.h"
#include "ce/error.h"
#include "ce/text.h"
#include "ce/vendor.h"
#include "hardware.h"
#include "hex.h"
#include "modules.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim {
namespace {

template <class F>
FARPROC Export(F f) {
  return reinterpret_cast<FARPROC>(f);
}

// 8-bit text in the system code page into a caller's buffer of size bytes.
BOOL AnsiAnswer(const std::string& utf8, char* buffer, DWORD size) {
  if (!buffer || size == 0 || utf8.empty()) return FALSE;
  const std::string ansi = Utf8ToAnsi(utf8);
  if (ansi.size() >= size) return FALSE;
  std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
  return TRUE;
}

BOOL LXEVersionSerial(char* buffer, DWORD size) { return AnsiAnswer(hw::Read(hw::kLxeSerial), buffer, size); }
BOOL LXEVersionOAL(char* buffer, DWORD size) {
  return AnsiAnswer(hw::Read(hw::kLxeOalVersion), buffer, size);
}

void LXEBoot() { hw::Increment(hw::kLxeBoots); }
void LXEBootClear() { hw::Increment(hw::kLxeClearBoots); }

int DeviceGetModel() { return hw::Read(hw::kDatalogicModel); }

int DLDEVICE_GetName(LPWSTR buffer, DWORD capacity) {
  const std::u16string name = FromUtf8(hw::Read(hw::kDatalogicName));
  if (!buffer || name.empty() || name.size() >= capacity) return 0;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  return int(name.size());
}

int ITCGetDeviceType() { return hw::Read(hw::kIntermecDeviceType); }

int BthReadLocalAddr(BYTE* address) {
  const auto bytes = ParseMac(hw::Read(hw::kBluetoothAddress));
  if (!address || !bytes) return int(ERROR_NOT_READY);
  // Written as read aloud ("00:16:A4:..."), kept least significant byte first.
  std::memset(address, 0, 8);
  for (size_t i = 0; i < 6; ++i) address[i] = (*bytes)[5 - i];
  return 0;
}

constexpr LONG kInsufficientBuffer = LONG(0x8007007A);

LONG GetDeviceUniqueID(BYTE* appData, DWORD appDataSize, DWORD version, BYTE* out, DWORD* outSize) {
  if (!appData || appDataSize < 8 || version != 1 || !outSize) return E_INVALIDARG;
  const auto bytes = ParseHex(hw::Read(hw::kDeviceUniqueId));
  if (!bytes || bytes->empty()) return E_FAIL;
  if (!out || *outSize < bytes->size()) {
    *outSize = DWORD(bytes->size());
    return kInsufficientBuffer;
  }
  std::memcpy(out, bytes->data(), bytes->size());
  *outSize = DWORD(bytes->size());
  return S_OK;
}

const bool kRegistered = [] {
  RegisterModuleExports(u"LXEAPI.dll", {{u"LXEVersionSerial", Export<PFN_LXEVersionSerial>(LXEVersionSerial)},
                                        {u"LXEVersionOAL", Export<PFN_LXEVersionOAL>(LXEVersionOAL)},
                                        {u"LXEBoot", Export<PFN_LXEBoot>(LXEBoot)},
                                        {u"LXEBootClear", Export<PFN_LXEBootClear>(LXEBootClear)}});
  RegisterModuleExports(u"DeviceApi.dll", {{u"DeviceGetModel", Export<PFN_DeviceGetModel>(DeviceGetModel)}});
  RegisterModuleExports(u"dl_api.dll",
                        {{u"DLDEVICE_GetName", Export<PFN_DLDEVICE_GetName>(DLDEVICE_GetName)}});
  RegisterModuleExports(u"itc50.dll",
                        {{u"ITCGetDeviceType", Export<PFN_ITCGetDeviceType>(ITCGetDeviceType)}});
  RegisterModuleExports(u"btdrt.dll",
                        {{u"BthReadLocalAddr", Export<PFN_BthReadLocalAddr>(BthReadLocalAddr)}});
  RegisterModuleExports(u"coredll.dll",
                        {{u"GetDeviceUniqueID", Export<PFN_GetDeviceUniqueID>(GetDeviceUniqueID)}});
  return true;
}();

}  // namespace
}  // namespace ce::sim
