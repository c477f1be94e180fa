#include "verbs_commands.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/message.h"
#include "ceutil/text.h"
#include "command_line.h"
#include "command_runner.h"
#include "end_signal_silence.h"
#include "host_file.h"
#include "host_process.h"
#include "module_crash.h"
#include "qel/command.h"
#include "script.h"

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

// Two lower-case hexadecimal digits a byte, in order.
std::string HexOf(const std::vector<uint8_t>& bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

json VariableJson(const VariableValue& v) {
  if (const auto* i = std::get_if<int32_t>(&v)) return *i;
  if (const auto* t = std::get_if<std::u16string>(&v)) return ceutil::ToUtf8(*t);
  if (const auto* b = std::get_if<std::vector<uint8_t>>(&v)) return {{"bytes", HexOf(*b)}};
  return nullptr;
}

json OutcomeJson(const CommandOutcome& outcome) {
  json reports = json::array(), variables = json::object();
  for (const auto& r : outcome.reports) reports.push_back(ReportJson(r));
  for (const auto& [name, value] : outcome.variables) variables[name] = VariableJson(value);
  json j = {{"code", outcome.code}, {"reports", reports}, {"variables", variables}};
  if (outcome.branch) j["branch"] = *outcome.branch;
  return j;
}

void PrintOutcome(std::ostream& out, const std::string& line, const CommandOutcome& outcome) {
  out << Printable(line) << "\n  result " << outcome.code << (outcome.failed() ? " (failed)" : "") << "\n";
  if (outcome.branch) out << "  branch to " << Printable(*outcome.branch) << "\n";
  for (const auto& r : outcome.reports) out << "  " << ReportJson(r).dump() << "\n";
  for (const auto& [name, value] : outcome.variables)
    out << "  $" << name << " = " << VariableJson(value).dump() << "\n";
}

// Runs the script's lines in order, going on where an accepted branch says;
// a line that cannot run stops the run before anything of it happens, and a
// run that has branched back is stopped after maxSteps lines as a loop
// without end.
int RunLines(PluginHost& host, const Script& script, bool asArray, size_t maxSteps, int32_t waitMs,
             const Output& o) {
  std::string error;
  CommandRunner runner(host.registrar(), host.registry(), waitMs);
  auto where = [&](const ScriptLine& l) {
    return asArray ? "line " + std::to_string(l.fileLine) + ": " : "";
  };
  for (const ScriptLine& line : script.lines) {
    // The module takes UTF-16: bytes that are not UTF-8 would silently become U+FFFD.
    if (!IsUtf8(line.text)) {
      o.err << "qelhost: " << where(line)
            << "the command line is not valid UTF-8 text: " << Printable(line.text) << "\n";
      return kUsage;
    }
    if (!runner.Check(line.text, &error)) {
      o.err << "qelhost: " << where(line) << Printable(error) << "\n";
      return kUsage;
    }
  }
  // A BRP waiting on an application stops waiting.
  const EndSignalSilence silence([&host] { host.registry().application().Stop(); });
  // A script's entries are written as they come, so a long run holds none of them.
  size_t written = 0;
  auto emit = [&](json entry) {
    if (!asArray) {
      o.out << entry.dump(2) << "\n";
      return;
    }
    std::string text = entry.dump(2);
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 3))
      text.insert(at + 1, "  ");
    o.out << (written++ ? ",\n  " : "[\n  ") << text;
  };
  auto close = [&] {
    if (o.json && asArray) o.out << (written ? "\n]\n" : "[]\n");
  };
  bool failed = false, loops = false;
  size_t steps = 0;
  for (size_t at = 0; at < script.lines.size();) {
    // Only a run that has branched back can go on forever.
    if (loops && steps >= maxSteps) {
      close();
      o.out.flush();
      o.err << "qelhost: stopped after " << steps << (steps == 1 ? " command line" : " command lines")
            << ": the script keeps branching back (raise --max-steps if it is meant to run longer)\n";
      return kFailed;
    }
    ++steps;
    const ScriptLine& line = script.lines[at];
    const auto outcome = runner.Run(line.text, &error, asArray ? &script : nullptr);
    if (!outcome) {
      close();
      o.err << "qelhost: " << where(line) << Printable(error) << "\n";
      return kUsage;
    }
    failed |= outcome->failed();
    if (o.json) {
      json entry = OutcomeJson(*outcome);
      if (asArray) entry["line"] = line.fileLine;
      emit(std::move(entry));
    } else {
      PrintOutcome(o.out, line.text, *outcome);
    }
    if (outcome->branch) loops = loops || outcome->next <= at;
    at = outcome->branch ? outcome->next : at + 1;
  }
  close();
  // What the lines did is out before anything that may keep qelhost running
  // (beeps queued in the background play to their end when the module unloads).
  o.out.flush();
  // A sound a line started in the background is this process's: it would
  // end with it.
  AwaitBackgroundSound(o.err);
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

// A package of this machine is staged on the terminal in a folder of its own,
// "\Temp\qelhost-install.PID.NNNNNNNN\NAME": the installer names its
// destination after the package, so the name is kept, and no install touches
// a file of the terminal or another install's copy. The folder goes when the
// install ends; one whose qelhost was killed goes at the next install.
constexpr std::u16string_view kStagingPrefix = u"qelhost-install.";

// The first file of a staging folder, naming its process: a folder without it
// is never taken for one, whatever its name.
constexpr std::u16string_view kStagingMark = u".qelhost-install";

std::string MarkFor(HostProcessId pid) {
  return "qelhost install staging, process " + std::to_string(pid) + "\n";
}

// The names in a folder other than "." and ".."; false when it cannot be listed.
bool ListFolder(const std::u16string& folder, std::vector<ce::WIN32_FIND_DATAW>* entries) {
  ce::WIN32_FIND_DATAW found{};
  const std::u16string pattern = folder + u"\\*";
  const ce::HANDLE find = ce::FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    const std::u16string_view name = found.cFileName;
    if (name != u"." && name != u"..") entries->push_back(found);
  } while (ce::FindNextFileW(find, &found));
  ce::FindClose(find);
  return true;
}

// Deletes a staging folder and the files in it (it holds no folders).
void RemoveStaging(const std::u16string& folder) {
  std::vector<ce::WIN32_FIND_DATAW> entries;
  ListFolder(folder, &entries);
  for (const auto& e : entries) ce::DeleteFileW((folder + u"\\" + e.cFileName).c_str());
  ce::RemoveDirectoryW(folder.c_str());
}

// The folder holds what an install of process pid puts there: the mark naming
// pid and at most one package beside it.
bool IsStagingOf(const std::u16string& folder, HostProcessId pid) {
  const std::u16string markPath = folder + u"\\" + std::u16string(kStagingMark);
  ce::UniqueHandle mark(
      ce::CreateFileW(markPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  const std::string expected = MarkFor(pid);
  std::string text(expected.size() + 1, '\0');
  ce::DWORD read = 0;
  if (!mark || !ce::ReadFile(mark.get(), text.data(), ce::DWORD(text.size()), &read, nullptr) ||
      read != expected.size() || text.compare(0, expected.size(), expected) != 0)
    return false;
  std::vector<ce::WIN32_FIND_DATAW> entries;
  if (!ListFolder(folder, &entries) || entries.size() > 2) return false;
  for (const auto& e : entries)
    if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return true;
}

// The staging folders whose qelhost is gone.
void RemoveOrphanedStaging() {
  std::vector<ce::WIN32_FIND_DATAW> entries;
  ListFolder(u"\\Temp", &entries);
  for (const auto& found : entries) {
    const std::string name = ceutil::ToUtf8(found.cFileName);
    const size_t first = kStagingPrefix.size(), dot = name.find('.', first);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !ceutil::EqualNoCase(std::u16string_view(found.cFileName).substr(0, first), kStagingPrefix) ||
        dot == std::string::npos || dot == first)
      continue;
    HostProcessId pid = 0;
    const auto [end, ec] = std::from_chars(name.data() + first, name.data() + dot, pid);
    if (ec != std::errc() || end != name.data() + dot || pid <= 0 || pid == ThisHostProcess()) continue;
    const std::u16string folder = u"\\Temp\\" + std::u16string(found.cFileName);
    if (HostProcessGone(pid) && IsStagingOf(folder, pid)) RemoveStaging(folder);
  }
}

// A new staging folder of this process, or empty with error set.
std::u16string MakeStagingFolder(std::string* error) {
  if (!ce::CreateDirectoryW(u"\\Temp", nullptr) && ce::GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = "cannot make the terminal's \\Temp folder: " + SystemErrorText(ce::GetLastError());
    return {};
  }
  if (const ce::DWORD attributes = ce::GetFileAttributesW(u"\\Temp");
      attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "\\Temp on the terminal is a file, not a folder";
    return {};
  }
  RemoveOrphanedStaging();
  static std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[32];
    std::snprintf(tail, sizeof tail, "%d.%08x", int(ThisHostProcess()), unsigned(random()));
    const std::u16string folder = u"\\Temp\\" + std::u16string(kStagingPrefix) + ceutil::FromUtf8(tail);
    if (ce::CreateDirectoryW(folder.c_str(), nullptr)) {
      const std::u16string markPath = folder + u"\\" + std::u16string(kStagingMark);
      const std::string mark = MarkFor(ThisHostProcess());
      ce::UniqueHandle file(
          ce::CreateFileW(markPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
      ce::DWORD written = 0;
      if (file && ce::WriteFile(file.get(), mark.data(), ce::DWORD(mark.size()), &written, nullptr) &&
          written == mark.size())
        return folder;
      const ce::DWORD code = ce::GetLastError();
      file.reset();
      RemoveStaging(folder);
      *error = "cannot mark the staging folder " + ceutil::ToUtf8(folder) + ": " +
               (code == ERROR_SUCCESS ? std::string("the write was cut short") : SystemErrorText(code));
      return {};
    }
    if (ce::GetLastError() != ERROR_ALREADY_EXISTS) {
      *error = "cannot make the staging folder " + ceutil::ToUtf8(folder) + ": " +
               SystemErrorText(ce::GetLastError());
      return {};
    }
  }
  *error = "cannot make a staging folder in \\Temp: every name tried is taken";
  return {};
}

// A package of this machine copied into folder on the terminal; false with error set.
bool CopyPackage(const std::string& file, const std::string& bytes, const std::u16string& path,
                 std::string* error) {
  ce::UniqueHandle out(ce::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ce::DWORD written = 0;
  if (out && ce::WriteFile(out.get(), bytes.data(), ce::DWORD(bytes.size()), &written, nullptr) &&
      written == bytes.size())
    return true;
  const ce::DWORD code = ce::GetLastError();
  *error = file + ": cannot be copied to the terminal as " + ceutil::ToUtf8(path) + ": " +
           (out ? written != bytes.size() && code == ERROR_SUCCESS ? std::string("the write was cut short")
                                                                   : SystemErrorText(code)
                : SystemErrorText(code));
  return false;
}

// "*.cab" style patterns: a star, then the ending, without regard to case.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view path) {
  if (!pattern.starts_with(u"*")) return ceutil::EqualNoCase(pattern, path);
  const std::u16string_view ending = pattern.substr(1);
  return path.size() >= ending.size() &&
         ceutil::EqualNoCase(path.substr(path.size() - ending.size()), ending);
}

// The last handler added for a pattern the path matches.
std::optional<RegisteredFileHandler> HandlerFor(PluginHost& host, std::u16string_view path) {
  std::optional<RegisteredFileHandler> handler;
  for (const auto& h : host.registry().fileHandlers().handlers.Snapshot())
    if (MatchesPattern(h.pattern, path)) handler = h;
  return handler;
}

}  // namespace

int RunLine(PluginHost& host, const std::string& line, int32_t waitMs, const Output& o) {
  Script single;
  single.lines.push_back({line, 1});
  return RunLines(host, single, false, 1, waitMs, o);
}

int RunScript(PluginHost& host, const std::string& file, size_t maxSteps, int32_t waitMs, const Output& o) {
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
  const auto script = ParseScript(body, &error);
  if (!script) {
    o.err << "qelhost: " << Printable(file) << ": " << Printable(error) << "\n";
    return kUsage;
  }
  return RunLines(host, *script, true, maxSteps, waitMs, o);
}

int InstallPackage(PluginHost& host, const std::string& file, bool deleteAfter, const Output& o) {
  std::string error;
  auto fail = [&](const std::string& why) {
    o.err << "qelhost: " << Printable(why) << "\n";
    return kUsage;
  };
  const bool onTerminal = !file.empty() && file[0] == '\\';
  std::optional<std::string> bytes;
  std::u16string path, staging;
  if (onTerminal) {
    path = ceutil::FromUtf8(file);
  } else {
    bytes = ReadHostFile(file, kMaxPackageBytes, &error, " (a device path starts with \\)");
    if (!bytes) return fail(error);
    path = ceutil::FromUtf8(std::filesystem::path(file).filename().string());
  }
  // The handler is known before anything on the terminal changes.
  const std::optional<RegisteredFileHandler> handler = HandlerFor(host, path);
  if (!handler) return fail("the module registered no file handler for " + ceutil::ToUtf8(path));
  if (!onTerminal) {
    staging = MakeStagingFolder(&error);
    if (staging.empty()) return fail(file + ": " + error);
    path = staging + u"\\" + path;
    if (!CopyPackage(file, *bytes, path, &error)) {
      RemoveStaging(staging);
      return fail(error);
    }
    bytes.reset();
  }
  HandlerResult result;
  int32_t code;
  {
    ModuleCall call("the file handler of", handler->pattern.c_str());
    code = handler->handler(const_cast<char16_t*>(path.c_str()), deleteAfter, nullptr, &result);
  }
  if (!staging.empty()) RemoveStaging(staging);
  if (o.json) {
    json reports = json::array();
    for (const auto& r : result.reports) reports.push_back(ReportJson(r));
    o.out << json{{"package", ceutil::ToUtf8(path)}, {"result", code}, {"reports", reports}}.dump(2) << "\n";
  } else {
    o.out << Printable(ceutil::ToUtf8(path)) << "  result " << code << "\n";
    for (const auto& r : result.reports) o.out << "  " << ReportJson(r).dump() << "\n";
  }
  return code == 0 ? kOk : kFailed;
}

// --wait-time: what the host gives a command as its wait time.
void AddWaitTime(CLI::App& verb, int32_t* waitMs) {
  verb.add_option("--wait-time", *waitMs,
                  "the wait time each command is given, in ms (-1, the default: none): how long BSP lets a "
                  "program close its windows before ending it, and how long SRB waits for the terminal to go "
                  "down")
      ->check(CLI::Range(-1, std::numeric_limits<int32_t>::max()));
}

Verb RunVerb() {
  struct Options {
    std::string line;
    int32_t waitMs = -1;
  };
  return MakeVerb<Options>(
      "run", "run one command line (see the syntax above)", Needs::kModule,
      [](CLI::App& verb, Options& o) {
        verb.add_option("LINE", o.line,
                        "the command line, e.g. 'PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Demo Name Value S'")
            ->required();
        AddWaitTime(verb, &o.waitMs);
      },
      [](const Options& o, const VerbContext& c) { return RunLine(*c.host, o.line, o.waitMs, c.out); });
}

Verb ScriptVerb() {
  struct Options {
    std::string file;
    size_t maxSteps = kDefaultMaxSteps;
    int32_t waitMs = -1;
  };
  return MakeVerb<Options>(
      "script",
      "run a file of command lines in order (# starts a comment line, :NAME a label that a command such "
      "as CCK may branch to)",
      Needs::kModule,
      [](CLI::App& verb, Options& o) {
        verb.add_option("FILE", o.file, "the script file")->required();
        verb.add_option("--max-steps", o.maxSteps,
                        "stop after this many command lines, as a script that branches without end")
            ->check(CLI::Range(size_t{1}, size_t{100'000'000}));
        AddWaitTime(verb, &o.waitMs);
      },
      [](const Options& o, const VerbContext& c) {
        return RunScript(*c.host, o.file, o.maxSteps, o.waitMs, c.out);
      });
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
