#include "devices/wakeup_service.h"

#include <new>
#include <string_view>
#include <vector>

#include "ce/handle.h"
#include "ce/notify.h"
#include "ce/sync.h"
#include "core/hal_event_handler.h"
#include "core/module_slots.h"

namespace qel {

CQelWakeUpService::CQelWakeUpService() : event_(ce::CreateEventW(nullptr, FALSE, FALSE, kWakeUpEventName)) {
  ClearStaleNotifications();
  ce::CE_NOTIFICATION_TRIGGER trigger{};
  trigger.dwSize = sizeof trigger;
  trigger.dwType = CNT_EVENT;
  trigger.dwEvent = NOTIFICATION_EVENT_WAKEUP;
  char16_t target[std::size(kWakeUpTarget)];
  std::copy(std::begin(kWakeUpTarget), std::end(kWakeUpTarget), target);
  trigger.lpszApplication = target;
  // The registration belongs to the system and outlives the service (the next
  // start clears it), so its handle is not kept.
  ce::CeSetUserNotificationEx(nullptr, &trigger, nullptr);
}

CQelWakeUpService::~CQelWakeUpService() {
  // Closed before the lock goes, which a member declared ahead of it would not be.
  event_.reset();
  // Listeners still in the list are not touched: the service owns none, and
  // their holders may have freed them already.
}

void CQelWakeUpService::ClearStaleNotifications() {
  ce::DWORD count = 0;
  ce::CeGetUserNotificationHandles(nullptr, 0, &count);
  if (count == 0) return;
  std::vector<ce::HANDLE> handles(count);
  if (!ce::CeGetUserNotificationHandles(handles.data(), count, &count)) return;
  for (ce::HANDLE h : handles) {
    ce::DWORD size = 0;
    ce::CeGetUserNotification(h, 0, &size, nullptr);
    if (size < sizeof(ce::CE_NOTIFICATION_INFO_HEADER)) continue;
    std::vector<ce::BYTE> buffer(size);
    if (!ce::CeGetUserNotification(h, size, &size, buffer.data())) continue;
    const auto* info = reinterpret_cast<const ce::CE_NOTIFICATION_INFO_HEADER*>(buffer.data());
    const ce::CE_NOTIFICATION_TRIGGER* trigger = info->pcent;
    if (trigger && trigger->lpszApplication &&
        std::u16string_view(trigger->lpszApplication).find(kWakeUpTarget) != std::u16string_view::npos)
      ce::CeClearUserNotification(h);
  }
}

void CQelWakeUpService::Bind(IQelServiceRegistry* registry) {
  void* held = SlotValue(Slot::HalEventHandler);
  if (!held) held = FetchSlot(Slot::HalEventHandler, registry);
  if (held) AsHalEventHandler(held)->AddSource(this);
}

bool CQelWakeUpService::AddListener(IQelWakeUpListener* listener) {
  if (!listener) return false;
  Hold hold(lock_);
  listeners_.Append(listener);
  return true;
}

bool CQelWakeUpService::RemoveListener(IQelWakeUpListener* listener) {
  if (!listener) return false;
  Hold hold(lock_);
  listeners_.Unlink(listener);
  return true;
}

bool CQelWakeUpService::OnSignaled() {
  Hold hold(lock_);
  listeners_.ForEach([](IQelWakeUpListener* l) { l->OnWakeUp(); });
  return true;
}

IQelService* CreateWakeUpService() {
  auto* s = new (std::nothrow) CQelWakeUpService;
  return s ? static_cast<IQelWakeUpService*>(s) : nullptr;
}

}  // namespace qel
