#include "verbs_commands.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ce/files.h"
#include "ceutil/text.h"
#include "command_line.h"
#include "command_runner.h"
#include "host_file.h"
#include "qel/command.h"

namespace qelhost {
namespace {

using json = nlohmann::ordered_json;

json TextOrNull(const std::optional<std::u16string>& text) {
  return text ? json(ceutil::ToUtf8(*text)) : json();
}

json ReportJson(const CommandReport& r) {
  switch (r.kind) {
    case CommandReport::Kind::SetResult:
      return {{"kind", "SetResult"}, {"result", r.result}, {"text", TextOrNull(r.text)}};
    case CommandReport::Kind::Fail:
      return {{"kind", "Fail"}, {"text", TextOrNull(r.text)}};
    case CommandReport::Kind::BadArgument:
      return {{"kind", "BadArgument"}, {"argument", r.argument}};
    case CommandReport::Kind::MissingArguments:
      return {{"kind", "MissingArguments"}};
  }
  return {};
}

json VariableJson(const VariableValue& v) {
  if (const auto* i = std::get_if<int32_t>(&v)) return *i;
  if (const auto* t = std::get_if<std::u16string>(&v)) return ceutil::ToUtf8(*t);
  return nullptr;
}

json OutcomeJson(const CommandOutcome& outcome) {
  json reports = json::array(), variables = json::object();
  for (const auto& r : outcome.reports) reports.push_back(ReportJson(r));
  for (const auto& [name, value] : outcome.variables) variables[name] = VariableJson(value);
  return {{"code", outcome.code}, {"reports", reports}, {"variables", variables}};
}

void PrintOutcome(std::ostream& out, const std::string& line, const CommandOutcome& outcome) {
  out << Printable(line) << "\n  result " << outcome.code << (outcome.failed() ? " (failed)" : "") << "\n";
  for (const auto& r : outcome.reports) out << "  " << ReportJson(r).dump() << "\n";
  for (const auto& [name, value] : outcome.variables)
    out << "  $" << name << " = " << VariableJson(value).dump() << "\n";
}

// Runs every line; a line that cannot run stops the run before anything of it happens.
int RunLines(PluginHost& host, const std::vector<std::string>& lines, bool asArray, const Output& o) {
  std::string error;
  CommandRunner runner(host.registrar(), host.registry());
  for (const std::string& line : lines) {
    // The module takes UTF-16: bytes that are not UTF-8 would silently become U+FFFD.
    if (!IsUtf8(line)) {
      o.err << "qelhost: the command line is not valid UTF-8 text: " << Printable(line) << "\n";
      return kUsage;
    }
    if (!runner.Check(line, &error)) {
      o.err << "qelhost: " << Printable(error) << "\n";
      return kUsage;
    }
  }
  json all = json::array();
  bool failed = false;
  for (const std::string& line : lines) {
    const auto outcome = runner.Run(line, &error);
    if (!outcome) {
      o.err << "qelhost: " << Printable(error) << "\n";
      return kUsage;
    }
    failed |= outcome->failed();
    if (o.json)
      all.push_back(OutcomeJson(*outcome));
    else
      PrintOutcome(o.out, line, *outcome);
  }
  if (o.json) o.out << (asArray ? all : all.at(0)).dump(2) << "\n";
  return failed ? kFailed : kOk;
}

// Records what a file handler reports.
class HandlerResult final : public IQelResult {
 public:
  void SetResult(int32_t code, const char16_t* text) override {
    CommandReport r{CommandReport::Kind::SetResult};
    r.result = code;
    if (text) r.text = text;
    reports.push_back(std::move(r));
  }
  std::vector<CommandReport> reports;
};

// Packages and scripts are read whole; nothing a person hands qelhost is larger.
constexpr uint64_t kMaxPackageBytes = 1u << 30;
constexpr uint64_t kMaxScriptBytes = 16u << 20;

// The file of this machine, whole, or nothing with error naming it.
std::optional<std::string> ReadHostFile(const std::string& file, uint64_t maxBytes, std::string* error,
                                        const std::string& whenMissing = "") {
  HostFileRead read = ReadRegularFile(file, maxBytes);
  if (read) return std::move(read.bytes);
  *error = file + ": " + read.why + (read.refusal == ReadRefusal::kMissing ? whenMissing : "");
  return std::nullopt;
}

// A device path as it stands; a file of this machine is first copied into the
// terminal's \Temp folder.
std::optional<std::u16string> PackageOnTerminal(const std::string& file, std::string* error) {
  if (!file.empty() && file[0] == '\\') return ceutil::FromUtf8(file);
  const auto bytes = ReadHostFile(file, kMaxPackageBytes, error, " (a device path starts with \\)");
  if (!bytes) return std::nullopt;
  const std::string name = std::filesystem::path(file).filename().string();
  const std::u16string path = u"\\Temp\\" + ceutil::FromUtf8(name);
  ce::CreateDirectoryW(u"\\Temp", nullptr);
  ce::UniqueHandle out(ce::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ce::DWORD written = 0;
  if (!out || !ce::WriteFile(out.get(), bytes->data(), ce::DWORD(bytes->size()), &written, nullptr) ||
      written != bytes->size()) {
    if (out) {
      out.reset();
      ce::DeleteFileW(path.c_str());  // no part of a package is left behind
    }
    *error = file + ": cannot be copied to the terminal as " + ceutil::ToUtf8(path);
    return std::nullopt;
  }
  return path;
}

// "*.cab" style patterns: a star, then the ending, without regard to case.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view path) {
  if (!pattern.starts_with(u"*")) return ceutil::EqualNoCase(pattern, path);
  const std::u16string_view ending = pattern.substr(1);
  return path.size() >= ending.size() &&
         ceutil::EqualNoCase(path.substr(path.size() - ending.size()), ending);
}

}  // namespace

int RunLine(PluginHost& host, const std::string& line, const Output& o) {
  return RunLines(host, {line}, false, o);
}

int RunScript(PluginHost& host, const std::string& file, const Output& o) {
  std::string error;
  const auto text = ReadHostFile(file, kMaxScriptBytes, &error);
  if (!text) {
    o.err << "qelhost: " << Printable(error) << "\n";
    return kUsage;
  }
  // Editors on Windows start UTF-8 files with a byte-order mark: not part of the first line.
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  const std::string_view body = std::string_view(*text).starts_with(kUtf8Mark)
                                    ? std::string_view(*text).substr(kUtf8Mark.size())
                                    : std::string_view(*text);
  if (body.starts_with("\xFF\xFE") || body.starts_with("\xFE\xFF")) {
    o.err << "qelhost: " << Printable(file) << ": is UTF-16 text; a script is UTF-8 text\n";
    return kUsage;
  }
  std::istringstream in{std::string(body)};
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    lines.push_back(line);
  }
  return RunLines(host, lines, true, o);
}

int InstallPackage(PluginHost& host, const std::string& file, bool deleteAfter, const Output& o) {
  std::string error;
  const auto path = PackageOnTerminal(file, &error);
  if (!path) {
    o.err << "qelhost: " << Printable(error) << "\n";
    return kUsage;
  }
  const RegisteredFileHandler* handler = nullptr;
  for (const auto& h : host.registry().fileHandlers().handlers)
    if (MatchesPattern(h.pattern, *path)) handler = &h;
  if (!handler) {
    o.err << "qelhost: the module registered no file handler for " << Printable(ceutil::ToUtf8(*path))
          << "\n";
    return kUsage;
  }
  HandlerResult result;
  const int32_t code = handler->handler(const_cast<char16_t*>(path->c_str()), deleteAfter, nullptr, &result);
  if (o.json) {
    json reports = json::array();
    for (const auto& r : result.reports) reports.push_back(ReportJson(r));
    o.out << json{{"package", ceutil::ToUtf8(*path)}, {"result", code}, {"reports", reports}}.dump(2) << "\n";
  } else {
    o.out << Printable(ceutil::ToUtf8(*path)) << "  result " << code << "\n";
    for (const auto& r : result.reports) o.out << "  " << ReportJson(r).dump() << "\n";
  }
  return code == 0 ? kOk : kFailed;
}

Verb RunVerb() {
  struct Options {
    std::string line;
  };
  return MakeVerb<Options>(
      "run", "run one command line (see the syntax above)", Needs::kModule,
      [](CLI::App& verb, Options& o) {
        verb.add_option("LINE", o.line,
                        "the command line, e.g. 'PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Demo Name Value S'")
            ->required();
      },
      [](const Options& o, const VerbContext& c) { return RunLine(*c.host, o.line, c.out); });
}

Verb ScriptVerb() {
  struct Options {
    std::string file;
  };
  return MakeVerb<Options>(
      "script", "run a file of command lines in order (# starts a comment line)", Needs::kModule,
      [](CLI::App& verb, Options& o) { verb.add_option("FILE", o.file, "the script file")->required(); },
      [](const Options& o, const VerbContext& c) { return RunScript(*c.host, o.file, c.out); });
}

Verb InstallVerb() {
  struct Options {
    std::string package;
    bool deleteAfter = false;
  };
  return MakeVerb<Options>(
      "install", "hand a package to the module's file handler (\"*.cab\")", Needs::kModule,
      [](CLI::App& verb, Options& o) {
        verb.add_option("FILE", o.package,
                        "a device path (\\Temp\\app.cab), or a file of this machine, "
                        "copied to the terminal's \\Temp first")
            ->required();
        verb.add_flag("--delete", o.deleteAfter, "delete the package once installed");
      },
      [](const Options& o, const VerbContext& c) {
        return InstallPackage(*c.host, o.package, o.deleteAfter, c.out);
      });
}

}  // namespace qelhost
