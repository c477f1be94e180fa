#include "terminal/storage_folders.h"

#include <string>
#include <string_view>

#include "ce/device.h"
#include "ce/files.h"
#include "ce/registry.h"
#include "ce/shell.h"
#include "core/text_out.h"
#include "terminal/identification.h"
#include "terminal/os_info.h"

namespace qel {
namespace {

constexpr ce::DWORD kIoctlVendorModelNumber = 0x01012404;
constexpr ce::DWORD kStoreAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;

struct FlashCandidates {
  std::u16string_view code;
  std::u16string_view folders[5];
};

constexpr FlashCandidates kFlashCandidates[] = {
    {u"MOT", {u"\\On-Board IDE", u"\\Application"}},
    {u"HON", {u"\\IPSM", u"\\NETWORK"}},
    {u"IMC", {u"\\CK_FFS", u"\\Flash File Store", u"\\DiskOnChip"}},
    {u"LXE", {u"\\System"}},
    {u"MTL", {u"\\Storage"}},
    {u"PSI", {u"\\Flash Disk"}},
    {u"CAS", {u"\\FlashDisk"}},
    {u"CPH", {u"\\DiskOnChip"}},
    {u"DTL", {u"\\FlashDisk", u"\\Application", u"\\BACKUP", u"\\Platform", u"\\Network"}},
    {u"IND", {u"\\FFSDISK", u"\\Network"}},
    {u"DTL_PSC", {u"\\FlashDisk", u"\\FlashFX Disk", u"\\DiskOnChip", u"\\Network"}},
};

constexpr const char16_t* kCardProfiles[] = {u"System\\StorageManager\\Profiles\\SDMMC",
                                             u"System\\StorageManager\\Profiles\\SDMemory",
                                             u"System\\StorageManager\\Profiles\\MMC"};

bool ProgramFiles(char16_t* buffer, uint32_t capacity) {
  char16_t path[MAX_PATH] = {};
  return ce::SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE) &&
         WriteText(path, buffer, capacity);
}

// The first mounted store of the root.
bool SearchVolumes(char16_t* buffer, uint32_t capacity) {
  ce::WIN32_FIND_DATAW found{};
  ce::UniqueHandle find(ce::FindFirstFileW(u"\\*", &found));
  if (!find) return false;
  do {
    if ((found.dwFileAttributes & kStoreAttributes) == kStoreAttributes)
      return WriteText(u"\\" + std::u16string(TextIn(found.cFileName, capacity > 1 ? capacity - 1 : 0)),
                       buffer, capacity);
  } while (ce::FindNextFileW(find.get(), &found));
  return false;
}

// The storage manager profile's mount folder, when it exists.
bool ProfileFolder(const char16_t* key, char16_t* buffer, uint32_t capacity) {
  WriteText(u"", buffer, capacity);
  ce::RegKey k;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return false;
  char16_t folder[MAX_PATH / 2 + 1] = {};
  ce::DWORD type = 0, size = MAX_PATH;
  if (ce::RegQueryValueExW(k.get(), u"Folder", nullptr, &type, reinterpret_cast<ce::BYTE*>(folder), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  const std::u16string path = u"\\" + std::u16string(TextIn(folder, MAX_PATH / 2));
  if (ce::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  return WriteText(path, buffer, capacity);
}

}  // namespace

bool IsStorageVolumePath(const char16_t* path) {
  const ce::DWORD a = ce::GetFileAttributesW(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & kStoreAttributes) == kStoreAttributes;
}

bool GetFlashFolderPath(char16_t* buffer, uint32_t capacity) {
  if (WindowsMobileMajor() >= 5 && ProgramFiles(buffer, capacity)) return true;
  std::u16string oem;
  const std::u16string_view code = ReadOemInfo(&oem) ? ManufacturerCode(oem) : u"UNK";
  if (code == u"HON") {
    ce::DWORD number = 0, returned = 0;
    if (ce::KernelIoControl(kIoctlVendorModelNumber, nullptr, 0, &number, sizeof number, &returned) == 1 &&
        (number == 6100 || number == 6110 || number == 6500 || number == 6510))
      return ProgramFiles(buffer, capacity) || SearchVolumes(buffer, capacity);
  }
  for (const FlashCandidates& c : kFlashCandidates) {
    if (c.code != code) continue;
    for (const std::u16string_view folder : c.folders)
      if (!folder.empty() && IsStorageVolumePath(std::u16string(folder).c_str()))
        return WriteText(folder, buffer, capacity);
  }
  return SearchVolumes(buffer, capacity);
}

bool GetRamFolderPath(char16_t* buffer, uint32_t capacity) {
  if (ProfileFolder(u"System\\StorageManager\\Profiles\\RAMDisk", buffer, capacity)) return true;
  std::u16string oem;
  if (ReadOemInfo(&oem) && ManufacturerCode(oem) == u"PSI" && IsStorageVolumePath(u"\\RAM Disk"))
    return WriteText(u"\\RAM Disk", buffer, capacity);
  return WriteText(u"\\My Documents", buffer, capacity);
}

bool GetCardFolderPath(char16_t* buffer, uint32_t capacity) {
  for (const char16_t* key : kCardProfiles)
    if (ProfileFolder(key, buffer, capacity)) return true;
  return false;
}

}  // namespace qel
