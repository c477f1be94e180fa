// Memory, disk space, up-time, OEM text and version of the terminal.
#include "ce/system.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "ce/files.h"
#include "hardware.h"
#include "last_error.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim::api {
namespace {

// Copies text with its NUL into a buffer of `bytes` bytes; fails when it does not fit.
BOOL CopyText(const std::string& utf8, UINT bytes, void* out) {
  const std::u16string text = sim::FromUtf8(utf8);
  if (!out || (text.size() + 1) * sizeof(char16_t) > bytes) {
    SetLastError(out ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  return TRUE;
}

bool IsRoot(LPCWSTR dir) {
  if (!dir) return true;
  for (; *dir; ++dir)
    if (*dir != u'\\' && *dir != u'/') return false;
  return true;
}

// The first folder of a device path, for finding the volume it lives on.
std::u16string FirstFolder(LPCWSTR dir) {
  std::u16string s(dir);
  size_t b = s.find_first_not_of(u"\\/");
  if (b == std::u16string::npos) return {};
  size_t e = s.find_first_of(u"\\/", b);
  return s.substr(b, e == std::u16string::npos ? e : e - b);
}

}  // namespace

void GlobalMemoryStatus(MEMORYSTATUS* s) {
  if (!s) return;
  namespace hw = sim::hw;
  s->dwLength = sizeof *s;
  s->dwMemoryLoad = hw::Read(hw::kMemoryLoad);
  s->dwTotalPhys = hw::Read(hw::kMemoryTotalPhys);
  s->dwAvailPhys = hw::Read(hw::kMemoryAvailPhys);
  s->dwTotalPageFile = hw::Read(hw::kMemoryTotalPageFile);
  s->dwAvailPageFile = hw::Read(hw::kMemoryAvailPageFile);
  s->dwTotalVirtual = hw::Read(hw::kMemoryTotalVirtual);
  s->dwAvailVirtual = hw::Read(hw::kMemoryAvailVirtual);
}

BOOL GetDiskFreeSpaceExW(LPCWSTR dir, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* total,
                         ULARGE_INTEGER* totalFree) {
  namespace hw = sim::hw;
  if (!sim::Current()) return FALSE;
  std::optional<uint64_t> avail = hw::Find(hw::kRootFreeToCaller);
  std::optional<uint64_t> size = hw::Find(hw::kRootTotal);
  std::optional<uint64_t> free = hw::Find(hw::kRootTotalFree);
  if (!IsRoot(dir)) {
    const DWORD attrs = GetFileAttributesW(dir);
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
    // A folder on a mounted store reports that store; anything else the root volume.
    const std::u16string first = FirstFolder(dir);
    for (const auto& volume : hw::MemberNames("storage.volumes"))
      if (sim::SameName(sim::FromUtf8(volume), first)) {
        avail = hw::Find(hw::kVolumeFreeToCaller, volume);
        size = hw::Find(hw::kVolumeTotal, volume);
        free = hw::Find(hw::kVolumeTotalFree, volume);
      }
  }
  if (!avail || !size || !free) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  if (freeToCaller) freeToCaller->QuadPart = *avail;
  if (total) total->QuadPart = *size;
  if (totalFree) totalFree->QuadPart = *free;
  return TRUE;
}

DWORD GetTickCount() {
  const int64_t boot = sim::hw::Read(sim::hw::kBootTimeUnixMs);
  const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  // A boot time still to come (set by hand, or the clock set back) is a
  // terminal that has just started, not an up-time wrapped round.
  return now <= boot ? 0 : DWORD(uint64_t(now - boot));
}

namespace {

// The window system's idle time-out on battery, unless the terminal says the
// call fails: setting it with 4309 when the power manager has taken the
// time-outs over (reading it then gives 0), reading it with an error of its own.
BOOL BatteryIdleTimeout(UINT action, UINT uiParam, void* pvParam) {
  namespace hw = sim::hw;
  if (!sim::Current()) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  const DWORD error =
      hw::Read(action == SPI_SETBATTERYIDLETIMEOUT ? hw::kIdleTimeoutError : hw::kIdleTimeoutReadError);
  if (error) {
    SetLastError(error);
    return FALSE;
  }
  if (action == SPI_SETBATTERYIDLETIMEOUT) {
    if (!hw::Write(hw::kBatteryIdleTimeout, uint32_t(uiParam))) {
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    return TRUE;
  }
  if (!pvParam) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD timeout = hw::Read(hw::kBatteryIdleTimeout);
  std::memcpy(pvParam, &timeout, sizeof timeout);
  return TRUE;
}

}  // namespace

BOOL SystemParametersInfoW(UINT action, UINT uiParam, void* pvParam, UINT) {
  namespace hw = sim::hw;
  if (action == SPI_SETBATTERYIDLETIMEOUT || action == SPI_GETBATTERYIDLETIMEOUT)
    return BatteryIdleTimeout(action, uiParam, pvParam);
  std::optional<std::string> text;
  if (action == SPI_GETOEMINFO)
    text = hw::Find(hw::kOemInfo);
  else if (action == SPI_GETPLATFORMTYPE)
    text = hw::Find(hw::kPlatformType);
  else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!text) {
    SetLastError(sim::Current() ? ERROR_NOT_SUPPORTED : ERROR_NOT_READY);
    return FALSE;
  }
  return CopyText(*text, uiParam, pvParam);
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
  if (!info || info->dwOSVersionInfoSize != sizeof *info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!sim::Current()) return FALSE;
  namespace hw = sim::hw;
  info->dwMajorVersion = hw::Read(hw::kOsMajor);
  info->dwMinorVersion = hw::Read(hw::kOsMinor);
  info->dwBuildNumber = hw::Read(hw::kOsBuild);
  info->dwPlatformId = VER_PLATFORM_WIN32_CE;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  const std::u16string csd = sim::FromUtf8(hw::Read(hw::kOsCsd));
  std::memcpy(info->szCSDVersion, csd.c_str(), std::min<size_t>(csd.size(), 127) * sizeof(char16_t));
  return TRUE;
}

}  // namespace ce::sim::api
