#include "verbs_events.h"

#include <signal.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <mutex>
#include <nlohmann/json.hpp>

#include "ce/files.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "ceutil/text.h"
#include "host_services.h"
#include "module_crash.h"
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

// Prints event lines from any thread, whole, and counts them. After a line
// fails to reach the output nothing more is written, and the reason is kept.
class Printer {
 public:
  explicit Printer(const Output& o) : o_(o) {}
  void Print(const json& line) {
    std::lock_guard lock(mu_);
    if (writeError_) return;
    errno = 0;
    o_.out << line.dump() << std::endl;
    if (o_.out)
      ++printed_;
    else
      writeError_ = errno ? errno : EIO;
  }
  long printed() const { return printed_.load(); }
  int writeError() const { return writeError_.load(); }

 private:
  const Output& o_;
  std::mutex mu_;
  std::atomic<long> printed_{0};
  std::atomic<int> writeError_{0};
};

enum class End { Done, OutputFailed, SourceLost };

// Until the bounds are reached, an end signal comes, the output fails or
// lost() says that nothing more can come.
template <class Lost>
End Follow(const Printer& printer, const Bounds& bounds, Lost&& lost) {
  const sigset_t set = EndSignals();
  const auto start = std::chrono::steady_clock::now();
  while (true) {
    if (printer.writeError()) return End::OutputFailed;
    if (bounds.count > 0 && printer.printed() >= bounds.count) return End::Done;
    if (lost()) return End::SourceLost;
    if (bounds.seconds > 0 &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= bounds.seconds)
      return End::Done;
    timespec tick{0, 50 * 1000 * 1000};
    if (::sigtimedwait(&set, nullptr, &tick) > 0) return End::Done;
  }
}

int ExitFor(End end, const Printer& printer, const Output& o) {
  if (end != End::OutputFailed) return end == End::Done ? kOk : kFailed;
  ReportOutputFailure(o.err, printer.writeError());
  return kOutputFailed;
}

// The folder the module watches for a path: the part before the first ";",
// resolved as this host resolves names, up to its last backslash.
std::u16string WatchedFolder(std::u16string_view path) {
  std::u16string p(path.substr(0, path.find(u';')));
  if (std::u16string resolved = ResolveName(p); !resolved.empty()) p = std::move(resolved);
  const size_t slash = p.rfind(u'\\');
  return slash == std::u16string::npos ? p : p.substr(0, slash);
}

// Learns when a watched folder goes away. A change notification belongs to
// the folder it was opened on: once that folder is deleted it cannot be
// re-armed, the module's watch can report nothing more, and a folder made
// again under the same name is another folder. This host's own notification
// on the folder fails to re-arm at the same point.
class FolderSentinel {
 public:
  explicit FolderSentinel(const std::u16string& folder)
      : handle_(ce::FindFirstChangeNotificationW(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_DIR_NAME)) {}

  bool Gone() {
    if (!handle_ || ce::WaitForSingleObject(handle_.get(), 0) != WAIT_OBJECT_0) return false;
    return !ce::FindNextChangeNotification(handle_.get());
  }

 private:
  ce::UniqueChangeNotification handle_;
};

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

bool AwaitEndSignal(long milliseconds) {
  const sigset_t set = EndSignals();
  timespec wait{milliseconds / 1000, milliseconds % 1000 * 1000 * 1000};
  return ::sigtimedwait(&set, nullptr, &wait) > 0;
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
  const End end = Follow(printer, bounds, [] { return false; });
  wakeup->RemoveListener(&listener);
  power->RemoveListener(&listener);
  wakeup->Release();
  power->Release();
  return ExitFor(end, printer, o);
}

int WatchFolder(PluginHost& host, const std::string& name, const std::string& path, const Bounds& bounds,
                const Output& o) {
  Ref<IQelNotifier> fs;  // held: the list is read as a copy
  for (const RegisteredNotifier& n : host.registry().notifiers().list().notifiers.Snapshot())
    if (n.name == u"FS") fs = n.notifier;
  if (!fs) {
    o.err << "qelhost: the module added no \"FS\" notifier\n";
    return kFailed;
  }
  const std::u16string wideName = ceutil::FromUtf8(name), widePath = ceutil::FromUtf8(path);
  const std::u16string folder = WatchedFolder(widePath);
  const std::string shownFolder = Printable(ceutil::ToUtf8(folder));
  FolderSentinel sentinel(folder);
  bool watching;
  {
    ModuleCall call("the FS notifier's Watch");
    watching = fs->Watch(0, wideName.c_str(), widePath.c_str());
  }
  if (!watching) {
    o.err << "qelhost: cannot watch '" << Printable(path) << "': ";
    // The module resolves names only through the host's file-location
    // service, which it takes when a command first needs it: before that it
    // watches the path as given.
    const std::u16string resolved = ResolveName(widePath.substr(0, widePath.find(u';')));
    const std::u16string asGiven = widePath.substr(0, widePath.find(u';'));
    if (folder.empty())
      o.err << "the folder watched is the part before the last backslash, and that is empty"
               " (end a folder's path with a backslash to watch it: '"
            << Printable(path) << "\\')\n";
    else if (!resolved.empty() && resolved != asGiven)
      o.err << "the module watches the path as given, and '" << Printable(ceutil::ToUtf8(asGiven))
            << "' is not a device path (it resolves <QEL>, <ADM> and bare names only once a command has "
               "taken the host's file-location service); watch '"
            << Printable(ceutil::ToUtf8(resolved)) << "'\n";
    else
      o.err << "its folder '" << shownFolder << "' does not exist on the terminal\n";
    return kFailed;
  }
  Printer printer(o);
  ChangePrinter callback(printer);
  {
    ModuleCall call("the FS notifier's Attach");
    fs->Attach(wideName.c_str(), &callback);
  }
  o.err << "qelhost: watching " << Printable(path) << std::endl;
  const End end = Follow(printer, bounds, [&] { return sentinel.Gone(); });
  {
    ModuleCall call("the FS notifier's DetachAll and Unwatch");
    fs->DetachAll(&callback);
    fs->Unwatch(0);
  }
  if (end == End::SourceLost)
    o.err << "qelhost: the folder '" << shownFolder
          << "' was deleted; its watch can report no more changes"
             " (watch it again to follow the folder now under that name)\n";
  return ExitFor(end, printer, o);
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

namespace {

// --count and --seconds, the bounds of a verb that follows events.
void AddBounds(CLI::App& verb, Bounds& bounds) {
  const CLI::Validator wholeCount(
      [](std::string& s) -> std::string {
        long n = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (ec == std::errc() && end == s.data() + s.size() && n >= 1) return {};
        return "must be a whole number of lines, 1 or more, not '" + Printable(s) + "'";
      },
      "COUNT");
  const CLI::Validator seconds(
      [](std::string& s) -> std::string {
        double d = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
        if (ec == std::errc() && end == s.data() + s.size() && std::isfinite(d) && d > 0) return {};
        return "must be a number of seconds above 0, such as 2.5, not '" + Printable(s) + "'";
      },
      "SECONDS");
  verb.add_option("--count", bounds.count, "end after this many lines")->check(wholeCount);
  verb.add_option("--seconds", bounds.seconds, "end after this many seconds")->check(seconds);
}

// `terminal EVENT`, the event named by the last word of the path.
Verb PowerEventVerb(std::string_view path, std::string_view help) {
  return MakeVerb(path, help, Needs::kTerminal,
                  [event = std::string(path.substr(path.rfind(' ') + 1))](const VerbContext& c) {
                    return DeliverPowerEvent(event, c.out);
                  });
}

}  // namespace

Verb EventsVerb() {
  return MakeVerb<Bounds>(
      "events", "print power events and wake-ups as JSON lines", Needs::kModule, AddBounds,
      [](const Bounds& bounds, const VerbContext& c) { return FollowEvents(*c.host, bounds, c.out); },
      Hold::kEndSignals);
}

Verb WatchVerb() {
  struct Options {
    std::string name, path;
    Bounds bounds;
  };
  return MakeVerb<Options>(
      "watch", "watch a terminal folder through the module's \"FS\" notifier and print each change",
      Needs::kModule,
      [](CLI::App& verb, Options& o) {
        verb.add_option("NAME", o.name, "the watch's name")->required();
        verb.add_option("PATH", o.path,
                        "a device path; its folder is watched with every folder below it "
                        "(\\Temp\\ or \\Temp\\file.txt watch \\Temp)")
            ->required();
        AddBounds(verb, o.bounds);
      },
      [](const Options& o, const VerbContext& c) {
        return WatchFolder(*c.host, o.name, o.path, o.bounds, c.out);
      },
      Hold::kEndSignals);
}

Verb TerminalSuspendVerb() {
  return PowerEventVerb("terminal suspend", "the terminal suspends (to every process on it)");
}

Verb TerminalResumeVerb() { return PowerEventVerb("terminal resume", "the terminal resumes and wakes up"); }

Verb TerminalPowerStatusVerb() {
  return PowerEventVerb("terminal power-status", "the terminal's power status changes");
}

Verb TerminalWakeUpVerb() { return PowerEventVerb("terminal wakeup", "the terminal's wake-up event alone"); }

}  // namespace qelhost
