#include "terminal/terminal_service.h"

#include <cstring>
#include <new>
#include <string>

#include "ce/com.h"
#include "ce/module.h"
#include "ce/registry.h"
#include "ce/vendor.h"
#include "ceutil/text.h"
#include "core/file_ref.h"
#include "core/proc_address.h"
#include "core/text_out.h"
#include "qelcommon/text_buffer.h"
#include "terminal/connection_type.h"
#include "terminal/device_identity.h"
#include "terminal/identification.h"
#include "terminal/os_info.h"
#include "terminal/platform_string.h"
#include "terminal/storage_folders.h"

namespace qel {
namespace {

bool ReadIdent(const char16_t* value, char16_t* buffer, uint32_t capacity) {
  if (!buffer) return false;
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  ce::DWORD size = capacity * 2, type = 0;
  return ce::RegQueryValueExW(key.get(), value, nullptr, &type, reinterpret_cast<ce::BYTE*>(buffer), &size) ==
         ERROR_SUCCESS;
}

bool WriteIdent(const char16_t* value, const char16_t* text, uint32_t length) {
  if (!text) return false;
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) return false;
  // The stored text ends in its terminator: (length + 1) characters.
  std::u16string stored(text, length);
  return ce::RegSetValueExW(key.get(), value, 0, REG_SZ, reinterpret_cast<const ce::BYTE*>(stored.c_str()),
                            (length + 1) * 2) == ERROR_SUCCESS;
}

std::u16string MacText(const uint8_t* bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  for (int i = 0; i < 6; ++i) {
    if (i) out += u'-';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

// Asks the host's dictionary to keep one folder.
void AddFolder(IQelDictionary* folders, const char16_t* key, const char16_t* folder) {
  CQelTextBuffer k, v;
  if (k.AssignZ(key) && v.AssignZ(folder)) folders->Add(&k, &v);
}

template <class Fn>
Fn Find(ce::HMODULE module, const char16_t* name) {
  return ProcAddress<Fn>(module, name);
}

// Text of the vendor library's 8-bit answer, or false.
template <class Fn>
bool LxeText(const char16_t* function, std::string* text) {
  ce::UniqueModule lxe(ce::LoadLibraryW(u"LXEAPI.dll"));
  auto fn = lxe ? Find<Fn>(lxe.get(), function) : nullptr;
  char buffer[100] = {};
  if (!fn || !fn(buffer, sizeof buffer)) return false;
  *text = std::string(buffer, strnlen(buffer, sizeof buffer));
  return true;
}

}  // namespace

CQelTerminalService::~CQelTerminalService() {
  ReleaseAndClear(wlan_);
  ReleaseAndClear(fileLocation_);
}

void CQelTerminalService::Bind(IQelServiceRegistry* registry) {
  if (!registry) return;
  auto fetch = [registry](const GUID& iid, auto** field) {
    IQelService* provider = registry->QueryService(iid);
    void* out = nullptr;
    if (provider && provider->GetInterface(iid, &out) && out) {
      ReleaseAndClear(*field);
      *field = static_cast<std::remove_reference_t<decltype(**field)>*>(out);
    }
  };
  fetch(IID_QELWLANSERVICE, &wlan_);
  fetch(IID_QELFILELOCATION, &fileLocation_);
}

bool CQelTerminalService::GetSsn(char16_t* buffer, uint32_t capacity) {
  char16_t usn[128] = {};
  if (!GetUsn(usn, 128)) {
    WriteText(u"", buffer, capacity);
    return false;
  }
  return WriteText(ShortSerialNumber(TextIn(usn, 128)), buffer, capacity);
}

bool CQelTerminalService::GetUsn(char16_t* buffer, uint32_t capacity) {
  std::u16string usn;
  return UniqueSerialNumber(&usn) && WriteText(usn, buffer, capacity);
}

bool CQelTerminalService::GetDeviceId(uint8_t* buffer, uint32_t* size) { return DeviceIdBytes(buffer, size); }

bool CQelTerminalService::GetIdentName(char16_t* buffer, uint32_t capacity) {
  return ReadIdent(u"Name", buffer, capacity);
}
bool CQelTerminalService::GetIdentDescription(char16_t* buffer, uint32_t capacity) {
  return ReadIdent(u"Desc", buffer, capacity);
}
bool CQelTerminalService::SetIdentName(const char16_t* text, uint32_t length) {
  return WriteIdent(u"Name", text, length);
}
bool CQelTerminalService::SetIdentDescription(const char16_t* text, uint32_t length) {
  return WriteIdent(u"Desc", text, length);
}

uint32_t CQelTerminalService::GetConnectionType() {
  return ConnectionType(wlan_ ? wlan_->GetAdapterName() : nullptr);
}

IQelText* CQelTerminalService::GetConnectionTypeName() { return ConnectionTypeName(GetConnectionType()); }

bool CQelTerminalService::GetWifiMac(char16_t* buffer, uint32_t capacity) {
  const char16_t* name = wlan_ ? wlan_->GetAdapterName() : nullptr;
  uint8_t mac[8] = {};
  if (!name || !AdapterAddress(name, mac)) return false;
  return WriteText(MacText(mac), buffer, capacity);
}

bool CQelTerminalService::GetBluetoothMac(char16_t* buffer, uint32_t capacity) {
  ce::UniqueModule bt(ce::LoadLibraryW(u"btdrt.dll"));
  auto read = bt ? Find<ce::PFN_BthReadLocalAddr>(bt.get(), u"BthReadLocalAddr") : nullptr;
  uint8_t address[8] = {};
  if (!read || read(address) != 0) return false;
  const uint8_t ordered[6] = {address[5], address[4], address[3], address[2], address[1], address[0]};
  return WriteText(MacText(ordered), buffer, capacity);
}

bool CQelTerminalService::GetStorageFolders(IQelDictionary* folders) {
  if (!folders) return true;
  char16_t folder[260];
  if (GetFlashFolder(folder, 260)) AddFolder(folders, u"FLASH", folder);
  if (GetRamFolder(folder, 260)) AddFolder(folders, u"RAM", folder);
  if (GetCardFolder(folder, 260)) AddFolder(folders, u"SD", folder);
  return true;
}

bool CQelTerminalService::ProductVersion(const char16_t* name, char16_t* buffer, uint32_t capacity) {
  if (!fileLocation_) return false;
  CQelTextBuffer text;
  if (!text.AssignZ(name)) return false;
  FileRef file(fileLocation_->Resolve(&text));
  return file && ReadProductVersion(file->FullPath(), buffer, capacity);
}

bool CQelTerminalService::GetAgentVersion(char16_t* buffer, uint32_t capacity) {
  return ProductVersion(u"<ADM>product.inf", buffer, capacity);
}
bool CQelTerminalService::GetClientVersion(char16_t* buffer, uint32_t capacity) {
  return ProductVersion(u"<QEL>product.inf", buffer, capacity);
}

bool CQelTerminalService::GetOsVersion(char16_t* buffer, uint32_t capacity) {
  return GetOsVersionText(buffer, capacity);
}
bool CQelTerminalService::GetOsType(char16_t* buffer, uint32_t capacity) {
  return GetOsTypeText(buffer, capacity);
}
bool CQelTerminalService::GetOemInfo(char16_t* buffer, uint32_t capacity) {
  return ReadOemInfo(buffer, capacity);
}

bool CQelTerminalService::GetDeviceModel(char16_t* buffer, uint32_t capacity) {
  std::u16string oem, model;
  return ReadOemInfo(&oem) && DeviceModel(oem, &model) && WriteText(model, buffer, capacity);
}

bool CQelTerminalService::GetPlatform(char16_t* buffer, uint32_t capacity) {
  return PlatformString(buffer, capacity);
}

bool CQelTerminalService::GetManufacturer(char16_t* buffer, uint32_t capacity) {
  std::u16string oem;
  return ReadOemInfo(&oem) && WriteText(ManufacturerCode(oem), buffer, capacity);
}

bool CQelTerminalService::IsStorageVolume(const char16_t* path) { return IsStorageVolumePath(path); }
bool CQelTerminalService::GetFlashFolder(char16_t* buffer, uint32_t capacity) {
  return GetFlashFolderPath(buffer, capacity);
}
bool CQelTerminalService::GetRamFolder(char16_t* buffer, uint32_t capacity) {
  return GetRamFolderPath(buffer, capacity);
}
bool CQelTerminalService::GetCardFolder(char16_t* buffer, uint32_t capacity) {
  return GetCardFolderPath(buffer, capacity);
}

// Camera control: flash is property 7, focus property 6; values are set by hand.
uint32_t CQelTerminalService::GetFlashState(ce::IAMCameraControl* camera) {
  ce::LONG min = 0, max = 0, step = 0, def = 0, caps = 0, value = 0, flags = 0;
  if (!camera || camera->GetRange(ce::CameraControl_Flash, &min, &max, &step, &def, &caps) != S_OK ||
      camera->Get(ce::CameraControl_Flash, &value, &flags) != S_OK)
    return 3;
  return value != min ? 1 : 0;
}

bool CQelTerminalService::SetFlashMode(ce::IAMCameraControl* camera, uint32_t mode) {
  ce::LONG min = 0, max = 0, step = 0, def = 0, caps = 0;
  if (!camera || camera->GetRange(ce::CameraControl_Flash, &min, &max, &step, &def, &caps) != S_OK)
    return false;
  const ce::LONG values[] = {min, max, step};
  if (mode > 2) return false;
  return camera->Set(ce::CameraControl_Flash, values[mode], ce::CameraControl_Flags_Manual) == S_OK;
}

uint32_t CQelTerminalService::GetFocusState(ce::IAMCameraControl* camera) {
  ce::LONG min = 0, max = 0, step = 0, def = 0, caps = 0, value = 0, flags = 0;
  if (!camera || camera->GetRange(ce::CameraControl_Focus, &min, &max, &step, &def, &caps) != S_OK ||
      camera->Get(ce::CameraControl_Focus, &value, &flags) != S_OK)
    return 2;
  return value != step ? 1 : 0;
}

void CQelTerminalService::SetFocus(ce::IAMCameraControl* camera, bool on) {
  if (!camera) return;
  char16_t code[8] = {};
  ce::LONG value = 0;
  if (GetManufacturer(code, 8) && TextIn(code, 8) == u"HON") {
    value = on ? 1 : 0;
  } else {
    ce::LONG min = 0, max = 0, step = 0, def = 0, caps = 0;
    if (camera->GetRange(ce::CameraControl_Focus, &min, &max, &step, &def, &caps) != S_OK) return;
    value = on ? max : 0;
  }
  camera->Set(ce::CameraControl_Focus, value, ce::CameraControl_Flags_Manual);
}

bool CQelTerminalServiceLxe::GetEsn(char16_t* buffer, uint32_t capacity) {
  std::string serial;
  return LxeText<ce::PFN_LXEVersionSerial>(u"LXEVersionSerial", &serial) &&
         WriteText(ceutil::FromAnsi(serial), buffer, capacity);
}

bool CQelTerminalServiceLxe::GetFirmwareVersion(char16_t* buffer, uint32_t capacity) {
  std::string oal;
  if (!LxeText<ce::PFN_LXEVersionOAL>(u"LXEVersionOAL", &oal)) return false;
  // The version is the second word: between the first space and the next.
  const size_t first = oal.find(' ');
  const size_t second = first == std::string::npos ? first : oal.find(' ', first + 1);
  if (second == std::string::npos) return false;
  return WriteText(ceutil::FromAnsi(oal.substr(first + 1, second - first - 1)), buffer, capacity);
}

void CQelTerminalServiceLxe::Reboot(bool clear) {
  ce::UniqueModule lxe(ce::LoadLibraryW(u"LXEAPI.dll"));
  if (!lxe) return;
  if (clear) {
    if (auto boot = Find<ce::PFN_LXEBootClear>(lxe.get(), u"LXEBootClear")) boot();
  } else if (auto boot = Find<ce::PFN_LXEBoot>(lxe.get(), u"LXEBoot")) {
    boot();
  }
}

IQelTerminalService* NewTerminalService() { return new (std::nothrow) CQelTerminalServiceLxe; }
IQelService* CreateTerminalService() { return NewTerminalService(); }

}  // namespace qel
