// The wake-up event service (IID_QELWAKEUPSERVICE): keeps one system
// notification that sets the named event "QEL4 WakeUpEvent" when the terminal
// wakes, and, as a source of the HAL event handler, tells its listeners.
#pragma once

#include "ce/handle.h"
#include "core/critical_section.h"
#include "core/intrusive_list.h"
#include "qel/guids.h"
#include "qel/hal_event.h"
#include "qel/object.h"
#include "qel/power_events.h"

namespace qel {

inline constexpr char16_t kWakeUpEventName[] = u"QEL4 WakeUpEvent";
inline constexpr char16_t kWakeUpTarget[] = u"\\\\.\\Notifications\\NamedEvents\\QEL4 WakeUpEvent";

class CQelWakeUpService final : public CQelObject<IQelWakeUpService, IID_QELWAKEUPSERVICE>,
                                public IQelHalEventSource {
 public:
  CQelWakeUpService();
  ~CQelWakeUpService() override;

  int32_t AddRef() override { return CQelObject::AddRef(); }
  int32_t Release() override { return CQelObject::Release(); }

  // Adds itself to the HAL event handler, on every call: the handler is
  // looked up in the registry only while the module's slot is empty, and
  // kept there. Waited on from the handler's next restart.
  void Bind(IQelServiceRegistry* registry) override;
  bool AddListener(IQelWakeUpListener* listener) override;
  bool RemoveListener(IQelWakeUpListener* listener) override;

  void* GetHandle() override { return event_.get(); }
  bool OnSignaled() override;

 private:
  void ClearStaleNotifications();

  ce::UniqueHandle event_;
  // Listeners change on host threads and are told on the handler's thread.
  CriticalSection lock_;
  IntrusiveList<IQelWakeUpListener> listeners_;
};

IQelService* CreateWakeUpService();

}  // namespace qel
