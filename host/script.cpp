#include "script.h"

#include <sstream>

namespace qelhost {
namespace {

constexpr size_t kMaxLabel = 64;

bool IsLabelChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.';
}

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return folded;
}

bool IsLabelName(std::string_view name) {
  if (name.empty() || name.size() > kMaxLabel) return false;
  for (const char c : name)
    if (!IsLabelChar(c)) return false;
  return true;
}

}  // namespace

std::optional<size_t> Script::Find(std::string_view target) const {
  if (target.starts_with(':')) target.remove_prefix(1);
  if (!IsLabelName(target)) return std::nullopt;
  const auto it = labels.find(Fold(target));
  if (it == labels.end()) return std::nullopt;
  return it->second;
}

std::optional<Script> ParseScript(std::string_view body, std::string* error) {
  Script script;
  std::map<std::string, size_t> labelLines;  // folded name -> file line, for the message on a repeat
  std::istringstream in{std::string(body)};
  size_t fileLine = 0;
  for (std::string line; std::getline(in, line);) {
    ++fileLine;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    if (line[first] != ':') {
      script.lines.push_back({line, fileLine});
      continue;
    }
    const size_t last = line.find_last_not_of(" \t");
    const std::string_view name = std::string_view(line).substr(first + 1, last - first);
    if (!IsLabelName(name)) {
      *error = "line " + std::to_string(fileLine) + ": a label is ':' and a name of 1 to " +
               std::to_string(kMaxLabel) + " letters, digits, '_', '-' and '.', alone on its line";
      return std::nullopt;
    }
    const std::string folded = Fold(name);
    if (const auto seen = labelLines.find(folded); seen != labelLines.end()) {
      *error = "line " + std::to_string(fileLine) + ": the label ':" + std::string(name) + "' is on line " +
               std::to_string(seen->second) + " already";
      return std::nullopt;
    }
    labelLines.emplace(folded, fileLine);
    script.labels.emplace(folded, script.lines.size());
  }
  return script;
}

}  // namespace qelhost
