#include "devices/power_event_service.h"

#include <cstring>
#include <new>

#include "ce/handle.h"
#include "ce/msgqueue.h"
#include "ce/power.h"
#include "ce/sync.h"

namespace qel {

namespace {
constexpr ce::DWORD kRecordBytes = 536;
constexpr ce::DWORD kSuspendStates = POWER_STATE_USERIDLE | POWER_STATE_UNATTENDED | POWER_STATE_SUSPEND;
static_assert(kSuspendStates == 0x1600000);
}  // namespace

PowerEvent PowerEventOf(const void* record, ce::DWORD bytes) {
  if (!record || bytes < 16) return PowerEvent::kNone;
  ce::DWORD message = 0, flags = 0;
  std::memcpy(&message, record, 4);
  std::memcpy(&flags, static_cast<const uint8_t*>(record) + 4, 4);
  switch (message) {
    case PBT_TRANSITION:
      if (flags & kSuspendStates) return PowerEvent::kSuspend;
      if (flags & POWER_STATE_ON) return PowerEvent::kPowerOn;
      return PowerEvent::kNone;
    case PBT_RESUME:
      return PowerEvent::kResume;
    case PBT_POWERSTATUSCHANGE:
      return PowerEvent::kStatusChange;
  }
  return PowerEvent::kNone;
}

CQelPowerEventService::CQelPowerEventService() : thread_(this) {
  ce::MSGQUEUEOPTIONS options{20, MSGQUEUE_NOPRECOMMIT, 0, kRecordBytes, TRUE};
  queue_.reset(ce::CreateMsgQueue(nullptr, &options));
  if (!queue_) return;
  notifications_.reset(
      ce::RequestPowerNotifications(queue_.get(), PBT_TRANSITION | PBT_RESUME | PBT_POWERSTATUSCHANGE));
  if (!notifications_) return;
  stop_.reset(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (stop_) thread_.running = thread_.Start();
}

CQelPowerEventService::~CQelPowerEventService() {
  if (stop_) {
    ce::SetEvent(stop_.get());
    thread_.Wait(10000);
  }
  stop_.reset();
  notifications_.reset();
  queue_.reset();
  // The service owns no listener: those still in the list are unlinked, and
  // their holders keep them.
  Hold hold(lock_);
  listeners_.Clear();
}

void CQelPowerEventService::AddListener(IQelPowerEventListener* listener) {
  if (!listener) return;
  Hold hold(lock_);
  listeners_.Append(listener);
}

void CQelPowerEventService::RemoveListener(IQelPowerEventListener* listener) {
  if (!listener) return;
  Hold hold(lock_);
  listeners_.Unlink(listener);
}

ce::DWORD CQelPowerEventService::Serve() {
  ce::HANDLE handles[] = {stop_.get(), queue_.get()};
  uint8_t record[kRecordBytes];
  while (ce::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    ce::DWORD bytes = 0, flags = 0;
    if (!ce::ReadMsgQueue(queue_.get(), record, sizeof record, &bytes, 0, &flags)) continue;
    Deliver(PowerEventOf(record, bytes));
  }
  return 0;
}

void CQelPowerEventService::Deliver(PowerEvent event) {
  void (IQelPowerEventListener::*call)() = nullptr;
  switch (event) {
    case PowerEvent::kNone:
      return;
    case PowerEvent::kStatusChange:
      call = &IQelPowerEventListener::OnPowerStatusChange;
      break;
    case PowerEvent::kResume:
      call = &IQelPowerEventListener::OnResume;
      break;
    case PowerEvent::kPowerOn:
      call = &IQelPowerEventListener::OnPowerOn;
      break;
    case PowerEvent::kSuspend:
      call = &IQelPowerEventListener::OnSuspend;
      break;
  }
  Hold hold(lock_);
  listeners_.ForEach([&](IQelPowerEventListener* l) { (l->*call)(); });
}

IQelService* CreatePowerEventService() {
  auto* s = new (std::nothrow) CQelPowerEventService;
  return s ? static_cast<IQelPowerEventService*>(s) : nullptr;
}

}  // namespace qel
