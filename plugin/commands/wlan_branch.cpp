// CCK: the running command sequence goes on at argument 2 when the WLAN
// adapter is connected, at argument 3 when it is not.
#include "commands/command_frame.h"
#include "commands/commands.h"
#include "qel/wlan.h"

namespace qel {

void Cck(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  auto* wlan = Require<IQelWlanService>(Slot::Wlan, context, reply);
  if (!wlan) return;
  bool connected = false;  // a query that fails leaves it so
  wlan->IsConnected(&connected);
  const int32_t used = connected ? 2 : 3;
  if (context->Branch(args->GetText(used, nullptr, -1)) != 0) reply->BadArgument(used);
}

}  // namespace qel
