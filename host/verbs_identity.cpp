// qelhost identity: the three text exports, called as a host client calls
// them, each with a fresh buffer.
#include <iomanip>
#include <nlohmann/json.hpp>

#include "ceutil/text.h"
#include "module_crash.h"
#include "verbs.h"

namespace qelhost {

int ShowIdentity(PluginHost& host, const Output& o) {
  constexpr const char* kNames[] = {"GetESN", "GetUSN", "GetQELPlatform"};
  constexpr uint32_t kCapacity = 128;
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  bool allOk = true;
  for (int i = 0; i < 3; ++i) {
    std::u16string buffer(kCapacity, u'\0');
    bool ok;
    {
      ModuleCall call(kNames[i]);
      ok = host.textExports()[i](buffer.data(), kCapacity);
    }
    allOk = allOk && ok;
    const std::string text = ceutil::ToUtf8(std::u16string_view(buffer.c_str()));
    if (o.json)
      all.push_back(ok ? nlohmann::ordered_json{{"export", kNames[i]}, {"ok", true}, {"text", text}}
                       : nlohmann::ordered_json{{"export", kNames[i]}, {"ok", false}});
    else
      o.out << std::left << std::setw(16) << kNames[i] << (ok ? text : "<returned false>") << "\n";
  }
  if (o.json) o.out << all.dump(2) << "\n";
  return allOk ? kOk : kFailed;
}

Verb IdentityVerb() {
  return MakeVerb("identity", "call the exports GetESN, GetUSN and GetQELPlatform and print what each wrote",
                  Needs::kModule, [](const VerbContext& c) { return ShowIdentity(*c.host, c.out); });
}

}  // namespace qelhost
