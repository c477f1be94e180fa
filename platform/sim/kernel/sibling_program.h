// The simulation's helper programs (the object server, the serial relay, the
// program runner) sit beside its library in the one output folder of
// programs and libraries. Each leaves its starter at once, its work going on
// in a detached grandchild, and answers on descriptor 3.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ce::sim {

// The path of the program of that name beside libqelsim.so; the bare name
// when the library's own path cannot be found.
std::filesystem::path SiblingProgram(std::string_view name);

// Starts the helper program name with args and returns what it wrote on
// descriptor 3 until it closed it (empty when it said nothing); nullopt with
// error set when it could not be started.
std::optional<std::string> StartSibling(std::string_view name, const std::vector<std::string>& args,
                                        std::string* error);

// In the helper: leaves the starter (which reaps the child at once), in a
// session of its own, holding none of the starter's descriptors but the
// answer descriptor 3, with standard input and output on /dev/null. False
// in the starter's child, which is to end now.
bool DetachFromStarter();

// In the helper: says line on descriptor 3, then closes it.
void AnswerStarter(std::string_view line);
// In the helper: answers "error <why>"; the helper's exit status, 1.
int RefuseStarter(std::string_view why);

inline constexpr int kAnswerFd = 3;

}  // namespace ce::sim
