// "btdrt.dll": the Bluetooth stack's local address.
#include <cstring>

#include "ce/error.h"
#include "ce/vendor.h"
#include "hardware.h"
#include "hex.h"
#include "modules.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

int BthReadLocalAddr(BYTE* address) {
  const auto bytes = ParseMac(hw::Read(hw::kBluetoothAddress));
  if (!address || !bytes) return int(ERROR_NOT_READY);
  // Written as read aloud ("00:16:A4:..."), kept least significant byte first.
  std::memset(address, 0, 8);
  for (size_t i = 0; i < 6; ++i) address[i] = (*bytes)[5 - i];
  return 0;
}

const bool kRegistered = RegisterModuleExports(
    u"btdrt.dll", {{u"BthReadLocalAddr", Export<PFN_BthReadLocalAddr>(BthReadLocalAddr)}});

}  // namespace
}  // namespace ce::sim
