// The terminal information service: one class for what every terminal
// answers, and the Honeywell/LXE variant this build registers, which asks the
// vendor library for the serial number, firmware version and reboot.
#pragma once

#include "qel/command.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "qel/object.h"
#include "qel/terminal.h"
#include "qel/wlan.h"

namespace qel {

class CQelTerminalService : public CQelObject<IQelTerminalService, IID_QELTERMINALSERVICE> {
 public:
  CQelTerminalService() = default;
  ~CQelTerminalService() override;

  void Bind(IQelServiceRegistry* registry) override;

  bool GetSsn(char16_t* buffer, uint32_t capacity) override;
  bool GetEsn(char16_t*, uint32_t) override { return false; }
  bool GetUsn(char16_t* buffer, uint32_t capacity) override;
  bool GetDeviceId(uint8_t* buffer, uint32_t* size) override;
  bool GetIdentName(char16_t* buffer, uint32_t capacity) override;
  bool GetIdentDescription(char16_t* buffer, uint32_t capacity) override;
  uint32_t GetConnectionType() override;
  IQelText* GetConnectionTypeName() override;
  bool GetWifiMac(char16_t* buffer, uint32_t capacity) override;
  bool GetBluetoothMac(char16_t* buffer, uint32_t capacity) override;
  void Reboot(bool) override {}
  bool GetStorageFolders(IQelDictionary* folders) override;
  bool GetAgentVersion(char16_t* buffer, uint32_t capacity) override;
  bool GetClientVersion(char16_t* buffer, uint32_t capacity) override;
  bool GetOsVersion(char16_t* buffer, uint32_t capacity) override;
  bool GetOsType(char16_t* buffer, uint32_t capacity) override;
  bool GetOemInfo(char16_t* buffer, uint32_t capacity) override;
  bool GetDeviceModel(char16_t* buffer, uint32_t capacity) override;
  bool GetPlatform(char16_t* buffer, uint32_t capacity) override;
  bool GetManufacturer(char16_t* buffer, uint32_t capacity) override;
  uint32_t GetFlashState(ce::IAMCameraControl* camera) override;
  bool SetFlashMode(ce::IAMCameraControl* camera, uint32_t mode) override;
  uint32_t GetFocusState(ce::IAMCameraControl* camera) override;
  void SetFocus(ce::IAMCameraControl* camera, bool on) override;
  bool SetIdentDescription(const char16_t* text, uint32_t length) override;
  bool GetDeviceDate(char16_t*, uint32_t) override { return false; }
  bool GetFirmwareVersion(char16_t*, uint32_t) override { return false; }
  bool SetIdentName(const char16_t* text, uint32_t length) override;
  bool IsStorageVolume(const char16_t* path) override;
  bool GetFlashFolder(char16_t* buffer, uint32_t capacity) override;
  bool GetRamFolder(char16_t* buffer, uint32_t capacity) override;
  bool GetCardFolder(char16_t* buffer, uint32_t capacity) override;
  bool ReadProductVersion(const char16_t* path, char16_t* buffer, uint32_t capacity) override;
  bool Reserved41(uint32_t, uint32_t) override { return false; }
  bool Reserved42(uint32_t, uint32_t) override { return false; }

 private:
  bool ProductVersion(const char16_t* name, char16_t* buffer, uint32_t capacity);

  IQelWlanService* wlan_ = nullptr;           // one reference, from Bind
  IQelFileLocation* fileLocation_ = nullptr;  // one reference, from Bind
};

class CQelTerminalServiceLxe final : public CQelTerminalService {
 public:
  bool GetEsn(char16_t* buffer, uint32_t capacity) override;
  bool GetFirmwareVersion(char16_t* buffer, uint32_t capacity) override;
  void Reboot(bool clear) override;
};

// The service this build registers; null when memory runs out.
IQelService* CreateTerminalService();
IQelTerminalService* NewTerminalService();

}  // namespace qel
