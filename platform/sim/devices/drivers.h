// The terminal's devices: the names its hardware state gives them
// (kernel.devices, "UIO1:" -> "ndisuio"), each opened by the driver of its
// kind, and the file calls on a device handle, which go to that open.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "ce/types.h"
#include "driver.h"
#include "hardware_schema.h"

namespace ce::sim {

// The group of the hardware state that holds the device table ("kernel.devices").
inline constexpr std::string_view kDeviceTable = hw::kDevice.path.substr(0, hw::kDevice.path.rfind('.'));

// Three letters, a digit and a colon, as the device names its drivers.
bool IsDeviceName(std::u16string_view path);
// A handle to a new open of the device, or INVALID_HANDLE_VALUE with the error
// set: ERROR_FILE_NOT_FOUND when the terminal has no device of that name, or
// none whose kind a driver of this build implements.
HANDLE OpenDevice(std::u16string_view name, DWORD access, DWORD share, bool bus = false);

// The device name ("UFN1:") a namespace path names: "$device\\UFN1", or
// "$bus\\UFN1" (then *bus is set); empty for any other path.
std::u16string DeviceInNamespace(std::u16string_view path, bool* bus);

// A search FindFirstDevice started; FindClose ends it. It holds no state: a
// search finds one device.
class DeviceSearch final : public KernelObject {};

// What is wrong with a device table (the kDeviceTable group of a hardware
// state), in words for whoever wrote it; empty when nothing is. Each name has
// the device form, no two differ only in case, and each kind is one of
// DriverKinds(): a device of another kind could only fail to open.
std::string DeviceTableProblem(const nlohmann::json& devices);

// ReadFile and WriteFile on a device handle.
BOOL ReadDevice(Driver& driver, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteDevice(Driver& driver, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);

}  // namespace ce::sim
