// The display backlight of the simulated terminal: its state is hardware
// fields (backlight.*), and every change it makes is one line of its history
// in outputs/backlight/.
#pragma once

#include <string>

#include "hardware.h"

namespace ce::sim {

// Makes the change with its line ("on", "off", "brightness 60", "timeouts
// battery 30 ac 60", "user activity"); false when the change was refused.
bool RecordBacklight(const hw::Changes& changes, const std::string& line);

}  // namespace ce::sim
