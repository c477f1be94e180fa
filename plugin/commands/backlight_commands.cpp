// DBL and PGT: the backlight switch and the backlight and suspend time-outs.
// Neither reports what the services answer: the terminal is told, and
// whether it listened is its own affair.
#include "ceutil/text.h"
#include "commands/command_frame.h"
#include "commands/commands.h"
#include "core/suspend_timeout.h"
#include "qel/backlight.h"

namespace qel {
namespace {

constexpr int32_t kNotANumber = -1;

}  // namespace

void Dbl(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  auto* backlight = Require<IQelBacklightService>(Slot::Backlight, context, reply);
  if (!backlight) return;

  const int32_t timeout = args->GetInt(1, kNotANumber);
  if (timeout == kNotANumber) {
    const std::u16string_view word = TextOf(args->GetText(1, u"ON", -1));
    if (ceutil::EqualNoCase(word, u"ON"))
      backlight->SetBacklight(true);
    else if (ceutil::EqualNoCase(word, u"OFF"))
      backlight->SetBacklight(false);
    else
      reply->BadArgument(1);
    return;
  }
  if (timeout == 0) return;
  backlight->SetTimeout(uint32_t(timeout));
  backlight->SetBacklight(true);
}

void Pgt(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  switch (args->GetChar(1, '\0')) {
    case 'G':
    case 'g':
    case 'R':
    case 'r':
      return;  // the settings are read as properties
    case 'S':
    case 's':
    case 'W':
    case 'w':
      break;
    default:
      reply->BadArgument(1);
      return;
  }
  auto* backlight = Require<IQelBacklightService>(Slot::Backlight, context, reply);
  if (!backlight) return;
  backlight->SetTimeout(uint32_t(args->GetInt(6, 0)));
  if (args->Count() >= 4 && !args->IsEmpty(4)) SetBatterySuspendTimeout(uint32_t(args->GetInt(4, 0)));
}

}  // namespace qel
