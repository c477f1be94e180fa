// The host client's side of the contract: the service registry, the
// registrar, and the registries the module adds its factories, handlers and
// notifiers to. Each records what it is given, in order, with one counted
// reference per object it keeps.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "application_service.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "qel/object.h"
#include "qelcommon/ref.h"

namespace qelhost {

using qel::Ref;

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

// Safe to use from several threads: entries never move once added, so the
// lists handed out stay valid until Clear, which the host calls only when the
// module is done.
class Registrar final : public IQelRegistrar {
 public:
  bool AddCommand(const char16_t* code, QelCommandHandler handler, int32_t flag, int32_t timeout,
                  IQelService* context, QelArgumentKindFn kinds) override;
  bool AddService(IQelService* service, GUID iid) override;
  bool AddProperty(const char16_t* name, QelPropertyFn getter, QelPropertyFn setter, IQelService* context,
                   int32_t zero) override;

  template <class T>
  using List = std::vector<std::reference_wrapper<const T>>;
  // What has been registered so far, in registration order.
  List<RegisteredService> services() const { return Snapshot(services_); }
  List<RegisteredCommand> commands() const { return Snapshot(commands_); }
  List<RegisteredProperty> properties() const { return Snapshot(properties_); }

  const RegisteredProperty* FindProperty(std::u16string_view name) const;
  void Clear();

 private:
  template <class T>
  List<T> Snapshot(const std::deque<T>& entries) const {
    std::lock_guard lock(mu_);
    return List<T>(entries.begin(), entries.end());
  }

  mutable std::mutex mu_;
  std::deque<RegisteredService> services_;
  std::deque<RegisteredCommand> commands_;
  std::deque<RegisteredProperty> properties_;
};

// What the module adds to a host registry, taken from any thread: a copy is
// read, never the list itself.
template <class T>
class LockedList {
 public:
  void Add(T item) {
    std::lock_guard lock(mu_);
    items_.push_back(std::move(item));
  }
  // Adds the item unless an equal one is there; false when it was.
  bool AddOnce(T item) {
    std::lock_guard lock(mu_);
    if (std::find(items_.begin(), items_.end(), item) != items_.end()) return false;
    items_.push_back(std::move(item));
    return true;
  }
  std::vector<T> Snapshot() const {
    std::lock_guard lock(mu_);
    return items_;
  }
  void Clear() {
    std::vector<T> gone;
    std::lock_guard lock(mu_);
    gone.swap(items_);
  }

 private:
  mutable std::mutex mu_;
  std::vector<T> items_;
};

class StreamRegistry final : public qel::CQelObject<IQelStreamRegistry, qel::IID_QELSTREAMREGISTRY> {
 public:
  // A factory added again (a second Register) is kept once.
  bool AddStreamFactory(QelStreamFactory factory) override;
  // The first stream a factory makes for the type name, or null.
  IQelStream* MakeStream(const char16_t* type) const;
  LockedList<QelStreamFactory> factories;
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
  LockedList<RegisteredFileHandler> handlers;
};

struct RegisteredNotifier {
  std::u16string name;
  Ref<IQelNotifier> notifier;
};

class NotifierList final : public qel::VirtuallyCounted<IQelNotifierList> {
 public:
  bool AddNotifier(const char16_t* name, IQelNotifier* notifier) override;
  LockedList<RegisteredNotifier> notifiers;
};

// Found under IID_QELNOTIFIERREGISTRY; hands out the notifier list.
class NotifierRegistry final : public qel::CQelObject<IQelService, qel::IID_QELNOTIFIERREGISTRY> {
 public:
  NotifierRegistry();
  bool GetInterface(GUID iid, void** out) override;
  NotifierList& list() { return *list_.get(); }

 private:
  Ref<NotifierList> list_;
};

// QueryService over the host's own providers and the services the module registered.
class ServiceRegistry final : public IQelServiceRegistry {
 public:
  ServiceRegistry();
  ~ServiceRegistry();
  IQelService* QueryService(GUID iid) override;

  void Offer(GUID iid, IQelService* provider);  // takes a reference
  void Clear();

  StreamRegistry& streams() { return *streams_.get(); }
  FileHandlerRegistry& fileHandlers() { return *fileHandlers_.get(); }
  NotifierRegistry& notifiers() { return *notifiers_.get(); }
  ApplicationService& application() { return application_->service(); }

 private:
  Ref<StreamRegistry> streams_;
  Ref<FileHandlerRegistry> fileHandlers_;
  Ref<NotifierRegistry> notifiers_;
  Ref<ApplicationServiceProvider> application_;
  std::vector<RegisteredService> offered_;
  std::mutex mu_;  // hosts run commands on several threads
};

}  // namespace qelhost
