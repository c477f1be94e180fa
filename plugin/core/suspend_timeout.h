// How long the terminal may stay idle on battery before it suspends: free
// functions, shared by a property and a command.
#pragma once

#include <cstdint>

namespace qel {

// 0xFFFFFFFF when it cannot be read.
uint32_t GetBatterySuspendTimeout();
bool SetBatterySuspendTimeout(uint32_t timeout);

}  // namespace qel
