// The built-in programs a terminal's program file can name.
#pragma once

#include <string_view>

#include "ce/types.h"

namespace ce::sim {

// Runs to its end on the calling thread and returns the exit code. settings:
// what the program's file holds after its first line.
using ProgramMain = DWORD (*)(std::u16string_view arguments, std::string_view settings);

// The line that makes a file a program: "#!qel-program NAME".
inline constexpr std::string_view kProgramMagic = "#!qel-program ";

// Null for a name that is no built-in program.
ProgramMain FindProgram(std::string_view name);

// "wceload": the package installer (wceload.cpp).
DWORD WceloadMain(std::u16string_view arguments, std::string_view settings);
// "app": a program with windows and a message loop (app.cpp).
DWORD AppMain(std::u16string_view arguments, std::string_view settings);

}  // namespace ce::sim
