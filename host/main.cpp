// qelhost: loads the hardware-abstraction module and lets a person drive it,
// on a simulated terminal (Linux) or on the Windows system it runs on.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "plugin_host.h"
#include "system_session.h"
#include "verb_table.h"
#include "verbs.h"

namespace {

constexpr std::string_view kAboutHead =
    "qelhost - host client for the QelHal_HON2.mpi hardware-abstraction module\n\n";

constexpr std::string_view kAboutCommon =
    "Exit status: 0 success, 1 a getter or setter failed or a command reported a failure,\n"
    "2 bad usage, unknown property or command, unreadable profile, module, terminal or script,\n"
    "3 the output could not be written, 4 the module crashed inside a call qelhost made into it\n"
    "(stderr names the fault and the call).\n\n"
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
    "in the host's folder, \\Program Files\\Qel\\, <ADM>name in its agent's,\n"
    "\\Program Files\\Qel\\Agent\\ (QEL_VER_CLIENT, QEL_VER_AGENT read product.inf there). The host's own "
    "settings\n"
    "(%QEL) live in the system's registry, HKEY_LOCAL_MACHINE\\Software\\Qel\\Settings\\<section>.\n"
    "Values of prop set: --kind Bool takes 1/0, true/false, yes/no, on/off, t/f, y/n (whole words,\n"
    "any case); TriState takes those or unknown; numbers are whole decimal numbers that fit the kind.\n";

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

}  // namespace

int main(int argc, char** argv) {
  qelhost::PrepareProcess(argc, argv);
  const int status = Run(argc, argv);
  if (status == qelhost::kOutputFailed) {  // the verb found it first and said why
    std::fclose(stdout);
    return status;
  }
  // Output that did not arrive outweighs whatever the verb itself reported.
  if (!FinishOutput()) return qelhost::kOutputFailed;
  if (const int lost = qelhost::LostSystemOutput()) {  // the trace is output too
    qelhost::ReportOutputFailure(std::cerr, lost);
    return qelhost::kOutputFailed;
  }
  return status;
}

namespace {

using qelhost::Verb;

struct GlobalOptions {
  qelhost::SystemOptions system;
  std::string plugin;
  bool json = false;
};

// Adds the options every verb takes; returns those naming a file or folder.
std::vector<CLI::Option*> AddGlobalOptions(CLI::App& app, GlobalOptions& g) {
  std::vector<CLI::Option*> paths = qelhost::AddSystemOptions(app, g.system);
  paths.push_back(
      app.add_option("--plugin", g.plugin, "path of the module (default: QelHal_HON2.mpi beside qelhost)"));
  app.add_flag("--json", g.json, "print JSON");
  return paths;
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
  const SystemAboutText system = SystemAbout();
  CLI::App app{std::string(kAboutHead) + std::string(system.where) + std::string(kAboutCommon) +
                   std::string(system.more),
               "qelhost"};
  app.require_subcommand(1);
  app.fallthrough();  // global options may follow the verb
  // Options are --name on every system: a path such as /tmp/x is an argument.
  app.allow_windows_style_options(false);
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
  // The parser has required one verb, and one sub-verb of a group.
  const Verb* verb = nullptr;
  for (size_t i = 0; i < verbs.size() && !verb; ++i)
    if (verbs[i].handle && commands[i]->parsed()) verb = &verbs[i];
  if (!verb) return kUsage;
  if (verb->needs == Needs::kNothing) return verb->handle({out, nullptr});

  if (const int status = EnterSystem(global.system, *verb, out); status != kOk) return status;
  if (verb->needs == Needs::kTerminal) return verb->handle({out, nullptr});

  PluginHost host;
  host.registry().application().SetOutput(&out.err, out.json);
  std::string error;
  if (!host.Load(global.plugin.empty() ? DefaultModulePath() : std::filesystem::path(global.plugin),
                 &error)) {
    Say(error);
    return kUsage;
  }
  host.Start();
  return verb->handle({out, &host});
}

}  // namespace
