#include "plugin_host.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ce/text.h"
#include "ceutil/text.h"
#include "module_crash.h"
#include "module_library.h"
#include "qelcommon/kind_names.h"
#include "qelcommon/value.h"
#include "value_text.h"

namespace qelhost {
namespace fs = std::filesystem;
PluginHost::PluginHost() = default;
PluginHost::~PluginHost() { Shutdown(); }

bool PluginHost::Load(const fs::path& given, std::string* error) {
  std::error_code ec;
  const fs::path module = given.empty() ? given : fs::absolute(given, ec);
  if (module.empty() || ec) {
    *error = given.string() + ": no such module file";
    return false;
  }
  auto lib = ModuleLibrary::Load(module, error);
  if (!lib) return false;
  std::array<void*, 6> found{};
  for (size_t i = 0; i < found.size(); ++i) {
    found[i] = lib->Find(kQelExportNames[i]);
    if (!found[i]) {
      *error = module.string() + ": does not export " + kQelExportNames[i];
      return false;
    }
  }
  register_ = reinterpret_cast<QelRegisterFn>(found[0]);
  registerService_ = reinterpret_cast<QelRegisterServiceFn>(found[1]);
  unregister_ = reinterpret_cast<QelUnRegisterFn>(found[2]);
  for (int i = 0; i < 3; ++i) text_[i] = reinterpret_cast<QelTextExportFn>(found[3 + i]);
  library_ = std::move(lib);
  return true;
}

void PluginHost::Start() {
  if (!library_ || started_) return;
  // The module finds the main window through the host's window service; a
  // terminal that refuses the window leaves that service out.
  if (mainWindow_.Open(WindowPlacement{}, nullptr))
    registry_.Offer(qel::IID_QELWINDOWSERVICE,
                    Ref<IQelService>::Adopt(new WindowServiceProvider(mainWindow_)).get());
  {
    ModuleCall call("RegisterService");
    registerService_(&registrar_);
  }
  {
    ModuleCall call("the services' GetInterface");
    for (const RegisteredService& s : registrar_.services()) registry_.Offer(s.iid, s.service.get());
  }
  // Services bind before Register: what they add to the HAL event handler
  // (the wake-up event) is then waited on from Register's restart of it.
  {
    ModuleCall call("the services' Bind");
    for (const RegisteredService& s : registrar_.services()) s.service.get()->Bind(&registry_);
  }
  ModuleCall call("Register");
  register_(0, &registry_);
  started_ = true;
}

void PluginHost::Shutdown() {
  if (started_) {
    ModuleCall call("UnRegister");
    unregister_();
  }
  started_ = false;
  // Releasing what the module handed over, and its own finalizers at unloading, run its code too.
  ModuleCall call("the release and unloading of the module");
  registry_.Clear();
  registrar_.Clear();
  library_.reset();
  mainWindow_.Close();
}

PropertyReading PluginHost::Read(const RegisteredProperty& property) {
  PropertyReading r;
  CQelValue value;
  // The text of the value may be the module's object: reading it is a call into the module too.
  ModuleCall call("the getter of", property.name.c_str());
  r.ok = property.getter(&value, property.context.get());
  if (!r.ok) return r;
  r.kind = value.GetKind();
  IQelText* text = nullptr;
  if (value.GetString(&text) && text) r.text = ceutil::ToUtf8({text->Chars(), text->Length()});
  return r;
}

bool PluginHost::Write(const RegisteredProperty& property, const std::string& text, QelKind kind, bool* ok,
                       std::string* error) {
  CQelValue value;
  if (!MakeValue(text, kind, &value)) {
    *error = "'" + text + "' is not a value of kind " + QelKindName(kind);
    return false;
  }
  ModuleCall call("the setter of", property.name.c_str());
  *ok = property.setter(&value, property.context.get());
  return true;
}

}  // namespace qelhost
