// IID_QELTERMINALSERVICE: the terminal's identity, model, operating system,
// storage folders and connection type. Text operations write into a caller's
// buffer whose capacity counts characters, the terminator included.
#pragma once

#include "qel/service.h"
#include "qel/value.h"

namespace ce {
class IAMCameraControl;
}
class IQelDictionary;

class IQelTerminalService : public IQelService {
 public:
  virtual bool GetSsn(char16_t* buffer, uint32_t capacity) = 0;  // slot 8
  virtual bool GetEsn(char16_t* buffer, uint32_t capacity) = 0;  // slot 9
  virtual bool GetUsn(char16_t* buffer, uint32_t capacity) = 0;  // slot 10
  // size: in, the buffer's capacity in bytes; out, the bytes written.
  virtual bool GetDeviceId(uint8_t* buffer, uint32_t* size) = 0;              // slot 11
  virtual bool GetIdentName(char16_t* buffer, uint32_t capacity) = 0;         // slot 12
  virtual bool GetIdentDescription(char16_t* buffer, uint32_t capacity) = 0;  // slot 13
  virtual uint32_t GetConnectionType() = 0;                                   // slot 14
  // A new text object the caller owns, or null.
  virtual IQelText* GetConnectionTypeName() = 0;                                                   // slot 15
  virtual bool GetWifiMac(char16_t* buffer, uint32_t capacity) = 0;                                // slot 16
  virtual bool GetBluetoothMac(char16_t* buffer, uint32_t capacity) = 0;                           // slot 17
  virtual void Reboot(bool clear) = 0;                                                             // slot 18
  virtual bool GetStorageFolders(IQelDictionary* folders) = 0;                                     // slot 19
  virtual bool GetAgentVersion(char16_t* buffer, uint32_t capacity) = 0;                           // slot 20
  virtual bool GetClientVersion(char16_t* buffer, uint32_t capacity) = 0;                          // slot 21
  virtual bool GetOsVersion(char16_t* buffer, uint32_t capacity) = 0;                              // slot 22
  virtual bool GetOsType(char16_t* buffer, uint32_t capacity) = 0;                                 // slot 23
  virtual bool GetOemInfo(char16_t* buffer, uint32_t capacity) = 0;                                // slot 24
  virtual bool GetDeviceModel(char16_t* buffer, uint32_t capacity) = 0;                            // slot 25
  virtual bool GetPlatform(char16_t* buffer, uint32_t capacity) = 0;                               // slot 26
  virtual bool GetManufacturer(char16_t* buffer, uint32_t capacity) = 0;                           // slot 27
  virtual uint32_t GetFlashState(ce::IAMCameraControl* camera) = 0;                                // slot 28
  virtual bool SetFlashMode(ce::IAMCameraControl* camera, uint32_t mode) = 0;                      // slot 29
  virtual uint32_t GetFocusState(ce::IAMCameraControl* camera) = 0;                                // slot 30
  virtual void SetFocus(ce::IAMCameraControl* camera, bool on) = 0;                                // slot 31
  virtual bool SetIdentDescription(const char16_t* text, uint32_t length) = 0;                     // slot 32
  virtual bool GetDeviceDate(char16_t* buffer, uint32_t capacity) = 0;                             // slot 33
  virtual bool GetFirmwareVersion(char16_t* buffer, uint32_t capacity) = 0;                        // slot 34
  virtual bool SetIdentName(const char16_t* text, uint32_t length) = 0;                            // slot 35
  virtual bool IsStorageVolume(const char16_t* path) = 0;                                          // slot 36
  virtual bool GetFlashFolder(char16_t* buffer, uint32_t capacity) = 0;                            // slot 37
  virtual bool GetRamFolder(char16_t* buffer, uint32_t capacity) = 0;                              // slot 38
  virtual bool GetCardFolder(char16_t* buffer, uint32_t capacity) = 0;                             // slot 39
  virtual bool ReadProductVersion(const char16_t* path, char16_t* buffer, uint32_t capacity) = 0;  // slot 40
  virtual bool Reserved41(uint32_t first, uint32_t second) = 0;                                    // slot 41
  virtual bool Reserved42(uint32_t first, uint32_t second) = 0;                                    // slot 42

 protected:
  ~IQelTerminalService() = default;
};
