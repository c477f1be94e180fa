// ILD and SWP: commands the host may send that have no work on this
// terminal. ILD takes its arguments and succeeds; SWP always says so.
#include "commands/command_frame.h"
#include "commands/commands.h"

namespace qel {

void Ild(ICommandContext*, ICommandArguments* args, ICommandReply* reply) { HasMinimum(args, reply, 2); }

void Swp(ICommandContext* context, ICommandArguments*, ICommandReply*) {
  context->SetResult(1, u"Not implemented on this platform");
}

}  // namespace qel
