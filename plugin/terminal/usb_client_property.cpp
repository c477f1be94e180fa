#include "terminal/usb_client_property.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ce/device.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/registry.h"
#include "ce/text.h"
#include "qel/value.h"

namespace qel {
namespace {

constexpr ce::GUID kUsbFunctionClass = {
    0xE2BDC372, 0x598F, 0x4619, {0xBC, 0x50, 0x54, 0xB3, 0xF7, 0x84, 0x8D, 0x35}};
constexpr char16_t kFunctionDriversKey[] = u"Drivers\\USB\\FunctionDrivers";
constexpr char16_t kDefaultClientValue[] = u"DefaultClientDriver";
constexpr size_t kChangeChars = 128;  // the 256-byte name buffer of a switch
constexpr ce::DWORD kDefaultBytes = 256;

// The controller, found by its device class and opened through its bus name;
// the search and the handle close with it.
struct Controller {
  Controller() {
    ce::DEVMGR_DEVICE_INFORMATION info{};
    info.dwSize = sizeof info;
    search.reset(ce::FindFirstDevice(ce::DeviceSearchByGuid, &kUsbFunctionClass, &info));
    if (!search) return;
    device.reset(
        ce::CreateFileW(info.szBusName, DEVACCESS_BUSNAMESPACE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  // The current client's record, or false when the controller cannot be asked.
  bool Current(ce::UFN_CLIENT_INFO* client) {
    if (!device) return false;
    ce::DWORD returned = 0;
    return ce::DeviceIoControl(device.get(), IOCTL_UFN_GET_CURRENT_CLIENT, nullptr, 0, client, sizeof *client,
                               &returned, nullptr) == 1;
  }

  ce::UniqueFind search;
  ce::UniqueHandle device;
};

std::u16string_view NameOf(const ce::UFN_CLIENT_INFO& client) {
  const auto* end = std::find(std::begin(client.szName), std::end(client.szName), u'\0');
  return std::u16string_view(client.szName, size_t(end - client.szName));
}

// Makes the new client the registry's default unless it already is; a key
// or value that is missing or not text is left alone.
void KeepAsDefault(std::u16string_view name) {
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFunctionDriversKey, 0, KEY_ALL_ACCESS, key.put()) !=
      ERROR_SUCCESS)
    return;
  char16_t stored[kDefaultBytes / 2] = {};
  ce::DWORD type = 0, bytes = kDefaultBytes;
  if (ce::RegQueryValueExW(key.get(), kDefaultClientValue, nullptr, &type,
                           reinterpret_cast<ce::BYTE*>(stored), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ)
    return;
  const std::u16string_view current(
      stored, std::min<size_t>(std::char_traits<char16_t>::length(stored), bytes / sizeof(char16_t)));
  if (current == name) return;
  const std::u16string text(name);
  ce::RegSetValueExW(key.get(), kDefaultClientValue, 0, REG_SZ,
                     reinterpret_cast<const ce::BYTE*>(text.c_str()),
                     ce::DWORD((text.size() + 1) * sizeof(char16_t)));
}

// Client names compare as the system upper-cases them.
bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  std::u16string x(a), y(b);
  ce::CharUpperBuffW(x.data(), ce::DWORD(x.size()));
  ce::CharUpperBuffW(y.data(), ce::DWORD(y.size()));
  return x == y;
}

}  // namespace

bool GetUsbClient(IQelValue* value, IQelService*) {
  if (!value) return false;
  Controller controller;
  ce::UFN_CLIENT_INFO client{};
  if (!controller.Current(&client)) return false;
  const std::u16string name(NameOf(client));
  return value->SetStringZ(name.c_str());
}

bool SetUsbClient(IQelValue* value, IQelService*) {
  IQelText* text = nullptr;
  if (!value || !value->GetString(&text) || !text) return false;
  const std::u16string_view wanted(text->Chars(), text->Length());
  bool changed = false;
  {
    Controller controller;
    ce::UFN_CLIENT_INFO client{};
    if (!controller.Current(&client)) return false;
    if (!SameIgnoringCase(NameOf(client), wanted)) {
      char16_t buffer[kChangeChars] = {};
      std::copy_n(wanted.begin(), std::min(wanted.size(), kChangeChars - 1), buffer);
      ce::DWORD returned = 0;
      changed = ce::DeviceIoControl(controller.device.get(), IOCTL_UFN_CHANGE_CURRENT_CLIENT, buffer,
                                    sizeof buffer, nullptr, 0, &returned, nullptr) == 1;
    }
  }
  // The registry only follows a switch the driver accepted.
  if (changed) KeepAsDefault(wanted);
  return changed;
}

}  // namespace qel
