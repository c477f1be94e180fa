// Devices by name, and the calls that reach an open device.
#include "drivers.h"

#include <nlohmann/json.hpp>
#include <vector>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "handles.h"
#include "hardware.h"
#include "last_error.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim {
namespace {

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

HANDLE FailHandle(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

// The driver kind of the terminal's device of that name, or null.
const DriverKind* KindOfDevice(std::u16string_view name) {
  for (const std::string& device : hw::MemberNames(kDeviceTable))
    if (SameName(FromUtf8(device), name)) return FindDriverKind(hw::Read(hw::kDevice, device));
  return nullptr;
}

std::string KindNames() {
  std::string names;
  for (const DriverKind& kind : DriverKinds()) names += (names.empty() ? "" : ", ") + std::string(kind.name);
  return names;
}

}  // namespace

bool IsDeviceName(std::u16string_view p) {
  auto letter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
  return p.size() == 5 && letter(p[0]) && letter(p[1]) && letter(p[2]) && p[3] >= u'0' && p[3] <= u'9' &&
         p[4] == u':';
}

HANDLE OpenDevice(std::u16string_view name, DWORD access, DWORD share, bool bus) {
  if (!Current()) return FailHandle(ERROR_NOT_READY);
  const DriverKind* kind = KindOfDevice(name);
  if (!kind) return FailHandle(ERROR_FILE_NOT_FOUND);
  std::shared_ptr<Driver> driver;
  if (DWORD e = kind->open({name, access, share, bus}, &driver)) return FailHandle(e);
  SetLastError(ERROR_SUCCESS);
  return AddHandle(std::move(driver));
}

std::u16string DeviceInNamespace(std::u16string_view path, bool* bus) {
  constexpr std::u16string_view kBus = u"$bus\\", kDevice = u"$device\\";
  const bool onBus = path.starts_with(kBus);
  if (!onBus && !path.starts_with(kDevice)) return {};
  const std::u16string name = std::u16string(path.substr(onBus ? kBus.size() : kDevice.size())) + u':';
  if (!IsDeviceName(name)) return {};
  *bus = onBus;
  return name;
}

std::string DeviceTableProblem(const nlohmann::json& devices) {
  const std::string table(kDeviceTable);
  if (!devices.is_object()) return table + ": must be a group of device names and kinds of driver";
  std::vector<std::u16string> seen;
  for (const auto& [name, kind] : devices.items()) {
    const std::string where = table + ".\"" + name + "\"";
    const std::u16string wide = FromUtf8(name);
    if (!IsDeviceName(wide))
      return where + ": not a device name (three letters, a digit and a colon, such as \"COM1:\")";
    for (const std::u16string& other : seen)
      if (SameName(other, wide)) return where + ": names a device twice (names match without regard to case)";
    seen.push_back(wide);
    if (!kind.is_string() || !FindDriverKind(kind.get<std::string>()))
      return where + ": " + kind.dump() + " is no kind of driver; the kinds are " + KindNames();
  }
  return {};
}

BOOL ReadDevice(Driver& driver, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  if (read) *read = 0;
  if (overlapped || (buffer == nullptr && toRead != 0)) return Fail(ERROR_INVALID_PARAMETER);
  DWORD done = 0;
  const DWORD e = driver.Read(buffer, toRead, &done);
  if (read) *read = done;
  return e ? Fail(e) : TRUE;
}

BOOL WriteDevice(Driver& driver, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  if (written) *written = 0;
  if (overlapped || (buffer == nullptr && toWrite != 0)) return Fail(ERROR_INVALID_PARAMETER);
  DWORD done = 0;
  const DWORD e = driver.Write(buffer, toWrite, &done);
  if (written) *written = done;
  return e ? Fail(e) : TRUE;
}

}  // namespace ce::sim

namespace ce::sim::api {

// Device handles alone take control codes; for anything else the handle is wrong.
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned, void* /*overlapped*/) {
  const auto driver = LookupHandleAs<Driver>(device);
  if (!driver) return sim::Fail(ERROR_INVALID_HANDLE);
  DWORD done = 0;
  if (DWORD e = driver->IoControl(code, in, inSize, out, outSize, &done)) return sim::Fail(e);
  if (returned) *returned = done;
  return TRUE;
}

}  // namespace ce::sim::api
