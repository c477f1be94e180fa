// BSP and SRB: a program of the terminal stopped, the terminal restarted.
#include "ce/device.h"
#include "ce/sync.h"
#include "ce/thread.h"
#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/process_stop.h"
#include "qel/terminal.h"

namespace qel {
namespace {

// How long SRB waits for the terminal to go down when the command gives no
// wait time: a terminal still up after this did not restart.
constexpr int32_t kRebootWaitMs = 10'000;

}  // namespace

void Bsp(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  // A name first; argument 1 is a process id when no process has that name.
  uint32_t id = FindProcessByName(TextOf(args->GetText(1, nullptr, -1)));
  if (id == 0) id = uint32_t(args->GetInt(1, 0));
  const int32_t exitCode = args->GetNumber(2, -9);
  if (!ProcessCloser(id, uint32_t(exitCode), context->WaitTime())) context->SetResult(1, nullptr);
}

void Srb(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  const char letter = args->GetChar(1, 'S');
  const bool cold = letter == 'H' || letter == 'h';
  auto* terminal = Require<IQelTerminalService>(Slot::Terminal, context, reply);
  if (!terminal) return;
  terminal->Reboot(cold);
  // Still running: the service did not restart the terminal; the kernel is asked.
  if (cold) ce::SetCleanRebootFlag();
  const bool asked = ce::KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr) != FALSE;
  // The process ends with the terminal during this wait; outliving it means
  // the terminal stayed up. A kernel that refused the request is not waited for.
  if (asked) {
    const int32_t wait = context->WaitTime();
    ce::Sleep(ce::DWORD(wait > 0 ? wait : kRebootWaitMs));
  }
  context->SetResult(1, u"The terminal did not restart.");
}

}  // namespace qel
