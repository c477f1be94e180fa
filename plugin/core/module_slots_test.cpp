// Module-wide interface slots: one reference per filled slot, whoever fills it.
// Releases through the right table are checked with UnRegister, in exports_test.
#include "core/module_slots.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <thread>

#include "qel/exports.h"
#include "recording_registrar.h"

namespace {

using qel::Slot;
using qeltest::CallLog;
using qeltest::ProbeProvider;
using qeltest::Ref;
using Strings = std::vector<std::string>;

class ModuleSlots : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < size_t(Slot::kCount); ++i)
      ASSERT_EQ(qel::SlotValue(Slot(i)), nullptr) << "slot " << i << " left filled by an earlier test";
  }
  void TearDown() override { UnRegister(); }

  CallLog log;  // first: providers still held by a slot log into it until TearDown
};

// Lets two threads meet; gives up after a while so that an implementation that
// serialises the fill cannot hang the test.
class Meeting {
 public:
  void Arrive() {
    std::unique_lock lock(mu_);
    if (++arrived_ == 2) cv_.notify_all();
    cv_.wait_for(lock, std::chrono::seconds(2), [&] { return arrived_ >= 2; });
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  int arrived_ = 0;
};

TEST_F(ModuleSlots, RivalFillsOfOneSlotKeepExactlyOneReference) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    log.Clear();  // the previous round's provider logged its last release
    auto provider = Ref<ProbeProvider<>>::Adopt(new ProbeProvider<>(qel::IID_QELAUDIOSERVICE, "audio", &log));
    Meeting meeting;
    provider.get()->beforeAnswer = [&] { meeting.Arrive(); };
    void* seen[2] = {};
    std::thread a([&] { seen[0] = qel::FillSlot(Slot::Audio, provider.get()); });
    std::thread b([&] { seen[1] = qel::FillSlot(Slot::Audio, provider.get()); });
    a.join();
    b.join();

    IQelService* const expected = provider.get();
    EXPECT_EQ(seen[0], expected);
    EXPECT_EQ(seen[1], expected);
    EXPECT_EQ(qel::SlotValue(Slot::Audio), expected);
    EXPECT_EQ(provider.get()->RefCount(), 2);  // ours and the slot's
    const int asked = provider.get()->asked.load();
    EXPECT_EQ(log.Entries(), Strings(asked - 1, "release audio"));

    log.Clear();
    qel::ReleaseSlot(Slot::Audio);
    EXPECT_EQ(qel::SlotValue(Slot::Audio), nullptr);
    EXPECT_EQ(provider.get()->RefCount(), 1);
    EXPECT_EQ(log.Entries(), Strings{"release audio"});
    provider.get()->beforeAnswer = nullptr;
  }
}

TEST_F(ModuleSlots, AFilledSlotIsKeptWithoutAskingAgain) {
  auto first = Ref<ProbeProvider<>>::Adopt(new ProbeProvider<>(qel::IID_QELBATTERYSERVICE, "first", &log));
  auto second = Ref<ProbeProvider<>>::Adopt(new ProbeProvider<>(qel::IID_QELBATTERYSERVICE, "second", &log));
  ASSERT_EQ(qel::FillSlot(Slot::Battery, first.get()), static_cast<IQelService*>(first.get()));
  EXPECT_EQ(qel::FillSlot(Slot::Battery, second.get()), static_cast<IQelService*>(first.get()));
  EXPECT_EQ(second.get()->asked.load(), 0);
  EXPECT_EQ(second.get()->RefCount(), 1);
  EXPECT_EQ(first.get()->RefCount(), 2);
}

TEST_F(ModuleSlots, AFailedFetchLeavesTheSlotEmpty) {
  auto failing = Ref<ProbeProvider<>>::Adopt(new ProbeProvider<>(qel::IID_QELRADIOSERVICE, "radio", &log));
  failing.get()->failing = true;
  auto wrongGuid = Ref<ProbeProvider<>>::Adopt(new ProbeProvider<>(qel::IID_QELAUDIOSERVICE, "audio", &log));

  EXPECT_EQ(qel::FillSlot(Slot::Radio, failing.get()), nullptr);
  EXPECT_EQ(qel::FillSlot(Slot::Radio, wrongGuid.get()), nullptr);  // answers another GUID only
  EXPECT_EQ(qel::FillSlot(Slot::Radio, nullptr), nullptr);
  EXPECT_EQ(qel::FetchSlot(Slot::Radio, nullptr), nullptr);
  EXPECT_EQ(qel::SlotValue(Slot::Radio), nullptr);
  EXPECT_EQ(failing.get()->RefCount(), 1);
  EXPECT_EQ(wrongGuid.get()->RefCount(), 1);

  failing.get()->failing = false;  // a later user finds it and fills the slot
  EXPECT_EQ(qel::FillSlot(Slot::Radio, failing.get()), static_cast<IQelService*>(failing.get()));
  EXPECT_TRUE(log.Entries().empty());
}

}  // namespace
