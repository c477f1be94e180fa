// USB_CLIENT on a terminal whose USB function controller and registry the
// test sets up: what is read, when the driver is asked to switch, and when
// the registry's default follows.
#include "terminal/usb_client_property.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ce/registry.h"
#include "qelcommon/value.h"
#include "test_terminal.h"

namespace {

constexpr char16_t kKey[] = u"Drivers\\USB\\FunctionDrivers";
constexpr char16_t kValue[] = u"DefaultClientDriver";

// The stored default: its text, "dword" for a number, or nullopt when absent.
std::optional<std::u16string> StoredDefault() {
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  char16_t text[300] = {};
  ce::DWORD type = 0, bytes = sizeof text - sizeof(char16_t);
  if (ce::RegQueryValueExW(key.get(), kValue, nullptr, &type, reinterpret_cast<ce::BYTE*>(text), &bytes) !=
      ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ) return u"dword";
  return std::u16string(text);
}

void StoreDefault(const std::optional<std::u16string>& text) {
  ce::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
  if (!text) return;
  ce::RegKey key;
  ce::DWORD disposition = 0;
  ASSERT_EQ(ce::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                &disposition),
            ERROR_SUCCESS);
  if (*text == u"dword") {
    const ce::DWORD n = 1;
    ce::RegSetValueExW(key.get(), kValue, 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(&n), sizeof n);
  } else {
    ce::RegSetValueExW(key.get(), kValue, 0, REG_SZ, reinterpret_cast<const ce::BYTE*>(text->c_str()),
                       ce::DWORD((text->size() + 1) * 2));
  }
}

std::u16string TextOf(CQelValue& value) {
  IQelText* text = nullptr;
  if (!value.GetString(&text) || !text) return u"<no text>";
  return std::u16string(text->Chars(), text->Length());
}

class UsbClient : public ::testing::Test {
 protected:
  qeltest::TestTerminal terminal;
};

TEST_F(UsbClient, ReadsTheControllersClient) {
  struct Case {
    const char* what;
    const char* kind;  // of the device UFN1:
    const char* client;
    std::optional<std::u16string> expected;
  };
  const Case cases[] = {
      {"the profile's client", "usbfn", "Serial_Class", u"Serial_Class"},
      {"another one", "usbfn", "RNDIS", u"RNDIS"},
      {"no client loaded", "usbfn", "", std::nullopt},
      {"no controller: the device is a serial port", "serial", "RNDIS", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    terminal.Set("kernel.devices.UFN1:", c.kind);
    terminal.Set("usb_function.client", c.client);
    CQelValue value;
    value.SetInt32(7);
    const bool ok = qel::GetUsbClient(&value, nullptr);
    EXPECT_EQ(ok, c.expected.has_value());
    if (ok) {
      EXPECT_EQ(value.GetKind(), QelKind::String);
      EXPECT_EQ(TextOf(value), *c.expected);
    } else {
      EXPECT_EQ(value.GetKind(), QelKind::Int32) << "a failed read leaves the value alone";
    }
  }
  EXPECT_FALSE(qel::GetUsbClient(nullptr, nullptr));
}

TEST_F(UsbClient, SwitchesAndKeepsTheDefaultOnlyAfterTheDriverAccepted) {
  struct Case {
    const char* what;
    const char16_t* wanted;
    std::optional<std::u16string> storedBefore;
    bool result;
    const char* clientAfter;
    std::optional<std::u16string> storedAfter;
  };
  const Case cases[] = {
      {"another client", u"RNDIS", u"Serial_Class", true, "RNDIS", u"RNDIS"},
      {"the active client, in another case: nothing sent", u"serial_class", u"Other", false, "Serial_Class",
       u"Other"},
      {"the default differs only in case: rewritten", u"RNDIS", u"rndis", true, "RNDIS", u"RNDIS"},
      {"a client the controller lacks", u"Printer", u"Other", false, "Serial_Class", u"Other"},
      {"a default that is no text is left alone", u"RNDIS", u"dword", true, "RNDIS", u"dword"},
      {"no key: none is made", u"Mass_Storage_Class", std::nullopt, true, "Mass_Storage_Class", std::nullopt},
      {"an empty name", u"", u"Other", false, "Serial_Class", u"Other"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    terminal.Set("usb_function.client", "Serial_Class");
    StoreDefault(c.storedBefore);
    CQelValue value;
    value.SetStringZ(c.wanted);
    EXPECT_EQ(qel::SetUsbClient(&value, nullptr), c.result);
    EXPECT_EQ(terminal.Hardware("usb_function.client"), c.clientAfter);
    EXPECT_EQ(StoredDefault(), c.storedAfter);
  }
}

TEST_F(UsbClient, SettingFailsWithoutATextOrAController) {
  CQelValue empty;
  EXPECT_FALSE(qel::SetUsbClient(&empty, nullptr));
  EXPECT_FALSE(qel::SetUsbClient(nullptr, nullptr));
  terminal.Set("kernel.devices.UFN1:", "serial");
  CQelValue value;
  value.SetStringZ(u"RNDIS");
  EXPECT_FALSE(qel::SetUsbClient(&value, nullptr));
  EXPECT_EQ(StoredDefault(), u"Serial_Class") << "the profile's default stays";
}

}  // namespace
