// `stream TYPE [VALUE...]`: a stream of the module's factories, configured
// with the values, opened, and pumped like a small netcat: standard input is
// written to it and what it reads goes to standard output.
#pragma once

#include <string>
#include <vector>

#include "plugin_host.h"
#include "verbs.h"

namespace qelhost {

struct StreamOptions {
  std::string type;
  std::vector<std::string> values;
  uint32_t timeoutMs = 5000;  // Open's, and each Read's and Write's
  long idleMs = -1;           // after standard input ends: end after this long without input; -1 never
};

int PumpStream(PluginHost& host, const StreamOptions& options, const Output& o);

Verb StreamVerb();

}  // namespace qelhost
