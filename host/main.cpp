// qelhost: loads the hardware-abstraction module and lets a person drive it
// on a simulated terminal.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

#include "ce/sim/control.h"
#include "plugin_host.h"
#include "terminal_setup.h"
#include "verbs.h"
#include "verbs_commands.h"
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
    "3 the output could not be written.\n\n"
    "Command lines (run, script): blanks separate entries; double quotes group, and two double\n"
    "quotes inside quotes stand for one; an entry starting with an unquoted $ is an output\n"
    "variable ($name). The first entry is the command code. Example:\n"
    "  qelhost run 'PXS R %REG HKEY_LOCAL_MACHINE\\Software\\Demo Name $v $t'\n"
    "Absent arguments take the command's defaults; a number is decimal or 0x hexadecimal.\n"
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
    "(\\Windows\\qelhost: <terminal>/fs/Windows/Qel-Clientv4.err) and ends the process.";

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

int Run(int argc, char** argv) {
  using namespace qelhost;
  CLI::App app{kAbout, "qelhost"};
  app.require_subcommand(1);
  app.fallthrough();  // global options may follow the verb
  std::string terminal, profile, plugin;
  bool json = false, trace = false;
  app.add_flag("--trace", trace, "print every system call the module makes on stderr (as QEL_TRACE=1 does)");
  auto* terminalOpt =
      app.add_option("--terminal", terminal, "terminal state folder (made from the profile when new)");
  auto* profileOpt =
      app.add_option("--profile", profile, "profile of a new terminal: built-in name or JSON file");
  auto* pluginOpt =
      app.add_option("--plugin", plugin, "path of the module (default: QelHal_HON2.mpi beside qelhost)");
  app.add_flag("--json", json, "print JSON");

  auto* props =
      app.add_subcommand("props", "list every registered property with its value, in registration order");
  auto* prop = app.add_subcommand("prop", "read or write one property");
  prop->require_subcommand(1);
  std::string name, value, kind = "String";
  auto* propGet = prop->add_subcommand("get", "read a property");
  propGet->add_option("NAME", name, "property name")->required();
  auto* propSet = prop->add_subcommand("set", "write a property");
  propSet->add_option("NAME", name, "property name")->required();
  propSet->add_option("VALUE", value, "the value, as text")->required();
  propSet->add_option("--kind", kind, "kind of the value written (default String)");
  auto* identity = app.add_subcommand(
      "identity", "call the exports GetESN, GetUSN and GetQELPlatform and print what each wrote");
  auto* services = app.add_subcommand("services", "list the services the module registered");
  auto* commands = app.add_subcommand("commands", "list the commands the module registered");
  auto* term = app.add_subcommand("terminal", "show or change the simulated terminal's hardware state");
  term->require_subcommand(1);
  auto* termShow = term->add_subcommand("show", "print the hardware state");
  std::string key, jsonValue;
  auto* termSet = term->add_subcommand("set", "change one field of the hardware state");
  termSet->add_option("KEY", key, "dotted path into the hardware JSON, e.g. power.battery_life_percent")
      ->required();
  termSet->add_option("VALUE", jsonValue, "a JSON value (a bare word is taken as text)")->required();
  auto* termPower = term->add_subcommand("suspend", "the terminal suspends (to every process on it)");
  auto* termResume = term->add_subcommand("resume", "the terminal resumes and wakes up");
  auto* termStatus = term->add_subcommand("power-status", "the terminal's power status changes");
  auto* termWake = term->add_subcommand("wakeup", "the terminal's wake-up event alone");
  auto* profiles = app.add_subcommand("profiles", "list the built-in terminal profiles");
  DateRequest date;
  auto* dateVerb =
      app.add_subcommand("date", "format a time with the %-code language (e.g. \"%D%/%M%/%Y %h%:%N\", %#64)");
  dateVerb->add_option("FORMAT", date.format, "the format; %#NN selects standard format NN")->required();
  dateVerb->add_option("--at", date.at,
                       "the time, YYYY-MM-DD[THH:MM[:SS[.mmm]]] (default: the terminal's local time)");
  dateVerb->add_flag("--utc", date.utc, "convert from the terminal's local time to UTC first");
  dateVerb->add_option("--language", date.language,
                       "names when the terminal's locale has none: fr, nl or en");
  std::string filePath;
  int waitMs = 0;
  auto* fileInfo =
      app.add_subcommand("file-info", "size, last-write time and change state of a terminal file");
  fileInfo->add_option("DEVICE-PATH", filePath, "device path, e.g. \\Windows\\Wceload.exe")->required();
  fileInfo->add_option("--wait", waitMs, "milliseconds between the close and the reopening (default 0)");
  std::string line, script, package;
  bool deleteAfter = false;
  auto* run = app.add_subcommand("run", "run one command line (see the syntax above)");
  run->add_option("LINE", line,
                  "the command line, e.g. 'PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Demo Name Value S'")
      ->required();
  auto* scriptCmd =
      app.add_subcommand("script", "run a file of command lines in order (# starts a comment line)");
  scriptCmd->add_option("FILE", script, "the script file")->required();
  auto* install = app.add_subcommand("install", "hand a package to the module's file handler (\"*.cab\")");
  install
      ->add_option("FILE", package,
                   "a device path (\\Temp\\app.cab), or a file of this machine, "
                   "copied to the terminal's \\Temp first")
      ->required();
  install->add_flag("--delete", deleteAfter, "delete the package once installed");

  Bounds bounds;
  const CLI::Validator wholeCount(
      [](std::string& s) -> std::string {
        long n = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (ec == std::errc() && end == s.data() + s.size() && n >= 1) return {};
        return "must be a whole number of lines, 1 or more, not '" + Printable(s) + "'";
      },
      "COUNT");
  const CLI::Validator seconds(
      [](std::string& s) -> std::string {
        double d = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
        if (ec == std::errc() && end == s.data() + s.size() && std::isfinite(d) && d > 0) return {};
        return "must be a number of seconds above 0, such as 2.5, not '" + Printable(s) + "'";
      },
      "SECONDS");
  auto addBounds = [&](CLI::App* verb) {
    verb->add_option("--count", bounds.count, "end after this many lines")->check(wholeCount);
    verb->add_option("--seconds", bounds.seconds, "end after this many seconds")->check(seconds);
  };
  auto* events = app.add_subcommand("events", "print power events and wake-ups as JSON lines");
  addBounds(events);
  std::string watchName, watchPath;
  auto* watch = app.add_subcommand(
      "watch", "watch a terminal folder through the module's \"FS\" notifier and print each change");
  watch->add_option("NAME", watchName, "the watch's name")->required();
  watch
      ->add_option("PATH", watchPath,
                   "a device path; its folder is watched with every folder below it "
                   "(\\Temp\\ or \\Temp\\file.txt watch \\Temp)")
      ->required();
  addBounds(watch);

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
  for (const auto* option : {terminalOpt, profileOpt, pluginOpt}) {
    if (option->count() > 0 && option->as<std::string>().empty()) {
      Say(option->get_name() + " needs a value; it was given an empty one");
      return kUsage;
    }
  }

  const Output out{std::cout, std::cerr, json};
  // Before the first system call: the system library reads it once.
  if (trace && std::string_view(std::getenv("QEL_TRACE") ? std::getenv("QEL_TRACE") : "") != "all")
    ::setenv("QEL_TRACE", "1", 1);
  if (profiles->parsed()) return ListProfiles(out);

  std::string error, notice;
  const auto dir = PrepareTerminal(terminal, profile, &error, &notice);
  if (!dir) {
    Say(error);
    return kUsage;
  }
  if (!notice.empty()) Say("note: " + notice);
  // The module's process runs on this terminal, whichever way the system layer is asked.
  ::setenv(ce::sim::kTerminalEnv, dir->c_str(), 1);
  if (!ce::sim::UseTerminal(*dir, &error)) {
    Say(error);
    return kUsage;
  }
  if (termShow->parsed()) return ShowTerminal(out);
  for (auto* verb : {termPower, termResume, termStatus, termWake})
    if (verb->parsed()) return DeliverPowerEvent(verb->get_name(), out);
  // Before the module starts its threads, which inherit the signal mask.
  if (events->parsed() || watch->parsed()) HoldEndSignals();
  if (termSet->parsed()) return SetTerminal(key, jsonValue, out);
  if (dateVerb->parsed()) return FormatDate(date, out);
  if (fileInfo->parsed()) return FileInfo(filePath, waitMs, out);

  PluginHost host;
  if (!host.Load(plugin.empty() ? DefaultModulePath() : std::filesystem::path(plugin), &error)) {
    Say(error);
    return kUsage;
  }
  host.Start();
  if (props->parsed()) return ListProperties(host, out);
  if (propGet->parsed()) return GetProperty(host, name, out);
  if (propSet->parsed()) return SetProperty(host, name, value, kind, out);
  if (identity->parsed()) return ShowIdentity(host, out);
  if (services->parsed()) return ListServices(host, out);
  if (commands->parsed()) return ListCommands(host, out);
  if (run->parsed()) return RunLine(host, line, out);
  if (scriptCmd->parsed()) return RunScript(host, script, out);
  if (install->parsed()) return InstallPackage(host, package, deleteAfter, out);
  if (events->parsed()) return FollowEvents(host, bounds, out);
  if (watch->parsed()) return WatchFolder(host, watchName, watchPath, bounds, out);
  return kUsage;
}

}  // namespace
