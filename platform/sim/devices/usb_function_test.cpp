// The USB function controller: found by its device class, asked and switched
// through its bus name, and the checks on what a caller hands it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ce/device.h"
#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "test_terminal.h"

namespace {

using ce::DWORD;
using ce::HANDLE;

constexpr ce::GUID kUsbFunctionClass = {
    0xE2BDC372, 0x598F, 0x4619, {0xBC, 0x50, 0x54, 0xB3, 0xF7, 0x84, 0x8D, 0x35}};

class UsbFunction : public ::testing::Test {
 protected:
  static ce::UniqueHandle Open(const char16_t* path, DWORD access) {
    return ce::UniqueHandle(ce::CreateFileW(path, access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  // The current client's name, or the error the control failed with.
  static std::u16string Current(HANDLE device, DWORD outSize = sizeof(ce::UFN_CLIENT_INFO)) {
    std::vector<uint8_t> out(outSize + 1, 0xCC);
    DWORD returned = 0;
    if (!ce::DeviceIoControl(device, IOCTL_UFN_GET_CURRENT_CLIENT, nullptr, 0, out.data(), outSize, &returned,
                             nullptr)) {
      const std::string e = "error " + std::to_string(ce::GetLastError());
      return std::u16string(e.begin(), e.end());
    }
    EXPECT_EQ(returned, sizeof(ce::UFN_CLIENT_INFO));
    EXPECT_EQ(out[outSize], 0xCC) << "written past the record";
    ce::UFN_CLIENT_INFO info;
    std::memcpy(&info, out.data(), sizeof info);
    return info.szName;
  }
  static DWORD Change(HANDLE device, const std::vector<char16_t>& name) {
    DWORD returned = 0;
    if (ce::DeviceIoControl(device, IOCTL_UFN_CHANGE_CURRENT_CLIENT, const_cast<char16_t*>(name.data()),
                            DWORD(name.size() * sizeof(char16_t)), nullptr, 0, &returned, nullptr))
      return ERROR_SUCCESS;
    return ce::GetLastError();
  }
  static std::vector<char16_t> Buffer(std::u16string_view name, size_t chars = 128) {
    std::vector<char16_t> b(chars, u'\0');
    std::copy_n(name.begin(), std::min(name.size(), chars), b.begin());
    return b;
  }

  qeltest::TestTerminal terminal;
};

TEST_F(UsbFunction, FoundByItsClassAndNamedForItsBus) {
  ce::DEVMGR_DEVICE_INFORMATION info{};
  info.dwSize = sizeof info;
  ce::UniqueFind search(ce::FindFirstDevice(ce::DeviceSearchByGuid, &kUsbFunctionClass, &info));
  ASSERT_TRUE(search) << ce::GetLastError();
  EXPECT_EQ(std::u16string(info.szLegacyName), u"UFN1:");
  EXPECT_EQ(std::u16string(info.szBusName), u"$bus\\UFN1");
  EXPECT_TRUE(ce::FindClose(search.release()));

  struct Case {
    const char* what;
    ce::DeviceSearchType type;
    const void* parameter;
    DWORD size;
    DWORD error;
  };
  const ce::GUID other{};
  const Case cases[] = {
      {"another class", ce::DeviceSearchByGuid, &other, sizeof info, ERROR_NO_MORE_ITEMS},
      {"a short record", ce::DeviceSearchByGuid, &kUsbFunctionClass, sizeof info - 1,
       ERROR_INVALID_PARAMETER},
      {"no parameter", ce::DeviceSearchByGuid, nullptr, sizeof info, ERROR_INVALID_PARAMETER},
      {"by parent", ce::DeviceSearchByParent, &kUsbFunctionClass, sizeof info, ERROR_NOT_SUPPORTED},
      {"by legacy name, another case", ce::DeviceSearchByLegacyName, u"ufn1:", sizeof info, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    info.dwSize = c.size;
    ce::UniqueFind s(ce::FindFirstDevice(c.type, c.parameter, &info));
    EXPECT_EQ(bool(s), c.error == ERROR_SUCCESS);
    if (!s) {
      EXPECT_EQ(ce::GetLastError(), c.error);
    }
  }
  // A device of another kind under the name is not found by the class.
  terminal.Set("kernel.devices.UFN1:", "serial");
  info.dwSize = sizeof info;
  EXPECT_EQ(ce::FindFirstDevice(ce::DeviceSearchByGuid, &kUsbFunctionClass, &info), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ce::GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
}

TEST_F(UsbFunction, OnlyABusOpenWithBusAccessTakesTheControls) {
  EXPECT_EQ(Current(Open(u"$bus\\UFN1", DEVACCESS_BUSNAMESPACE).get()), u"Serial_Class");
  EXPECT_EQ(Current(Open(u"$bus\\UFN1", GENERIC_READ).get()), u"error 5");
  EXPECT_EQ(Current(Open(u"UFN1:", DEVACCESS_BUSNAMESPACE).get()), u"error 5");
  EXPECT_EQ(Current(Open(u"$device\\UFN1", DEVACCESS_BUSNAMESPACE).get()), u"error 5");
  EXPECT_FALSE(Open(u"$bus\\UFN2", DEVACCESS_BUSNAMESPACE));
  EXPECT_EQ(ce::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(UsbFunction, SwitchesOnlyToAnInstalledClient) {
  const ce::UniqueHandle device = Open(u"$bus\\UFN1", DEVACCESS_BUSNAMESPACE);
  ASSERT_TRUE(device);
  struct Case {
    const char* what;
    std::vector<char16_t> in;
    DWORD error;
    std::u16string current;  // afterwards
  };
  const Case cases[] = {
      {"an installed client, in its own case", Buffer(u"rndis"), ERROR_SUCCESS, u"RNDIS"},
      {"one not installed", Buffer(u"Printer"), ERROR_INVALID_PARAMETER, u"RNDIS"},
      {"an empty name", Buffer(u""), ERROR_INVALID_PARAMETER, u"RNDIS"},
      {"a name without its end", Buffer(u"Serial_Class", 12), ERROR_INVALID_PARAMETER, u"RNDIS"},
      {"a name of 128 characters", Buffer(std::u16string(128, u'x'), 130), ERROR_INVALID_PARAMETER, u"RNDIS"},
      {"a short buffer that holds the name", Buffer(u"Mass_Storage_Class", 19), ERROR_SUCCESS,
       u"Mass_Storage_Class"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Change(device.get(), c.in), c.error);
    EXPECT_EQ(Current(device.get()), c.current);
  }
  EXPECT_EQ(terminal.Hardware("usb_function.client"), "Mass_Storage_Class");
  // A record too small for the answer, and a controller with no client loaded.
  EXPECT_EQ(Current(device.get(), sizeof(ce::UFN_CLIENT_INFO) - 2), u"error 87");
  terminal.Set("usb_function.client", "");
  EXPECT_EQ(Current(device.get()), u"error 1168");
}

}  // namespace
