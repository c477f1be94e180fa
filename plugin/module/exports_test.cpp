// Register and UnRegister against a host whose providers the test controls.
// The three text exports are checked through the loaded module, end to end.
#include "qel/exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "core/hal_event_handler.h"
#include "core/module_slots.h"
#include "qelcommon/guid_text.h"
#include "recording_registrar.h"

namespace {

using namespace qeltest;
using Strings = std::vector<std::string>;

enum class Shape { Service, StreamRegistry, Settings, Unnamed, Application, Window, HalEventHandler };

struct HostInterface {
  const GUID* iid;
  const char* name;
  Shape shape;
};

// In the order Register asks for them; the file location comes last because
// Register never asks for it (handlers fill it), though the host offers it.
const HostInterface kHostInterfaces[] = {
    {&qel::IID_QELSTREAMREGISTRY, "stream registry", Shape::StreamRegistry},
    {&qel::IID_QELFILESYSTEMSERVICE, "file system", Shape::Service},
    {&qel::IID_QELSETTINGSERVICE, "settings", Shape::Settings},
    {&qel::IID_QELAUDIOSERVICE, "audio", Shape::Service},
    {&qel::IID_QELFILESERVICE, "file service", Shape::Service},
    {&qel::IID_QELWLANSERVICE, "wlan", Shape::Service},
    {&qel::IID_QELUNNAMED1, "unnamed 1", Shape::Unnamed},
    {&qel::IID_QELBACKLIGHTSERVICE, "backlight", Shape::Service},
    {&qel::IID_QELUNNAMED2, "unnamed 2", Shape::Unnamed},
    {&qel::IID_QELTERMINALSERVICE, "terminal", Shape::Service},
    {&qel::IID_QELRADIOSERVICE, "radio", Shape::Service},
    {&qel::IID_QELBATTERYSERVICE, "battery", Shape::Service},
    {&qel::IID_QELCRADLESERVICE, "cradle", Shape::Service},
    {&qel::IID_QELUNNAMED3, "unnamed 3", Shape::Application},
    {&qel::IID_QELHALEVENTHANDLER, "hal event handler", Shape::HalEventHandler},
    {&qel::IID_QELWINDOWSERVICE, "window", Shape::Window},
    {&qel::IID_QELFILELOCATION, "file location", Shape::Service},
};
constexpr size_t kFetched = 16;

const Strings kReleaseOrder = {
    "release file location", "release stream registry", "release settings",  "release audio",
    "release file service",  "release file system",     "release wlan",      "release unnamed 1",
    "release backlight",     "release cradle",          "release unnamed 2", "release terminal",
    "release radio",         "release battery",         "release unnamed 3", "release hal event handler",
    "release window",
};

// A real handler, as the module registered it: the slot holds the whole
// object, and releasing it through any other part would miss its count.
class LoggingHalEventHandler final : public qel::CQelHalEventHandler {
 public:
  LoggingHalEventHandler(std::string name, CallLog* log) : name_(std::move(name)), log_(log) {}
  int32_t Release() override {
    log_->Add("release " + name_);
    return CQelHalEventHandler::Release();
  }

 private:
  std::string name_;
  CallLog* log_;
};

// The host's side: one object per interface, offered unless absent; a failing
// one refuses GetInterface. Counts() reads every object's reference count.
class HostSide {
 public:
  HostSide(CallLog* log, const std::set<std::string>& failing, const std::set<std::string>& absent) {
    for (const HostInterface& h : kHostInterfaces) {
      IQelService* provider = Make(h, failing.count(h.name) != 0, log);
      if (!absent.count(h.name)) registry.Offer(*h.iid, provider);
      providers_.push_back(Ref<IQelService>::Adopt(provider));
    }
  }
  // A host unregisters the module before it lets go of its own objects.
  ~HostSide() {
    UnRegister();
    providers_.clear();
    for (auto& drop : drops_) drop();
  }
  HostSide(const HostSide&) = delete;
  HostSide& operator=(const HostSide&) = delete;

  std::vector<int32_t> Counts() const {
    std::vector<int32_t> out;
    for (const auto& c : counts_) out.push_back(c());
    return out;
  }
  IQelService* Provider(const GUID& iid) const {
    for (size_t i = 0; i < std::size(kHostInterfaces); ++i)
      if (*kHostInterfaces[i].iid == iid) return providers_[i].get();
    return nullptr;
  }

  FakeServiceRegistry registry;

 private:
  template <class P>
  IQelService* Probe(P* p, bool fails) {
    p->failing = fails;
    counts_.push_back([p] { return p->RefCount(); });
    return p;
  }
  template <class Base>
  IQelService* Forward(const HostInterface& h, bool fails, CallLog* log) {
    auto* object = new ProbeVirtualBase<Base>(h.name, log);
    drops_.push_back([object] { object->Release(); });
    counts_.push_back([object] { return object->RefCount(); });
    return new ForwardingProvider(*h.iid, [object, fails]() -> void* {
      if (fails) return nullptr;
      object->AddRef();
      return static_cast<Base*>(object);
    });
  }
  IQelService* Make(const HostInterface& h, bool fails, CallLog* log) {
    switch (h.shape) {
      case Shape::Settings:
        return Forward<IQelSettingService>(h, fails, log);
      case Shape::Unnamed:
        return Forward<IQelUnnamedHostService>(h, fails, log);
      case Shape::Application:
        return Forward<IQelApplicationService>(h, fails, log);
      case Shape::StreamRegistry:
        return Probe(new ProbeStreamRegistry(*h.iid, h.name, log), fails);
      case Shape::Service:
        return Probe(new ProbeProvider<>(*h.iid, h.name, log), fails);
      case Shape::HalEventHandler: {
        auto* handler = new LoggingHalEventHandler(h.name, log);
        drops_.push_back([handler] { handler->CQelHalEventHandler::Release(); });
        counts_.push_back([handler] { return handler->RefCount(); });
        return new ForwardingProvider(*h.iid, [handler, fails, log]() -> void* {
          log->Add("hand out hal event handler");
          if (fails) return nullptr;
          void* whole = nullptr;
          handler->GetInterface(qel::IID_QELHALEVENTHANDLER, &whole);
          return whole;
        });
      }
      case Shape::Window:
        break;
    }
    auto window = std::make_shared<ProbeWindow>(log);
    counts_.push_back([window] { return window->count.load(); });
    return new ForwardingProvider(*h.iid, [window, fails]() -> void* {
      if (fails) return nullptr;
      ++window->count;
      return static_cast<IQelWindowService*>(window.get());
    });
  }

  std::vector<std::function<int32_t()>> counts_;
  std::vector<Ref<IQelService>> providers_;
  std::vector<std::function<void()>> drops_;
};

class Exports : public ::testing::Test {
 protected:
  void TearDown() override { UnRegister(); }
  CallLog log;  // first: it outlives every provider
};

TEST_F(Exports, RegisterAsksForTheStreamRegistryFirstThenTheFifteenInOrder) {
  HostSide host(&log, {}, {});
  ASSERT_TRUE(Register(0, &host.registry));

  const std::vector<GUID>& queries = host.registry.queries;
  ASSERT_GE(queries.size(), kFetched);
  for (size_t i = 0; i < kFetched; ++i)
    EXPECT_EQ(qel::ToString(queries[i]), qel::ToString(*kHostInterfaces[i].iid)) << "query " << i;
  // What may follow: the notifier registry and the file handler registry.
  for (size_t i = kFetched; i < queries.size(); ++i)
    EXPECT_TRUE(queries[i] == qel::IID_QELNOTIFIERREGISTRY || queries[i] == qel::IID_QELFILEHANDLERREGISTRY)
        << "query " << i << ": " << qel::ToString(queries[i]);
  EXPECT_EQ(std::count(queries.begin(), queries.end(), qel::IID_QELFILELOCATION), 0);
}

TEST_F(Exports, UnRegisterReleasesEverySlotOnceInItsOrder) {
  HostSide host(&log, {}, {});
  const std::vector<int32_t> before = host.Counts();
  ASSERT_TRUE(Register(0, &host.registry));
  // The file location is filled by the first handler that needs it.
  ASSERT_NE(qel::FillSlot(qel::Slot::FileLocation, host.Provider(qel::IID_QELFILELOCATION)), nullptr);
  std::vector<int32_t> held = before;
  for (auto& n : held) ++n;
  EXPECT_EQ(host.Counts(), held);

  log.Clear();
  ASSERT_TRUE(UnRegister());
  EXPECT_EQ(log.Entries(), kReleaseOrder);
  EXPECT_EQ(host.Counts(), before);
  log.Clear();
  ASSERT_TRUE(UnRegister());  // everything is empty now
  EXPECT_TRUE(log.Entries().empty());
}

// The wake-up service's Bind may have filled the handler's slot before
// Register: Register still asks the host for it, and the slot keeps one reference.
TEST_F(Exports, RegisterAsksForASlotAlreadyHeldAndKeepsOneReference) {
  HostSide host(&log, {}, {});
  const std::vector<int32_t> before = host.Counts();
  ASSERT_NE(qel::FetchSlot(qel::Slot::HalEventHandler, &host.registry), nullptr);
  log.Clear();
  ASSERT_TRUE(Register(0, &host.registry));
  const Strings entries = log.Entries();
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "hand out hal event handler"), 1);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "release hal event handler"), 1);
  ASSERT_TRUE(Register(0, &host.registry));  // and again, without UnRegister
  std::vector<int32_t> held = before;
  for (auto& n : held) ++n;
  held.back() = before.back();  // the file location is never fetched by Register
  EXPECT_EQ(host.Counts(), held);
}

struct MissingCase {
  const char* what;
  std::set<std::string> failing;
  std::set<std::string> absent;
};

void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.what; }

class ExportsWithMissing : public Exports, public ::testing::WithParamInterface<MissingCase> {};

// A fetch that fails leaves its slot empty and the next one runs; UnRegister
// releases exactly what was filled.
TEST_P(ExportsWithMissing, FetchesTheRestAndReleasesOnlyWhatItHolds) {
  const MissingCase& c = GetParam();
  HostSide host(&log, c.failing, c.absent);
  const std::vector<int32_t> before = host.Counts();
  ASSERT_TRUE(Register(0, &host.registry));

  EXPECT_GE(host.registry.queries.size(), kFetched);
  Strings expected;
  for (const auto& entry : kReleaseOrder) {
    const std::string name = entry.substr(std::string("release ").size());
    if (name != "file location" && !c.failing.count(name) && !c.absent.count(name)) expected.push_back(entry);
  }
  log.Clear();
  ASSERT_TRUE(UnRegister());
  EXPECT_EQ(log.Entries(), expected);
  EXPECT_EQ(host.Counts(), before);
}

std::set<std::string> AllNames() {
  std::set<std::string> all;
  for (const auto& h : kHostInterfaces) all.insert(h.name);
  return all;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportsWithMissing,
    ::testing::Values(MissingCase{"no_stream_registry", {}, {"stream registry"}},
                      MissingCase{"stream_registry_refuses", {"stream registry"}, {}},
                      MissingCase{"settings_and_unnamed_refuse", {"settings", "unnamed 2"}, {}},
                      MissingCase{"first_and_last_refuse", {"file system", "window"}, {}},
                      MissingCase{"nothing_offered", {}, AllNames()},
                      MissingCase{"everything_refuses", AllNames(), {}}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
