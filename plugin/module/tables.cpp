// What this module registers, declared once in registration order.
#include "module/tables.h"

#include <array>

#include "commands/argument_kinds.h"
#include "commands/commands.h"
#include "core/hal_event_handler.h"
#include "core/property_adapters.h"
#include "devices/audio_properties.h"
#include "devices/audio_service.h"
#include "devices/backlight_properties.h"
#include "devices/backlight_service.h"
#include "devices/battery_properties.h"
#include "devices/battery_service.h"
#include "devices/cradle_service.h"
#include "devices/display_service.h"
#include "devices/keyboard_properties.h"
#include "devices/keyboard_service.h"
#include "devices/led_service.h"
#include "devices/power_event_service.h"
#include "devices/power_properties.h"
#include "devices/wakeup_service.h"
#include "devices/wlan_properties.h"
#include "devices/wlan_service.h"
#include "qel/guids.h"
#include "qel/terminal.h"
#include "terminal/inventory_property.h"
#include "terminal/network_properties.h"
#include "terminal/system_properties.h"
#include "terminal/terminal_service.h"
#include "terminal/usb_client_property.h"

namespace qel {
namespace {

using G = Group;

constexpr GroupEntry kGroups[] = {
    {G::HalEventHandler, &IID_QELHALEVENTHANDLER, CreateHalEventHandler, false},
    {G::Audio, &IID_QELAUDIOSERVICE, CreateAudioService, false},
    {G::Keyboard, &IID_QELKEYBOARDSERVICE, CreateKeyboardService, false},
    {G::WakeUp, &IID_QELWAKEUPSERVICE, CreateWakeUpService, false},
    {G::PowerEvent, &IID_QELPOWEREVENTSERVICE, CreatePowerEventService, false},
    {G::ContextFreeProperties, nullptr, nullptr, false},
    {G::Backlight, &IID_QELBACKLIGHTSERVICE, CreateBacklightService, false},
    {G::ContextFreeCommands, nullptr, nullptr, false},
    {G::Cradle, &IID_QELCRADLESERVICE, CreateCradleService, false},
    {G::Led, &IID_QELLEDSERVICE, CreateLedService, false},
    {G::CommandsAfterLed, nullptr, nullptr, false},
    {G::Battery, &IID_QELBATTERYSERVICE, CreateBatteryService, false},
    {G::Wlan, &IID_QELWLANSERVICE, CreateWlanService, true},
    {G::Terminal, &IID_QELTERMINALSERVICE, CreateTerminalService, false},
    {G::Display, &IID_QELDISPLAYSERVICE, CreateDisplayService, false},
};

constexpr CommandEntry kCommands[] = {
    {u"IBP", G::Audio, 1, 300, true, Ibp, nullptr},
    {u"IPS", G::Audio, 1, 300, true, Ips, nullptr},
    {u"DBL", G::Backlight, 0, 300, true, Dbl, nullptr},
    {u"CCK", G::ContextFreeCommands, 1, 300, false, Cck, nullptr},
    {u"SVR", G::ContextFreeCommands, 1, 400, false, Svr, SvrArgumentKind},
    {u"SPR", G::ContextFreeCommands, 1, 400, false, Spr, nullptr},
    {u"SXC", G::ContextFreeCommands, 1, 400, false, Sxc, nullptr},
    {u"BRP", G::ContextFreeCommands, 1, 300, false, Brp, nullptr},
    {u"BSP", G::ContextFreeCommands, 1, 300, false, Bsp, nullptr},
    {u"PXS", G::ContextFreeCommands, 1, 300, false, Pxs, nullptr},
    {u"ICD", G::Cradle, 1, 400, false, Icd, nullptr},
    {u"ILD", G::Led, 1, 300, false, Ild, nullptr},
    {u"SRB", G::CommandsAfterLed, 1, 300, false, Srb, nullptr},
    {u"SWP", G::CommandsAfterLed, 1, 400, false, Swp, nullptr},
    {u"PGT", G::CommandsAfterLed, 1, 300, false, Pgt, nullptr},
};
static_assert(std::size(kCommands) == 15);

// A read-only property has no setter.
constexpr QelPropertyFn kRO = nullptr;

using T = IQelTerminalService;
template <bool (T::*Operation)(char16_t*, uint32_t), uint32_t Capacity>
constexpr QelPropertyFn kText = GetTextOf<T, Operation, Capacity>;

constexpr PropertyEntry kProperties[] = {
    {u"AUDIO_BEEP_VOLUME", G::Audio, GetBeepVolume, SetBeepVolume},
    {u"AUDIO_BEEP_FREQUENCY", G::Audio, GetBeepFrequency, SetBeepFrequency},
    {u"AUDIO_MIXER_MAX_VOLUME", G::Audio, GetMixerVolume<kOutputMax>, SetMixerVolume<kOutputMax>},
    {u"AUDIO_MIXER_USER_VOLUME", G::Audio, GetMixerVolume<kOutputSpeaker>, SetMixerVolume<kOutputBoth>},
    {u"AUDIO_MIXER_SPEAKER_VOLUME", G::Audio, GetMixerVolume<kOutputSpeaker>, SetMixerVolume<kOutputSpeaker>},
    {u"AUDIO_MIXER_HEADPHONE_VOLUME", G::Audio, GetMixerVolume<kOutputHeadphone>,
     SetMixerVolume<kOutputHeadphone>},
    {u"AUDIO_MIC_BOOST", G::Audio, GetMicBoost, SetMicBoost},
    {u"AUDIO_MIC_GAIN", G::Audio, GetGain<1>, SetGain<1>},
    {u"AUDIO_LINE_GAIN", G::Audio, GetGain<0>, SetGain<0>},
    {u"AUDIO_KEY_CLICK", G::Audio, GetClick<kClickKey>, SetClick<kClickKey>},
    {u"AUDIO_SCREEN_TAP", G::Audio, GetClick<kClickScreen>, SetClick<kClickScreen>},
    {u"AUDIO_MIC_GAIN_DB", G::Audio, GetMicGainDb, SetMicGainDb},
    {u"AUDIO_MIC_MAX_GAIN_DB", G::Audio, GetMicMaxGainDb, kRO},
    {u"AUDIO_MIXER_VOLUME", G::Audio, GetMixerVolume<kOutputSpeaker>, SetMixerVolume<kOutputBoth>},
    {u"AUDIO_MIXER_VOLUME_STEP", G::Audio, GetVolumeStep, SetVolumeStep},
    {u"AUDIO_MIXER_VOLUME_MAXSTEP", G::Audio, GetVolumeMaxStep, kRO},
    {u"KEYBOARD_LAYER", G::Keyboard, GetKeyboardLayer, SetKeyboardLayer},
    {u"POWER_BATTERY_LEVEL", G::ContextFreeProperties, GetBatteryLevel, kRO},
    {u"POWER_BATTERY_LIFETIME", G::ContextFreeProperties, GetBatteryLifetime, kRO},
    {u"POWER_SOURCE", G::ContextFreeProperties, GetPowerSource, kRO},
    {u"POWER_BATTERY_LEVEL_RT", G::ContextFreeProperties, GetBatteryLevelRefreshed, kRO},
    {u"POWER_BATTERY_LIFETIME_RT", G::ContextFreeProperties, GetBatteryLifetime, kRO},
    {u"POWER_SOURCE_RT", G::ContextFreeProperties, GetPowerSourceRefreshed, kRO},
    {u"NET_IP_V4", G::ContextFreeProperties, GetIpV4, kRO},
    {u"NET_ADAPTERS_IPCONFIG", G::ContextFreeProperties, GetAdaptersIpConfig, kRO},
    {u"NET_CONNECTION", G::ContextFreeProperties, GetConnection, kRO},
    {u"NET_CONNECTION_TYPE", G::ContextFreeProperties, GetConnectionTypeProperty, kRO},
    {u"NET_CONNECTION_LEVEL", G::ContextFreeProperties, GetConnectionLevel, kRO},
    {u"QEL_VER_LIST", G::ContextFreeProperties, GetVersionList, kRO},
    {u"QEL_REMOTE_SESSION", G::ContextFreeProperties, GetRemoteSession, kRO},
    {u"SYS_DISK_FREE_SPACE", G::ContextFreeProperties, GetDiskFreeSpace, kRO},
    {u"SYS_MEM_HEAP_SPACE", G::ContextFreeProperties, GetMemHeapSpace, kRO},
    {u"SYS_MEM_TOTAL", G::ContextFreeProperties, GetMemTotal, kRO},
    {u"SYS_DEVICE_UP_TIME", G::ContextFreeProperties, GetDeviceUpTime, kRO},
    {u"SCREEN_BACKLIGHT_TIMEOUT_AC", G::ContextFreeProperties, GetBacklightTimeoutAc, SetBacklightTimeoutAc},
    {u"SCREEN_BACKLIGHT_TIMEOUT_BATT", G::ContextFreeProperties, GetBacklightTimeoutBattery,
     SetBacklightTimeoutBattery},
    {u"POWER_SUSPEND_TIMEOUT", G::ContextFreeProperties, GetSuspendTimeout, SetSuspendTimeout},
    {u"USB_CLIENT", G::ContextFreeProperties, GetUsbClient, SetUsbClient},
    {u"SCREEN_BRIGHTNESS", G::Backlight, GetScreenBrightness, SetScreenBrightness},
    {u"BATT_CHARGE_CYCLES", G::Battery, GetBatteryChargeCycles, kRO},
    {u"BATT_SERIAL_NUMBER", G::Battery, GetBatterySerialNumber, kRO},
    {u"BATT_STATE_HEALTH", G::Battery, GetBatteryStateOfHealth, kRO},
    {u"BATT_CHEM_TYPE", G::Battery, GetBatteryChemistry, kRO},
    {u"BATT_DATE", G::Battery, GetBatteryDate, kRO},
    {u"WIFI_RSSI_PERCENT", G::Wlan, GetWifiRssiPercent, kRO},
    {u"WIFI_RSSI_DBM", G::Wlan, GetWifiRssiDbm, kRO},
    {u"WIFI_SSID", G::Wlan, GetWifiSsid, kRO},
    {u"WIFI_BSSID", G::Wlan, GetWifiBssid, kRO},
    {u"NET_WLAN_IPCONFIG", G::Wlan, GetWlanIpConfig, kRO},
    {u"QEL_SSN", G::Terminal, (kText<&T::GetSsn, 128>), kRO},
    {u"SYS_ESN", G::Terminal, (kText<&T::GetEsn, 64>), kRO},
    {u"SYS_USN", G::Terminal, (kText<&T::GetUsn, 128>), kRO},
    {u"SYS_FIRMWARE_VER", G::Terminal, (kText<&T::GetFirmwareVersion, 128>), kRO},
    {u"SYS_ID_NAME", G::Terminal, (kText<&T::GetIdentName, 128>), (SetTextOf<T, &T::SetIdentName>)},
    {u"SYS_ID_DESC", G::Terminal, (kText<&T::GetIdentDescription, 128>),
     (SetTextOf<T, &T::SetIdentDescription>)},
    {u"WIFI_MAC", G::Terminal, (kText<&T::GetWifiMac, 128>), kRO},
    {u"BLUETOOTH_MAC", G::Terminal, (kText<&T::GetBluetoothMac, 128>), kRO},
    {u"SYS_DEVICE_DATE", G::Terminal, (kText<&T::GetDeviceDate, 128>), kRO},
    {u"QEL_VER_CLIENT", G::Terminal, (kText<&T::GetClientVersion, 128>), kRO},
    {u"QEL_VER_AGENT", G::Terminal, (kText<&T::GetAgentVersion, 128>), kRO},
    {u"QEL_VER_ADMIN", G::Terminal, (kText<&T::GetAgentVersion, 128>), kRO},
    {u"SYS_OS_VER", G::Terminal, (kText<&T::GetOsVersion, 32>), kRO},
    {u"SYS_OS_TYPE", G::Terminal, (kText<&T::GetOsType, 127>), kRO},
    {u"QEL_PLATFORM", G::Terminal, (kText<&T::GetPlatform, 127>), kRO},
    {u"SYS_DEVICE_MODEL", G::Terminal, (kText<&T::GetDeviceModel, 127>), kRO},
    {u"SYS_OEM_PLATFORM", G::Terminal, (kText<&T::GetOemInfo, 127>), kRO},
    {u"SYS_MANUFACTURER", G::Terminal, (kText<&T::GetManufacturer, 127>), kRO},
    {u"SYS_DROP_COUNT", G::Display, GetUInt32Of<IQelDisplayService, &IQelDisplayService::GetCounter>, kRO},
};
static_assert(std::size(kProperties) == 68);

}  // namespace

const RegistrationTables& Tables() {
  static constexpr RegistrationTables kTables{kGroups, kCommands, kProperties};
  return kTables;
}

}  // namespace qel
