// `terminal objects`: what the terminal holds now, as every process on it sees
// it: its processes (qelhost processes and terminal programs) and its named
// events, mutexes and semaphores.
#pragma once

#include "verb_table.h"
#include "verbs.h"

namespace qelhost {

int ShowTerminalObjects(const Output& o);

Verb TerminalObjectsVerb();

}  // namespace qelhost
