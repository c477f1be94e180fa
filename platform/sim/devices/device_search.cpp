// FindFirstDevice over the terminal's device table: by legacy name, or by the
// device class of the device's kind of driver. Devices are taken in the
// table's order; a search finds the first match.
#include <algorithm>
#include <cstring>
#include <string>

#include "api.h"
#include "case_fold.h"
#include "ce/device.h"
#include "ce/error.h"
#include "drivers.h"
#include "handles.h"
#include "hardware.h"
#include "last_error.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim {
namespace {

HANDLE FailHandle(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

template <size_t N>
void Put(WCHAR (&field)[N], std::u16string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), n, field);
  field[n] = u'\0';
}

bool Matches(DeviceSearchType type, const void* parameter, const std::u16string& name,
             const DriverKind* kind) {
  if (type == DeviceSearchByLegacyName) return SameName(name, static_cast<LPCWSTR>(parameter));
  return kind && kind->deviceClass && std::memcmp(kind->deviceClass, parameter, sizeof(GUID)) == 0;
}

}  // namespace

namespace api {

HANDLE FindFirstDevice(DeviceSearchType type, const void* parameter, DEVMGR_DEVICE_INFORMATION* info) {
  if (!parameter || !info || info->dwSize < sizeof *info) return FailHandle(ERROR_INVALID_PARAMETER);
  if (type != DeviceSearchByLegacyName && type != DeviceSearchByGuid) return FailHandle(ERROR_NOT_SUPPORTED);
  if (!Current()) return FailHandle(ERROR_NOT_READY);
  for (const std::string& device : hw::MemberNames(kDeviceTable)) {
    const std::u16string name = FromUtf8(device);
    const std::string kindName = hw::Read(hw::kDevice, device);
    if (!Matches(type, parameter, name, FindDriverKind(kindName))) continue;
    const std::u16string bare = name.substr(0, name.size() - 1);  // without its colon
    auto search = std::make_shared<DeviceSearch>();
    HANDLE handle = AddHandle(search);
    info->hDevice = handle;  // stands for the loaded device while the search lasts
    info->hParentDevice = nullptr;
    Put(info->szLegacyName, name);
    Put(info->szDeviceKey, u"Drivers\\BuiltIn\\" + FromUtf8(kindName));
    Put(info->szDeviceName, u"$device\\" + bare);
    Put(info->szBusName, u"$bus\\" + bare);
    SetLastError(ERROR_SUCCESS);
    return handle;
  }
  return FailHandle(ERROR_NO_MORE_ITEMS);
}

}  // namespace api
}  // namespace ce::sim
