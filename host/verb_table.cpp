// qelhost's verbs, declared once in registration order: the order --help lists them.
#include "verb_table.h"

#include "verbs.h"
#include "verbs_commands.h"
#include "verbs_events.h"
#include "verbs_keyboard.h"
#include "verbs_objects.h"
#include "verbs_processes.h"
#include "verbs_stream.h"

namespace qelhost {

std::vector<Verb> MakeVerbs() {
  return {
      PropsVerb(),
      PropVerb(),
      PropGetVerb(),
      PropSetVerb(),
      IdentityVerb(),
      ServicesVerb(),
      CommandsVerb(),
      TerminalVerb(),
      TerminalShowVerb(),
      TerminalSetVerb(),
      TerminalSerialVerb(),
      TerminalObjectsVerb(),
      TerminalProcessesVerb(),
      TerminalStartVerb(),
      TerminalSuspendVerb(),
      TerminalResumeVerb(),
      TerminalPowerStatusVerb(),
      TerminalWakeUpVerb(),
      ProfilesVerb(),
      DateVerb(),
      FileInfoVerb(),
      RunVerb(),
      ScriptVerb(),
      InstallVerb(),
      EventsVerb(),
      WatchVerb(),
      KeyboardVerb(),
      StreamVerb(),
  };
}

}  // namespace qelhost
