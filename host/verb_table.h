// qelhost's verbs as entries of one table. An entry names its subcommand,
// says what must be prepared before it runs, adds its own options and
// positionals, and handles the verb once the command line is parsed.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace qelhost {

class PluginHost;
struct Output;

// What is prepared before a verb's handler runs; each step comes after the ones above it.
enum class Needs {
  kNothing,   // the command line alone
  kTerminal,  // the terminal, made if new and in use by the system layer
  kModule,    // the module, loaded and started on that terminal
};

// kEndSignals: SIGINT and SIGTERM are blocked before the module starts its
// threads, which inherit the mask, so that the verb alone takes them as its end.
enum class Hold { kNothing, kEndSignals };

struct VerbContext {
  const Output& out;
  PluginHost* host;  // loaded and started when the verb needs the module, else null
};

struct Verb {
  std::string_view path;  // subcommand path, words separated by a blank: "props", "prop get"
  std::string_view help;
  Needs needs = Needs::kNothing;
  Hold hold = Hold::kNothing;
  // Adds the verb's options and positionals to its subcommand.
  std::function<void(CLI::App&)> addOptions;
  // Runs the verb. Empty for a group, whose subcommand requires one of its sub-verbs.
  std::function<int(const VerbContext&)> handle;
};

// A verb whose options are parsed into an Options of its own, which both
// functions reach: add(CLI::App&, Options&), handle(const Options&, const VerbContext&).
template <class Options, class Add, class Handle>
Verb MakeVerb(std::string_view path, std::string_view help, Needs needs, Add add, Handle handle,
              Hold hold = Hold::kNothing) {
  auto options = std::make_shared<Options>();
  return Verb{path,
              help,
              needs,
              hold,
              [options, add](CLI::App& verb) { add(verb, *options); },
              [options, handle](const VerbContext& c) { return handle(*options, c); }};
}

// A verb without options.
inline Verb MakeVerb(std::string_view path, std::string_view help, Needs needs,
                     std::function<int(const VerbContext&)> handle) {
  return Verb{path, help, needs, Hold::kNothing, nullptr, std::move(handle)};
}

// A verb that only groups sub-verbs, which follow it in the table.
inline Verb VerbGroup(std::string_view path, std::string_view help) { return Verb{path, help}; }

// Every verb, in the order --help lists them; a group comes before its sub-verbs.
// Each call makes fresh entries, with options of their own.
std::vector<Verb> MakeVerbs();

}  // namespace qelhost
