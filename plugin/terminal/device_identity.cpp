#include "terminal/device_identity.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "ce/com.h"
#include "ce/device.h"
#include "ce/error.h"
#include "ce/module.h"
#include "ceutil/text.h"
#include "core/proc_address.h"
#include "core/text_out.h"

namespace qel {
namespace {

// The application data that keys this module's unique identifier: 20 bytes,
// the third and eighteenth being 0xB0.
constexpr uint8_t kApplicationData[20] = {'-', '=', 0xB0, 'Q', 'E', 'L', '-', 'H',  'a', 'r',
                                          'b', 'o', 'r',  'l', 'i', 'n', 'e', 0xB0, '=', '-'};

// Terminals whose core library hashes nothing into the identifier all answer
// this value; it identifies no one.
constexpr uint8_t kNonUniqueId[20] = {0xDA, 0x39, 0xA3, 0xEE, 0x5E, 0x6B, 0x4B, 0x0D, 0x32, 0x55,
                                      0xBF, 0xEF, 0x95, 0x60, 0x18, 0x90, 0xAF, 0xD8, 0x07, 0x09};

std::u16string Hex(const uint8_t* bytes, size_t n) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

bool ReadUuid(uint8_t* buffer, uint32_t size, ce::DWORD* returned) {
  return ce::KernelIoControl(IOCTL_HAL_GET_UUID, nullptr, 0, buffer, size, returned) == TRUE;
}

// The DEVICE_ID record at the size the HAL asks for.
bool ReadDeviceIdRecord(std::vector<uint8_t>* block) {
  ce::DEVICE_ID probe{};
  ce::DWORD returned = 0;
  if (!ce::KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, &probe, sizeof probe, &returned) &&
      ce::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  if (probe.dwSize < sizeof probe) return false;
  block->assign(probe.dwSize, 0);
  ce::DEVICE_ID header{};
  header.dwSize = probe.dwSize;
  std::memcpy(block->data(), &header, sizeof header);
  return ce::KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, block->data(), probe.dwSize, &returned) ==
         TRUE;
}

ce::DEVICE_ID HeaderOf(const std::vector<uint8_t>& block) {
  ce::DEVICE_ID h{};
  std::memcpy(&h, block.data(), sizeof h);
  return h;
}

uint8_t ByteAt(const std::vector<uint8_t>& block, size_t at) { return at < block.size() ? block[at] : 0; }

// The platform ID's bytes up to a zero byte; *end is the running byte position
// the copy stopped at.
std::u16string PlatformIdText(const std::vector<uint8_t>& block, size_t* end) {
  const ce::DEVICE_ID h = HeaderOf(block);
  std::u16string out;
  size_t taken = 0;
  bool stoppedAtZero = false;
  for (; taken < h.dwPlatformIDBytes; ++taken) {
    const uint8_t b = ByteAt(block, size_t(h.dwPlatformIDOffset) + taken);
    if (b == 0) {
      stoppedAtZero = true;
      break;
    }
    out += char16_t(b);
  }
  *end = size_t(h.dwPlatformIDOffset) + taken - (stoppedAtZero ? 1 : 0);
  return out;
}

}  // namespace

bool ReadDeviceUniqueId(uint8_t* buffer, uint32_t* size) {
  if (!buffer || !size) return false;
  ce::UniqueModule core(ce::LoadLibraryW(u"coredll.dll"));
  auto getId = core ? ProcAddress<ce::PFN_GetDeviceUniqueID>(core.get(), u"GetDeviceUniqueID") : nullptr;
  if (!getId) return false;
  uint8_t appData[sizeof kApplicationData];
  std::memcpy(appData, kApplicationData, sizeof appData);
  ce::DWORD got = *size;
  if (getId(appData, sizeof appData, 1, buffer, &got) != 0) return false;
  if (got >= sizeof kNonUniqueId && std::memcmp(buffer, kNonUniqueId, sizeof kNonUniqueId) == 0) return false;
  *size = got;
  return true;
}

bool UniqueSerialNumber(std::u16string* usn) {
  uint8_t id[20];
  uint32_t size = sizeof id;
  if (ReadDeviceUniqueId(id, &size)) {
    *usn = Hex(id, size);
    return true;
  }
  uint8_t uuid[16] = {};
  ce::DWORD returned = 0;
  if (ReadUuid(uuid, sizeof uuid, &returned) && returned == 16) {
    // Data1, Data2 and Data3 are little-endian numbers; Data4 is bytes.
    const uint8_t ordered[16] = {uuid[3],  uuid[2],  uuid[1],  uuid[0], uuid[5],  uuid[4],
                                 uuid[7],  uuid[6],  uuid[8],  uuid[9], uuid[10], uuid[11],
                                 uuid[12], uuid[13], uuid[14], uuid[15]};
    const std::u16string text = Hex(ordered, 16);
    for (size_t i = 1; i < 16; ++i)
      if (text[i] != text[i - 1]) {
        *usn = text;
        return true;
      }
  }
  std::vector<uint8_t> block;
  if (!ReadDeviceIdRecord(&block)) return false;
  const ce::DEVICE_ID h = HeaderOf(block);
  size_t at = 0;
  std::u16string text = PlatformIdText(block, &at) + u"-";
  // The preset ID is copied from its first byte while the platform ID's running
  // position stays below the preset ID's end: with the preset ID first, nothing.
  for (size_t from = h.dwPresetIDOffset; at < size_t(h.dwPresetIDOffset) + h.dwPresetIDBytes; ++at, ++from) {
    const uint8_t b = ByteAt(block, from);
    if (b == 0) break;
    text += char16_t(b);
  }
  *usn = text;
  return true;
}

bool DeviceIdBytes(uint8_t* buffer, uint32_t* size) {
  if (!buffer || !size) return false;
  uint32_t got = *size;
  if (ReadDeviceUniqueId(buffer, &got)) {
    *size = got;
    return true;
  }
  std::memset(buffer, 0, std::min<uint32_t>(*size, 16));
  ce::DWORD returned = 0;
  if (ce::KernelIoControl(IOCTL_HAL_GET_UUID, nullptr, 0, buffer, *size, &returned) == 1 && returned > 1) {
    for (ce::DWORD i = 1; i < returned; ++i)
      if (buffer[i] != buffer[0]) {
        *size = returned;
        return true;
      }
  }
  std::vector<uint8_t> block;
  if (!ReadDeviceIdRecord(&block)) return false;
  const ce::DEVICE_ID h = HeaderOf(block);
  size_t end = 0;
  const std::u16string braced = u"{" + PlatformIdText(block, &end).substr(0, 125) + u"}";
  uint32_t written = 0;
  if (*size > 16) {
    ce::GUID clsid{};
    if (ce::CLSIDFromString(braced.c_str(), &clsid) == S_OK) {
      std::memcpy(buffer, &clsid, 16);
      written = 16;
    }
  }
  for (uint32_t i = 0; i < h.dwPresetIDBytes && written < *size; ++i) {
    const uint8_t b = ByteAt(block, size_t(h.dwPresetIDOffset) + i);
    if (b == 0 && i > 0) break;
    buffer[written++] = b;
  }
  *size = written;
  return true;
}

uint16_t SsnCrc(std::string_view bytes) {
  uint16_t crc = 0xA001;
  for (const char c : bytes) {
    crc ^= uint8_t(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return uint16_t(crc ^ 0xFFFF);
}

std::u16string ShortSerialNumber(std::u16string_view usn) {
  std::string ansi = ceutil::ToAnsi(usn);
  if (ansi.size() > 64) ansi.resize(64);
  std::string groups[4];
  for (size_t i = 0; i < ansi.size(); ++i) groups[i % 4] += ansi[i];
  uint64_t n = 0;
  for (const std::string& g : groups) n = n * 10000 + SsnCrc(g) % 10000;
  char text[32];
  std::snprintf(text, sizeof text, "%016llu%02u", static_cast<unsigned long long>(n), unsigned(n % 97));
  return Widen(text);
}

}  // namespace qel
