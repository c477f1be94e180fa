// A script: command lines in order, and labels that a command may branch to.
//
// Blank lines and lines whose first non-blank character is '#' are skipped. A
// line whose first non-blank character is ':' is a label, ":retry": the name
// (letters, digits, '_', '-' and '.', at most 64) marks the command line after
// it; names are compared without regard to case and each may appear once.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelhost {

struct ScriptLine {
  std::string text;
  size_t fileLine;  // 1-based, for messages
};

struct Script {
  std::vector<ScriptLine> lines;
  std::map<std::string, size_t> labels;  // folded name -> index of the line it marks (lines.size(): the end)

  // The line index a branch target names ("retry" or ":retry"), or nothing.
  std::optional<size_t> Find(std::string_view target) const;
};

// Nothing, with error naming the line, for a label that is malformed or repeated.
std::optional<Script> ParseScript(std::string_view body, std::string* error);

}  // namespace qelhost
