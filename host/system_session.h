// What differs between the systems qelhost runs the module on, around the
// verbs: how the process is readied, the options that choose where the module
// runs, and what is prepared before a verb. On Linux that is a simulated
// terminal (system_session_sim.cpp); on Windows the system itself
// (system_session_win32.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "verb_table.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace qelhost {

struct Output;

struct SystemOptions {
  std::string terminal, profile;
  bool trace = false;
};

// Before anything else: standard streams, the end of a closed pipe, crash
// reports, and the arguments as UTF-8 (argv may be replaced).
void PrepareProcess(int& argc, char**& argv);
// The parts of --help that say where the module runs (first) and what is
// particular to it there (last).
struct SystemAboutText {
  std::string_view where, more;
};
SystemAboutText SystemAbout();
// The options choosing where the module runs; returns those naming a file or folder.
std::vector<CLI::Option*> AddSystemOptions(CLI::App& app, SystemOptions& options);
// Readies the system for the verb, up to loading the module: kOk, or the
// exit status once it has said on out.err what was wrong.
int EnterSystem(const SystemOptions& options, const Verb& verb, const Output& out);
// An error writing what the system layer prints itself (the trace), or 0.
int LostSystemOutput();

}  // namespace qelhost
