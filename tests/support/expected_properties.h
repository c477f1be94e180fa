// The 68 properties the module announces, in registration order, written out
// by hand so that tests do not check the module against its own table.
#pragma once

#include <array>

namespace qeltest {

struct ExpectedProperty {
  const char* name;
  bool writable;
};

inline constexpr bool RW = true;
inline constexpr bool RO = false;

inline constexpr std::array<ExpectedProperty, 68> kExpectedProperties{{
    // audio service
    {"AUDIO_BEEP_VOLUME", RW},
    {"AUDIO_BEEP_FREQUENCY", RW},
    {"AUDIO_MIXER_MAX_VOLUME", RW},
    {"AUDIO_MIXER_USER_VOLUME", RW},
    {"AUDIO_MIXER_SPEAKER_VOLUME", RW},
    {"AUDIO_MIXER_HEADPHONE_VOLUME", RW},
    {"AUDIO_MIC_BOOST", RW},
    {"AUDIO_MIC_GAIN", RW},
    {"AUDIO_LINE_GAIN", RW},
    {"AUDIO_KEY_CLICK", RW},
    {"AUDIO_SCREEN_TAP", RW},
    {"AUDIO_MIC_GAIN_DB", RW},
    {"AUDIO_MIC_MAX_GAIN_DB", RO},
    {"AUDIO_MIXER_VOLUME", RW},
    {"AUDIO_MIXER_VOLUME_STEP", RW},
    {"AUDIO_MIXER_VOLUME_MAXSTEP", RO},
    // keyboard service
    {"KEYBOARD_LAYER", RW},
    // no service
    {"POWER_BATTERY_LEVEL", RO},
    {"POWER_BATTERY_LIFETIME", RO},
    {"POWER_SOURCE", RO},
    {"POWER_BATTERY_LEVEL_RT", RO},
    {"POWER_BATTERY_LIFETIME_RT", RO},
    {"POWER_SOURCE_RT", RO},
    {"NET_IP_V4", RO},
    {"NET_ADAPTERS_IPCONFIG", RO},
    {"NET_CONNECTION", RO},
    {"NET_CONNECTION_TYPE", RO},
    {"NET_CONNECTION_LEVEL", RO},
    {"QEL_VER_LIST", RO},
    {"QEL_REMOTE_SESSION", RO},
    {"SYS_DISK_FREE_SPACE", RO},
    {"SYS_MEM_HEAP_SPACE", RO},
    {"SYS_MEM_TOTAL", RO},
    {"SYS_DEVICE_UP_TIME", RO},
    {"SCREEN_BACKLIGHT_TIMEOUT_AC", RW},
    {"SCREEN_BACKLIGHT_TIMEOUT_BATT", RW},
    {"POWER_SUSPEND_TIMEOUT", RW},
    {"USB_CLIENT", RW},
    // backlight service
    {"SCREEN_BRIGHTNESS", RW},
    // battery service
    {"BATT_CHARGE_CYCLES", RO},
    {"BATT_SERIAL_NUMBER", RO},
    {"BATT_STATE_HEALTH", RO},
    {"BATT_CHEM_TYPE", RO},
    {"BATT_DATE", RO},
    // WLAN service
    {"WIFI_RSSI_PERCENT", RO},
    {"WIFI_RSSI_DBM", RO},
    {"WIFI_SSID", RO},
    {"WIFI_BSSID", RO},
    {"NET_WLAN_IPCONFIG", RO},
    // terminal information service
    {"QEL_SSN", RO},
    {"SYS_ESN", RO},
    {"SYS_USN", RO},
    {"SYS_FIRMWARE_VER", RO},
    {"SYS_ID_NAME", RW},
    {"SYS_ID_DESC", RW},
    {"WIFI_MAC", RO},
    {"BLUETOOTH_MAC", RO},
    {"SYS_DEVICE_DATE", RO},
    {"QEL_VER_CLIENT", RO},
    {"QEL_VER_AGENT", RO},
    {"QEL_VER_ADMIN", RO},
    {"SYS_OS_VER", RO},
    {"SYS_OS_TYPE", RO},
    {"QEL_PLATFORM", RO},
    {"SYS_DEVICE_MODEL", RO},
    {"SYS_OEM_PLATFORM", RO},
    {"SYS_MANUFACTURER", RO},
    // display service
    {"SYS_DROP_COUNT", RO},
}};

}  // namespace qeltest
