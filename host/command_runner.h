// Runs the module's commands: the command context, argument list and reply
// objects of one run, the output variables they hand out, and what the
// handler reported, in order.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "command_line.h"
#include "host_objects.h"
#include "script.h"

namespace qelhost {

struct CommandReport {
  enum class Kind { SetResult, Fail, BadArgument, MissingArguments };
  Kind kind;
  int32_t result = 0;                  // SetResult
  std::optional<std::u16string> text;  // SetResult (may be null), Fail
  int32_t argument = 0;                // BadArgument
};

// A variable's value: never set, a number, text, or binary data.
using VariableValue = std::variant<std::monostate, int32_t, std::u16string, std::vector<uint8_t>>;

struct CommandOutcome {
  int32_t code = 0;  // the command's result: 0 unless a SetResult changed it
  std::vector<CommandReport> reports;
  // The variables the line names, by name.
  std::map<std::string, VariableValue> variables;
  // A branch the host accepted: the target as the command gave it, and the
  // index of the script line the run goes on at.
  std::optional<std::string> branch;
  size_t next = 0;
  // Anything but SetResult(0, ...) counts as a failure.
  bool failed() const;
};

class CommandRunner {
 public:
  // waitMs: what each command's WaitTime gives (-1: no waiting).
  explicit CommandRunner(Registrar& registrar, IQelServiceRegistry& services, int32_t waitMs = -1)
      : registrar_(registrar), services_(services), waitMs_(waitMs) {}

  // Runs one line. Nothing, with `error`, for a line that cannot be split or
  // names no registered command. A branch is accepted only to a label of
  // `script`; without one (a single line) none is.
  std::optional<CommandOutcome> Run(const std::string& line, std::string* error,
                                    const Script* script = nullptr);
  // Whether Run would take the line, without running it.
  bool Check(const std::string& line, std::string* error) const;

 private:
  const RegisteredCommand* Find(const std::string& line, std::vector<Entry>* entries,
                                std::string* error) const;
  Registrar& registrar_;
  IQelServiceRegistry& services_;
  const int32_t waitMs_;
};

}  // namespace qelhost
