// A stream driver, as CreateFileW of a device name ("UIO1:") reaches it. One
// Driver object is one open of the device: ReadFile, WriteFile and
// DeviceIoControl on the handle call it, and closing the handle ends the open.
// The open ends when the last reference goes (a call still running in it keeps
// it alive until it returns), so a driver frees what an open holds in its
// destructor.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "ce/com.h"
#include "ce/types.h"
#include "handles.h"

namespace ce::sim {

class Driver : public KernelObject {
 public:
  // Each returns ERROR_SUCCESS or the error the caller's last error becomes.
  // One a driver does not override is an entry point it lacks: the call fails
  // with ERROR_INVALID_FUNCTION, as the device manager answers for a stream
  // driver that exports no such function. A control code the driver does not
  // know is its own to refuse (ERROR_NOT_SUPPORTED, conventionally).
  virtual DWORD Read(void* buffer, DWORD size, DWORD* done);
  virtual DWORD Write(const void* buffer, DWORD size, DWORD* done);
  virtual DWORD IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                          DWORD* returned);
};

// What CreateFileW asked of the device.
struct DriverOpen {
  std::u16string_view device;  // the name as the caller spelled it
  DWORD access;
  DWORD share;
  bool bus = false;  // opened through its bus name ("$bus\\UFN1")
};

// Opens the device for one caller: ERROR_SUCCESS with *out set, or the error.
using OpenDriver = DWORD (*)(const DriverOpen& request, std::shared_ptr<Driver>* out);

struct DriverKind {
  std::string_view name;  // what a profile's kernel.devices names
  OpenDriver open;
  const GUID* deviceClass;  // what FindFirstDevice finds it by; null for none
};

// The kinds of driver a terminal's devices may be, in registration order.
std::span<const DriverKind> DriverKinds();
// The kind of that name, or null.
const DriverKind* FindDriverKind(std::string_view name);

}  // namespace ce::sim
