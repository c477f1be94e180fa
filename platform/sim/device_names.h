// Splitting of device paths into names, shared by profile loading and the file system.
#pragma once

#include <string>
#include <vector>

namespace ce::sim {

// "\Windows\x.dll" or "/Windows/x.dll" -> {"Windows", "x.dll"}. False for names
// that cannot exist on the device or would leave the root ("..", "C:", control
// characters, < > : " | ? *).
bool SplitDevicePath(const std::string& utf8Path, std::vector<std::string>* parts);

}  // namespace ce::sim
