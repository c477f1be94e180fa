#include "verbs_processes.h"

#include <ce/sim/control.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/process.h"
#include "ceutil/text.h"
#include "verbs.h"

namespace qelhost {
namespace {

using nlohmann::json;

// The listing's processes, each with the windows it owns.
json ProcessesWithWindows(const json& listing) {
  json processes = json::array();
  for (const json& p : listing["processes"]) {
    json entry = {{"id", p.value("id", 0u)},
                  {"name", p.value("name", "")},
                  {"kind", p.value("kind", "")},
                  {"state", p.value("alive", false) ? "running" : "exited"}};
    if (!p.value("alive", false)) entry["exit_code"] = p.value("exit_code", 0u);
    if (p.contains("parent")) entry["parent"] = p["parent"];
    json windows = json::array();
    for (const json& w : listing["windows"])
      if (w.value("process", 0u) == entry["id"].get<uint32_t>())
        windows.push_back({{"hwnd", w.value("hwnd", 0u)},
                           {"class", w.value("class", "")},
                           {"title", w.value("title", "")},
                           {"visible", w.value("visible", false)}});
    entry["windows"] = std::move(windows);
    processes.push_back(std::move(entry));
  }
  return processes;
}

int ListProcesses(const Output& o) {
  std::string error;
  const auto listing = ce::sim::TerminalObjectsNow(&error);
  if (!listing) {
    o.err << "qelhost: terminal processes: " << Printable(error) << "\n";
    return kFailed;
  }
  const json processes = ProcessesWithWindows(*listing);
  if (o.json) {
    o.out << processes.dump(2) << "\n";
    return kOk;
  }
  for (const json& p : processes) {
    std::string state = p["state"].get<std::string>();
    if (p.contains("exit_code")) {
      // Small codes as a program gives them, large ones (-9, 0x40010004) as the hex they are.
      const uint32_t code = p["exit_code"].get<uint32_t>();
      state += " " + (code < 0x10000 ? std::to_string(code) : Hex(code));
    }
    o.out << Hex(p["id"].get<uint32_t>()) << "  " << state << "  " << Printable(p["name"].get<std::string>());
    if (p.contains("parent")) o.out << "  (started by " << Hex(p["parent"].get<uint32_t>()) << ")";
    o.out << "\n";
    for (const json& w : p["windows"])
      o.out << "    window " << Hex(w["hwnd"].get<uint32_t>()) << " \""
            << Printable(w["title"].get<std::string>()) << "\" (" << Printable(w["class"].get<std::string>())
            << (w["visible"].get<bool>() ? "" : ", hidden") << ")\n";
  }
  return kOk;
}

int StartProgram(const std::string& path, const std::vector<std::string>& args, const Output& o) {
  if (path.empty() || path.front() != '\\') {
    o.err << "qelhost: terminal start: " << Printable(path)
          << ": a program of the terminal is named by its device path, such as \\Windows\\pword.exe\n";
    return kUsage;
  }
  std::string line;
  for (const std::string& arg : args) line += (line.empty() ? "" : " ") + arg;
  const std::u16string image = ceutil::FromUtf8(path);
  std::u16string commandLine = ceutil::FromUtf8(line);
  ce::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ce::PROCESS_INFORMATION info{};
  if (!ce::CreateProcessW(image.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                          nullptr, nullptr, &startup, &info)) {
    const ce::DWORD error = ce::GetLastError();  // before the stream's own calls
    o.err << "qelhost: terminal start: " << Printable(path) << ": " << SystemErrorText(error) << "\n";
    return kFailed;
  }
  ce::CloseHandle(info.hThread);
  ce::CloseHandle(info.hProcess);
  if (o.json)
    o.out << json{{"id", info.dwProcessId}, {"name", path}}.dump() << "\n";
  else
    o.out << "started " << Printable(path) << " as process " << Hex(info.dwProcessId) << "\n";
  return kOk;
}

}  // namespace

Verb TerminalProcessesVerb() {
  return MakeVerb("terminal processes",
                  "list the terminal's processes: id, state (running, or exited and its code), name, and "
                  "the windows each owns",
                  Needs::kTerminal, [](const VerbContext& c) { return ListProcesses(c.out); });
}

Verb TerminalStartVerb() {
  struct Options {
    std::string path;
    std::vector<std::string> args;
  };
  return MakeVerb<Options>(
      "terminal start",
      "start a program of the terminal (a file whose first line is #!qel-program NAME) in a process of "
      "its own and print its id; it runs on after qelhost ends",
      Needs::kTerminal,
      [](CLI::App& verb, Options& o) {
        verb.add_option("DEVICE-PATH", o.path, "the program, e.g. \\Windows\\pword.exe")->required();
        verb.add_option("ARGS", o.args, "its command line, one word each (after -- when one starts with -)");
      },
      [](const Options& o, const VerbContext& c) { return StartProgram(o.path, o.args, c.out); });
}

}  // namespace qelhost
