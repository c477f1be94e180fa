#include "terminal/platform_string.h"

#include <string>

#include "ce/files.h"
#include "ce/registry.h"
#include "ceutil/text.h"
#include "core/text_out.h"
#include "terminal/identification.h"
#include "terminal/os_info.h"

namespace qel {
namespace {

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && ceutil::EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// A headless wearable (WT4090 or WT41N0 image with Platform\Modifier\Headless = 1) is "VOW".
std::u16string_view WearableModifier(std::u16string_view oem) {
  if (!StartsWithNoCase(oem, u"SYMBOL WT4090c50") && !StartsWithNoCase(oem, u"MOTOROLA WT4090c50") &&
      !StartsWithNoCase(oem, u"MOTOROLA WT41N0"))
    return u"";
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Platform\\Modifier", 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return u"";
  ce::DWORD headless = 0, size = sizeof headless, type = 0;
  if (ce::RegQueryValueExW(key.get(), u"Headless", nullptr, &type, reinterpret_cast<ce::BYTE*>(&headless),
                           &size) != ERROR_SUCCESS ||
      size != 4 || headless != 1)
    return u"";
  return u"VOW";
}

// A Thor vehicle mount: its API library is installed and its image names a VM1 or VM2.
bool IsThorVehicleMount() {
  const ce::DWORD attributes = ce::GetFileAttributesW(u"\\Windows\\vm1ceapi.dll");
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\LXE\\Version", 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return false;
  char16_t image[128] = {};
  ce::DWORD size = sizeof image - sizeof(char16_t), type = 0;
  if (ce::RegQueryValueExW(key.get(), u"Honeywell Image", nullptr, &type, reinterpret_cast<ce::BYTE*>(image),
                           &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  const std::u16string_view text = TextIn(image, 128);
  return text.starts_with(u"VM1") || text.starts_with(u"VM2");
}

}  // namespace

bool PlatformString(char16_t* buffer, uint32_t capacity) {
  std::u16string oem;
  if (!ReadOemInfo(&oem)) return false;
  const ModelEntry* entry = FindModelKey();
  if (!entry) return ReadOemInfo(buffer, capacity);
  char16_t os[32] = {};
  GetOsVersionText(os, 32);
  const std::u16string osText(TextIn(os, 32));
  const std::u16string code(entry->code), model(entry->model);
  if (model.starts_with(u"WT"))
    return WriteText(code + u"_" + model + std::u16string(WearableModifier(oem)) + u"_" + osText, buffer,
                     capacity);
  if (model.starts_with(u"THOR")) {
    if (!IsThorVehicleMount()) return false;
    return WriteText(code + u"_" + model + u"VM_" + osText, buffer, capacity);
  }
  return WriteText(code + u"_" + model + u"_" + osText, buffer, capacity);
}

}  // namespace qel
