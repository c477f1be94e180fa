// The host client's side of the contract: the service registry, the
// registrar, and the registries the module adds its factories, handlers and
// notifiers to. Each records what it is given, in order, with one counted
// reference per object it keeps.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "qel/guids.h"
#include "qel/host.h"
#include "qel/object.h"

namespace qelhost {

// A counted reference that the holder releases exactly once.
template <class T>
class Ref {
 public:
  Ref() = default;
  // Takes an extra reference on p.
  static Ref Share(T* p) {
    if (p) p->AddRef();
    return Ref(p);
  }
  // Adopts a reference the caller already owns.
  static Ref Adopt(T* p) { return Ref(p); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  ~Ref() { reset(); }
  void reset() {
    if (T* p = p_) {
      p_ = nullptr;
      p->Release();
    }
  }
  T* get() const { return p_; }

 private:
  explicit Ref(T* p) : p_(p) {}
  T* p_ = nullptr;
};

struct RegisteredService {
  GUID iid;
  Ref<IQelService> service;
};

struct RegisteredCommand {
  std::u16string code;
  QelCommandHandler handler;
  int32_t flag;
  int32_t timeout;
  Ref<IQelService> context;
  QelArgumentKindFn kinds;
};

struct RegisteredProperty {
  std::u16string name;
  QelPropertyFn getter;
  QelPropertyFn setter;
  Ref<IQelService> context;
  int32_t last;  // the fifth argument, 0 from this module
};

class Registrar final : public IQelRegistrar {
 public:
  bool AddCommand(const char16_t* code, QelCommandHandler handler, int32_t flag, int32_t timeout,
                  IQelService* context, QelArgumentKindFn kinds) override;
  bool AddService(IQelService* service, GUID iid) override;
  bool AddProperty(const char16_t* name, QelPropertyFn getter, QelPropertyFn setter,
                   IQelService* context, int32_t zero) override;

  std::vector<RegisteredService> services;
  std::vector<RegisteredCommand> commands;
  std::vector<RegisteredProperty> properties;

  const RegisteredProperty* FindProperty(std::u16string_view name) const;
  void Clear();
};

class StreamRegistry final : public qel::CQelObject<IQelStreamRegistry, qel::IID_QELSTREAMREGISTRY> {
 public:
  bool AddStreamFactory(QelStreamFactory factory) override;
  std::vector<QelStreamFactory> factories;
};

struct RegisteredFileHandler {
  std::u16string pattern;
  QelFileHandler handler;
  int32_t last;
};

class FileHandlerRegistry final
    : public qel::CQelObject<IQelFileHandlerRegistry, qel::IID_QELFILEHANDLERREGISTRY> {
 public:
  bool AddFileHandler(const char16_t* pattern, QelFileHandler handler, int32_t zero) override;
  std::vector<RegisteredFileHandler> handlers;
};

struct RegisteredNotifier {
  std::u16string name;
  Ref<IQelNotifier> notifier;
};

class NotifierList final : public IQelNotifierList {
 public:
  bool AddNotifier(const char16_t* name, IQelNotifier* notifier) override;
  std::vector<RegisteredNotifier> notifiers;
};

// Found under IID_QELNOTIFIERREGISTRY; hands out the notifier list.
class NotifierRegistry final : public qel::CQelObject<IQelService, qel::IID_QELNOTIFIERREGISTRY> {
 public:
  NotifierRegistry();
  ~NotifierRegistry() override;
  bool GetInterface(GUID iid, void** out) override;
  NotifierList& list() { return *list_; }

 private:
  NotifierList* list_;  // counted
};

// QueryService over the host's own providers and the services the module registered.
class ServiceRegistry final : public IQelServiceRegistry {
 public:
  ServiceRegistry();
  ~ServiceRegistry();
  IQelService* QueryService(GUID iid) override;

  void Offer(GUID iid, IQelService* provider);  // takes a reference
  void Clear();

  StreamRegistry& streams() { return *streams_; }
  FileHandlerRegistry& fileHandlers() { return *fileHandlers_; }
  NotifierRegistry& notifiers() { return *notifiers_; }

 private:
  StreamRegistry* streams_;
  FileHandlerRegistry* fileHandlers_;
  NotifierRegistry* notifiers_;
  std::vector<RegisteredService> offered_;
  std::mutex mu_;  // hosts run commands on several threads
};

}  // namespace qelhost
