// End to end: USB_CLIENT through qelhost, switching the terminal's USB
// function controller, which `terminal show` and the registry then reflect.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "host_test.h"

namespace {

using json = nlohmann::json;
using qeltest::HostRun;

class QelHostUsb : public qeltest::HostTest {
 protected:
  std::string Client() {
    const HostRun r = Host({"prop", "get", "USB_CLIENT", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out, nullptr, false).value("text", "<none>");
  }
  std::string Default() {
    const HostRun r =
        Host({"run", R"(PXS R %REG HKEY_LOCAL_MACHINE\Drivers\USB\FunctionDrivers DefaultClientDriver $v $t)",
              "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out, nullptr, false)["variables"].value("v", "<none>");
  }
};

TEST_F(QelHostUsb, UsbClientSwitchesTheControllerAndTheDefault) {
  EXPECT_EQ(Client(), "Serial_Class");
  EXPECT_EQ(Host({"prop", "set", "USB_CLIENT", "RNDIS"}).status, 0);
  EXPECT_EQ(Client(), "RNDIS");
  EXPECT_EQ(Default(), "RNDIS");
  const HostRun show = Host({"terminal", "show", "--json"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(json::parse(show.out)["usb_function"]["client"], "RNDIS");

  // The active client again, and one the terminal lacks: both refused, nothing changed.
  for (const char* name : {"rndis", "Printer"}) {
    SCOPED_TRACE(name);
    const HostRun r = Host({"prop", "set", "USB_CLIENT", name});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("setter failed"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(Client(), "RNDIS");
  }
  // A switch made behind the module's back is what it reads next.
  ASSERT_EQ(Host({"terminal", "set", "usb_function.client", "Mass_Storage_Class"}).status, 0);
  EXPECT_EQ(Client(), "Mass_Storage_Class");
  EXPECT_EQ(Default(), "RNDIS");
}

}  // namespace
