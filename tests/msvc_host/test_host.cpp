// A host client compiled in Microsoft's object layout (clang for
// x86_64-pc-windows-msvc, no C runtime): it loads the x86-64 module, runs
// RegisterService and Register with host objects of its own, reads every
// property, drives one stream of each type through the slots whose layout
// differs between the compilers, runs UnRegister and releases everything.
// Exit 0 only when every call went through and every reference it handed
// out came back.
//
// Usage: msvc_host.exe [module path]   (default QelHal_HON2.mpi)
#include "qel/exports.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "qel/stream.h"
#include "runtime.h"

using msvchost::out;
using msvchost::Text;

namespace {

// Problems found; the exit status.
int g_failures = 0;
void Fail(const char* what) {
  ++g_failures;
  out << "FAIL: " << what << "\n";
}

// ---------------------------------------------------------------- host objects

// Every counted host object is listed, so that its count can be checked at
// the end: the host holds one reference, and the module must have given back
// every other one.
class Tracked;
constexpr int kMaxTracked = 32;
Tracked* g_tracked[kMaxTracked];
int g_trackedCount = 0;
int g_alive = 0;

class Tracked {
 public:
  explicit Tracked(const char* name) : name_(name) {
    ++g_alive;
    if (g_trackedCount < kMaxTracked) g_tracked[g_trackedCount++] = this;
  }
  virtual ~Tracked() { --g_alive; }
  virtual CQelRefCounted* Counter() = 0;
  const char* name() const { return name_; }

 private:
  const char* name_;
};

template <class Interface>
class HostProvider : public Interface, public CQelRefCounted, public Tracked {
 public:
  HostProvider(const GUID& iid, const char* name) : Tracked(name), iid_(iid) {}
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }
  bool GetInterface(GUID iid, void** out) override {
    if (!out || iid != iid_) return false;
    *out = static_cast<Interface*>(this);
    AddRef();
    return true;
  }
  CQelRefCounted* Counter() override { return this; }

 protected:
  GUID iid_;
};

class StreamRegistry final : public HostProvider<IQelStreamRegistry> {
 public:
  StreamRegistry() : HostProvider(qel::IID_QELSTREAMREGISTRY, "stream registry") {}
  bool AddStreamFactory(QelStreamFactory factory) override {
    if (!factory || count >= 8) return false;
    factories[count++] = factory;
    return true;
  }
  QelStreamFactory factories[8] = {};
  int count = 0;
};

class FileHandlerRegistry final : public HostProvider<IQelFileHandlerRegistry> {
 public:
  FileHandlerRegistry() : HostProvider(qel::IID_QELFILEHANDLERREGISTRY, "file handler registry") {}
  bool AddFileHandler(const char16_t* pattern, QelFileHandler handler, int32_t) override {
    if (!pattern || !handler) return false;
    out << "  file handler for " << pattern << "\n";
    ++count;
    return true;
  }
  int count = 0;
};

// Interfaces counted through the virtual base: this compiler lays them out
// itself, vbptr and virtual-base table included.
template <class Interface>
class VirtualBaseObject : public qel::VirtuallyCounted<Interface>, public Tracked {
 public:
  explicit VirtualBaseObject(const char* name) : Tracked(name) {}
  CQelRefCounted* Counter() override { return qel::Counted(static_cast<Interface*>(this)); }
};

class NotifierList final : public VirtualBaseObject<IQelNotifierList> {
 public:
  NotifierList() : VirtualBaseObject("notifier list") {}
  ~NotifierList() override { Clear(); }
  bool AddNotifier(const char16_t* name, IQelNotifier* notifier) override {
    if (!name || !notifier || count >= 4) return false;
    out << "  notifier " << name << "\n";
    notifier->AddRef();
    notifiers[count++] = notifier;
    return true;
  }
  void Clear() {
    for (int i = 0; i < count; ++i) notifiers[i]->Release();
    count = 0;
  }
  IQelNotifier* notifiers[4] = {};
  int count = 0;
};

class Settings final : public VirtualBaseObject<IQelSettingService> {
 public:
  Settings() : VirtualBaseObject("settings") {}
  // This host keeps no settings: nothing is there to read, nothing is kept.
  bool Set(IQelText*, IQelText*, IQelValue*) override { return false; }
  bool Get(IQelText*, IQelText*, IQelValue*) override { return false; }
};

class Unnamed final : public VirtualBaseObject<IQelUnnamedHostService> {
 public:
  explicit Unnamed(const char* name) : VirtualBaseObject(name) {}
};

class Application final : public VirtualBaseObject<IQelApplicationService> {
 public:
  Application() : VirtualBaseObject("application service"), stop_(CreateEventW(nullptr, 1, 0, nullptr)) {}
  ~Application() override {
    if (stop_) CloseHandle(stop_);
  }
  void NotifyForeground(IQelText*, int32_t, int32_t) override {}
  void NotifyBackground(IQelText*, int32_t, int32_t) override {}
  void* GetStopHandle() override { return stop_; }

 private:
  HANDLE stop_;
};

// A provider that hands out an object counted through the virtual base.
template <class Interface, class Object>
class VirtualBaseProvider final : public HostProvider<IQelService> {
 public:
  VirtualBaseProvider(const GUID& iid, const char* name, Object* object)
      : HostProvider(iid, name), object_(object) {}
  ~VirtualBaseProvider() override { qel::Counted(static_cast<Interface*>(object_))->Release(); }
  bool GetInterface(GUID iid, void** out) override {
    if (!out || iid != iid_) return false;
    Interface* handed = object_;
    qel::Counted(handed)->AddRef();
    *out = handed;
    return true;
  }

 private:
  Object* object_;  // counted
};

// ------------------------------------------------ what the module registers

struct ModuleService {
  IQelService* service;
  GUID iid;
};
struct Property {
  Text name;
  QelPropertyFn getter;
  IQelService* context;
};

constexpr int kMaxServices = 16;
constexpr int kMaxProperties = 128;
constexpr int kMaxContexts = 128;

class Registrar final : public IQelRegistrar {
 public:
  ~Registrar() { Drop(); }
  bool AddCommand(const char16_t* code, QelCommandHandler handler, int32_t, int32_t, IQelService* context,
                  QelArgumentKindFn) override {
    if (!code || !handler) return false;
    ++commands;
    Hold(context);
    return true;
  }
  bool AddService(IQelService* service, GUID iid) override {
    if (!service || services_ >= kMaxServices) return false;
    service->AddRef();
    services[services_++] = {service, iid};
    return true;
  }
  bool AddProperty(const char16_t* name, QelPropertyFn getter, QelPropertyFn, IQelService* context,
                   int32_t) override {
    if (!name || !getter || properties_ >= kMaxProperties) return false;
    Property& p = properties[properties_++];
    p.name.AssignZ(name);
    p.getter = getter;
    p.context = context;
    Hold(context);
    return true;
  }

  IQelService* Find(const GUID& iid) const {
    for (int i = 0; i < services_; ++i)
      if (services[i].iid == iid) return services[i].service;
    return nullptr;
  }
  // The references this registrar holds on a module object.
  int HeldOn(IQelService* s) const {
    int n = 0;
    for (int i = 0; i < services_; ++i) n += services[i].service == s;
    for (int i = 0; i < contexts_; ++i) n += contexts[i] == s;
    return n;
  }
  void Drop() {
    for (int i = 0; i < contexts_; ++i) contexts[i]->Release();
    for (int i = 0; i < services_; ++i) services[i].service->Release();
    contexts_ = services_ = 0;
  }
  int serviceCount() const { return services_; }
  int propertyCount() const { return properties_; }

  ModuleService services[kMaxServices] = {};
  Property properties[kMaxProperties];
  IQelService* contexts[kMaxContexts] = {};
  int commands = 0;

 private:
  void Hold(IQelService* context) {
    if (!context) return;
    if (contexts_ >= kMaxContexts) return Fail("more contexts than the registrar keeps");
    context->AddRef();
    contexts[contexts_++] = context;
  }
  int services_ = 0;
  int properties_ = 0;
  int contexts_ = 0;
};

// Finds the host's providers by the GUID asked for, then the services the
// module registered; anything else is not there.
class ServiceRegistry final : public IQelServiceRegistry {
 public:
  explicit ServiceRegistry(const Registrar& registrar) : registrar_(registrar) {}
  IQelService* QueryService(GUID iid) override {
    for (int i = 0; i < count_; ++i)
      if (*keys_[i] == iid) return providers_[i];
    if (IQelService* s = registrar_.Find(iid)) return s;
    ++missing;
    return nullptr;
  }
  void Offer(const GUID& key, IQelService* provider) {
    if (count_ < kMax) keys_[count_] = &key, providers_[count_++] = provider;
  }

  int missing = 0;

 private:
  static constexpr int kMax = 8;
  const GUID* keys_[kMax] = {};
  IQelService* providers_[kMax] = {};
  int count_ = 0;
  const Registrar& registrar_;
};

// ------------------------------------------------------------- host values

// The host's value object: keeps whatever the module stores, and hands it
// back only as the kind it holds.
class HostValue final : public IQelValue, public IQelText {
 public:
  int32_t IsEmpty() override {
    return kind_ == QelKind::Null || (kind_ == QelKind::String && !text_.length());
  }
  QelKind GetKind() override { return kind_; }
  bool GetString(IQelText** out) override {
    if (!out || kind_ != QelKind::String) return false;
    *out = this;
    return true;
  }
  bool GetChar(char* v) override { return Get(QelKind::Char, v, char(bits_)); }
  bool GetBool(bool* v) override { return Get(QelKind::Bool, v, bits_ != 0); }
  bool GetTriState(int32_t* v) override { return Get(QelKind::TriState, v, int32_t(bits_)); }
  bool GetDouble(double* v) override { return Get(QelKind::Double, v, double_); }
  bool GetInt32(int32_t* v) override { return Get(QelKind::Int32, v, int32_t(bits_)); }
  bool GetUInt32(uint32_t* v) override { return Get(QelKind::UInt32, v, uint32_t(bits_)); }
  bool GetInt64(int64_t* v) override { return Get(QelKind::Int64, v, int64_t(bits_)); }
  bool GetUInt64(uint64_t* v) override { return Get(QelKind::UInt64, v, bits_); }
  bool GetObject(IQelService**) override { return false; }
  bool SetObject(IQelService** inout) override {
    if (!inout) return false;
    Clear();
    if (*inout) (*inout)->Release(), *inout = nullptr, kind_ = QelKind::Object;
    return true;
  }
  bool Assign(IQelValue*) override { return false; }
  bool SetUInt64(uint32_t low, uint32_t high) override {
    return Set(QelKind::UInt64, uint64_t(high) << 32 | low);
  }
  bool SetInt64(uint32_t low, uint32_t high) override {
    return Set(QelKind::Int64, uint64_t(high) << 32 | low);
  }
  bool SetUInt32(uint32_t v) override { return Set(QelKind::UInt32, v); }
  bool SetInt32(int32_t v) override { return Set(QelKind::Int32, uint64_t(int64_t(v))); }
  bool SetDouble(double v) override {
    Set(QelKind::Double, 0);
    double_ = v;
    return true;
  }
  bool SetTriState(int32_t v) override { return Set(QelKind::TriState, uint64_t(int64_t(v))); }
  bool SetBool(bool v) override { return Set(QelKind::Bool, v); }
  bool SetChar(char v) override { return Set(QelKind::Char, uint8_t(v)); }
  bool SetText(IQelText* text) override { return text && SetString(text->Chars(), text->Length()); }
  bool SetString(const char16_t* s, uint32_t length) override {
    if (!s) return false;
    Clear();
    kind_ = QelKind::String;
    return text_.Assign(s, length);
  }
  bool SetStringZ(const char16_t* s) override { return s && SetString(s, msvchost::Length(s)); }
  bool Clear() override {
    kind_ = QelKind::Null;
    bits_ = 0;
    double_ = 0;
    text_.Assign(u"", 0);
    return true;
  }
  ~HostValue() override = default;

  uint32_t Length() const override { return text_.length(); }
  const char16_t* Chars() const override { return text_.chars(); }

  void Print() {
    switch (kind_) {
      case QelKind::Null:
        out << "(null)";
        break;
      case QelKind::String:
        out << "\"" << text_.chars() << "\"";
        break;
      case QelKind::Char:
        out << "char " << uint32_t(uint8_t(bits_));
        break;
      case QelKind::Bool:
        out << (bits_ ? "true" : "false");
        break;
      case QelKind::TriState:
        out << "tri-state " << int32_t(bits_);
        break;
      case QelKind::Double:
        out << double_;
        break;
      case QelKind::Int32:
        out << int32_t(bits_);
        break;
      case QelKind::UInt32:
        out << uint32_t(bits_);
        break;
      case QelKind::Int64:
        out << int64_t(bits_);
        break;
      case QelKind::UInt64:
        out << bits_;
        break;
      case QelKind::Object:
        out << "(object)";
        break;
      default:
        out << "(kind " << uint32_t(kind_) << ")";
        break;
    }
  }

 private:
  template <class T, class V>
  bool Get(QelKind kind, T* out, V v) {
    if (!out || kind_ != kind) return false;
    *out = T(v);
    return true;
  }
  bool Set(QelKind kind, uint64_t bits) {
    Clear();
    kind_ = kind;
    bits_ = bits;
    return true;
  }
  QelKind kind_ = QelKind::Null;
  uint64_t bits_ = 0;
  double double_ = 0;
  Text text_;
};

// ----------------------------------------------------------------- the run

struct Exports {
  QelRegisterFn registerFn;
  QelRegisterServiceFn registerService;
  QelUnRegisterFn unRegister;
  QelTextExportFn text[3];
};

bool Resolve(HMODULE module, Exports* e) {
  void* found[6];
  for (int i = 0; i < 6; ++i) {
    found[i] = GetProcAddress(module, kQelExportNames[i]);
    if (!found[i]) {
      out << "FAIL: the module does not export " << kQelExportNames[i] << "\n";
      ++g_failures;
      return false;
    }
  }
  e->registerFn = reinterpret_cast<QelRegisterFn>(found[0]);
  e->registerService = reinterpret_cast<QelRegisterServiceFn>(found[1]);
  e->unRegister = reinterpret_cast<QelUnRegisterFn>(found[2]);
  for (int i = 0; i < 3; ++i) e->text[i] = reinterpret_cast<QelTextExportFn>(found[3 + i]);
  return true;
}

void ReadTextExports(const Exports& e) {
  for (int i = 0; i < 3; ++i) {
    char16_t buffer[128] = {};
    const bool ok = e.text[i](buffer, 128);
    out << kQelExportNames[3 + i] << ": " << (ok ? "true " : "false ") << buffer << "\n";
  }
}

// Reads every property through its getter into a fresh host value.
void ReadProperties(const Registrar& r) {
  int succeeded = 0;
  for (int i = 0; i < r.propertyCount(); ++i) {
    const Property& p = r.properties[i];
    auto* value = new HostValue;
    const bool ok = p.getter(value, p.context);
    out << "  " << p.name.chars() << " = ";
    if (ok) {
      value->Print();
      ++succeeded;
    } else {
      out << "(getter failed)";
    }
    out << "\n";
    delete value;
  }
  out << "properties: " << r.propertyCount() << " read, " << succeeded << " succeeded\n";
}

// A stream seen with the deleting destructor the file and serial streams
// have after their interface's slots.
class IQelOwnedStream : public IQelStream {
 public:
  virtual ~IQelOwnedStream() = 0;  // slot 11
};
IQelOwnedStream::~IQelOwnedStream() = default;

IQelStream* MakeStream(const StreamRegistry& streams, const char16_t* type) {
  IQelStream* stream = nullptr;
  for (int i = 0; i < streams.count && !stream; ++i) streams.factories[i](type, &stream);
  return stream;
}

// The slots whose layout differs: a value the module made, deleted through
// its slot 26; file and serial streams deleted through slot 11.
void DriveStreams(const StreamRegistry& streams) {
  if (IQelStream* socket = MakeStream(streams, u"SOCKET")) {
    if (!socket->SetAddress(u"127.0.0.1:6012")) Fail("SOCKET SetAddress");
    IQelValue* address = socket->GetAddress();
    IQelText* text = nullptr;
    if (!address || !address->GetString(&text) || !text) {
      Fail("SOCKET GetAddress gave no text");
    } else {
      out << "  SOCKET address " << text->Chars() << "\n";
      Text expected;
      expected.AssignZ(u"127.0.0.1:6012");
      if (!expected.Equals(text->Chars())) Fail("SOCKET address read back differs");
    }
    delete address;  // the module's value, through its slot 26
    socket->Destroy();
  } else {
    Fail("no SOCKET stream");
  }
  const char16_t* const owned[] = {u"FILE", u"COM1:"};
  for (const char16_t* type : owned) {
    IQelStream* stream = MakeStream(streams, type);
    if (!stream) {
      out << "  no " << type << " stream\n";
      Fail("a stream type the module registers is missing");
      continue;
    }
    out << "  " << type << " stream made, connected " << (stream->IsConnected() ? "yes" : "no") << "\n";
    delete static_cast<IQelOwnedStream*>(stream);  // slot 11
  }
}

// The module's services, as the registrar holds them: after UnRegister the
// module keeps none of the references it took on them itself, save those
// its HAL event handler holds on its sources.
void CheckModuleCounts(const Registrar& r) {
  for (int i = 0; i < r.serviceCount(); ++i) {
    IQelService* s = r.services[i].service;
    s->AddRef();
    const int32_t count = s->Release();
    const int held = r.HeldOn(s);
    out << "  module service " << i + 1 << ": count " << count << ", registrar holds " << held << "\n";
    if (count < held) Fail("a module service has fewer references than the registrar holds");
  }
}

// Every host object: the host's own reference and no other.
void CheckHostCounts() {
  for (int i = 0; i < g_trackedCount; ++i) {
    const int32_t count = g_tracked[i]->Counter()->RefCount();
    out << "  " << g_tracked[i]->name() << ": count " << count << "\n";
    if (count != 1) Fail("a host object's references did not all come back");
  }
}

const wchar_t* ModulePath() {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != L' ') ++p;
  }
  while (*p == L' ') ++p;
  return *p ? p : L"QelHal_HON2.mpi";
}

int Run() {
  const wchar_t* path = ModulePath();
  HMODULE module = LoadLibraryW(path);
  if (!module) {
    out << "FAIL: LoadLibraryW: error " << GetLastError() << "\n";
    return 2;
  }
  Exports e{};
  if (!Resolve(module, &e)) return 2;
  ReadTextExports(e);

  auto* streams = new StreamRegistry;
  auto* handlers = new FileHandlerRegistry;
  auto* list = new NotifierList;
  auto* settings = new Settings;
  auto* unnamed1 = new Unnamed("unnamed 1");
  auto* unnamed2 = new Unnamed("unnamed 2");
  auto* application = new Application;
  // Found under the notifier registry's GUID; hands out the list.
  auto* notifierRegistry = new VirtualBaseProvider<IQelNotifierList, NotifierList>(qel::IID_QELNOTIFIERLIST,
                                                                                   "notifier registry", list);
  auto* settingsProvider = new VirtualBaseProvider<IQelSettingService, Settings>(
      qel::IID_QELSETTINGSERVICE, "settings provider", settings);
  auto* unnamed1Provider = new VirtualBaseProvider<IQelUnnamedHostService, Unnamed>(
      qel::IID_QELUNNAMED1, "unnamed 1 provider", unnamed1);
  auto* unnamed2Provider = new VirtualBaseProvider<IQelUnnamedHostService, Unnamed>(
      qel::IID_QELUNNAMED2, "unnamed 2 provider", unnamed2);
  auto* applicationProvider = new VirtualBaseProvider<IQelApplicationService, Application>(
      qel::IID_QELUNNAMED3, "application provider", application);

  auto* registrar = new Registrar;
  auto* registry = new ServiceRegistry(*registrar);
  IQelService* providers[] = {streams,          handlers,         notifierRegistry,   settingsProvider,
                              unnamed1Provider, unnamed2Provider, applicationProvider};
  registry->Offer(qel::IID_QELSTREAMREGISTRY, streams);
  registry->Offer(qel::IID_QELFILEHANDLERREGISTRY, handlers);
  registry->Offer(qel::IID_QELNOTIFIERREGISTRY, notifierRegistry);
  registry->Offer(qel::IID_QELSETTINGSERVICE, settingsProvider);
  registry->Offer(qel::IID_QELUNNAMED1, unnamed1Provider);
  registry->Offer(qel::IID_QELUNNAMED2, unnamed2Provider);
  registry->Offer(qel::IID_QELUNNAMED3, applicationProvider);

  const bool servicesRegistered = e.registerService(registrar);
  out << "RegisterService: " << (servicesRegistered ? "true" : "false") << "\n";
  out << "  " << registrar->serviceCount() << " services, " << registrar->commands << " commands, "
      << registrar->propertyCount() << " properties\n";
  const bool registered = e.registerFn(0, registry);
  out << "Register: " << (registered ? "true" : "false") << "\n";
  out << "  " << streams->count << " stream factories, " << list->count << " notifiers, " << handlers->count
      << " file handlers; " << registry->missing << " lookups answered \"not there\"\n";
  if (streams->count != 3) Fail("the module did not add three stream factories");
  if (list->count != 1) Fail("the module did not add its notifier through the virtual-base list");

  ReadProperties(*registrar);
  DriveStreams(*streams);

  const bool unregistered = e.unRegister();
  out << "UnRegister: " << (unregistered ? "true" : "false") << "\n";
  if (!servicesRegistered || !registered || !unregistered) Fail("a registration export returned false");
  CheckModuleCounts(*registrar);
  list->Clear();
  registrar->Drop();
  CheckHostCounts();

  delete registry;
  delete registrar;
  // The providers hold the one reference on the objects they hand out.
  for (IQelService* p : providers) p->Release();
  out << "host objects still alive: " << g_alive << "\n";
  if (g_alive != 0) Fail("host objects outlived the run");
  if (!FreeLibrary(module)) Fail("FreeLibrary");
  out << (g_failures ? "msvc-host: FAILED, " : "msvc-host: all right, ") << g_failures << " problems\n";
  return g_failures ? 1 : 0;
}

}  // namespace

extern "C" void HostMain() { ExitProcess(uint32_t(Run())); }
