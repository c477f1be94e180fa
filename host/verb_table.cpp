// qelhost's verbs, declared once in registration order: the order --help lists them.
#include "verb_table.h"

#include "verbs.h"
#include "verbs_commands.h"
#include "verbs_keyboard.h"
#if QEL_HOST_SIMULATION
#include "verbs_events.h"
#include "verbs_objects.h"
#include "verbs_processes.h"
#include "verbs_stream.h"
#include "verbs_terminal.h"
#endif

namespace qelhost {

// The simulated terminal's own verbs exist only where it does.
std::vector<Verb> MakeVerbs() {
  return {
    PropsVerb(), PropVerb(), PropGetVerb(), PropSetVerb(), IdentityVerb(), ServicesVerb(), CommandsVerb(),
#if QEL_HOST_SIMULATION
        TerminalVerb(), TerminalShowVerb(), TerminalSetVerb(), TerminalSerialVerb(), TerminalObjectsVerb(),
        TerminalProcessesVerb(), TerminalStartVerb(), TerminalSuspendVerb(), TerminalResumeVerb(),
        TerminalPowerStatusVerb(), TerminalWakeUpVerb(), ProfilesVerb(),
#endif
        DateVerb(), FileInfoVerb(), RunVerb(), ScriptVerb(), InstallVerb(),
#if QEL_HOST_SIMULATION
        EventsVerb(), WatchVerb(),
#endif
        KeyboardVerb(),
#if QEL_HOST_SIMULATION
        StreamVerb(),
#endif
  };
}

}  // namespace qelhost
