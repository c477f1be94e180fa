#include "core/module_slots.h"

#include <array>
#include <atomic>

#include "core/hal_event_handler.h"
#include "qel/guids.h"
#include "qel/host.h"

namespace qel {
namespace {

using ReleaseFn = void (*)(void*);

// Most interfaces count through IQelService's slot 1; some host interfaces
// derive virtually from the counted base; the window service releases at slot 3.
void ReleaseService(void* p) { static_cast<IQelService*>(p)->Release(); }
void ReleaseVirtualBase(void* p) { Counted(static_cast<IQelUnnamedHostService*>(p))->Release(); }
void ReleaseApplication(void* p) { Counted(static_cast<IQelApplicationService*>(p))->Release(); }
void ReleaseSettings(void* p) { Counted(static_cast<IQelSettingService*>(p))->Release(); }
void ReleaseWindow(void* p) { static_cast<IQelWindowService*>(p)->Release(); }
// The handler's GetInterface hands out the whole object, not its interface part.
void ReleaseHalEventHandler(void* p) { AsHalEventHandler(p)->Release(); }

struct SlotInfo {
  Slot slot;
  const GUID* iid;
  const char* name;
  ReleaseFn release;
};

// Declared in the order of the Slot enumeration.
constexpr std::array<SlotInfo, size_t(Slot::kCount)> kSlots{{
    {Slot::StreamRegistry, &IID_QELSTREAMREGISTRY, "IID_QELSTREAMREGISTRY", ReleaseService},
    {Slot::FileSystem, &IID_QELFILESYSTEMSERVICE, "IID_QELFILESYSTEMSERVICE", ReleaseService},
    {Slot::Settings, &IID_QELSETTINGSERVICE, "IID_QELSETTINGSERVICE", ReleaseSettings},
    {Slot::Audio, &IID_QELAUDIOSERVICE, "IID_QELAUDIOSERVICE", ReleaseService},
    {Slot::FileService, &IID_QELFILESERVICE, "IID_QELFILESERVICE", ReleaseService},
    {Slot::FileLocation, &IID_QELFILELOCATION, "IID_QELFILELOCATION", ReleaseService},
    {Slot::Wlan, &IID_QELWLANSERVICE, "IID_QELWLANSERVICE", ReleaseService},
    {Slot::Unnamed1, &IID_QELUNNAMED1, "{E7E483CD-93FF-4CFA-A0F6-EFD7FB50246E}", ReleaseVirtualBase},
    {Slot::Backlight, &IID_QELBACKLIGHTSERVICE, "IID_QELBACKLIGHTSERVICE", ReleaseService},
    {Slot::Unnamed2, &IID_QELUNNAMED2, "{45A280DC-EDBE-4570-83EE-A44FB4E20618}", ReleaseVirtualBase},
    {Slot::Terminal, &IID_QELTERMINALSERVICE, "IID_QELTERMINALSERVICE", ReleaseService},
    {Slot::Radio, &IID_QELRADIOSERVICE, "IID_QELRADIOSERVICE", ReleaseService},
    {Slot::Battery, &IID_QELBATTERYSERVICE, "IID_QELBATTERYSERVICE", ReleaseService},
    {Slot::Cradle, &IID_QELCRADLESERVICE, "IID_QELCRADLESERVICE", ReleaseService},
    {Slot::Application, &IID_QELUNNAMED3, "{E79DE16F-246A-4E95-9107-7CB763B0340E}", ReleaseApplication},
    {Slot::HalEventHandler, &IID_QELHALEVENTHANDLER, "IID_QELHALEVENTHANDLER", ReleaseHalEventHandler},
    {Slot::Window, &IID_QELWINDOWSERVICE, "IID_QELWINDOWSERVICE", ReleaseWindow},
}};

constexpr bool InEnumOrder() {
  for (size_t i = 0; i < kSlots.size(); ++i)
    if (size_t(kSlots[i].slot) != i) return false;
  return true;
}
static_assert(InEnumOrder());

std::array<std::atomic<void*>, size_t(Slot::kCount)> g_slots{};

const SlotInfo& Info(Slot s) { return kSlots[size_t(s)]; }

}  // namespace

const GUID& SlotGuid(Slot slot) { return *Info(slot).iid; }
const char* SlotName(Slot slot) { return Info(slot).name; }
void* SlotValue(Slot slot) { return g_slots[size_t(slot)].load(std::memory_order_acquire); }

void* FillSlot(Slot slot, IQelService* provider) {
  if (void* held = SlotValue(slot)) return held;
  void* fresh = nullptr;
  if (!provider || !provider->GetInterface(SlotGuid(slot), &fresh) || !fresh) return nullptr;
  void* expected = nullptr;
  if (!g_slots[size_t(slot)].compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
    Info(slot).release(fresh);
    return expected;
  }
  return fresh;
}

void* FetchSlot(Slot slot, IQelServiceRegistry* registry) {
  if (!registry) return nullptr;
  return FillSlot(slot, registry->QueryService(SlotGuid(slot)));
}

void* RefetchSlot(Slot slot, IQelServiceRegistry* registry) {
  IQelService* provider = registry ? registry->QueryService(SlotGuid(slot)) : nullptr;
  void* fresh = nullptr;
  if (!provider || !provider->GetInterface(SlotGuid(slot), &fresh) || !fresh) return SlotValue(slot);
  if (void* held = g_slots[size_t(slot)].exchange(fresh, std::memory_order_acq_rel)) Info(slot).release(held);
  return fresh;
}

void ReleaseSlot(Slot slot) {
  if (void* p = g_slots[size_t(slot)].exchange(nullptr, std::memory_order_acq_rel)) Info(slot).release(p);
}

}  // namespace qel
