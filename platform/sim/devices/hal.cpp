// The HAL's I/O controls: the UUID, the DEVICE_ID record, the vendor model
// codes and reboot, all answered from the hardware state.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api.h"
#include "ce/device.h"
#include "ce/error.h"
#include "hardware.h"
#include "hex.h"
#include "last_error.h"
#include "reboot.h"
#include "terminal.h"

namespace ce::sim::api {
namespace {

// The vendor codes the terminal's HAL may answer.
constexpr DWORD kIoctlVendorModelNumber = 0x01012404;
constexpr DWORD kIoctlVendorModelText = 0x0101242C;
constexpr DWORD kVendorModelTextBytes = 20;

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL Answer(const void* data, DWORD size, void* out, DWORD outSize, DWORD* returned) {
  if (!out || outSize < size) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(out, data, size);
  if (returned) *returned = size;
  return TRUE;
}

BOOL Uuid(void* out, DWORD outSize, DWORD* returned) {
  const auto bytes = sim::ParseHex(sim::hw::Read(sim::hw::kHalUuid));
  if (!bytes || bytes->size() != 16) return Fail(ERROR_NOT_SUPPORTED);
  return Answer(bytes->data(), 16, out, outSize, returned);
}

// The record: header, then the two identifiers in the profile's order.
BOOL DeviceId(void* out, DWORD outSize, DWORD* returned) {
  namespace hw = sim::hw;
  if (!hw::Read(hw::kHalDeviceIdSupported)) return Fail(ERROR_NOT_SUPPORTED);
  const auto preset = sim::ParseHex(hw::Read(hw::kHalPresetId));
  const auto platform = sim::ParseHex(hw::Read(hw::kHalPlatformId));
  if (!preset || !platform) return Fail(ERROR_NOT_SUPPORTED);
  DEVICE_ID header{};
  header.dwSize = DWORD(sizeof header + preset->size() + platform->size());
  header.dwPresetIDBytes = DWORD(preset->size());
  header.dwPlatformIDBytes = DWORD(platform->size());
  const bool presetFirst = hw::Read(hw::kHalPresetFirst);
  header.dwPresetIDOffset = DWORD(sizeof header + (presetFirst ? 0 : platform->size()));
  header.dwPlatformIDOffset = DWORD(sizeof header + (presetFirst ? preset->size() : 0));
  if (!out || outSize < sizeof header) return Fail(ERROR_INVALID_PARAMETER);
  if (outSize < header.dwSize) {
    // The caller learns the size it needs from the header's first field.
    std::memcpy(out, &header.dwSize, sizeof header.dwSize);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::vector<uint8_t> record(header.dwSize);
  std::memcpy(record.data(), &header, sizeof header);
  // Either identifier may be empty: copied as ranges, never from a null pointer.
  std::copy(preset->begin(), preset->end(), record.begin() + header.dwPresetIDOffset);
  std::copy(platform->begin(), platform->end(), record.begin() + header.dwPlatformIDOffset);
  return Answer(record.data(), DWORD(record.size()), out, outSize, returned);
}

BOOL ModelNumber(void* out, DWORD outSize, DWORD* returned) {
  const DWORD number = sim::hw::Read(sim::hw::kHalModelNumber);
  if (number == 0) return Fail(ERROR_NOT_SUPPORTED);
  return Answer(&number, sizeof number, out, outSize, returned);
}

BOOL ModelText(void* out, DWORD outSize, DWORD* returned) {
  const std::string text = sim::hw::Read(sim::hw::kHalModelText);
  if (text.empty()) return Fail(ERROR_NOT_SUPPORTED);
  char record[kVendorModelTextBytes] = {};
  std::memcpy(record, text.data(), std::min<size_t>(text.size(), kVendorModelTextBytes - 1));
  return Answer(record, DWORD(std::min<size_t>(text.size() + 1, kVendorModelTextBytes)), out, outSize,
                returned);
}

BOOL Reboot() {
  if (!sim::hw::Increment(sim::hw::kHalReboots)) return Fail(ERROR_GEN_FAILURE);
  return sim::RebootTerminal();
}

}  // namespace

BOOL KernelIoControl(DWORD code, void*, DWORD, void* out, DWORD outSize, DWORD* returned) {
  if (!sim::Current()) return Fail(ERROR_NOT_READY);
  switch (code) {
    case IOCTL_HAL_GET_UUID:
      return Uuid(out, outSize, returned);
    case IOCTL_HAL_GET_DEVICEID:
      return DeviceId(out, outSize, returned);
    case kIoctlVendorModelNumber:
      return ModelNumber(out, outSize, returned);
    case kIoctlVendorModelText:
      return ModelText(out, outSize, returned);
    case IOCTL_HAL_REBOOT:
      return Reboot();
    default:
      return Fail(ERROR_NOT_SUPPORTED);
  }
}

BOOL SetCleanRebootFlag() { return sim::SetCleanBootFlag() ? TRUE : Fail(ERROR_NOT_READY); }

}  // namespace ce::sim::api
