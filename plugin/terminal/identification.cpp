#include "terminal/identification.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "ce/device.h"
#include "ce/module.h"
#include "ce/system.h"
#include "ce/vendor.h"
#include "ceutil/text.h"
#include "core/proc_address.h"
#include "core/text_out.h"

namespace qel {
namespace {

constexpr ce::DWORD kIoctlVendorModelNumber = 0x01012404;
constexpr ce::DWORD kIoctlVendorModelText = 0x0101242C;

struct ManufacturerRule {
  std::u16string_view word;
  std::u16string_view code;
};

// The first word found in the upper-cased OEM text decides.
constexpr ManufacturerRule kManufacturers[] = {
    {u"MOTOROLA", u"MOT"},
    {u"SYMBOL", u"MOT"},
    {u"APOLLO", u"MOT"},
    {u"MC35", u"MOT"},
    {u"PX-798", u"CAS"},
    {u"CPT9500CE", u"CPH"},
    {u"CPT9400CE", u"CPH"},
    {u"DATALOGIC", u"DTL"},
    {u"VIPER-NET", u"DTL"},
    {u"RHINO-NET", u"DTL"},
    {u"FALCON", u"DTL_PSC"},
    {u"PEGASO", u"DTL_PSC"},
    {u"HHP", u"HON"},
    {u"HAND HELD PRODUCTS", u"HON"},
    {u"HONEYWELL", u"HON"},
    {u"INTERMEC", u"IMC"},
    {u"F&S ELEKTRONIK", u"IND"},
    {u"LXE", u"LXE"},
    {u"PSION", u"PSI"},
    {u"UNITECH", u"UNI"},
    {u"METROLOGIC", u"MTL"},
};

constexpr std::u16string_view kHoneywellWords[] = {u"HHP", u"D7600", u"HAND HELD PRODUCTS",
                                                   u"HANDHELD PRODUCTS", u"HONEYWELL"};

bool Contains(std::u16string_view text, std::u16string_view word) {
  return text.find(word) != std::u16string_view::npos;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && ceutil::EqualNoCase(text.substr(0, prefix.size()), prefix);
}

template <class Fn>
Fn Find(ce::HMODULE module, const char16_t* name) {
  return ProcAddress<Fn>(module, name);
}

// A library loaded on first use and kept for the life of the process.
ce::HMODULE KeptLibrary(std::atomic<ce::HMODULE>& kept, const char16_t* name) {
  ce::HMODULE m = kept.load(std::memory_order_acquire);
  if (m) return m;
  m = ce::LoadLibraryW(name);
  ce::HMODULE expected = nullptr;
  if (m && !kept.compare_exchange_strong(expected, m, std::memory_order_acq_rel)) {
    ce::FreeLibrary(m);  // a rival kept its own first
    return expected;
  }
  return m;
}

std::atomic<ce::HMODULE> g_dlApi{nullptr};
std::atomic<ce::HMODULE> g_itc50{nullptr};

// The HAL's identifier record into a block of `size` bytes whose size field is set.
bool ReadDeviceIdBlock(std::vector<uint8_t>* block, ce::DWORD size) {
  block->assign(size, 0);
  ce::DEVICE_ID header{};
  header.dwSize = size;
  std::memcpy(block->data(), &header, sizeof header);
  ce::DWORD returned = 0;
  if (!ce::KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, block->data(), size, &returned)) return false;
  std::memcpy(&header, block->data(), sizeof header);
  return true;
}

ce::DEVICE_ID HeaderOf(const std::vector<uint8_t>& block) {
  ce::DEVICE_ID h{};
  std::memcpy(&h, block.data(), sizeof h);
  return h;
}

std::u16string Number(long n) { return Widen(std::to_string(n)); }

}  // namespace

bool ReadOemInfo(char16_t* buffer, uint32_t capacity) {
  if (!buffer || capacity == 0) return false;
  std::memset(buffer, 0, capacity * sizeof(char16_t));
  return ce::SystemParametersInfoW(SPI_GETOEMINFO, capacity * sizeof(char16_t), buffer, 0) != FALSE;
}

bool ReadOemInfo(std::u16string* text, uint32_t capacity) {
  std::u16string buffer(capacity, u'\0');
  if (!ReadOemInfo(buffer.data(), capacity)) return false;
  *text = TextIn(buffer.data(), capacity - 1);
  return true;
}

std::u16string_view ManufacturerCode(std::u16string_view oemText) {
  const std::u16string upper = ceutil::ToUpper(oemText);
  for (const ManufacturerRule& r : kManufacturers)
    if (Contains(upper, r.word)) return r.code;
  return u"UNK";
}

bool IsHoneywellText(std::u16string_view text) {
  const std::u16string upper = ceutil::ToUpper(text.substr(0, 127));
  for (const std::u16string_view word : kHoneywellWords)
    if (Contains(upper, word)) return true;
  return false;
}

bool DatalogicModel(std::u16string* model) {
  // The preset ID of the HAL's identifier record names the older terminals.
  std::vector<uint8_t> block;
  if (ReadDeviceIdBlock(&block, 256)) {
    const ce::DEVICE_ID h = HeaderOf(block);
    if (h.dwPresetIDOffset != 0 && h.dwPresetIDBytes != 0 && h.dwPresetIDOffset + 4 <= block.size()) {
      int32_t value = 0;
      std::memcpy(&value, block.data() + h.dwPresetIDOffset, 4);
      switch (value) {
        case 0x01A4004D:
        case 0x01F4004D:
        case 0x01F4004E:
          *model = u"Datalogic Memor";
          return true;
        case 0x01F40053:
          *model = u"Datalogic Skorpio";
          return true;
        case 0x0258004D:
          *model = u"Datalogic Memor X3";
          return true;
        default:
          break;
      }
    }
  }
  if (ce::UniqueModule api(ce::LoadLibraryW(u"DeviceApi.dll")); api) {
    if (auto getModel = Find<ce::PFN_DeviceGetModel>(api.get(), u"DeviceGetModel")) {
      std::u16string_view name;
      switch (getModel()) {
        case 6:
          name = u"Datalogic Elf";
          break;
        case 7:
          name = u"Datalogic FalconX3";
          break;
        case 8:
          name = u"Datalogic Lynx";
          break;
        case 9:
          name = Contains(*model, u"X2") ? u"Datalogic Joya X2" : u"Datalogic Joya";
          break;
        case 10:
          name = u"Datalogic SkorpioX3";
          break;
        case 13:
          name = u"Datalogic FalconX3 Plus";
          break;
        case 14:
          name = u"Datalogic Memor X3";
          break;
        case 133:
          name = u"Datalogic Rhino";
          break;
        default:
          break;
      }
      if (!name.empty()) {
        *model = name;
        return true;
      }
    }
  }
  ce::HMODULE dl = KeptLibrary(g_dlApi, u"dl_api.dll");
  auto getName = dl ? Find<ce::PFN_DLDEVICE_GetName>(dl, u"DLDEVICE_GetName") : nullptr;
  if (!getName) return false;
  char16_t name[128] = {};
  if (getName(name, 127) <= 0) return false;
  *model = TextIn(name, 127);
  return true;
}

bool HoneywellModel(std::u16string* model) {
  std::u16string oem;
  if (!ReadOemInfo(&oem, 128)) oem.clear();
  if (Contains(oem, u"D6000") || Contains(oem, u"d6000")) {
    *model = u"Honeywell " + Number(6000);
    return true;
  }
  if (Contains(oem, u"CV31") || Contains(oem, u"CK75")) return IntermecModel(model);
  char text[20] = {};
  ce::DWORD returned = 0;
  if (ce::KernelIoControl(kIoctlVendorModelText, nullptr, 0, text, sizeof text, &returned) == TRUE) {
    const std::string_view t(text, strnlen(text, sizeof text));
    if (t == "99EX" || t == "7800" || t.starts_with("70e") || t.starts_with("60s") || t.starts_with("6110") ||
        t.starts_with("6510")) {
      *model = u"Honeywell " + ceutil::FromAnsi(t);
      return true;
    }
  }
  int32_t number = 0;
  if (ce::KernelIoControl(kIoctlVendorModelNumber, nullptr, 0, &number, sizeof number, &returned) == TRUE) {
    *model = u"Honeywell " + Number(number);
    return true;
  }
  return false;
}

bool UnitechModel(std::u16string* model) {
  std::vector<uint8_t> block;
  if (!ReadDeviceIdBlock(&block, 1024)) return false;
  const ce::DEVICE_ID h = HeaderOf(block);
  // The platform ID holds the model as wide text.
  char16_t name[64] = {};
  const size_t offset = std::min<size_t>(h.dwPlatformIDOffset, block.size());
  const size_t bytes =
      std::min(std::min<size_t>(h.dwPlatformIDBytes, sizeof name - sizeof(char16_t)), block.size() - offset);
  std::memcpy(name, block.data() + offset, bytes);
  *model = TextIn(name, 63);
  return true;
}

bool IntermecModel(std::u16string* model) {
  ce::HMODULE itc = KeptLibrary(g_itc50, u"itc50.dll");
  auto getType = itc ? Find<ce::PFN_ITCGetDeviceType>(itc, u"ITCGetDeviceType") : nullptr;
  if (!getType) return false;
  std::u16string_view name;
  switch (getType()) {
    case 12:
      name = u"Intermec CN3";
      break;
    case 13:
      name = u"Intermec CV30";
      break;
    case 14:
      name = u"Intermec CK32";
      break;
    case 15:
      name = u"Intermec CK3";
      break;
    case 16:
      name = u"Intermec CN4";
      break;
    case 17:
      name = u"Intermec CN50";
      break;
    case 18:
      name = u"Intermec CS40";
      break;
    case 20:
      name = u"Intermec CN70";
      break;
    case 21:
      name = u"Intermec CN70e";
      break;
    case 22:
      name = u"Intermec CK70";
      break;
    case 23:
      name = u"Intermec CK71";
      break;
    case 24:
      name = u"Intermec CN51";
      break;
    case 27:
      name = u"Honeywell CV31";
      break;
    case 30:
      name = u"Honeywell CK75";
      break;
    default:
      return false;
  }
  *model = name;
  return true;
}

bool DeviceModel(std::u16string_view oemText, std::u16string* model) {
  *model = oemText;
  if (StartsWithNoCase(oemText, u"Datalogic")) return DatalogicModel(model);
  if (IsHoneywellText(oemText)) return HoneywellModel(model);
  if (ceutil::EqualNoCase(oemText, u"Unitech")) return UnitechModel(model);
  if (Contains(oemText, u"Intermec")) return IntermecModel(model);
  return true;
}

const ModelEntry* FindModelKey() {
  std::u16string text;
  if (!ReadOemInfo(&text)) return nullptr;
  // Each maker's step replaces the text only when it finds a name.
  if (StartsWithNoCase(text, u"Datalogic")) DatalogicModel(&text);
  if (IsHoneywellText(text)) HoneywellModel(&text);
  if (ceutil::EqualNoCase(text, u"Unitech")) UnitechModel(&text);
  return FindModelEntry(text);
}

}  // namespace qel
