// CQelPowerEventService (IID_QELPOWEREVENTSERVICE): turns the system's power
// notifications into four events told to its listeners, from a thread of
// its own. Failed system calls leave it silent.
#pragma once

#include "ce/handle.h"
#include "ce/msgqueue.h"
#include "ce/power.h"
#include "core/critical_section.h"
#include "core/intrusive_list.h"
#include "core/thread.h"
#include "qel/guids.h"
#include "qel/object.h"
#include "qel/power_events.h"

namespace qel {

// Which listener operation a power broadcast record calls, if any.
enum class PowerEvent { kNone, kStatusChange, kResume, kPowerOn, kSuspend };
// record: the bytes read from the queue; shorter than 16 is no record.
PowerEvent PowerEventOf(const void* record, ce::DWORD bytes);

class CQelPowerEventService final : public CQelObject<IQelPowerEventService, IID_QELPOWEREVENTSERVICE> {
 public:
  CQelPowerEventService();
  ~CQelPowerEventService() override;

  void AddListener(IQelPowerEventListener* listener) override;
  void RemoveListener(IQelPowerEventListener* listener) override;

  // Whether the queue, the notifications and the thread all came up.
  bool listening() const { return thread_.running; }

 private:
  class Thread final : public CQelThread {
   public:
    explicit Thread(CQelPowerEventService* service)
        : CQelThread(u"CQelPowerEventService"), service_(service) {}
    ce::DWORD Run() override { return service_->Serve(); }
    bool running = false;

   private:
    CQelPowerEventService* service_;
  };

  ce::DWORD Serve();
  void Deliver(PowerEvent event);

  Thread thread_;
  CriticalSection lock_;  // the listener list, held while listeners are called
  IntrusiveList<IQelPowerEventListener> listeners_;
  // Closed by the destructor once it has stopped the thread: the stop event,
  // the notifications, then the queue they were written into.
  ce::UniqueMsgQueue queue_;
  ce::UniquePowerNotifications notifications_;
  ce::UniqueHandle stop_;  // auto reset
};

IQelService* CreatePowerEventService();

}  // namespace qel
