// Every field of the simulated hardware, declared once: its dotted path, its
// type and the value a reader gets when the terminal's state lacks it. The
// checks of profiles, of hardware.json and of `terminal set`, and the typed
// readers of the API functions, all come from this list. A "*" in a path
// stands for any one name (a volume, say); every prefix of a path is a group.
// Fields outside the list may exist; they keep the JSON type they have.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ce::sim::hw {

// Hex, Mac, Ipv4, Ipv4OrNone and Ipv4List are texts (lists of texts) of a
// fixed form; their readers get the text as written.
enum class Type {
  Byte,
  Word,
  DWord,
  Int32,
  UInt64,
  Int64,
  Text,
  Flag,
  TextList,
  NameList,  // distinct names that key a group ("network.adapter.<name>")
  Hex,
  Mac,
  Ipv4,
  Ipv4OrNone,
  Ipv4List
};

//  name                       path                                     type     default
#define QEL_HARDWARE_FIELDS(F)                                                           \
  F(OemInfo, "oem_info", Text, "")                                                       \
  F(PlatformType, "platform_type", Text, "")                                             \
  F(OsMajor, "os.major", DWord, 0)                                                       \
  F(OsMinor, "os.minor", DWord, 0)                                                       \
  F(OsBuild, "os.build", DWord, 0)                                                       \
  F(OsCsd, "os.csd", Text, "")                                                           \
  F(AcLineStatus, "power.ac_line_status", Byte, 0xFF)                                    \
  F(BatteryFlag, "power.battery_flag", Byte, 0xFF)                                       \
  F(BatteryLifePercent, "power.battery_life_percent", Byte, 0xFF)                        \
  F(BatteryLifeTime, "power.battery_life_time", DWord, 0xFFFFFFFF)                       \
  F(BatteryFullLifeTime, "power.battery_full_life_time", DWord, 0xFFFFFFFF)              \
  F(BackupBatteryFlag, "power.backup_battery_flag", Byte, 0xFF)                          \
  F(BackupBatteryLifePercent, "power.backup_battery_life_percent", Byte, 0xFF)           \
  F(BackupBatteryLifeTime, "power.backup_battery_life_time", DWord, 0xFFFFFFFF)          \
  F(BackupBatteryFullLifeTime, "power.backup_battery_full_life_time", DWord, 0xFFFFFFFF) \
  F(BatteryVoltage, "power.battery_voltage", DWord, 0xFFFFFFFF)                          \
  F(BatteryCurrent, "power.battery_current", Int32, -1)                                  \
  F(BatteryAverageCurrent, "power.battery_average_current", Int32, -1)                   \
  F(BatteryAverageInterval, "power.battery_average_interval", DWord, 0xFFFFFFFF)         \
  F(BatteryMahConsumed, "power.battery_mah_consumed", DWord, 0xFFFFFFFF)                 \
  F(BatteryTemperature, "power.battery_temperature", Int32, -1)                          \
  F(BackupBatteryVoltage, "power.backup_battery_voltage", DWord, 0xFFFFFFFF)             \
  F(BatteryChemistry, "power.battery_chemistry", Byte, 0xFF)                             \
  F(PowerDriverOk, "power.driver_ok", Flag, true)                                        \
  F(PowerDriverEx2Bytes, "power.driver_ex2_bytes", DWord, 56)                            \
  /* the window system's idle time-out on battery (SystemParametersInfoW 251/252);  */   \
  /* a non-zero error fails both calls with it (4309: the power manager keeps them) */   \
  F(BatteryIdleTimeout, "power.battery_idle_timeout", DWord, 0)                          \
  F(IdleTimeoutError, "power.idle_timeout_error", DWord, 0)                              \
  F(IdleTimeoutReadError, "power.idle_timeout_read_error", DWord, 0)                     \
  /* the power manager listens for "PowerManager/ReloadActivityTimeouts": it exists */   \
  F(PowerManagerReloads, "power.manager_reloads_timeouts", Flag, true)                   \
  /* SetSystemPowerState's answer: 0 acts, any other error code fails */                 \
  F(SetPowerStateError, "power.set_power_state_error", DWord, 0)                         \
  /* the display backlight: on, brightness in per cent, time-outs on AC and battery */   \
  F(BacklightOn, "backlight.on", Flag, true)                                             \
  F(BacklightBrightness, "backlight.brightness_percent", DWord, 100)                     \
  F(BacklightTimeoutAc, "backlight.timeout_ac", DWord, 60)                               \
  F(BacklightTimeoutBattery, "backlight.timeout_battery", DWord, 30)                     \
  F(MemoryLoad, "memory.memory_load", DWord, 0)                                          \
  F(MemoryTotalPhys, "memory.total_phys", DWord, 0)                                      \
  F(MemoryAvailPhys, "memory.avail_phys", DWord, 0)                                      \
  F(MemoryTotalPageFile, "memory.total_page_file", DWord, 0)                             \
  F(MemoryAvailPageFile, "memory.avail_page_file", DWord, 0)                             \
  F(MemoryTotalVirtual, "memory.total_virtual", DWord, 0)                                \
  F(MemoryAvailVirtual, "memory.avail_virtual", DWord, 0)                                \
  F(RootTotal, "storage.root.total", UInt64, 0)                                          \
  F(RootTotalFree, "storage.root.total_free", UInt64, 0)                                 \
  F(RootFreeToCaller, "storage.root.free_to_caller", UInt64, 0)                          \
  F(VolumeTotal, "storage.volumes.*.total", UInt64, 0)                                   \
  F(VolumeTotalFree, "storage.volumes.*.total_free", UInt64, 0)                          \
  F(VolumeFreeToCaller, "storage.volumes.*.free_to_caller", UInt64, 0)                   \
  F(MountedStores, "storage.mounted", TextList, {})                                      \
  F(DisplayWidth, "display.width", DWord, 0)                                             \
  F(DisplayHeight, "display.height", DWord, 0)                                           \
  F(DisplayBitsPerPel, "display.bits_per_pel", DWord, 0)                                 \
  F(DisplayOrientation, "display.orientation", DWord, 0)                                 \
  F(DisplayOrientations, "display.supported_orientations", DWord, 0)                     \
  F(NamedEvents, "kernel.named_events", TextList, {})                                    \
  /* devices: a device name ("UIO1:") and the kind of driver behind it */                \
  F(Device, "kernel.devices.*", Text, "")                                                \
  /* serial ports: the host tty or pseudo-terminal a port ("COM1:") is plugged */        \
  /* into; empty, or a port not named here, has nothing plugged in            */         \
  F(SerialPort, "kernel.serial_ports.*", Text, "")                                       \
  /* the USB function controller's client drivers, and the one it presents */            \
  F(UsbFunctionClients, "usb_function.clients", TextList, {})                            \
  F(UsbFunctionClient, "usb_function.client", Text, "")                                  \
  F(BootTimeUnixMs, "kernel.boot_time_unix_ms", Int64, 0)                                \
  F(Modules, "modules", TextList, {})                                                    \
  F(Locale, "time.locale", DWord, 0x0409)                                                \
  F(ZoneBias, "time.zone.bias", Int32, 0)                                                \
  F(ZoneStandardName, "time.zone.standard_name", Text, "")                               \
  F(ZoneStandardBias, "time.zone.standard_bias", Int32, 0)                               \
  F(ZoneStandardYear, "time.zone.standard_date.year", Word, 0)                           \
  F(ZoneStandardMonth, "time.zone.standard_date.month", Word, 0)                         \
  F(ZoneStandardDayOfWeek, "time.zone.standard_date.day_of_week", Word, 0)               \
  F(ZoneStandardDay, "time.zone.standard_date.day", Word, 0)                             \
  F(ZoneStandardHour, "time.zone.standard_date.hour", Word, 0)                           \
  F(ZoneStandardMinute, "time.zone.standard_date.minute", Word, 0)                       \
  F(ZoneStandardSecond, "time.zone.standard_date.second", Word, 0)                       \
  F(ZoneStandardMilliseconds, "time.zone.standard_date.milliseconds", Word, 0)           \
  F(ZoneDaylightName, "time.zone.daylight_name", Text, "")                               \
  F(ZoneDaylightBias, "time.zone.daylight_bias", Int32, 0)                               \
  F(ZoneDaylightYear, "time.zone.daylight_date.year", Word, 0)                           \
  F(ZoneDaylightMonth, "time.zone.daylight_date.month", Word, 0)                         \
  F(ZoneDaylightDayOfWeek, "time.zone.daylight_date.day_of_week", Word, 0)               \
  F(ZoneDaylightDay, "time.zone.daylight_date.day", Word, 0)                             \
  F(ZoneDaylightHour, "time.zone.daylight_date.hour", Word, 0)                           \
  F(ZoneDaylightMinute, "time.zone.daylight_date.minute", Word, 0)                       \
  F(ZoneDaylightSecond, "time.zone.daylight_date.second", Word, 0)                       \
  F(ZoneDaylightMilliseconds, "time.zone.daylight_date.milliseconds", Word, 0)           \
  /* identity: empty means the call fails */                                             \
  F(DeviceUniqueId, "identity.unique_id", Hex, "")                                       \
  F(HalUuid, "hal.uuid", Hex, "")                                                        \
  F(HalDeviceIdSupported, "hal.device_id.supported", Flag, false)                        \
  F(HalPresetFirst, "hal.device_id.preset_first", Flag, true)                            \
  F(HalPresetId, "hal.device_id.preset_id", Hex, "")                                     \
  F(HalPlatformId, "hal.device_id.platform_id", Hex, "")                                 \
  /* vendor I/O controls: 0 or empty means not supported */                              \
  F(HalModelNumber, "hal.vendor.model_number", DWord, 0)                                 \
  F(HalModelText, "hal.vendor.model_text", Text, "")                                     \
  F(HalReboots, "hal.reboots", DWord, 0)                                                 \
  /* the HAL and the vendor libraries take a reboot request and stay up */               \
  F(HalRebootIgnored, "hal.reboot_ignored", Flag, false)                                 \
  F(LxeSerial, "lxe.serial", Text, "")                                                   \
  F(LxeOalVersion, "lxe.oal_version", Text, "")                                          \
  F(LxeBoots, "lxe.boots", DWord, 0)                                                     \
  F(LxeClearBoots, "lxe.clear_boots", DWord, 0)                                          \
  /* codec gain in tenths of a dB; the switch fails the gain calls */                    \
  F(LxeAudioGain, "lxe.audio_gain", Int32, 0)                                            \
  F(LxeAudioGainFails, "lxe.audio_gain_fails", Flag, false)                              \
  /* what "LXEAPI.dll"'s backlight calls return: 0 (-1 for get_brightness) fails  */     \
  /* without acting; any other value acts and is returned                         */     \
  F(LxeSetBacklightOnResult, "lxe.backlight.set_on_result", Int32, 1)                    \
  F(LxeUserEventResult, "lxe.backlight.user_event_result", Int32, 1)                     \
  F(LxeSetBrightnessResult, "lxe.backlight.set_brightness_result", Int32, 1)             \
  F(LxeGetBrightnessResult, "lxe.backlight.get_brightness_result", Int32, 1)             \
  F(LxeSetTimeoutResult, "lxe.backlight.set_timeout_result", Int32, 1)                   \
  F(LxeGetTimeoutResult, "lxe.backlight.get_timeout_result", Int32, 1)                   \
  F(DatalogicModel, "datalogic.model", Int32, 0)                                         \
  F(DatalogicName, "datalogic.name", Text, "")                                           \
  F(IntermecDeviceType, "intermec.device_type", Int32, 0)                                \
  /* wave-out devices in list order, each under audio.wave_out.device.<id> */            \
  F(WaveOutDevices, "audio.wave_out.devices", NameList, {})                              \
  F(WaveOutName, "audio.wave_out.device.*.name", Text, "")                               \
  F(WaveOutFormats, "audio.wave_out.device.*.formats", DWord, 0)                         \
  F(WaveOutChannels, "audio.wave_out.device.*.channels", Word, 2)                        \
  F(WaveOutSupport, "audio.wave_out.device.*.support", DWord, 0)                         \
  /* the system volume: left in the low word, right in the high word */                  \
  F(AudioVolume, "audio.volume", DWord, 0xFFFFFFFF)                                      \
  /* the click levels the system applied (AudioUpdateFromRegistry) */                    \
  F(KeyClickApplied, "audio.click.key", DWord, 0)                                        \
  F(ScreenTapApplied, "audio.click.screen", DWord, 0)                                    \
  /* what plays now, one line per player: "<pid> <what>" */                              \
  F(AudioPlaying, "audio.playing", TextList, {})                                         \
  /* notification LEDs: how many, and each one's last settings under led.device.<n>  */  \
  /* (mode 0 off, 1 on, 2 blink; times in microseconds)                               */ \
  F(LedCount, "led.count", DWord, 1)                                                     \
  F(LedMode, "led.device.*.mode", DWord, 0)                                              \
  F(LedTotalCycleTime, "led.device.*.total_cycle_time", Int32, 0)                        \
  F(LedOnTime, "led.device.*.on_time", Int32, 0)                                         \
  F(LedOffTime, "led.device.*.off_time", Int32, 0)                                       \
  F(LedMetaCycleOn, "led.device.*.meta_cycle_on", Int32, 0)                              \
  F(LedMetaCycleOff, "led.device.*.meta_cycle_off", Int32, 0)                            \
  F(BluetoothAddress, "bluetooth.address", Mac, "")                                      \
  F(ProgramFilesFolder, "shell.program_files", Text, "")                                 \
  /* network: adapters in list order, each described under network.adapter.<name> */     \
  F(HostName, "network.host_name", Text, "")                                             \
  F(UseHostInterfaces, "network.use_host_interfaces", Flag, false)                       \
  F(Adapters, "network.adapters", NameList, {})                                          \
  F(AdapterType, "network.adapter.*.type", DWord, 6)                                     \
  F(AdapterIp, "network.adapter.*.ip", Ipv4, "0.0.0.0")                                  \
  F(AdapterMask, "network.adapter.*.mask", Ipv4, "0.0.0.0")                              \
  F(AdapterGateway, "network.adapter.*.gateway", Ipv4OrNone, "")                         \
  F(AdapterMac, "network.adapter.*.mac", Mac, "")                                        \
  F(WlanOids, "network.adapter.*.wlan.answers_encryption_query", Flag, false)            \
  F(WlanConnected, "network.adapter.*.wlan.connected", Flag, false)                      \
  F(WlanRssi, "network.adapter.*.wlan.rssi", Int32, -100)                                \
  F(WlanSsid, "network.adapter.*.wlan.ssid", Text, "")                                   \
  F(WlanBssid, "network.adapter.*.wlan.bssid", Mac, "")                                  \
  F(ResolverError, "network.resolver_error", DWord, 10014)                               \
  F(ResolverNames, "network.resolver.*", Ipv4List, {})

// Groups whose every member has one type, named or not: a field a profile adds
// to them is checked too. Named fields above take precedence.
#define QEL_HARDWARE_GROUP_TYPES(G) \
  G("memory.*", DWord)              \
  G("display.*", DWord)             \
  G("storage.root.*", UInt64)       \
  G("storage.volumes.*.*", UInt64)

// What a reader of each type gets.
template <Type T>
struct ValueOf;
template <>
struct ValueOf<Type::Byte> {
  using type = uint8_t;
};
template <>
struct ValueOf<Type::Word> {
  using type = uint16_t;
};
template <>
struct ValueOf<Type::DWord> {
  using type = uint32_t;
};
template <>
struct ValueOf<Type::Int32> {
  using type = int32_t;
};
template <>
struct ValueOf<Type::UInt64> {
  using type = uint64_t;
};
template <>
struct ValueOf<Type::Int64> {
  using type = int64_t;
};
template <>
struct ValueOf<Type::Text> {
  using type = std::string;
};
template <>
struct ValueOf<Type::Flag> {
  using type = bool;
};
template <>
struct ValueOf<Type::TextList> {
  using type = std::vector<std::string>;
};
template <>
struct ValueOf<Type::NameList> {
  using type = std::vector<std::string>;
};
template <>
struct ValueOf<Type::Hex> {
  using type = std::string;
};
template <>
struct ValueOf<Type::Mac> {
  using type = std::string;
};
template <>
struct ValueOf<Type::Ipv4> {
  using type = std::string;
};
template <>
struct ValueOf<Type::Ipv4OrNone> {
  using type = std::string;
};
template <>
struct ValueOf<Type::Ipv4List> {
  using type = std::vector<std::string>;
};

// One field, as readers name it. The default is kept as the declaration gives it.
template <Type T, class Default>
struct Field {
  using Value = typename ValueOf<T>::type;
  static constexpr Type kType = T;
  std::string_view path;
  Default fallback;
};

struct EmptyList {};

namespace detail {
template <class D>
constexpr D Keep(D d) {
  return d;
}
constexpr EmptyList Keep(std::initializer_list<int>) { return {}; }
}  // namespace detail

#define QEL_HARDWARE_KEY(name, path, type, def) \
  inline constexpr Field<Type::type, decltype(detail::Keep(def))> k##name{path, detail::Keep(def)};
QEL_HARDWARE_FIELDS(QEL_HARDWARE_KEY)
#undef QEL_HARDWARE_KEY

struct FieldRule {
  std::string_view path;
  Type type;
  bool named;  // a field of the list above, not a member of a typed group
};

// Every declared field, in declaration order, then the group types.
std::span<const FieldRule> Rules();
// The rule for a dotted path ("*" matching any one name), or null.
const FieldRule* RuleFor(std::string_view dottedPath);
// True when the path names a group of declared fields ("power", "storage.volumes.SD").
bool IsGroup(std::string_view dottedPath);
// What a field of the type may hold, for messages.
const char* Describe(Type type);

// Fields narrower than their type (a time zone's biases and transition dates).
struct FieldRange {
  std::string_view path;  // "*" matching any one name
  int64_t min, max;
  const char* what;  // what the number counts, for messages
};
// The range of a dotted path, or null when its type is its only rule.
const FieldRange* RangeFor(std::string_view dottedPath);

}  // namespace ce::sim::hw
