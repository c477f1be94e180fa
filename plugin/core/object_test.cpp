// The object model: one atomic count per object, one GUID per class, and the
// slot numbers of every interface that crosses the module boundary.
#include "qel/object.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "qel/backlight.h"
#include "qel/battery.h"
#include "qel/command.h"
#include "qel/cradle.h"
#include "qel/display.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "qel/keyboard.h"
#include "qel/stream.h"
#include "qel/terminal.h"
#include "qel/wlan.h"
#include "slot.h"

namespace {

inline constexpr GUID kProbeIid = qel::MakeGuid("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");

class Probe final : public qel::CQelObject<IQelService, kProbeIid> {
 public:
  explicit Probe(bool* destroyed) : destroyed_(destroyed) {}
  ~Probe() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST(CQelObject, IsBornAtOneAndDiesOnTheReleaseThatReturnsZero) {
  bool destroyed = false;
  auto* p = new Probe(&destroyed);
  EXPECT_EQ(p->RefCount(), 1);
  EXPECT_EQ(p->AddRef(), 2);
  EXPECT_EQ(static_cast<CQelRefCounted*>(p)->AddRef(), 3);  // one count, whichever part
  EXPECT_EQ(static_cast<CQelRefCounted*>(p)->Release(), 2);
  EXPECT_EQ(p->Release(), 1);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(static_cast<IQelService*>(p)->Release(), 0);
  EXPECT_TRUE(destroyed);
}

TEST(CQelObject, GetInterfaceAnswersOnlyItsOwnGuid) {
  bool destroyed = false;
  auto* p = new Probe(&destroyed);
  void* out = nullptr;
  ASSERT_TRUE(p->GetInterface(kProbeIid, &out));
  EXPECT_EQ(out, static_cast<IQelService*>(p));
  EXPECT_EQ(p->RefCount(), 2);
  EXPECT_FALSE(p->GetInterface(kProbeIid, nullptr));
  EXPECT_EQ(p->RefCount(), 2);

  // A GUID that differs in any one of its 16 bytes, by one bit or by all eight.
  for (const uint8_t flip : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)})
    for (size_t byte = 0; byte < sizeof(GUID); ++byte) {
      GUID other = kProbeIid;
      reinterpret_cast<uint8_t*>(&other)[byte] ^= flip;
      void* untouched = &destroyed;
      EXPECT_FALSE(p->GetInterface(other, &untouched)) << "byte " << byte << " ^ " << int(flip);
      EXPECT_EQ(untouched, &destroyed) << "byte " << byte;
      EXPECT_EQ(p->RefCount(), 2) << "byte " << byte;
    }
  p->Release();
  p->Release();
  EXPECT_TRUE(destroyed);
}

TEST(CQelObject, CountsAtomicallyAcrossThreads) {
  bool destroyed = false;
  auto* p = new Probe(&destroyed);
  constexpr int kThreads = 8, kEach = 10000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([p, t] {
      // Half the threads hold all their references before dropping them, the
      // other half alternate, so increments and decrements interleave.
      if (t % 2 == 0) {
        for (int i = 0; i < kEach; ++i) p->AddRef();
        for (int i = 0; i < kEach; ++i) static_cast<CQelRefCounted*>(p)->Release();
      } else {
        for (int i = 0; i < kEach; ++i) {
          static_cast<CQelRefCounted*>(p)->AddRef();
          p->Release();
        }
      }
      for (int i = 0; i < kEach; ++i) p->AddRef();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(p->RefCount(), 1 + kThreads * kEach);
  EXPECT_FALSE(destroyed);
  for (int i = 0; i < kThreads * kEach; ++i) p->Release();
  EXPECT_EQ(p->Release(), 0);
  EXPECT_TRUE(destroyed);
}

TEST(SlotLayout, InterfacesKeepTheirSlotNumbers) {
  struct Pin {
    const char* what;
    size_t slot;
    size_t expected;
  };
#define PIN(function, expected) \
  { #function, SlotOf(&function), expected }
  const Pin pins[] = {
      PIN(IQelService::AddRef, 0),
      PIN(IQelService::Release, 1),
      PIN(IQelService::GetInterface, 2),
      PIN(IQelService::Bind, 3),
      PIN(IQelService::SaveState, 4),
      PIN(IQelService::RestoreState, 5),
      PIN(IQelService::Reserved6, 6),
      PIN(IQelService::Reserved7, 7),
      PIN(IQelRegistrar::AddCommand, 0),
      PIN(IQelRegistrar::AddService, 1),
      PIN(IQelRegistrar::AddProperty, 3),
      PIN(IQelServiceRegistry::QueryService, 0),
      PIN(IQelStreamRegistry::AddStreamFactory, 8),
      // The stream every factory makes.
      PIN(IQelStream::Interrupt, 0),
      PIN(IQelStream::Open, 1),
      PIN(IQelStream::Close, 2),
      PIN(IQelStream::Destroy, 3),
      PIN(IQelStream::Reset, 4),
      PIN(IQelStream::IsConnected, 5),
      PIN(IQelStream::Configure, 6),
      PIN(IQelStream::SetAddress, 7),
      PIN(IQelStream::GetAddress, 8),
      PIN(IQelStream::Write, 9),
      PIN(IQelStream::Read, 10),
      PIN(IQelFileHandlerRegistry::AddFileHandler, 9),
      PIN(IQelNotifierList::AddNotifier, 0),
      PIN(IQelWindowService::Release, 3),
      PIN(IQelWindowService::GetWindowHandle, 4),
      PIN(IQelRadioService::GetSignal, 8),
      PIN(IQelNotifier::AddRef, 0),
      PIN(IQelNotifier::Release, 1),
      PIN(IQelNotifier::Unwatch, 2),
      PIN(IQelNotifier::Watch, 3),
      PIN(IQelNotifier::Attach, 4),
      PIN(IQelNotifier::DetachAll, 5),
      PIN(IQelBacklightService::SetBacklight, 8),
      PIN(IQelBacklightService::SetTimeout, 9),
      PIN(IQelBacklightService::SetBrightness, 10),
      PIN(IQelBacklightService::GetBrightness, 11),
      PIN(IQelBacklightService::GetACTimeout, 12),
      PIN(IQelBacklightService::SetACTimeout, 13),
      PIN(IQelBacklightService::GetBatteryTimeout, 14),
      PIN(IQelBacklightService::SetBatteryTimeout, 15),
      PIN(IQelBatteryService::GetBatteryPercent, 8),
      PIN(IQelBatteryService::IsOnExternalPower, 9),
      PIN(IQelBatteryService::GetLineStatus, 10),
      PIN(IQelBatteryService::GetChargeCycles, 11),
      PIN(IQelBatteryService::GetSerialNumber, 12),
      PIN(IQelBatteryService::GetStateOfHealth, 13),
      PIN(IQelBatteryService::GetChemistry, 14),
      PIN(IQelBatteryService::GetManufactureDate, 15),
      PIN(IQelCradleService::Unlock, 8),
      PIN(IQelCradleService::BlinkLed, 9),
      PIN(IQelCradleService::SetFastCharge, 10),
      PIN(IQelKeyboardService::SetLayer, 8),
      PIN(IQelKeyboardService::GetLayer, 9),
      PIN(IQelKeyboardService::Reserved10, 10),
      PIN(IQelKeyboardService::IsPanelOn, 11),
      PIN(IQelKeyboardService::TogglePanel, 12),
      PIN(IQelKeyboardService::ShowPanel, 13),
      PIN(IQelKeyboardService::HidePanel, 14),
      PIN(IQelKeyboardService::Reserved15, 15),
      PIN(IQelKeyboardService::Reserved18, 18),
      PIN(IQelKeyboardService::AttachWindow, 19),
      PIN(IQelKeyboardService::DetachWindow, 20),
      PIN(IQelKeyboardService::AddHandler, 21),
      PIN(IQelKeyboardService::RemoveHandler, 22),
      PIN(IQelDisplayService::Reserved8, 8),
      PIN(IQelDisplayService::SetOrientation, 9),
      PIN(IQelDisplayService::GetOrientation, 10),
      PIN(IQelDisplayService::GetFirstPreset, 11),
      PIN(IQelDisplayService::GetSecondPreset, 12),
      PIN(IQelDisplayService::GetCounter, 13),
      PIN(CQelRefCounted::AddRef, 0),
      PIN(CQelRefCounted::Release, 1),
      // Interfaces that derive virtually from the counted base get a table of
      // their own: operations first, ahead of the virtual base's destructor.
      PIN(IQelSettingService::Set, 0),
      PIN(IQelSettingService::Get, 1),
      PIN(IQelUnnamedHostService::Reserved0, 0),
      PIN(IQelApplicationService::NotifyForeground, 0),
      PIN(IQelApplicationService::NotifyBackground, 1),
      PIN(IQelApplicationService::Reserved2, 2),
      PIN(IQelApplicationService::GetStopHandle, 3),
      // What a command handler receives and the objects those hand out.
      PIN(ICommandContext::SetResult, 0),
      PIN(ICommandContext::QueryService, 3),
      PIN(ICommandContext::WaitTime, 20),
      PIN(ICommandContext::Branch, 29),
      PIN(ICommandArguments::Count, 0),
      PIN(ICommandArguments::IsEmpty, 1),
      PIN(ICommandArguments::GetChar, 3),
      PIN(ICommandArguments::GetBool, 4),
      PIN(ICommandArguments::GetNumber, 7),
      PIN(ICommandArguments::GetInt, 8),
      PIN(ICommandArguments::GetText, 11),
      PIN(ICommandArguments::GetVariable, 12),
      PIN(ICommandArguments::GetFile, 15),
      PIN(ICommandReply::Fail, 2),
      PIN(ICommandReply::BadArgument, 3),
      PIN(ICommandReply::MissingArguments, 4),
      PIN(IQelVariable::SetInt, 4),
      PIN(IQelVariable::SetValue, 10),
      PIN(IQelVariable::SetData, 13),
      PIN(IQelVariable::SetText, 14),
      PIN(IQelVariable::AppendText, 18),
      PIN(IQelFilePath::FullPath, 1),
      PIN(IQelResult::SetResult, 0),
      PIN(IQelFileSystemService::Enumerate, 9),
      PIN(IQelFileSystemService::Exists, 16),
      PIN(IQelFileSystemService::PrepareDirectory, 17),
      PIN(IQelFileService::Find, 8),
      PIN(IQelFileService::Prepare, 9),
      PIN(IQelFileLocation::Resolve, 9),
      PIN(IQelFileEnumerator::Dispose, 0),
      PIN(IQelFileEnumerator::Attributes, 1),
      PIN(IQelFileEnumerator::Name, 2),
      PIN(IQelFileEnumerator::Next, 3),
      PIN(IQelFileAttributes::IsDirectory, 5),
      // The terminal information and WLAN services, and the caller's dictionary.
      PIN(IQelTerminalService::GetSsn, 8),
      PIN(IQelTerminalService::GetEsn, 9),
      PIN(IQelTerminalService::GetUsn, 10),
      PIN(IQelTerminalService::GetDeviceId, 11),
      PIN(IQelTerminalService::GetIdentName, 12),
      PIN(IQelTerminalService::GetIdentDescription, 13),
      PIN(IQelTerminalService::GetConnectionType, 14),
      PIN(IQelTerminalService::GetConnectionTypeName, 15),
      PIN(IQelTerminalService::GetWifiMac, 16),
      PIN(IQelTerminalService::GetBluetoothMac, 17),
      PIN(IQelTerminalService::Reboot, 18),
      PIN(IQelTerminalService::GetStorageFolders, 19),
      PIN(IQelTerminalService::GetAgentVersion, 20),
      PIN(IQelTerminalService::GetClientVersion, 21),
      PIN(IQelTerminalService::GetOsVersion, 22),
      PIN(IQelTerminalService::GetOsType, 23),
      PIN(IQelTerminalService::GetOemInfo, 24),
      PIN(IQelTerminalService::GetDeviceModel, 25),
      PIN(IQelTerminalService::GetPlatform, 26),
      PIN(IQelTerminalService::GetManufacturer, 27),
      PIN(IQelTerminalService::GetFlashState, 28),
      PIN(IQelTerminalService::SetFlashMode, 29),
      PIN(IQelTerminalService::GetFocusState, 30),
      PIN(IQelTerminalService::SetFocus, 31),
      PIN(IQelTerminalService::SetIdentDescription, 32),
      PIN(IQelTerminalService::GetDeviceDate, 33),
      PIN(IQelTerminalService::GetFirmwareVersion, 34),
      PIN(IQelTerminalService::SetIdentName, 35),
      PIN(IQelTerminalService::IsStorageVolume, 36),
      PIN(IQelTerminalService::GetFlashFolder, 37),
      PIN(IQelTerminalService::GetRamFolder, 38),
      PIN(IQelTerminalService::GetCardFolder, 39),
      PIN(IQelTerminalService::ReadProductVersion, 40),
      PIN(IQelTerminalService::Reserved41, 41),
      PIN(IQelTerminalService::Reserved42, 42),
      PIN(IQelWlanService::GetSignalLevel, 8),
      PIN(IQelWlanService::IsConnected, 9),
      PIN(IQelWlanService::GetAdapterName, 10),
      PIN(IQelWlanService::GetSsid, 11),
      PIN(IQelWlanService::GetRssi, 12),
      PIN(IQelWlanService::Open, 13),
      PIN(IQelWlanService::Close, 14),
      PIN(IQelWlanService::GetBssid, 15),
      PIN(IQelDictionary::Add, 8),
  };
#undef PIN
  for (const Pin& p : pins) EXPECT_EQ(p.slot, p.expected) << p.what;
}

// File references and enumerated names are released through their second
// interface: the counted part sits one pointer behind the first.
TEST(SlotLayout, CountedPartIsTheSecondInterface) {
  class Ref final : public IQelFileReference {
   public:
    const char16_t* FullPath() override { return u""; }
  };
  Ref ref;
  IQelFileReference* file = &ref;
  EXPECT_EQ(reinterpret_cast<char*>(static_cast<CQelRefCounted*>(file)) - reinterpret_cast<char*>(file),
            ptrdiff_t(sizeof(void*)));
  EXPECT_EQ(static_cast<void*>(static_cast<IQelFilePath*>(file)), static_cast<void*>(file));
}

}  // namespace
