// The simulated terminal's own verbs: `terminal show|set|serial` and `profiles`.
#pragma once

#include <string>

#include "verbs.h"

namespace qelhost {

int ShowTerminal(const Output& o);
int SetTerminal(const std::string& key, const std::string& value, const Output& o);
// Plugs the terminal's serial port into a new pseudo-terminal and prints the
// far end's path; with off, plugs it into nothing.
int PlugSerialPort(const std::string& port, bool off, const Output& o);
int ListProfiles(const Output& o);

Verb TerminalVerb();
Verb TerminalShowVerb();
Verb TerminalSetVerb();
Verb TerminalSerialVerb();
Verb ProfilesVerb();

}  // namespace qelhost
