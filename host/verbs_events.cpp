#include "verbs_events.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include <nlohmann/json.hpp>

#include "ce/sim/control.h"
#include "ceutil/text.h"
#include "qel/guids.h"
#include "qel/power_events.h"

namespace qelhost {
namespace {

using json = nlohmann::ordered_json;

sigset_t EndSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Prints event lines from any thread, whole, and counts them.
class Printer {
 public:
  explicit Printer(const Output& o) : o_(o) {}
  void Print(const json& line) {
    std::lock_guard lock(mu_);
    o_.out << line.dump() << std::endl;
    ++printed_;
  }
  long printed() const { return printed_.load(); }

 private:
  const Output& o_;
  std::mutex mu_;
  std::atomic<long> printed_{0};
};

// Until the bounds are reached or an end signal comes.
void Follow(const Printer& printer, const Bounds& bounds) {
  const sigset_t set = EndSignals();
  const auto start = std::chrono::steady_clock::now();
  while (true) {
    if (bounds.count > 0 && printer.printed() >= bounds.count) return;
    if (bounds.seconds > 0 &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= bounds.seconds)
      return;
    timespec tick{0, 50 * 1000 * 1000};
    if (::sigtimedwait(&set, nullptr, &tick) > 0) return;
  }
}

json Event(const char* service, const char* event) { return {{"service", service}, {"event", event}}; }

class PowerListener final : public IQelPowerEventListener, public IQelWakeUpListener {
 public:
  explicit PowerListener(Printer& p) : p_(p) {}
  void OnPowerStatusChange() override { p_.Print(Event("power", "OnPowerStatusChange")); }
  void OnResume() override { p_.Print(Event("power", "OnResume")); }
  void OnPowerOn() override { p_.Print(Event("power", "OnPowerOn")); }
  void OnSuspend() override { p_.Print(Event("power", "OnSuspend")); }
  void OnWakeUp() override { p_.Print(Event("wakeup", "OnWakeUp")); }

 private:
  Printer& p_;
};

class ChangePrinter final : public IQelNotifyCallback {
 public:
  explicit ChangePrinter(Printer& p) : p_(p) {}
  bool OnChange(IQelText* name, int32_t, int32_t) override {
    p_.Print({{"watch", ceutil::ToUtf8({name->Chars(), name->Length()})}, {"event", "changed"}});
    return true;  // told: nothing is left flagged
  }

 private:
  Printer& p_;
};

// A counted interface of the module's services, or null.
template <class T>
T* Interface(PluginHost& host, const GUID& iid) {
  IQelService* provider = host.registry().QueryService(iid);
  void* out = nullptr;
  return provider && provider->GetInterface(iid, &out) ? static_cast<T*>(out) : nullptr;
}

}  // namespace

void HoldEndSignals() {
  const sigset_t set = EndSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int FollowEvents(PluginHost& host, const Bounds& bounds, const Output& o) {
  auto* power = Interface<IQelPowerEventService>(host, qel::IID_QELPOWEREVENTSERVICE);
  auto* wakeup = Interface<IQelWakeUpService>(host, qel::IID_QELWAKEUPSERVICE);
  if (!power || !wakeup) {
    o.err << "qelhost: the module registered no " << (power ? "wake-up" : "power event") << " service\n";
    if (power) power->Release();
    if (wakeup) wakeup->Release();
    return kFailed;
  }
  Printer printer(o);
  PowerListener listener(printer);
  power->AddListener(&listener);
  wakeup->AddListener(&listener);
  o.err << "qelhost: following power events and wake-ups" << std::endl;
  Follow(printer, bounds);
  wakeup->RemoveListener(&listener);
  power->RemoveListener(&listener);
  wakeup->Release();
  power->Release();
  return kOk;
}

int WatchFolder(PluginHost& host, const std::string& name, const std::string& path, const Bounds& bounds,
                const Output& o) {
  IQelNotifier* fs = nullptr;
  for (const RegisteredNotifier& n : host.registry().notifiers().list().notifiers)
    if (n.name == u"FS") fs = n.notifier.get();
  if (!fs) {
    o.err << "qelhost: the module added no \"FS\" notifier\n";
    return kFailed;
  }
  const std::u16string wideName = ceutil::FromUtf8(name), widePath = ceutil::FromUtf8(path);
  if (!fs->Watch(0, wideName.c_str(), widePath.c_str())) {
    o.err << "qelhost: cannot watch '" << path << "': its folder does not exist on the terminal\n";
    return kFailed;
  }
  Printer printer(o);
  ChangePrinter callback(printer);
  fs->Attach(wideName.c_str(), &callback);
  o.err << "qelhost: watching " << path << std::endl;
  Follow(printer, bounds);
  fs->DetachAll(&callback);
  fs->Unwatch(0);
  return kOk;
}

int DeliverPowerEvent(const std::string& which, const Output& o) {
  std::string error;
  bool ok = false;
  if (which == "suspend")
    ok = ce::sim::Suspend(&error);
  else if (which == "resume")
    ok = ce::sim::Resume(&error);
  else if (which == "power-status")
    ok = ce::sim::PowerStatusChanged(&error);
  else if (which == "wakeup")
    ok = ce::sim::WakeUp(&error);
  else {
    o.err << "qelhost: unknown power event '" << which << "'\n";
    return kUsage;
  }
  if (!ok) {
    o.err << "qelhost: " << error << "\n";
    return kFailed;
  }
  return kOk;
}

}  // namespace qelhost
