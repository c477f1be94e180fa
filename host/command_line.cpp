#include "command_line.h"

#include <cctype>

namespace qelhost {

std::optional<std::vector<Entry>> SplitCommandLine(const std::string& line, std::string* error) {
  std::vector<Entry> entries;
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    Entry e;
    e.variable = line[i] == '$';
    if (e.variable) ++i;
    bool quoted = false;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          e.text += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
      } else if (!quoted && (c == ' ' || c == '\t')) {
        break;
      } else {
        e.text += c;
      }
    }
    if (quoted) {
      *error = "unterminated double quote in: " + line;
      return std::nullopt;
    }
    if (e.variable && e.text.empty()) {
      *error = "a $ without a variable name in: " + line;
      return std::nullopt;
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace qelhost
