// The display backlight of the simulated terminal: its state is hardware
// fields (backlight.*), and every change it makes is one line of history in
// outputs/backlight/, one file per change.
#pragma once

#include <string>

namespace ce::sim {

// "on", "off", "brightness 60", "timeouts battery 30 ac 60", "user activity".
void RecordBacklight(const std::string& line);

}  // namespace ce::sim
