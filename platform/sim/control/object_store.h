// A terminal's object store across reboots: the registry and the files,
// which a cold boot makes afresh from the terminal's profile.
#pragma once

#include <filesystem>

namespace ce::sim {

// The boot of the terminal in dir after a reboot: the store cleared when the
// clean-boot flag was set, the tick count restarted. Nothing without a reboot.
void HonourReboot(const std::filesystem::path& dir);

}  // namespace ce::sim
