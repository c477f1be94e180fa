// qelhost: loads the hardware-abstraction module and lets a person drive it
// on a simulated terminal.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "ce/sim/control.h"
#include "host_services.h"
#include "module_crash.h"
#include "plugin_host.h"
#include "terminal_setup.h"
#include "verb_table.h"
#include "verbs.h"
#include "verbs_events.h"

namespace {

constexpr const char* kAbout =
    "qelhost - host client for the QelHal_HON2.mpi hardware-abstraction module\n\n"
    "Runs the module on a simulated terminal: --terminal DIR uses (or makes) the terminal in DIR;\n"
    "--profile NAME picks the profile a new terminal is made from (a built-in name, see\n"
    "'qelhost profiles', or a JSON file). Without either, a persistent terminal of the default\n"
    "profile in $XDG_STATE_HOME/qelhost (else ~/.local/state/qelhost) is used.\n"
    "Exit status: 0 success, 1 a getter or setter failed or a command reported a failure,\n"
    "2 bad usage, unknown property or command, unreadable profile, module, terminal or script,\n"
    "3 the output could not be written, 4 the module crashed inside a call qelhost made into it\n"
    "(stderr names the signal and the call).\n\n"
    "Command lines (run, script): blanks separate entries; double quotes group, and two double\n"
    "quotes inside quotes stand for one; an entry starting with an unquoted $ is an output\n"
    "variable ($name). The first entry is the command code. Example:\n"
    "  qelhost run 'PXS R %REG HKEY_LOCAL_MACHINE\\Software\\Demo Name $v $t'\n"
    "Absent arguments take the command's defaults; a number is decimal or 0x hexadecimal.\n"
    "Scripts: blank lines and lines starting with # are skipped; a line ':NAME' is a label (letters,\n"
    "digits, _ - ., any case) that a command such as CCK may branch to ('CCK x :up down' goes on at\n"
    ":up when the WLAN adapter is connected, else at :down); one 'run' line has no labels, so a\n"
    "branch there is refused. A script that has branched back stops with status 1 after\n"
    "--max-steps command lines (10000): a loop without end.\n"
    "File names: a device path (\\Temp\\x.cab) as it stands; <QEL>name and bare names are\n"
    "in the host's folder on the terminal, \\Program Files\\Qel\\, <ADM>name in its agent's,\n"
    "\\Program Files\\Qel\\Agent\\ (QEL_VER_CLIENT, QEL_VER_AGENT read product.inf there). The host's own "
    "settings\n"
    "(%QEL) live in the terminal's registry, HKEY_LOCAL_MACHINE\\Software\\Qel\\Settings\\<section>.\n"
    "Values of prop set: --kind Bool takes 1/0, true/false, yes/no, on/off, t/f, y/n (whole words,\n"
    "any case); TriState takes those or unknown; numbers are whole decimal numbers that fit the kind.\n"
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

// Everything printed has reached the file or pipe; else says why on stderr.
bool FinishOutput() {
  std::cout.flush();
  const bool written = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
  const int err = errno;
  const bool closed = std::fclose(stdout) == 0;
  if (written && closed) return true;
  qelhost::ReportOutputFailure(std::cerr, written ? errno : err);
  return false;
}

void Say(const std::string& text) { std::cerr << "qelhost: " << qelhost::Printable(text) << "\n"; }

int Run(int argc, char** argv);

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

int main(int argc, char** argv) {
  HoldClosedStandardStreams();
  FailWritesToClosedPipes();
  qelhost::ReportModuleCrashes();
  const int status = Run(argc, argv);
  if (status == qelhost::kOutputFailed) {  // the verb found it first and said why
    std::fclose(stdout);
    return status;
  }
  // Output that did not arrive outweighs whatever the verb itself reported.
  if (!FinishOutput()) return qelhost::kOutputFailed;
  if (const int lost = ce::sim::LostTraceError()) {  // the trace is output too
    qelhost::ReportOutputFailure(std::cerr, lost);
    return qelhost::kOutputFailed;
  }
  return status;
}

namespace {

using qelhost::Verb;

struct GlobalOptions {
  std::string terminal, profile, plugin;
  bool json = false, trace = false;
};

// Adds the options every verb takes; returns those naming a file or folder.
std::vector<CLI::Option*> AddGlobalOptions(CLI::App& app, GlobalOptions& g) {
  app.add_flag("--trace", g.trace,
               "print every system call the module makes on stderr (as QEL_TRACE=1 does)");
  auto* terminal =
      app.add_option("--terminal", g.terminal, "terminal state folder (made from the profile when new)");
  auto* profile =
      app.add_option("--profile", g.profile, "profile of a new terminal: built-in name or JSON file");
  auto* plugin =
      app.add_option("--plugin", g.plugin, "path of the module (default: QelHal_HON2.mpi beside qelhost)");
  app.add_flag("--json", g.json, "print JSON");
  return {terminal, profile, plugin};
}

// One subcommand per verb, a sub-verb's below its group's; returns them in the table's order.
std::vector<CLI::App*> AddVerbs(CLI::App& app, const std::vector<Verb>& verbs) {
  std::vector<CLI::App*> commands;
  for (const Verb& verb : verbs) {
    CLI::App* parent = &app;
    std::string_view name = verb.path;
    for (size_t blank; (blank = name.find(' ')) != std::string_view::npos; name.remove_prefix(blank + 1))
      parent = parent->get_subcommand(std::string(name.substr(0, blank)));
    CLI::App* command = parent->add_subcommand(std::string(name), std::string(verb.help));
    if (!verb.handle) command->require_subcommand(1);
    if (verb.addOptions) verb.addOptions(*command);
    commands.push_back(command);
  }
  return commands;
}

int Run(int argc, char** argv) {
  using namespace qelhost;
  CLI::App app{kAbout, "qelhost"};
  app.require_subcommand(1);
  app.fallthrough();  // global options may follow the verb
  GlobalOptions global;
  const std::vector<CLI::Option*> paths = AddGlobalOptions(app, global);
  const std::vector<Verb> verbs = MakeVerbs();
  const std::vector<CLI::App*> commands = AddVerbs(app, verbs);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::RequiredError& e) {
    // An unknown option is the first thing wrong, though the parser checks for
    // a missing verb before it looks at what was left over.
    if (const auto extras = app.remaining(); !extras.empty())
      app.exit(CLI::ExtrasError(extras));
    else
      app.exit(e);
    return kUsage;
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kUsage;
  }

  // An empty value is a mistake (an unset variable in a script), never "the default".
  for (const auto* option : paths) {
    if (option->count() > 0 && option->as<std::string>().empty()) {
      Say(option->get_name() + " needs a value; it was given an empty one");
      return kUsage;
    }
  }

  const Output out{std::cout, std::cerr, global.json};
  // Before the first system call: the system library reads it once.
  if (global.trace && std::string_view(std::getenv("QEL_TRACE") ? std::getenv("QEL_TRACE") : "") != "all")
    ::setenv("QEL_TRACE", "1", 1);
  // The parser has required one verb, and one sub-verb of a group.
  const Verb* verb = nullptr;
  for (size_t i = 0; i < verbs.size() && !verb; ++i)
    if (verbs[i].handle && commands[i]->parsed()) verb = &verbs[i];
  if (!verb) return kUsage;
  if (verb->needs == Needs::kNothing) return verb->handle({out, nullptr});

  std::string error, notice;
  const auto dir = PrepareTerminal(global.terminal, global.profile, &error, &notice);
  if (!dir) {
    Say(error);
    return kUsage;
  }
  if (!notice.empty()) Say("note: " + notice);
  // The module's process runs on this terminal, whichever way the system layer is asked.
  ::setenv(ce::sim::kTerminalEnv, dir->c_str(), 1);
  // The terminal sees qelhost as the host client installed in its own folder,
  // whose module path the plug-in inventory and the error log start from (and
  // under which it joins the terminal's process table).
  ce::sim::SetProgramPath(kHostExecutable);
  // A reboot ends every process of the terminal, this one with it: a reboot
  // this qelhost's command asked for is what it did (status 0); one from
  // elsewhere cut its work short (status 1).
  ce::sim::OnTerminalDown([json = global.json](bool cold, bool asked) {
    const std::string how = cold ? "cold" : "warm";
    const std::string line =
        json ? nlohmann::json{{"terminal", "down"}, {"reboot", how}, {"asked", asked}}.dump() + "\n"
             : "qelhost: the terminal went down (" + how + " reboot" +
                   (asked ? ")\n" : ", asked by another process): this run is cut short\n");
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(asked ? kOk : kFailed);
  });
  if (!ce::sim::UseTerminal(*dir, &error)) {
    Say(error);
    return kUsage;
  }
  // Before the module starts its threads, which inherit the signal mask.
  if (verb->hold == Hold::kEndSignals) HoldEndSignals();
  if (verb->needs == Needs::kTerminal) return verb->handle({out, nullptr});

  PluginHost host;
  host.registry().application().SetOutput(&out.err, out.json);
  if (!host.Load(global.plugin.empty() ? DefaultModulePath() : std::filesystem::path(global.plugin),
                 &error)) {
    Say(error);
    return kUsage;
  }
  host.Start();
  return verb->handle({out, &host});
}

}  // namespace
