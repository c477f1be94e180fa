// Windows itself is the system the module runs on: its registry, files,
// memory, power status and display settings. Nothing is made ready before a
// verb; the process is readied to report rather than ask.
// Winsock 2 before windows.h, as the ce headers have them.
#include <winsock2.h>
// Second, as said above.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "ceutil/text.h"
#include "module_crash.h"
#include "system_session.h"
#include "verbs.h"

namespace qelhost {
namespace {

constexpr std::string_view kWhere =
    "Runs the module on this Windows system: the registry, files, memory, power status and display\n"
    "settings it reads are the system's own, and what it changes changes there. A desktop Windows\n"
    "lacks what only a terminal has: the vendor libraries, KernelIoControl, the extended power status,\n"
    "the input panel, point-to-point message queues and user notifications. What the module reads or\n"
    "does through them fails as on a terminal without that driver or library ('props' shows such a\n"
    "property as failed, and the command reports its failure).\n";

constexpr std::string_view kMore =
    "\nThe simulated terminal's verbs (terminal, profiles, events, watch, stream and the terminal's\n"
    "programs and reboots) are those of qelhost on Linux.\n";

// The arguments as UTF-8, whatever the code page: the command line is taken
// in its wide form. Kept for the life of the process, as argv is.
std::vector<std::string> g_arguments;
std::vector<char*> g_argv;

void TakeWideArguments(int& argc, char**& argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return;  // the narrow arguments stand
  for (int i = 0; i < count; ++i)
    g_arguments.push_back(ceutil::ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
  ::LocalFree(wide);
  for (std::string& a : g_arguments) g_argv.push_back(a.data());
  g_argv.push_back(nullptr);
  argc = count;
  argv = g_argv.data();
}

}  // namespace

void PrepareProcess(int& argc, char**& argv) {
  // A module the loader refuses, or a missing disk, is an error message, never a dialog box.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Text qelhost prints is UTF-8; a console shows it as such.
  ::SetConsoleOutputCP(CP_UTF8);
  TakeWideArguments(argc, argv);
  ReportModuleCrashes();
}

SystemAboutText SystemAbout() { return {kWhere, kMore}; }

std::vector<CLI::Option*> AddSystemOptions(CLI::App&, SystemOptions&) { return {}; }

int EnterSystem(const SystemOptions&, const Verb&, const Output&) { return kOk; }

int LostSystemOutput() { return 0; }

}  // namespace qelhost
