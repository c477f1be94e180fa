// The simulation's helper programs (the object server, the serial relay) sit
// beside its library in the one output folder of programs and libraries.
#pragma once

#include <filesystem>
#include <string_view>

namespace ce::sim {

// The path of the program of that name beside libqelsim.so; the bare name
// when the library's own path cannot be found.
std::filesystem::path SiblingProgram(std::string_view name);

}  // namespace ce::sim
