// The shape of what RegisterService announces: groups (a service, or a run of
// context-free entries), commands and properties, each a table in registration
// order, and the loop that registers them.
#pragma once

#include <cstdint>
#include <span>

#include "qel/guid.h"
#include "qel/host.h"

namespace qel {

enum class Group {
  HalEventHandler,
  Audio,
  Keyboard,
  WakeUp,
  PowerEvent,
  ContextFreeProperties,
  Backlight,
  ContextFreeCommands,
  Cradle,
  Led,
  CommandsAfterLed,
  Battery,
  Wlan,
  Terminal,
  Display,
};

struct GroupEntry {
  Group group;
  const GUID* iid;           // null for a context-free group
  IQelService* (*create)();  // null while this build has no such service
  // When creation fails, nothing of the group is registered (instead of its
  // properties being registered without a context).
  bool onlyWithService;
};

struct CommandEntry {
  const char16_t* code;
  Group group;
  int32_t flag;
  int32_t timeout;
  bool serviceContext;        // the group's service is the command's context
  QelCommandHandler handler;  // null while this build has no handler
  QelArgumentKindFn kinds;
};

struct PropertyEntry {
  const char16_t* name;
  Group group;
  QelPropertyFn getter;
  QelPropertyFn setter;  // null: read-only
};

struct RegistrationTables {
  std::span<const GroupEntry> groups;
  std::span<const CommandEntry> commands;
  std::span<const PropertyEntry> properties;
};

// Creates each group's service and registers it, then the group's commands and
// properties with the service as context, and drops the creation reference.
void RegisterAll(IQelRegistrar* registrar, const RegistrationTables& tables);

}  // namespace qel
