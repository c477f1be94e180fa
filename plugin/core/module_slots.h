// Module-wide interface slots: one counted pointer per interface the module
// uses, filled by Register or by the first user that finds one empty, and
// released by UnRegister.
#pragma once

#include <cstddef>

#include "qel/guid.h"
#include "qel/service.h"

namespace qel {

enum class Slot {
  StreamRegistry,
  FileSystem,
  Settings,
  Audio,
  FileService,
  FileLocation,
  Wlan,
  Unnamed1,
  Backlight,
  Unnamed2,
  Terminal,
  Radio,
  Battery,
  Cradle,
  Application,  // the host's application service
  HalEventHandler,
  Window,
  kCount
};

const GUID& SlotGuid(Slot slot);
// The identifier's name as reports show it ("IID_QELAUDIOSERVICE"), or the GUID text.
const char* SlotName(Slot slot);

void* SlotValue(Slot slot);
template <class T>
T* SlotAs(Slot slot) {
  return static_cast<T*>(SlotValue(slot));
}

// Asks a provider for the slot's interface and stores it when the slot is
// still empty; a rival fill that won first keeps its pointer and ours is
// released, so the slot holds exactly one reference. Returns the slot's value.
void* FillSlot(Slot slot, IQelService* provider);

// QueryService on the registry, then FillSlot. Null when either step fails.
void* FetchSlot(Slot slot, IQelServiceRegistry* registry);

// Register's fetch: QueryService, then GetInterface even when the slot is
// already held (the host sees every request); a fresh pointer replaces the
// held one, whose reference goes, so the slot still holds one. A failed fetch
// leaves the slot as it was. Returns the slot's value.
void* RefetchSlot(Slot slot, IQelServiceRegistry* registry);

// Releases the slot's reference (through the interface's own release) and clears it.
void ReleaseSlot(Slot slot);

}  // namespace qel
