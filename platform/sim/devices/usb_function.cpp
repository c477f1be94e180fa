// The USB function controller ("UFN1:" where a profile has one): reports and
// switches the client driver the terminal presents to a computer it is
// plugged into, among those usb_function.clients lists. Its controls are bus
// controls: they answer an open made through the bus name with
// DEVACCESS_BUSNAMESPACE.
#include <algorithm>
#include <cstring>
#include <string>

#include "case_fold.h"
#include "ce/device.h"
#include "ce/error.h"
#include "driver.h"
#include "hardware.h"
#include "utf.h"

namespace ce::sim {
namespace {

constexpr size_t kNameChars = std::size(UFN_CLIENT_INFO{}.szName);

class UsbFunctionDriver final : public Driver {
 public:
  explicit UsbFunctionDriver(bool busAccess) : busAccess_(busAccess) {}

  DWORD IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) override {
    if (code != IOCTL_UFN_GET_CURRENT_CLIENT && code != IOCTL_UFN_CHANGE_CURRENT_CLIENT)
      return ERROR_NOT_SUPPORTED;
    if (!busAccess_) return ERROR_ACCESS_DENIED;
    return code == IOCTL_UFN_GET_CURRENT_CLIENT ? Current(out, outSize, returned) : Change(in, inSize);
  }

 private:
  static DWORD Current(void* out, DWORD outSize, DWORD* returned) {
    if (!out || outSize < sizeof(UFN_CLIENT_INFO)) return ERROR_INVALID_PARAMETER;
    const std::u16string name = FromUtf8(hw::Read(hw::kUsbFunctionClient));
    if (name.empty()) return ERROR_NOT_FOUND;  // no client loaded
    UFN_CLIENT_INFO info{};
    std::copy_n(name.begin(), std::min(name.size(), kNameChars - 1), info.szName);
    std::memcpy(out, &info, sizeof info);
    *returned = sizeof info;
    return ERROR_SUCCESS;
  }

  // The name comes in a buffer of its own size; it must end inside it and be
  // one of the installed clients (matched without regard to case).
  static DWORD Change(const void* in, DWORD inSize) {
    if (!in || inSize < sizeof(WCHAR)) return ERROR_INVALID_PARAMETER;
    std::u16string name(inSize / sizeof(WCHAR), u'\0');
    std::memcpy(name.data(), in, name.size() * sizeof(WCHAR));
    const size_t end = name.find(u'\0');
    if (end == std::u16string::npos || end == 0 || end >= kNameChars) return ERROR_INVALID_PARAMETER;
    name.resize(end);
    for (const std::string& client : hw::Read(hw::kUsbFunctionClients)) {
      if (!SameName(FromUtf8(client), name)) continue;
      return hw::Write(hw::kUsbFunctionClient, client) ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
    }
    return ERROR_INVALID_PARAMETER;
  }

  bool busAccess_;
};

}  // namespace

DWORD OpenUsbFunction(const DriverOpen& request, std::shared_ptr<Driver>* out) {
  *out = std::make_shared<UsbFunctionDriver>(request.bus && (request.access & DEVACCESS_BUSNAMESPACE) != 0);
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
