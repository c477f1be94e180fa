#include "terminal/network_properties.h"

#include <cstring>
#include <string>

#include "ce/registry.h"
#include "ceutil/text.h"
#include "core/module_slots.h"
#include "core/text_out.h"
#include "qel/counted_text.h"
#include "qel/terminal.h"
#include "qel/wlan.h"
#include "terminal/connection_type.h"

namespace qel {
namespace {

std::string Ansi(const char16_t* text, size_t limit) {
  std::string out = text ? ceutil::ToAnsi(text) : std::string();
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::u16string Widened(const char* text, size_t limit) {
  std::u16string out = ceutil::FromAnsi(text);
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::u16string HardwareAddress(const ce::IP_ADAPTER_INFO& a) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  for (ce::UINT i = 0; i < a.AddressLength && i < MAX_ADAPTER_ADDRESS_LENGTH; ++i) {
    if (i) out += u'-';
    out += kDigits[a.Address[i] >> 4];
    out += kDigits[a.Address[i] & 15];
  }
  return out.substr(0, 17);
}

IQelTerminalService* Terminal() { return SlotAs<IQelTerminalService>(Slot::Terminal); }

}  // namespace

int ResolveHost(const char16_t* node, const char16_t* service, const ce::ADDRINFOA* hints,
                ce::ADDRINFOA** result) {
  std::string name = Ansi(node, 1024);
  const std::string serviceText = Ansi(service, 31);
  const char* serviceArg = service ? serviceText.c_str() : nullptr;
  const bool given = !name.empty();
  if (!given) {
    char host[256] = {};
    if (ce::gethostname(host, sizeof host) == 0) name = host;
  }
  int error = ce::getaddrinfo(name.c_str(), serviceArg, hints, result);
  if (error != WSAEFAULT || !given) return error;
  // The static host table: HKLM\Comm\Tcpip\hosts\<name>, value "ipaddr".
  std::u16string key = u"\\Comm\\Tcpip\\hosts\\" + std::u16string(node);
  if (key.size() > 255) key.resize(255);
  ce::RegKey k;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return error;
  ce::IN_ADDR address{};
  ce::DWORD type = 0, size = sizeof address;
  if (ce::RegQueryValueExW(k.get(), u"ipaddr", nullptr, &type, reinterpret_cast<ce::BYTE*>(&address),
                           &size) == ERROR_SUCCESS &&
      type == REG_BINARY) {
    const std::string dotted = ce::inet_ntoa(address);
    error = ce::getaddrinfo(dotted.c_str(), serviceArg, hints, result);
  }
  return error;
}

bool GetIpV4(IQelValue* value, IQelService*) {
  if (!value) return false;
  ce::ADDRINFOA hints{};
  hints.ai_family = AF_INET;
  ce::ADDRINFOA* list = nullptr;
  if (ResolveHost(u"", nullptr, &hints, &list) != 0) return false;
  std::u16string text;
  for (const ce::ADDRINFOA* a = list; a; a = a->ai_next) {
    if (a->ai_family != AF_INET || !a->ai_addr) continue;
    if (!text.empty()) text += u';';
    text += ceutil::FromAnsi(ce::inet_ntoa(reinterpret_cast<const ce::SOCKADDR_IN*>(a->ai_addr)->sin_addr));
  }
  ce::freeaddrinfo(list);
  CQelCountedText* object = CQelCountedText::Create(text);
  if (!object) return false;
  const bool ok = value->SetText(object);
  object->Release();
  return ok;
}

std::u16string AdapterConfiguration(const char16_t* onlyName, bool* found) {
  *found = false;
  const AdapterList list = ReadAdapters();
  std::u16string text;
  if (!list) return text;
  for (const ce::IP_ADAPTER_INFO* a = list.first(); a; a = a->Next) {
    if (!IsConfigured(*a)) continue;
    const std::u16string name = Widened(a->AdapterName, onlyName ? 132 : 131);
    if (onlyName && !ceutil::EqualNoCase(name, onlyName)) continue;
    if (onlyName && *found) text += u';';
    text += name + u"," + Widened(a->IpAddressList.IpAddress.String, 15) + u"," +
            Widened(a->IpAddressList.IpMask.String, 15) + u"," +
            Widened(a->GatewayList.IpAddress.String, 15) + u"," + HardwareAddress(*a);
    *found = true;
    // Every adapter but the list's last is followed by ";", whether or not
    // anything comes after it.
    if (!onlyName && a->Next) text += u';';
  }
  return text;
}

bool GetAdaptersIpConfig(IQelValue* value, IQelService*) {
  if (!value) return false;
  bool found = false;
  const std::u16string text = AdapterConfiguration(nullptr, &found);
  return found && value->SetStringZ(text.c_str());
}

bool GetConnection(IQelValue* value, IQelService*) {
  if (!value) return false;
  bool answered = false;
  const AdapterList list = ReadAdapters(&answered);
  if (!answered) return false;
  bool any = false;
  for (const ce::IP_ADAPTER_INFO* a = list ? list.first() : nullptr; a; a = a->Next)
    any = any || IsConfigured(*a);
  return value->SetBool(any);
}

bool GetConnectionTypeProperty(IQelValue* value, IQelService*) {
  IQelTerminalService* terminal = Terminal();
  if (!value || !terminal) return false;
  IQelText* name = terminal->GetConnectionTypeName();
  if (!name) return false;
  const bool ok = value->SetText(name);
  ReleaseText(name);
  return ok;
}

bool GetConnectionLevel(IQelValue* value, IQelService*) {
  IQelTerminalService* terminal = Terminal();
  if (!value || !terminal) return false;
  auto* wlan = SlotAs<IQelWlanService>(Slot::Wlan);
  if (terminal->GetConnectionType() != 2 || !wlan) return false;
  const int16_t level = int16_t(wlan->GetSignalLevel());
  if (level < 0) return false;
  return value->SetInt32(level);
}

}  // namespace qel

namespace qel {

bool GetWlanIpConfig(IQelValue* value, IQelService* context) {
  auto* wlan = static_cast<IQelWlanService*>(context);
  if (!value || !wlan || !wlan->Open()) return false;
  const char16_t* name = wlan->GetAdapterName();
  if (!name) return false;
  bool found = false;
  const std::u16string text = AdapterConfiguration(name, &found);
  return found && value->SetStringZ(text.c_str());
}

}  // namespace qel
