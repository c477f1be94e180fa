// The kinds of driver, one line each, in registration order. Each driver's own
// file defines its open function.
#include <algorithm>

#include "driver.h"

//  kind         open function      device class
#define QEL_DRIVER_KINDS(K)                                                                            \
  K("ndisuio", OpenNdisUio, nullptr) /* NDIS user-mode I/O: the adapters' object-identifier queries */ \
  K("serial", OpenSerial, nullptr)   /* a serial port, on the host tty kernel.serial_ports.<name> */   \
  K("usbfn", OpenUsbFunction, &kUsbFunctionClass) /* the USB function controller: usb_function.* */

namespace ce::sim {

// The USB function controller's device class.
constexpr GUID kUsbFunctionClass = {
    0xE2BDC372, 0x598F, 0x4619, {0xBC, 0x50, 0x54, 0xB3, 0xF7, 0x84, 0x8D, 0x35}};

#define QEL_DECLARE_OPEN(kind, open, deviceClass) \
  DWORD open(const DriverOpen& request, std::shared_ptr<Driver>* out);
QEL_DRIVER_KINDS(QEL_DECLARE_OPEN)
#undef QEL_DECLARE_OPEN

namespace {

#define QEL_DRIVER_KIND(kind, open, deviceClass) DriverKind{kind, open, deviceClass},
constexpr DriverKind kKinds[] = {QEL_DRIVER_KINDS(QEL_DRIVER_KIND)};
#undef QEL_DRIVER_KIND

}  // namespace

std::span<const DriverKind> DriverKinds() { return kKinds; }

const DriverKind* FindDriverKind(std::string_view name) {
  const auto it =
      std::find_if(std::begin(kKinds), std::end(kKinds), [&](const DriverKind& k) { return k.name == name; });
  return it == std::end(kKinds) ? nullptr : it;
}

}  // namespace ce::sim
