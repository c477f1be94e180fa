// Memory, disk space, up-time, OEM text and version of the terminal.
#include "ce/system.h"

#include <chrono>
#include <cstring>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/string.h"
#include "ce/text.h"
#include "hardware_fields.h"

namespace ce {
namespace {

// Copies text with its NUL into a buffer of `bytes` bytes; fails when it does not fit.
BOOL CopyText(const std::string& utf8, UINT bytes, void* out) {
  const std::u16string text = FromUtf8(utf8);
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
std::string FirstFolder(LPCWSTR dir) {
  std::u16string s(dir);
  size_t b = s.find_first_not_of(u"\\/");
  if (b == std::u16string::npos) return {};
  size_t e = s.find_first_of(u"\\/", b);
  return ToUtf8(s.substr(b, e == std::u16string::npos ? e : e - b));
}

bool SameName(const std::string& a, const std::string& b) { return _wcsicmp(FromUtf8(a), FromUtf8(b)) == 0; }

}  // namespace

void GlobalMemoryStatus(MEMORYSTATUS* s) {
  if (!s) return;
  auto get = [](const char* f) { return DWORD(sim::HardwareUInt(std::string("memory.") + f).value_or(0)); };
  s->dwLength = sizeof *s;
  s->dwMemoryLoad = get("memory_load");
  s->dwTotalPhys = get("total_phys");
  s->dwAvailPhys = get("avail_phys");
  s->dwTotalPageFile = get("total_page_file");
  s->dwAvailPageFile = get("avail_page_file");
  s->dwTotalVirtual = get("total_virtual");
  s->dwAvailVirtual = get("avail_virtual");
}

BOOL GetDiskFreeSpaceExW(LPCWSTR dir, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* total,
                         ULARGE_INTEGER* totalFree) {
  if (!sim::Current()) return FALSE;
  std::string volume = "storage.root";
  if (!IsRoot(dir)) {
    const DWORD attrs = GetFileAttributesW(dir);
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
    // A folder on a mounted store reports that store; anything else the root volume.
    const std::string first = FirstFolder(dir);
    const auto volumes = sim::Hardware("storage.volumes");
    if (volumes.is_object())
      for (const auto& [name, figures] : volumes.items())
        if (SameName(name, first)) volume = "storage.volumes." + name;
  }
  const auto avail = sim::HardwareUInt(volume + ".free_to_caller");
  const auto size = sim::HardwareUInt(volume + ".total");
  const auto free = sim::HardwareUInt(volume + ".total_free");
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
  const auto boot = sim::HardwareUInt("kernel.boot_time_unix_ms").value_or(0);
  const uint64_t now = uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count());
  return DWORD(now - boot);
}

BOOL SystemParametersInfoW(UINT action, UINT uiParam, void* pvParam, UINT) {
  const char* field = action == SPI_GETOEMINFO        ? "oem_info"
                      : action == SPI_GETPLATFORMTYPE ? "platform_type"
                                                      : nullptr;
  if (!field) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto text = sim::HardwareText(field);
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
  info->dwMajorVersion = DWORD(sim::HardwareUInt("os.major").value_or(0));
  info->dwMinorVersion = DWORD(sim::HardwareUInt("os.minor").value_or(0));
  info->dwBuildNumber = DWORD(sim::HardwareUInt("os.build").value_or(0));
  info->dwPlatformId = VER_PLATFORM_WIN32_CE;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  const std::u16string csd = FromUtf8(sim::HardwareText("os.csd").value_or(""));
  std::memcpy(info->szCSDVersion, csd.c_str(), std::min<size_t>(csd.size(), 127) * sizeof(char16_t));
  return TRUE;
}

}  // namespace ce
