// Restarting the terminal, warm or cold, for the HAL's reboot control and the
// vendor libraries' boot calls.
#pragma once

#include "ce/types.h"

namespace ce::sim {

// The clean-boot flag: the next reboot clears the object store (the
// registry and the files, back to how the terminal's profile made them).
bool SetCleanBootFlag();

// Takes the terminal down: every program of it ends, every process on it
// hears (this one at once: its down handler runs, or it ends), and the next
// process to use the terminal boots it afresh, cold when asked (the
// clean-boot flag is set first) or when the flag was set before. A terminal
// whose hardware state ignores reboots ("hal.reboot_ignored") takes the
// request and stays up, its flag as it was. FALSE with the error set when the
// terminal cannot be reached.
BOOL RebootTerminal(bool cold = false);

}  // namespace ce::sim
