// The kinds of driver, one line each, in registration order. Each driver's own
// file defines its open function.
#include <algorithm>

#include "driver.h"

//  kind         open function
#define QEL_DRIVER_KINDS(K)                                                                   \
  K("ndisuio", OpenNdisUio) /* NDIS user-mode I/O: the adapters' object-identifier queries */ \
  K("serial", OpenSerial)   /* a serial port, on the host tty kernel.serial_ports.<name> */

namespace ce::sim {

#define QEL_DECLARE_OPEN(kind, open) DWORD open(const DriverOpen& request, std::shared_ptr<Driver>* out);
QEL_DRIVER_KINDS(QEL_DECLARE_OPEN)
#undef QEL_DECLARE_OPEN

namespace {

#define QEL_DRIVER_KIND(kind, open) DriverKind{kind, open},
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
