// The power event and wake-up services, driven through the simulated
// terminal's power manager and notifications.
#include "devices/power_event_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "ce/notify.h"
#include "ce/power.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "core/hal_event_handler.h"
#include "core/module_slots.h"
#include "devices/wakeup_service.h"
#include "qelcommon/ref.h"
#include "recording_registrar.h"
#include "test_terminal.h"

namespace {

using qel::PowerEvent;
using qel::Ref;

std::vector<uint8_t> Record(ce::DWORD message, ce::DWORD flags, size_t bytes = 16) {
  std::vector<uint8_t> r(bytes);
  std::memcpy(r.data(), &message, std::min<size_t>(4, bytes));
  if (bytes >= 8) std::memcpy(r.data() + 4, &flags, 4);
  return r;
}

TEST(PowerEventOf, MapsRecordsToEvents) {
  const struct {
    const char* what;
    std::vector<uint8_t> record;
    PowerEvent expected;
  } cases[] = {
      {"on and suspend together", Record(PBT_TRANSITION, POWER_STATE_ON | POWER_STATE_SUSPEND),
       PowerEvent::kSuspend},
      {"user idle", Record(PBT_TRANSITION, POWER_STATE_USERIDLE), PowerEvent::kSuspend},
      {"unattended", Record(PBT_TRANSITION, POWER_STATE_UNATTENDED), PowerEvent::kSuspend},
      {"on", Record(PBT_TRANSITION, POWER_STATE_ON), PowerEvent::kPowerOn},
      {"idle alone", Record(PBT_TRANSITION, POWER_STATE_IDLE), PowerEvent::kNone},
      {"resume", Record(PBT_RESUME, 0x1234), PowerEvent::kResume},
      {"status", Record(PBT_POWERSTATUSCHANGE, 0), PowerEvent::kStatusChange},
      {"info change", Record(PBT_POWERINFOCHANGE, 0), PowerEvent::kNone},
      {"12 bytes", Record(PBT_TRANSITION, POWER_STATE_SUSPEND, 12), PowerEvent::kNone},
      {"15 bytes", Record(PBT_RESUME, 0, 15), PowerEvent::kNone},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qel::PowerEventOf(c.record.data(), ce::DWORD(c.record.size())), c.expected) << c.what;
}

// Records every call, in order.
class Listener final : public IQelPowerEventListener, public IQelWakeUpListener {
 public:
  void OnPowerStatusChange() override { Add("status"); }
  void OnResume() override { Add("resume"); }
  void OnPowerOn() override { Add("on"); }
  void OnSuspend() override { Add("suspend"); }
  void OnWakeUp() override { Add("wakeup"); }
  std::vector<std::string> Calls() {
    std::lock_guard lock(mu_);
    return calls_;
  }
  bool WaitFor(size_t n) {
    for (int i = 0; i < 500 && Calls().size() < n; ++i) ce::Sleep(10);
    return Calls().size() >= n;
  }

 private:
  void Add(std::string s) {
    std::lock_guard lock(mu_);
    calls_.push_back(std::move(s));
  }
  std::mutex mu_;
  std::vector<std::string> calls_;
};

TEST(PowerEventService, TellsListenersOfTheTerminalsTransitions) {
  qeltest::TestTerminal terminal;
  Listener a, b;  // outlive the service, whose shutdown unlinks b
  auto service = Ref<qel::CQelPowerEventService>::Adopt(new qel::CQelPowerEventService);
  ASSERT_TRUE(service->listening());
  service->AddListener(&a);
  service->AddListener(&b);
  service->AddListener(nullptr);
  std::string error;
  ASSERT_TRUE(
      ce::sim::DeliverPowerRecord(Record(PBT_TRANSITION, POWER_STATE_ON | POWER_STATE_SUSPEND, 12), &error));
  ASSERT_TRUE(
      ce::sim::DeliverPowerBroadcast(PBT_TRANSITION, POWER_STATE_ON | POWER_STATE_SUSPEND, u"x", &error));
  ASSERT_TRUE(ce::sim::Resume(&error));
  ASSERT_TRUE(ce::sim::PowerStatusChanged(&error));
  ASSERT_TRUE(a.WaitFor(4));
  const std::vector<std::string> expected{"suspend", "resume", "on", "status"};
  EXPECT_EQ(a.Calls(), expected);  // the 12-byte record gave nothing
  ASSERT_TRUE(b.WaitFor(4));
  EXPECT_EQ(b.Calls(), expected);

  service->RemoveListener(&a);
  ASSERT_TRUE(ce::sim::Suspend(&error));
  ASSERT_TRUE(b.WaitFor(5));
  EXPECT_EQ(a.Calls().size(), 4u);
}

// The service owns no listener: its shutdown unlinks those still in its list
// and leaves them to their holders.
TEST(PowerEventService, ItsShutdownUnlinksItsListeners) {
  qeltest::TestTerminal terminal;
  Listener a, b, c;
  auto service = Ref<qel::CQelPowerEventService>::Adopt(new qel::CQelPowerEventService);
  for (Listener* l : {&a, &b, &c}) service->AddListener(l);
  service.reset();
  for (IQelPowerEventListener* l : {&a, &b, &c}) {
    EXPECT_EQ(l->next, nullptr);
    EXPECT_EQ(l->previous, nullptr);
  }
}

TEST(WakeUpService, TwoStartsLeaveOneNotificationAndWakeUpsReachListeners) {
  qeltest::TestTerminal terminal;
  auto first = Ref<qel::CQelWakeUpService>::Adopt(new qel::CQelWakeUpService);
  auto second = Ref<qel::CQelWakeUpService>::Adopt(new qel::CQelWakeUpService);
  ce::DWORD count = 0;
  ce::CeGetUserNotificationHandles(nullptr, 0, &count);
  EXPECT_EQ(count, 1u);

  // Bound through a registry offering the handler: the module's slot fills.
  auto handler = Ref<qel::CQelHalEventHandler>::Adopt(new qel::CQelHalEventHandler);
  qeltest::FakeServiceRegistry registry;
  registry.Offer(qel::IID_QELHALEVENTHANDLER, handler.get());
  // Every Bind adds the service; the handler is looked up once and kept.
  second->Bind(&registry);
  second->Bind(&registry);
  EXPECT_EQ(handler->SourceCount(), 2u);
  EXPECT_EQ(registry.queries.size(), 1u);
  handler->Restart();

  Listener listener;
  EXPECT_FALSE(second->AddListener(nullptr));
  EXPECT_TRUE(second->AddListener(&listener));
  std::string error;
  ASSERT_TRUE(ce::sim::WakeUp(&error));
  ASSERT_TRUE(listener.WaitFor(1));
  ASSERT_TRUE(ce::sim::WakeUp(&error));
  ASSERT_TRUE(listener.WaitFor(2));
  // Added twice, the one event is still taken once per wake-up.
  EXPECT_EQ(listener.Calls(), (std::vector<std::string>{"wakeup", "wakeup"}));
  EXPECT_TRUE(second->RemoveListener(&listener));
  handler->Stop();
  qel::ReleaseSlot(qel::Slot::HalEventHandler);
}

// Listeners come and go while wake-ups and power events fire.
TEST(EventServices, StressListenersWhileEventsFire) {
  qeltest::TestTerminal terminal;
  auto power = Ref<qel::CQelPowerEventService>::Adopt(new qel::CQelPowerEventService);
  auto wakeup = Ref<qel::CQelWakeUpService>::Adopt(new qel::CQelWakeUpService);
  auto handler = Ref<qel::CQelHalEventHandler>::Adopt(new qel::CQelHalEventHandler);
  handler->AddSource(wakeup.get());
  handler->Restart();
  std::atomic<bool> stop{false};
  std::thread firing([&] {
    std::string error;
    while (!stop) {
      ce::sim::Resume(&error);
      ce::Sleep(1);
    }
  });
  std::vector<std::thread> churn;
  for (int t = 0; t < 3; ++t)
    churn.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        Listener l;
        power->AddListener(&l);
        wakeup->AddListener(&l);
        ce::Sleep(0);
        wakeup->RemoveListener(&l);
        power->RemoveListener(&l);
      }
    });
  for (auto& t : churn) t.join();
  stop = true;
  firing.join();
  handler->Stop();
}

}  // namespace
