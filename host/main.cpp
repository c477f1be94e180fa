// qelhost: loads the hardware-abstraction module and lets a person drive it
// on a simulated terminal.
#include <cstdlib>
#include <iostream>

#include <CLI/CLI.hpp>

#include "ce/sim/control.h"
#include "plugin_host.h"
#include "terminal_setup.h"
#include "verbs.h"

namespace {

constexpr const char* kAbout =
    "qelhost - host client for the QelHal_HON2.mpi hardware-abstraction module\n\n"
    "Runs the module on a simulated terminal: --terminal DIR uses (or makes) the terminal in DIR;\n"
    "--profile NAME picks the profile a new terminal is made from (a built-in name, see\n"
    "'qelhost profiles', or a JSON file). Without either, a persistent terminal of the default\n"
    "profile in $XDG_STATE_HOME/qelhost (else ~/.local/state/qelhost) is used.\n"
    "Product files: \"<QEL>name\" is \\Program Files\\QelClient\\name on the terminal, \"<ADM>name\"\n"
    "\\Program Files\\QelClient\\Agent\\name (QEL_VER_CLIENT, QEL_VER_AGENT read their product.inf).\n"
    "Exit status: 0 success, 1 a getter or setter failed, 2 bad usage, unknown property,\n"
    "unreadable profile or terminal.";

}  // namespace

int main(int argc, char** argv) {
  using namespace qelhost;
  CLI::App app{kAbout, "qelhost"};
  app.require_subcommand(1);
  app.fallthrough();  // global options may follow the verb
  std::string terminal, profile, plugin;
  bool json = false, trace = false;
  app.add_flag("--trace", trace, "print every system call the module makes on stderr (as QEL_TRACE=1 does)");
  app.add_option("--terminal", terminal, "terminal state folder (made from the profile when new)");
  app.add_option("--profile", profile, "profile of a new terminal: built-in name or JSON file");
  app.add_option("--plugin", plugin, "path of the module (default: QelHal_HON2.mpi beside qelhost)");
  app.add_flag("--json", json, "print JSON");

  auto* props = app.add_subcommand("props", "list every registered property with its value, in registration order");
  auto* prop = app.add_subcommand("prop", "read or write one property");
  prop->require_subcommand(1);
  std::string name, value, kind = "String";
  auto* propGet = prop->add_subcommand("get", "read a property");
  propGet->add_option("NAME", name, "property name")->required();
  auto* propSet = prop->add_subcommand("set", "write a property");
  propSet->add_option("NAME", name, "property name")->required();
  propSet->add_option("VALUE", value, "the value, as text")->required();
  propSet->add_option("--kind", kind, "kind of the value written (default String)");
  auto* identity = app.add_subcommand("identity", "call the exports GetESN, GetUSN and GetQELPlatform and print what each wrote");
  auto* services = app.add_subcommand("services", "list the services the module registered");
  auto* commands = app.add_subcommand("commands", "list the commands the module registered");
  auto* term = app.add_subcommand("terminal", "show or change the simulated terminal's hardware state");
  term->require_subcommand(1);
  auto* termShow = term->add_subcommand("show", "print the hardware state");
  std::string key, jsonValue;
  auto* termSet = term->add_subcommand("set", "change one field of the hardware state");
  termSet->add_option("KEY", key, "dotted path into the hardware JSON, e.g. power.battery_life_percent")->required();
  termSet->add_option("VALUE", jsonValue, "a JSON value (a bare word is taken as text)")->required();
  auto* profiles = app.add_subcommand("profiles", "list the built-in terminal profiles");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kUsage;
  }

  const Output out{std::cout, std::cerr, json};
  // Before the first system call: the system library reads it once.
  if (trace) ::setenv("QEL_TRACE", "1", 1);
  if (profiles->parsed()) return ListProfiles(out);

  std::string error;
  const auto dir = PrepareTerminal(terminal, profile, &error);
  if (!dir) {
    std::cerr << "qelhost: " << error << "\n";
    return kUsage;
  }
  // The module's process runs on this terminal, whichever way the system layer is asked.
  ::setenv(ce::sim::kTerminalEnv, dir->c_str(), 1);
  if (!ce::sim::UseTerminal(*dir, &error)) {
    std::cerr << "qelhost: " << error << "\n";
    return kUsage;
  }
  if (termShow->parsed()) return ShowTerminal(out);
  if (termSet->parsed()) return SetTerminal(key, jsonValue, out);

  PluginHost host;
  if (!host.Load(plugin.empty() ? DefaultModulePath() : std::filesystem::path(plugin), &error)) {
    std::cerr << "qelhost: " << error << "\n";
    return kUsage;
  }
  host.Start();
  if (props->parsed()) return ListProperties(host, out);
  if (propGet->parsed()) return GetProperty(host, name, out);
  if (propSet->parsed()) return SetProperty(host, name, value, kind, out);
  if (identity->parsed()) return ShowIdentity(host, out);
  if (services->parsed()) return ListServices(host, out);
  if (commands->parsed()) return ListCommands(host, out);
  return kUsage;
}
