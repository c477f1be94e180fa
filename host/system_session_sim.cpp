// The simulated terminal the module runs on under Linux: the options that
// choose it, what is made ready on it before a verb, and how a reboot of it
// ends qelhost.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "ce/sim/control.h"
#include "host_services.h"
#include "module_crash.h"
#include "system_session.h"
#include "terminal_setup.h"
#include "verbs.h"
#include "verbs_events.h"

namespace qelhost {
namespace {

constexpr std::string_view kWhere =
    "Runs the module on a simulated terminal: --terminal DIR uses (or makes) the terminal in DIR;\n"
    "--profile NAME picks the profile a new terminal is made from (a built-in name, see\n"
    "'qelhost profiles', or a JSON file). Without either, a persistent terminal of the default\n"
    "profile in $XDG_STATE_HOME/qelhost (else ~/.local/state/qelhost) is used.\n";

constexpr std::string_view kMore =
    "\n"
    "'events' and 'watch' print one JSON line per event until interrupted (SIGINT, SIGTERM),\n"
    "--count lines were printed or --seconds passed; 'watch' ends with status 1 when its folder is\n"
    "deleted (a folder made again under the name is another folder: watch it anew).\n"
    "'terminal suspend|resume|power-status|wakeup' makes the terminal deliver that event to every\n"
    "qelhost running on it. A crash on a thread of the module appends a line to Qel-Clientv4.err\n"
    "beside the program's device path\n"
    "(\\Program Files\\Qel\\qelhost.exe: <terminal>/fs/Program Files/Qel/Qel-Clientv4.err) and\n"
    "ends the process.\n"
    "BRP starts a program of the terminal (see the README's programs); the host's application\n"
    "service prints 'qelhost: NAME comes to the foreground' or '... goes to the background' on\n"
    "stderr (--json: {\"application\":NAME,\"notice\":\"foreground\"|\"background\"}). Ctrl-C or\n"
    "SIGTERM while run or script runs sets its stop handle first, so a BRP waiting on a program\n"
    "stops waiting, and then ends qelhost as the signal does; the program runs on in a process of\n"
    "its own ('terminal processes' lists the terminal's programs, 'terminal start' starts one).\n"
    "--wait-time MS of run and script is each command's wait time: BSP lets a program close its\n"
    "windows that long before ending it (without it BSP ends it at once). SRB takes the terminal\n"
    "down: qelhost prints 'qelhost: the terminal went down (warm reboot)' or '(cold reboot)' (--json:\n"
    "{\"asked\":true,\"reboot\":\"warm\"|\"cold\",\"terminal\":\"down\"}) on stderr and ends with status 0;\n"
    "another qelhost on the terminal says so too ('asked by another process', \"asked\":false) and\n"
    "ends with status 1. The next qelhost boots it, after a cold reboot with its registry and files\n"
    "as the profile made them; a clean-boot flag set by a cold reboot that did not happen stays\n"
    "until the next reboot, which is then cold, as on the device.\n"
    "qelhost has a main window on the terminal (class QelHostWindow, title qelhost, 0,0 240x320),\n"
    "which the module gets through the host's window service. 'keyboard show|hide|toggle|state'\n"
    "drives the input panel through the module's keyboard service; --main-window L,T,W,H moves\n"
    "the main window first (a shown panel sits on its bottom); it prints the panel's state and\n"
    "windows and every message the main window received (0x603: 1 panel shown, 0 hidden).\n"
    "Serial ports (COM1: ...) are plugged into the host tty or pseudo-terminal that\n"
    "kernel.serial_ports.<port> names ('terminal set kernel.serial_ports.COM1: /dev/ttyUSB0'); empty, a\n"
    "port has nothing plugged in. 'terminal serial COM1' plugs it into a new pseudo-terminal and prints\n"
    "the path of the line's far end (--json: {\"port\", \"path\"}) for picocom, socat or a test; a relay\n"
    "started for it runs on after qelhost, until the port is plugged elsewhere ('terminal serial COM1\n"
    "--off' plugs it into nothing and waits for the relay to end) or the terminal folder is removed.";

// A closed standard stream's descriptor would be handed to the next file
// opened (a registry, say), and the output written into it. Each closed one
// is held by /dev/null, opened so that writes to it fail (stdout) or vanish.
void HoldClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = ::open("/dev/null", fd == 1 ? O_RDONLY : O_RDWR);
    if (held >= 0 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

// A reader that went away (qelhost ... | head) makes the write fail, reported
// as any output failure, rather than end the process. A handler, not SIG_IGN:
// programs the terminal starts get the default action back at exec.
void FailWritesToClosedPipes() {
  struct sigaction action {};
  action.sa_handler = [](int) {};
  action.sa_flags = SA_RESTART;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace

void PrepareProcess(int&, char**&) {
  HoldClosedStandardStreams();
  FailWritesToClosedPipes();
  ReportModuleCrashes();
}

SystemAboutText SystemAbout() { return {kWhere, kMore}; }

std::vector<CLI::Option*> AddSystemOptions(CLI::App& app, SystemOptions& options) {
  app.add_flag("--trace", options.trace,
               "print every system call the module makes on stderr (as QEL_TRACE=1 does)");
  auto* terminal = app.add_option("--terminal", options.terminal,
                                  "terminal state folder (made from the profile when new)");
  auto* profile =
      app.add_option("--profile", options.profile, "profile of a new terminal: built-in name or JSON file");
  return {terminal, profile};
}

int EnterSystem(const SystemOptions& options, const Verb& verb, const Output& out) {
  // Before the first system call: the system library reads it once.
  if (options.trace && std::string_view(std::getenv("QEL_TRACE") ? std::getenv("QEL_TRACE") : "") != "all")
    ::setenv("QEL_TRACE", "1", 1);
  std::string error, notice;
  const auto dir = PrepareTerminal(options.terminal, options.profile, &error, &notice);
  if (!dir) {
    out.err << "qelhost: " << Printable(error) << "\n";
    return kUsage;
  }
  if (!notice.empty()) out.err << "qelhost: " << Printable("note: " + notice) << "\n";
  // The module's process runs on this terminal, whichever way the system layer is asked.
  ::setenv(ce::sim::kTerminalEnv, dir->c_str(), 1);
  // The terminal sees qelhost as the host client installed in its own folder,
  // whose module path the plug-in inventory and the error log start from (and
  // under which it joins the terminal's process table).
  ce::sim::SetProgramPath(kHostExecutable);
  // A reboot ends every process of the terminal, this one with it: a reboot
  // this qelhost's command asked for is what it did (status 0); one from
  // elsewhere cut its work short (status 1).
  ce::sim::OnTerminalDown([json = out.json](bool cold, bool asked) {
    const std::string how = cold ? "cold" : "warm";
    const std::string line =
        json ? nlohmann::json{{"terminal", "down"}, {"reboot", how}, {"asked", asked}}.dump() + "\n"
             : "qelhost: the terminal went down (" + how + " reboot" +
                   (asked ? ")\n" : ", asked by another process): this run is cut short\n");
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(asked ? kOk : kFailed);
  });
  if (!ce::sim::UseTerminal(*dir, &error)) {
    out.err << "qelhost: " << Printable(error) << "\n";
    return kUsage;
  }
  // Before the module starts its threads, which inherit the signal mask.
  if (verb.hold == Hold::kEndSignals) HoldEndSignals();
  return kOk;
}

int LostSystemOutput() { return ce::sim::LostTraceError(); }

}  // namespace qelhost
