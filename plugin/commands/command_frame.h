// What every command handler shares: the minimum count, the services it
// needs found through the module slots, and the texts of its arguments.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/file_ref.h"
#include "core/module_slots.h"
#include "qel/command.h"

namespace qel {

// MissingArguments and false when the command has fewer than `minimum` entries.
bool HasMinimum(ICommandArguments* args, ICommandReply* reply, uint32_t minimum);

// The slot's interface: the one held, else fetched through the command's
// context into the slot, where it stays for later commands. On failure the
// command is told "QelService <name> not found." and null comes back.
void* RequireService(Slot slot, ICommandContext* context, ICommandReply* reply);
template <class T>
T* Require(Slot slot, ICommandContext* context, ICommandReply* reply) {
  return static_cast<T*>(RequireService(slot, context, reply));
}

// The characters of a text object; empty for null.
std::u16string_view TextOf(IQelText* text);
// NUL-terminated characters of a text object; "" for null.
const char16_t* CharsOf(IQelText* text);

}  // namespace qel
