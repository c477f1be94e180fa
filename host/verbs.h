// What each qelhost verb does, apart from parsing the command line.
#pragma once

#include <ostream>
#include <string>

#include "plugin_host.h"

namespace qelhost {

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

struct Output {
  std::ostream& out;
  std::ostream& err;
  bool json = false;
};

int ListProperties(PluginHost& host, const Output& o);
int GetProperty(PluginHost& host, const std::string& name, const Output& o);
int SetProperty(PluginHost& host, const std::string& name, const std::string& value, const std::string& kind,
                const Output& o);
int ListServices(PluginHost& host, const Output& o);
// Calls GetESN, GetUSN and GetQELPlatform; 1 when any returned false.
int ShowIdentity(PluginHost& host, const Output& o);
int ListCommands(PluginHost& host, const Output& o);
int ShowTerminal(const Output& o);
int SetTerminal(const std::string& key, const std::string& value, const Output& o);
int ListProfiles(const Output& o);

}  // namespace qelhost
