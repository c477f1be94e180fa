// The verbs that run the module's commands and hand it packages.
#pragma once

#include <string>

#include "verbs.h"

namespace qelhost {

int RunLine(PluginHost& host, const std::string& line, const Output& o);
// Lines of the file in order; blank lines and lines starting with # are skipped.
int RunScript(PluginHost& host, const std::string& file, const Output& o);
// Hands a package to the module's file handler for its pattern.
int InstallPackage(PluginHost& host, const std::string& file, bool deleteAfter, const Output& o);

Verb RunVerb();
Verb ScriptVerb();
Verb InstallVerb();

}  // namespace qelhost
