// What the Win32 backend answers on a desktop, where the terminal's drivers
// and libraries are missing and the system's own figures stand in for its
// own: a module must meet there the failures a terminal without them gives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "ce/device.h"
#include "ce/display.h"
#include "ce/error.h"
#include "ce/msgqueue.h"
#include "ce/net.h"
#include "ce/nled.h"
#include "ce/notify.h"
#include "ce/power.h"
#include "ce/process.h"
#include "ce/sip.h"
#include "ce/sync.h"
#include "ce/system.h"

namespace ce {
namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

// Each call only Windows CE has fails with its failure value and
// ERROR_CALL_NOT_IMPLEMENTED, as on a terminal whose image leaves it out.
TEST(Win32Desktop, CallsOnlyTheDeviceHasFailAsOnATerminalWithoutThem) {
  DWORD bytes = 0;
  MSGQUEUEOPTIONS options{sizeof(options), 0, 0, 64, TRUE};
  SIPINFO sip{sizeof(sip)};
  DEVMGR_DEVICE_INFORMATION device{sizeof(device)};
  NLED_COUNT_INFO leds{};
  const struct {
    const char* name;
    std::function<bool()> failed;
  } cases[] = {
      {"KernelIoControl",
       [&] { return !KernelIoControl(IOCTL_HAL_GET_UUID, nullptr, 0, nullptr, 0, &bytes); }},
      {"SetCleanRebootFlag", [] { return !SetCleanRebootFlag(); }},
      {"FindFirstDevice",
       [&] { return FindFirstDevice(DeviceSearchByLegacyName, u"UFN1:", &device) == INVALID_HANDLE_VALUE; }},
      {"CreateMsgQueue", [&] { return CreateMsgQueue(nullptr, &options) == nullptr; }},
      {"ReadMsgQueue", [&] { return !ReadMsgQueue(nullptr, nullptr, 0, &bytes, 0, &bytes); }},
      {"WriteMsgQueue", [] { return !WriteMsgQueue(nullptr, "x", 1, 0, 0); }},
      {"CloseMsgQueue", [] { return !CloseMsgQueue(nullptr); }},
      {"RequestPowerNotifications", [] { return RequestPowerNotifications(nullptr, 7) == nullptr; }},
      {"StopPowerNotifications", [] { return !StopPowerNotifications(nullptr); }},
      {"SetSystemPowerState",
       [] { return SetSystemPowerState(nullptr, 0x10000, 0x1000) == ERROR_CALL_NOT_IMPLEMENTED; }},
      {"CeSetUserNotificationEx",
       [] { return CeSetUserNotificationEx(nullptr, nullptr, nullptr) == nullptr; }},
      {"CeGetUserNotificationHandles", [&] { return !CeGetUserNotificationHandles(nullptr, 0, &bytes); }},
      {"CeGetUserNotification", [&] { return !CeGetUserNotification(nullptr, 0, &bytes, nullptr); }},
      {"CeClearUserNotification", [] { return !CeClearUserNotification(nullptr); }},
      {"NLedGetDeviceInfo", [&] { return !NLedGetDeviceInfo(0, &leds); }},
      {"NLedSetDevice", [] { return !NLedSetDevice(2, nullptr); }},
      {"SipGetInfo", [&] { return !SipGetInfo(&sip); }},
      {"SipSetInfo", [&] { return !SipSetInfo(&sip); }},
      {"SipShowIM", [] { return !SipShowIM(SIPF_ON); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(kSentinel);
    EXPECT_TRUE(c.failed());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
  }
}

// The desktop's battery fills the fields a terminal shares with it; Ex2
// answers the length of a driver without the extra figures.
TEST(Win32Desktop, PowerStatusHasTheSharedFieldsOnly) {
  SYSTEM_POWER_STATUS_EX ex{};
  ASSERT_TRUE(GetSystemPowerStatusEx(&ex, TRUE));
  EXPECT_EQ(ex.BackupBatteryFlag, 0xFF);
  SYSTEM_POWER_STATUS_EX2 ex2{};
  EXPECT_EQ(GetSystemPowerStatusEx2(&ex2, sizeof(ex2), FALSE), DWORD(sizeof(SYSTEM_POWER_STATUS_EX)));
  EXPECT_EQ(ex2.ACLineStatus, ex.ACLineStatus);
}

// The adapters' chain in the device's layout: every record and address text
// inside the block it was asked to fill.
TEST(Win32Desktop, TheAdaptersChainLiesInItsBlock) {
  DWORD size = 0;
  const DWORD first = GetAdaptersInfo(nullptr, &size);
  if (first == ERROR_NO_DATA) GTEST_SKIP() << "this system has no adapter";
  ASSERT_EQ(first, DWORD(ERROR_BUFFER_OVERFLOW));
  ASSERT_GE(size, sizeof(IP_ADAPTER_INFO));
  std::vector<unsigned char> block(size);
  auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(block.data());
  ASSERT_EQ(GetAdaptersInfo(adapters, &size), DWORD(ERROR_SUCCESS));
  for (auto* a = adapters; a != nullptr; a = a->Next) {
    const auto* at = reinterpret_cast<unsigned char*>(a);
    ASSERT_TRUE(at >= block.data() && at + sizeof(*a) <= block.data() + block.size());
    EXPECT_LT(strnlen(a->IpAddressList.IpAddress.String, sizeof(a->IpAddressList.IpAddress.String)),
              sizeof(a->IpAddressList.IpAddress.String));
  }
}

// A desktop's screen stands upright; testing the orientation changes nothing.
TEST(Win32Desktop, TheOrientationIsTestedWithoutAChange) {
  DEVMODEW mode{};
  mode.dmSize = sizeof(mode);
  mode.dmFields = DM_DISPLAYORIENTATION;
  EXPECT_EQ(ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_TEST, nullptr), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(mode.dmDisplayOrientation, DWORD(DMDO_DEFAULT));
}

// A desktop program started the device's way: its command line is the
// arguments alone, and its exit code comes back through the handle.
TEST(Win32Desktop, AProgramGetsItsArgumentsAloneAndLeavesItsCode) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessW(u"C:\\windows\\system32\\cmd.exe", const_cast<char16_t*>(u"/c exit 7"), nullptr,
                             nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
  UniqueHandle process(info.hProcess), thread(info.hThread);
  ASSERT_EQ(WaitForSingleObject(process.get(), 10000), DWORD(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process.get(), &code));
  EXPECT_EQ(code, 7u);
}

}  // namespace
}  // namespace ce
