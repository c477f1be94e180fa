// Host-side fakes for driving the module's entry points in-process: a registrar
// that records every call in order, a service registry whose providers are
// chosen by the test, and providers that log each release into a shared log,
// so that orders and reference counts can be checked.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "qel/guids.h"
#include "qel/host.h"
#include "qelcommon/ref.h"

namespace qeltest {

using qel::Ref;

// Entries appended from any thread; read once the threads are done.
class CallLog {
 public:
  void Add(std::string entry) {
    std::lock_guard lock(mu_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> Entries() const {
    std::lock_guard lock(mu_);
    return entries_;
  }
  void Clear() {
    std::lock_guard lock(mu_);
    entries_.clear();
  }

 private:
  mutable std::mutex mu_;
  std::vector<std::string> entries_;
};

enum class Op { AddCommand, AddService, AddProperty };

struct RegistrarCall {
  Op op;
  std::u16string name;  // command code or property name
  GUID iid{};           // AddService
  QelPropertyFn getter = nullptr;
  QelPropertyFn setter = nullptr;
  int32_t last = -1;
  IQelService* object = nullptr;  // the service, or the context as passed
};

// Records every call; takes one reference per object it is given, as a host
// does, and gives them back in call order on ReleaseAll or destruction.
class RecordingRegistrar final : public IQelRegistrar {
 public:
  RecordingRegistrar() = default;
  RecordingRegistrar(const RecordingRegistrar&) = delete;
  RecordingRegistrar& operator=(const RecordingRegistrar&) = delete;
  ~RecordingRegistrar() { ReleaseAll(); }

  bool AddCommand(const char16_t* code, QelCommandHandler, int32_t, int32_t, IQelService* context,
                  QelArgumentKindFn) override {
    calls.push_back({.op = Op::AddCommand, .name = code ? code : u"", .object = Hold(context)});
    return true;
  }
  bool AddService(IQelService* service, GUID iid) override {
    calls.push_back({.op = Op::AddService, .iid = iid, .object = Hold(service)});
    return true;
  }
  bool AddProperty(const char16_t* name, QelPropertyFn getter, QelPropertyFn setter, IQelService* context,
                   int32_t zero) override {
    calls.push_back({.op = Op::AddProperty,
                     .name = name ? name : u"",
                     .getter = getter,
                     .setter = setter,
                     .last = zero,
                     .object = Hold(context)});
    return true;
  }

  const RegistrarCall* Property(std::u16string_view name) const {
    for (const auto& c : calls)
      if (c.op == Op::AddProperty && c.name == name) return &c;
    return nullptr;
  }

  // Drops every reference taken, in call order; the results of each Release.
  std::vector<int32_t> ReleaseAll() {
    std::vector<int32_t> results;
    for (IQelService* s : held_) results.push_back(s->Release());
    held_.clear();
    return results;
  }

  std::vector<RegistrarCall> calls;

 private:
  IQelService* Hold(IQelService* p) {
    if (p) {
      p->AddRef();
      held_.push_back(p);
    }
    return p;
  }
  std::vector<IQelService*> held_;
};

// QueryService over providers the test offers; logs every GUID asked for.
class FakeServiceRegistry final : public IQelServiceRegistry {
 public:
  IQelService* QueryService(GUID iid) override {
    queries.push_back(iid);
    for (const auto& [offered, provider] : offered_)
      if (offered == iid) return provider.get();
    return nullptr;
  }
  void Offer(GUID iid, IQelService* provider) {
    offered_.emplace_back(iid, Ref<IQelService>::Share(provider));
  }

  std::vector<GUID> queries;

 private:
  std::vector<std::pair<GUID, Ref<IQelService>>> offered_;
};

// A service-shaped provider answering one GUID with itself. Each Release is
// logged as "release <name>".
template <class Interface = IQelService>
class ProbeProvider : public Interface, public CQelRefCounted {
 public:
  ProbeProvider(GUID iid, std::string name, CallLog* log) : iid_(iid), name_(std::move(name)), log_(log) {}

  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override {
    if (log_) log_->Add("release " + name_);
    return CQelRefCounted::Release();
  }
  bool GetInterface(GUID iid, void** out) override {
    asked.fetch_add(1);
    if (failing || !out || iid != iid_) return false;
    if (beforeAnswer) beforeAnswer();
    *out = static_cast<Interface*>(this);
    AddRef();
    return true;
  }

  bool failing = false;
  std::function<void()> beforeAnswer;  // runs inside a successful GetInterface
  std::atomic<int> asked{0};

 private:
  GUID iid_;
  std::string name_;
  CallLog* log_;
};

class ProbeStreamRegistry final : public ProbeProvider<IQelStreamRegistry> {
 public:
  using ProbeProvider::ProbeProvider;
  bool AddStreamFactory(QelStreamFactory) override { return true; }
};

// A host interface that counts through the virtual base (settings, the unnamed
// ones), with operations of its own. Only a release through the counted base
// reaches Release and is logged; one made through the interface's own table
// calls something else (an operation, which logs "wrong slot", or worse).
template <class Base>
class ProbeOperations;
template <>
class ProbeOperations<IQelSettingService> : public qel::VirtuallyCounted<IQelSettingService> {
 protected:
  virtual void Wrong() = 0;
  bool Set(IQelText*, IQelText*, IQelValue*) override { return Wrong(), false; }
  bool Get(IQelText*, IQelText*, IQelValue*) override { return Wrong(), false; }
};
template <>
class ProbeOperations<IQelUnnamedHostService> : public qel::VirtuallyCounted<IQelUnnamedHostService> {
 protected:
  virtual void Wrong() = 0;
  void Reserved0() override { Wrong(); }
};
template <>
class ProbeOperations<IQelApplicationService> : public qel::VirtuallyCounted<IQelApplicationService> {
 protected:
  virtual void Wrong() = 0;
  void NotifyForeground(IQelText*, int32_t, int32_t) override { Wrong(); }
  void NotifyBackground(IQelText*, int32_t, int32_t) override { Wrong(); }
  void Reserved2() override { Wrong(); }
  void* GetStopHandle() override { return Wrong(), nullptr; }
};

template <class Base>
class ProbeVirtualBase final : public ProbeOperations<Base> {
 public:
  ProbeVirtualBase(std::string name, CallLog* log) : name_(std::move(name)), log_(log) {}
  void Wrong() override { log_->Add("wrong slot of " + name_); }
  int32_t Release() override {
    log_->Add("release " + name_);
    return CQelRefCounted::Release();
  }

 private:
  std::string name_;
  CallLog* log_;
};

// The host's window service: released through its slot 3, slots 0 to 2 are not
// to be called.
class ProbeWindow final : public IQelWindowService {
 public:
  explicit ProbeWindow(CallLog* log) : log_(log) {}
  void Reserved0() override { log_->Add("wrong slot 0 of window"); }
  void Reserved1() override { log_->Add("wrong slot 1 of window"); }
  void Reserved2() override { log_->Add("wrong slot 2 of window"); }
  int32_t Release() override {
    log_->Add("release window");
    return --count;
  }
  void* GetWindowHandle() override { return this; }
  std::atomic<int32_t> count{1};

 private:
  CallLog* log_;
};

// The provider a registry returns for a host interface that is not itself a
// service: GetInterface hands out what `handOut` gives (with a reference), and
// fails when that is null.
class ForwardingProvider final : public IQelService, public CQelRefCounted {
 public:
  ForwardingProvider(GUID iid, std::function<void*()> handOut) : iid_(iid), handOut_(std::move(handOut)) {}
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }
  bool GetInterface(GUID iid, void** out) override {
    if (!out || iid != iid_) return false;
    void* p = handOut_();
    if (!p) return false;
    *out = p;
    return true;
  }

 private:
  GUID iid_;
  std::function<void*()> handOut_;
};

}  // namespace qeltest
