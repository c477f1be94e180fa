#include "host_objects.h"

#include "host_services.h"

namespace qelhost {

bool Registrar::AddCommand(const char16_t* code, QelCommandHandler handler, int32_t flag, int32_t timeout,
                           IQelService* context, QelArgumentKindFn kinds) {
  if (!code || !handler) return false;
  std::lock_guard lock(mu_);
  commands_.push_back({code, handler, flag, timeout, Ref<IQelService>::Share(context), kinds});
  return true;
}

bool Registrar::AddService(IQelService* service, GUID iid) {
  if (!service) return false;
  std::lock_guard lock(mu_);
  services_.push_back({iid, Ref<IQelService>::Share(service)});
  return true;
}

bool Registrar::AddProperty(const char16_t* name, QelPropertyFn getter, QelPropertyFn setter,
                            IQelService* context, int32_t zero) {
  if (!name || !getter) return false;
  std::lock_guard lock(mu_);
  properties_.push_back({name, getter, setter, Ref<IQelService>::Share(context), zero});
  return true;
}

const RegisteredProperty* Registrar::FindProperty(std::u16string_view name) const {
  std::lock_guard lock(mu_);
  for (const auto& p : properties_)
    if (p.name == name) return &p;
  return nullptr;
}

void Registrar::Clear() {
  // Released outside the lock: a service's last release may call back.
  std::deque<RegisteredProperty> properties;
  std::deque<RegisteredCommand> commands;
  std::deque<RegisteredService> services;
  std::lock_guard lock(mu_);
  properties.swap(properties_);
  commands.swap(commands_);
  services.swap(services_);
}

bool StreamRegistry::AddStreamFactory(QelStreamFactory factory) {
  if (!factory) return false;
  factories.AddOnce(factory);
  return true;
}

IQelStream* StreamRegistry::MakeStream(const char16_t* type) const {
  IQelStream* stream = nullptr;
  for (QelStreamFactory factory : factories.Snapshot()) {
    factory(type, &stream);
    if (stream) break;
  }
  return stream;
}

bool FileHandlerRegistry::AddFileHandler(const char16_t* pattern, QelFileHandler handler, int32_t zero) {
  if (!pattern || !handler) return false;
  handlers.Add({pattern, handler, zero});
  return true;
}

bool NotifierList::AddNotifier(const char16_t* name, IQelNotifier* notifier) {
  if (!name || !notifier) return false;
  notifiers.Add({name, Ref<IQelNotifier>::Share(notifier)});
  return true;
}

NotifierRegistry::NotifierRegistry() : list_(Ref<NotifierList>::Adopt(new NotifierList)) {}

bool NotifierRegistry::GetInterface(GUID iid, void** out) {
  if (out && iid == qel::IID_QELNOTIFIERLIST) {
    list_->AddRef();
    *out = static_cast<IQelNotifierList*>(list_.get());
    return true;
  }
  return CQelObject::GetInterface(iid, out);
}

ServiceRegistry::ServiceRegistry()
    : streams_(Ref<StreamRegistry>::Adopt(new StreamRegistry)),
      fileHandlers_(Ref<FileHandlerRegistry>::Adopt(new FileHandlerRegistry)),
      notifiers_(Ref<NotifierRegistry>::Adopt(new NotifierRegistry)),
      application_(Ref<ApplicationServiceProvider>::Adopt(new ApplicationServiceProvider)) {
  // The host's own services, for the commands that use them.
  const Ref<IQelService> own[] = {
      Ref<IQelService>::Adopt(new FileSystem), Ref<IQelService>::Adopt(new FileLocation),
      Ref<IQelService>::Adopt(new FileService), Ref<IQelService>::Adopt(new SettingsProvider),
      Ref<IQelService>::Share(application_.get())};
  const GUID iids[] = {qel::IID_QELFILESYSTEMSERVICE, qel::IID_QELFILELOCATION, qel::IID_QELFILESERVICE,
                       qel::IID_QELSETTINGSERVICE, qel::IID_QELUNNAMED3};
  for (size_t i = 0; i < std::size(own); ++i) Offer(iids[i], own[i].get());
}

ServiceRegistry::~ServiceRegistry() { Clear(); }

IQelService* ServiceRegistry::QueryService(GUID iid) {
  std::lock_guard lock(mu_);
  if (iid == qel::IID_QELSTREAMREGISTRY) return streams_.get();
  if (iid == qel::IID_QELFILEHANDLERREGISTRY) return fileHandlers_.get();
  if (iid == qel::IID_QELNOTIFIERREGISTRY) return notifiers_.get();
  for (const auto& s : offered_)
    if (s.iid == iid) return s.service.get();
  return nullptr;
}

void ServiceRegistry::Offer(GUID iid, IQelService* provider) {
  std::lock_guard lock(mu_);
  offered_.push_back({iid, Ref<IQelService>::Share(provider)});
}

void ServiceRegistry::Clear() {
  std::lock_guard lock(mu_);
  offered_.clear();
  notifiers_->list().notifiers.Clear();
  fileHandlers_->handlers.Clear();
  streams_->factories.Clear();
}

}  // namespace qelhost
