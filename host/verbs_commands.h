// The verbs that run the module's commands and hand it packages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "verbs.h"

namespace qelhost {

// waitMs: each command's wait time (-1: none).
int RunLine(PluginHost& host, const std::string& line, int32_t waitMs, const Output& o);
// How many command lines a script runs at most unless told otherwise.
inline constexpr size_t kDefaultMaxSteps = 10'000;
// The file's command lines in order, branching to its labels (script.h).
int RunScript(PluginHost& host, const std::string& file, size_t maxSteps, int32_t waitMs, const Output& o);
// Hands a package to the module's file handler for its pattern.
int InstallPackage(PluginHost& host, const std::string& file, bool deleteAfter, const Output& o);

Verb RunVerb();
Verb ScriptVerb();
Verb InstallVerb();

}  // namespace qelhost
