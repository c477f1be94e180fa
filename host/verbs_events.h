// Verbs that follow the module's events: power transitions and wake-ups, and
// changes of watched folders. Each prints one JSON line per event until it has
// printed --count lines, --seconds have passed, or SIGINT or SIGTERM arrives.
#pragma once

#include <string>

#include "plugin_host.h"
#include "verbs.h"

namespace qelhost {

struct Bounds {
  long count = 0;      // 0: no limit
  double seconds = 0;  // 0: no limit
};

// Blocks SIGINT and SIGTERM in this thread and in every thread started after
// it (the module's), so that the verbs below take them as an end.
void HoldEndSignals();
// Waits up to that long for an end signal held so; true when one came.
bool AwaitEndSignal(long milliseconds);

int FollowEvents(PluginHost& host, const Bounds& bounds, const Output& o);
int WatchFolder(PluginHost& host, const std::string& name, const std::string& path, const Bounds& bounds,
                const Output& o);
// `terminal suspend|resume|power-status|wakeup`: the terminal delivers it to
// every process using it.
int DeliverPowerEvent(const std::string& which, const Output& o);

Verb EventsVerb();
Verb WatchVerb();
Verb TerminalSuspendVerb();
Verb TerminalResumeVerb();
Verb TerminalPowerStatusVerb();
Verb TerminalWakeUpVerb();

}  // namespace qelhost
