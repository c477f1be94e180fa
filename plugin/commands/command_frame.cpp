#include "commands/command_frame.h"

#include <string>

namespace qel {

bool HasMinimum(ICommandArguments* args, ICommandReply* reply, uint32_t minimum) {
  if (args->Count() >= minimum) return true;
  reply->MissingArguments();
  return false;
}

void* RequireService(Slot slot, ICommandContext* context, ICommandReply* reply) {
  if (void* held = SlotValue(slot)) return held;
  if (void* found = FillSlot(slot, context->QueryService(SlotGuid(slot)))) return found;
  const std::string name = SlotName(slot);
  const std::u16string text = u"QelService " + std::u16string(name.begin(), name.end()) + u" not found.";
  reply->Fail(text.c_str());
  return nullptr;
}

std::u16string_view TextOf(IQelText* text) {
  if (!text || !text->Chars()) return {};
  return {text->Chars(), text->Length()};
}

const char16_t* CharsOf(IQelText* text) { return text && text->Chars() ? text->Chars() : u""; }

}  // namespace qel
