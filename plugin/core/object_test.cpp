// The object model: one atomic count per object, one GUID per class, and the
// slot numbers of every interface that crosses the module boundary.
#include "qel/object.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/cradle_service.h"
#include "core/display_service.h"
#include "qel/cradle.h"
#include "qel/display.h"
#include "qel/guids.h"
#include "qel/host.h"
#include "slot.h"
#include "test_terminal.h"

namespace {

inline constexpr GUID kProbeIid = qel::MakeGuid("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");

class Probe final : public qel::CQelObject<IQelService, kProbeIid> {
 public:
  explicit Probe(bool* destroyed) : destroyed_(destroyed) {}
  ~Probe() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST(CQelObject, IsBornAtOneAndDiesOnTheReleaseThatReturnsZero) {
  bool destroyed = false;
  auto* p = new Probe(&destroyed);
  EXPECT_EQ(p->RefCount(), 1);
  EXPECT_EQ(p->AddRef(), 2);
  EXPECT_EQ(static_cast<CQelRefCounted*>(p)->AddRef(), 3);  // one count, whichever part
  EXPECT_EQ(static_cast<CQelRefCounted*>(p)->Release(), 2);
  EXPECT_EQ(p->Release(), 1);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(static_cast<IQelService*>(p)->Release(), 0);
  EXPECT_TRUE(destroyed);
}

TEST(CQelObject, GetInterfaceAnswersOnlyItsOwnGuid) {
  bool destroyed = false;
  auto* p = new Probe(&destroyed);
  void* out = nullptr;
  ASSERT_TRUE(p->GetInterface(kProbeIid, &out));
  EXPECT_EQ(out, static_cast<IQelService*>(p));
  EXPECT_EQ(p->RefCount(), 2);
  EXPECT_FALSE(p->GetInterface(kProbeIid, nullptr));
  EXPECT_EQ(p->RefCount(), 2);

  // A GUID that differs in any one of its 16 bytes, by one bit or by all eight.
  for (const uint8_t flip : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)})
    for (size_t byte = 0; byte < sizeof(GUID); ++byte) {
      GUID other = kProbeIid;
      reinterpret_cast<uint8_t*>(&other)[byte] ^= flip;
      void* untouched = &destroyed;
      EXPECT_FALSE(p->GetInterface(other, &untouched)) << "byte " << byte << " ^ " << int(flip);
      EXPECT_EQ(untouched, &destroyed) << "byte " << byte;
      EXPECT_EQ(p->RefCount(), 2) << "byte " << byte;
    }
  p->Release();
  p->Release();
  EXPECT_TRUE(destroyed);
}

TEST(CQelObject, CountsAtomicallyAcrossThreads) {
  bool destroyed = false;
  auto* p = new Probe(&destroyed);
  constexpr int kThreads = 8, kEach = 10000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([p, t] {
      // Half the threads hold all their references before dropping them, the
      // other half alternate, so increments and decrements interleave.
      if (t % 2 == 0) {
        for (int i = 0; i < kEach; ++i) p->AddRef();
        for (int i = 0; i < kEach; ++i) static_cast<CQelRefCounted*>(p)->Release();
      } else {
        for (int i = 0; i < kEach; ++i) {
          static_cast<CQelRefCounted*>(p)->AddRef();
          p->Release();
        }
      }
      for (int i = 0; i < kEach; ++i) p->AddRef();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(p->RefCount(), 1 + kThreads * kEach);
  EXPECT_FALSE(destroyed);
  for (int i = 0; i < kThreads * kEach; ++i) p->Release();
  EXPECT_EQ(p->Release(), 0);
  EXPECT_TRUE(destroyed);
}

struct ServiceCase {
  const char* name;
  IQelService* (*create)();
  const GUID* own;
  const GUID* other;
};

// The services of this build: each answers its own GUID with its interface
// pointer and nothing else, and a fresh one released once is gone.
TEST(Services, AnswerTheirOwnGuidOnly) {
  qeltest::TestTerminal terminal;
  const ServiceCase cases[] = {
      {"cradle", qel::CreateCradleService, &qel::IID_QELCRADLESERVICE, &qel::IID_QELDISPLAYSERVICE},
      {"display", qel::CreateDisplayService, &qel::IID_QELDISPLAYSERVICE, &qel::IID_QELCRADLESERVICE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IQelService* s = c.create();
    ASSERT_NE(s, nullptr);
    void* out = nullptr;
    EXPECT_FALSE(s->GetInterface(*c.other, &out));
    EXPECT_FALSE(s->GetInterface(qel::IID_QELHALEVENTHANDLER, &out));
    EXPECT_EQ(out, nullptr);
    ASSERT_TRUE(s->GetInterface(*c.own, &out));
    EXPECT_EQ(out, s);
    EXPECT_EQ(static_cast<IQelService*>(out)->Release(), 1);
    EXPECT_EQ(s->Release(), 0);
  }
}

TEST(SlotLayout, InterfacesKeepTheirSlotNumbers) {
  struct Pin {
    const char* what;
    size_t slot;
    size_t expected;
  };
  const Pin pins[] = {
      {"IQelService::AddRef", SlotOf(&IQelService::AddRef), 0},
      {"IQelService::Release", SlotOf(&IQelService::Release), 1},
      {"IQelService::GetInterface", SlotOf(&IQelService::GetInterface), 2},
      {"IQelService::Bind", SlotOf(&IQelService::Bind), 3},
      {"IQelService::SaveState", SlotOf(&IQelService::SaveState), 4},
      {"IQelService::RestoreState", SlotOf(&IQelService::RestoreState), 5},
      {"IQelService::Reserved6", SlotOf(&IQelService::Reserved6), 6},
      {"IQelService::Reserved7", SlotOf(&IQelService::Reserved7), 7},
      {"IQelRegistrar::AddCommand", SlotOf(&IQelRegistrar::AddCommand), 0},
      {"IQelRegistrar::AddService", SlotOf(&IQelRegistrar::AddService), 1},
      {"IQelRegistrar::AddProperty", SlotOf(&IQelRegistrar::AddProperty), 3},
      {"IQelServiceRegistry::QueryService", SlotOf(&IQelServiceRegistry::QueryService), 0},
      {"IQelStreamRegistry::AddStreamFactory", SlotOf(&IQelStreamRegistry::AddStreamFactory), 8},
      {"IQelFileHandlerRegistry::AddFileHandler", SlotOf(&IQelFileHandlerRegistry::AddFileHandler), 9},
      {"IQelNotifierList::AddNotifier", SlotOf(&IQelNotifierList::AddNotifier), 0},
      {"IQelWindowService::Release", SlotOf(&IQelWindowService::Release), 3},
      {"IQelWindowService::GetWindowHandle", SlotOf(&IQelWindowService::GetWindowHandle), 4},
      {"IQelRadioService::GetSignal", SlotOf(&IQelRadioService::GetSignal), 8},
      {"IQelNotifier::AddRef", SlotOf(&IQelNotifier::AddRef), 0},
      {"IQelNotifier::Release", SlotOf(&IQelNotifier::Release), 1},
      {"IQelNotifier::Unwatch", SlotOf(&IQelNotifier::Unwatch), 2},
      {"IQelNotifier::Watch", SlotOf(&IQelNotifier::Watch), 3},
      {"IQelNotifier::Attach", SlotOf(&IQelNotifier::Attach), 4},
      {"IQelNotifier::DetachAll", SlotOf(&IQelNotifier::DetachAll), 5},
      {"IQelCradleService::Unlock", SlotOf(&IQelCradleService::Unlock), 8},
      {"IQelCradleService::BlinkLed", SlotOf(&IQelCradleService::BlinkLed), 9},
      {"IQelCradleService::SetFastCharge", SlotOf(&IQelCradleService::SetFastCharge), 10},
      {"IQelDisplayService::Reserved8", SlotOf(&IQelDisplayService::Reserved8), 8},
      {"IQelDisplayService::SetOrientation", SlotOf(&IQelDisplayService::SetOrientation), 9},
      {"IQelDisplayService::GetOrientation", SlotOf(&IQelDisplayService::GetOrientation), 10},
      {"IQelDisplayService::GetFirstPreset", SlotOf(&IQelDisplayService::GetFirstPreset), 11},
      {"IQelDisplayService::GetSecondPreset", SlotOf(&IQelDisplayService::GetSecondPreset), 12},
      {"IQelDisplayService::GetCounter", SlotOf(&IQelDisplayService::GetCounter), 13},
      {"CQelRefCounted::AddRef", SlotOf(&CQelRefCounted::AddRef), 0},
      {"CQelRefCounted::Release", SlotOf(&CQelRefCounted::Release), 1},
  };
  for (const Pin& p : pins) EXPECT_EQ(p.slot, p.expected) << p.what;
}

// Host interfaces that derive virtually from the counted base get their own
// table: their operations must number from slot 0, ahead of the destructor
// entries the virtual base's destructor adds.
TEST(SlotLayout, VirtualBaseHostInterfacesNumberTheirOperationsFromZero) {
  EXPECT_EQ(SlotOf(&IQelSettingService::Set), 0u);
  EXPECT_EQ(SlotOf(&IQelSettingService::Get), 1u);
  EXPECT_EQ(SlotOf(&IQelUnnamedHostService::Reserved0), 0u);
  EXPECT_EQ(SlotOf(&IQelNotifierList::AddNotifier), 0u);
}

}  // namespace
