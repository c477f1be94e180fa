// Slot numbers of the terminal information, WLAN, file location, file
// reference and dictionary interfaces.
#include <gtest/gtest.h>

#include "qel/host.h"
#include "qel/terminal.h"
#include "qel/wlan.h"
#include "slot.h"

namespace {

TEST(SlotLayout, TerminalAndWlanInterfacesKeepTheirSlotNumbers) {
  using T = IQelTerminalService;
  using W = IQelWlanService;
  struct Pin {
    const char* what;
    size_t slot;
    size_t expected;
  };
#define PIN(function, expected) {#function, SlotOf(&function), expected}
  const Pin pins[] = {
      PIN(T::GetSsn, 8),  PIN(T::GetEsn, 9),  PIN(T::GetUsn, 10), PIN(T::GetDeviceId, 11), PIN(T::GetIdentName, 12),
      PIN(T::GetIdentDescription, 13), PIN(T::GetConnectionType, 14), PIN(T::GetConnectionTypeName, 15),
      PIN(T::GetWifiMac, 16), PIN(T::GetBluetoothMac, 17), PIN(T::Reboot, 18), PIN(T::GetStorageFolders, 19),
      PIN(T::GetAgentVersion, 20), PIN(T::GetClientVersion, 21), PIN(T::GetOsVersion, 22), PIN(T::GetOsType, 23),
      PIN(T::GetOemInfo, 24), PIN(T::GetDeviceModel, 25), PIN(T::GetPlatform, 26), PIN(T::GetManufacturer, 27),
      PIN(T::GetFlashState, 28), PIN(T::SetFlashMode, 29), PIN(T::GetFocusState, 30), PIN(T::SetFocus, 31),
      PIN(T::SetIdentDescription, 32), PIN(T::GetDeviceDate, 33), PIN(T::GetFirmwareVersion, 34),
      PIN(T::SetIdentName, 35), PIN(T::IsStorageVolume, 36), PIN(T::GetFlashFolder, 37), PIN(T::GetRamFolder, 38),
      PIN(T::GetCardFolder, 39), PIN(T::ReadProductVersion, 40), PIN(T::Reserved41, 41), PIN(T::Reserved42, 42),
      PIN(W::GetSignalLevel, 8), PIN(W::IsConnected, 9), PIN(W::GetAdapterName, 10), PIN(W::GetSsid, 11),
      PIN(W::GetRssi, 12), PIN(W::Open, 13), PIN(W::Close, 14), PIN(W::GetBssid, 15),
      PIN(IQelDictionary::Add, 8),
  };
#undef PIN
  for (const Pin& p : pins) EXPECT_EQ(p.slot, p.expected) << p.what;
}

}  // namespace
