// Loads the module by path and drives its life: RegisterService, Bind of
// every registered service, Register, and on shutdown UnRegister, the release
// of the host's own references, and the unloading of the module.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "host_objects.h"
#include "main_window.h"
#include "module_library.h"
#include "qel/exports.h"

namespace qelhost {

// The outcome of reading one property.
struct PropertyReading {
  bool ok = false;
  QelKind kind = QelKind::Null;
  std::string text;  // UTF-8 of the value's own text
};

class PluginHost {
 public:
  PluginHost();
  ~PluginHost();  // Shutdown()
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Loads the module and resolves the six exports; error names the file and what failed.
  bool Load(const std::filesystem::path& module, std::string* error);
  // Opens the main window, then RegisterService, offer the services back,
  // Bind each service, Register.
  void Start();
  void Shutdown();

  PropertyReading Read(const RegisteredProperty& property);
  // Writes text as a value of the given kind. False with error when the text
  // is no such value; *ok is the setter's result.
  bool Write(const RegisteredProperty& property, const std::string& text, QelKind kind, bool* ok,
             std::string* error);

  Registrar& registrar() { return registrar_; }
  ServiceRegistry& registry() { return registry_; }
  const QelTextExportFn* textExports() const { return text_; }
  bool started() const { return started_; }
  // qelhost's main window, open while the module is started (when the terminal allows it).
  MainWindow& mainWindow() { return mainWindow_; }

 private:
  MainWindow mainWindow_;  // first: what the module holds of it goes before it
  Registrar registrar_;
  ServiceRegistry registry_;
  std::unique_ptr<ModuleLibrary> library_;
  QelRegisterFn register_ = nullptr;
  QelRegisterServiceFn registerService_ = nullptr;
  QelUnRegisterFn unregister_ = nullptr;
  QelTextExportFn text_[3] = {};  // GetESN, GetUSN, GetQELPlatform
  bool started_ = false;
};

}  // namespace qelhost
