// `terminal processes` and `terminal start`: the terminal's process table as
// a person sees it, and a program of the terminal started from outside, so
// that what commands stop, wait for or bring forward can be set up by hand.
#pragma once

#include "verb_table.h"

namespace qelhost {

Verb TerminalProcessesVerb();
Verb TerminalStartVerb();

}  // namespace qelhost
