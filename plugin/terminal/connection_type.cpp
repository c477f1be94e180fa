#include "terminal/connection_type.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "ce/error.h"
#include "ceutil/text.h"
#include "qel/counted_text.h"

namespace qel {
namespace {

constexpr uint32_t kActiveSync = 0, kEthernet = 1, kWireless = 2, kNone = 7;

constexpr std::u16string_view kNames[] = {u"ActiveSync", u"Ethernet", u"Wireless", u"4G",
                                          u"3G",         u"GPRS",     u"Edge",     u"None"};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         ceutil::EqualNoCase(ceutil::FromAnsi(text.substr(0, prefix.size())), ceutil::FromAnsi(prefix));
}

// A USB or serial link to a desktop.
bool IsDesktopLink(std::string_view name) {
  const std::u16string upper = ceutil::ToUpper(ceutil::FromAnsi(name));
  auto is = [&](std::u16string_view s) { return ceutil::EqualNoCase(upper, s); };
  return upper.find(u"USB CABLE") != std::u16string::npos || StartsWithNoCase(name, "USBCable") ||
         StartsWithNoCase(name, "USB Port on COM") || StartsWithNoCase(name, "RNDISFN") ||
         StartsWithNoCase(name, "COM") || is(u"Serial_Class") || is(u"Serial on USB") || is(u"USB");
}

}  // namespace

AdapterList ReadAdapters(bool* sizeAnswered) {
  ce::DWORD size = 0;
  const bool overflow = ce::GetAdaptersInfo(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size != 0;
  if (sizeAnswered) *sizeAnswered = overflow;
  AdapterList list;
  if (!overflow) return list;
  list.block.reset(new (std::nothrow) uint8_t[size]);
  if (list.block &&
      ce::GetAdaptersInfo(reinterpret_cast<ce::IP_ADAPTER_INFO*>(list.block.get()), &size) != ERROR_SUCCESS)
    list.block.reset();
  return list;
}

bool IsConfigured(const ce::IP_ADAPTER_INFO& adapter) {
  return std::strcmp(adapter.IpAddressList.IpAddress.String, "0.0.0.0") != 0;
}

uint32_t ConnectionType(const char16_t* wlanAdapterName) {
  std::string wlan = wlanAdapterName ? ceutil::ToAnsi(wlanAdapterName) : std::string();
  if (wlan.size() > 127) wlan.resize(127);
  const AdapterList list = ReadAdapters();
  if (!list) return kNone;
  uint32_t best = kNone;
  for (const ce::IP_ADAPTER_INFO* a = list.first(); a; a = a->Next) {
    uint32_t code = kNone;
    if (IsConfigured(*a)) {
      code = a->Type == MIB_IF_TYPE_ETHERNET ? kEthernet : a->Type == IF_TYPE_IEEE80211 ? kWireless : kNone;
      if (a->AdapterName == wlan)
        code = kWireless;
      else if (IsDesktopLink(a->AdapterName))
        code = kActiveSync;
    }
    best = std::min(best, code);
  }
  return best;
}

IQelText* ConnectionTypeName(uint32_t code) {
  return code <= kNone ? CQelCountedText::Create(kNames[code]) : nullptr;
}

bool AdapterAddress(const char16_t* name, uint8_t* mac) {
  const AdapterList list = ReadAdapters();
  if (!list) return false;
  for (const ce::IP_ADAPTER_INFO* a = list.first(); a; a = a->Next) {
    std::u16string wide = ceutil::FromAnsi(a->AdapterName);
    if (wide.size() > 131) wide.resize(131);
    if (ceutil::EqualNoCase(wide, name)) {
      std::memcpy(mac, a->Address, 6);
      return true;
    }
  }
  return false;
}

}  // namespace qel
