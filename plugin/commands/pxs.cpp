// PXS: the frame shared by its stores, and the choice of store.
#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/pxs_stores.h"

namespace qel {

void Pxs(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  const uint32_t count = args->Count();
  if (count == 0) {
    reply->MissingArguments();
    return;
  }
  bool read = false;
  switch (args->GetChar(1, '\0')) {
    case 'G':
    case 'g':
    case 'R':
    case 'r':
      read = true;
      break;
    case 'S':
    case 's':
    case 'W':
    case 'w':
      read = false;
      break;
    default:
      reply->BadArgument(1);
      return;
  }
  if (!HasMinimum(args, reply, 6)) return;
  const PxsCall call{context, args, reply, count, read};
  // The store names match exactly: "%reg" is a file of that name.
  const std::u16string_view store = TextOf(args->GetText(2, nullptr, -1));
  if (store == u"%REG")
    RegistryStore(call);
  else if (store == u"%QEL")
    SettingsServiceStore(call);
  else
    SettingsFileStore(call);
}

}  // namespace qel
