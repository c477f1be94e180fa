// How qelhost turns a command line into entries: blanks separate entries,
// double quotes group (two double quotes inside quotes give one), and an
// entry that starts with an unquoted $ names an output variable ($name).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qelhost {

struct Entry {
  std::string text;  // UTF-8; for a variable, its name without the $
  bool variable = false;
};

// The entries of one line, or nothing with `error` saying what is wrong
// (an unterminated quote, a $ without a name).
std::optional<std::vector<Entry>> SplitCommandLine(const std::string& line, std::string* error);

}  // namespace qelhost
