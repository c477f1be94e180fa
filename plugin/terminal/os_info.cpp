#include "terminal/os_info.h"

#include <cstring>
#include <string>

#include "ce/system.h"
#include "ceutil/text.h"
#include "core/text_out.h"

namespace qel {
namespace {

// The platform type when it is one of the two Windows Mobile ones, else empty.
std::u16string MobileType() {
  char16_t type[32] = {};
  if (!GetOsTypeText(type, 32)) return {};
  const std::u16string_view t = TextIn(type, 32);
  if (ceutil::EqualNoCase(t, u"PocketPC") || ceutil::EqualNoCase(t, u"SmartPhone")) return std::u16string(t);
  return {};
}

bool ReadVersion(ce::OSVERSIONINFOW* info) {
  std::memset(info, 0, sizeof *info);
  info->dwOSVersionInfoSize = sizeof *info;
  return ce::GetVersionExW(info) != FALSE;
}

std::u16string Number(uint32_t n) { return Widen(std::to_string(n)); }

}  // namespace

bool GetOsTypeText(char16_t* buffer, uint32_t capacity) {
  if (!buffer || capacity == 0) return false;
  std::memset(buffer, 0, capacity * sizeof(char16_t));
  const bool answered =
      ce::SystemParametersInfoW(SPI_GETPLATFORMTYPE, capacity * sizeof(char16_t), buffer, 0) != FALSE;
  const std::u16string_view t = TextIn(buffer, capacity);
  if (!ceutil::EqualNoCase(t, u"PocketPC") && !ceutil::EqualNoCase(t, u"SmartPhone"))
    WriteText(u"WindowsCE", buffer, capacity);
  return answered;
}

uint32_t WindowsMobileMajor() {
  if (MobileType().empty()) return 0;
  ce::OSVERSIONINFOW info;
  return ReadVersion(&info) ? info.dwMajorVersion : 0;
}

bool GetOsVersionText(char16_t* buffer, uint32_t capacity) {
  ce::OSVERSIONINFOW info;
  if (!ReadVersion(&info)) return false;
  const uint32_t major = info.dwMajorVersion, minor = info.dwMinorVersion;
  std::u16string text;
  if (WindowsMobileMajor() == 0)
    text = u"CE" + Number(major) + Number(minor / 10);
  else if (major >= 6)
    text = Number(major) + u"." + Number(minor) + u"." + Number(info.dwBuildNumber);
  else if (major == 5)
    text = minor > 1 ? u"WM6" : u"WM5";
  else if (major == 4)
    text = u"WM3";
  else
    text = u"WM" + Number(major);
  return WriteText(text, buffer, capacity);
}

}  // namespace qel
