#include "verbs_objects.h"

#include <ce/sim/control.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "verbs.h"

namespace qelhost {
namespace {

using nlohmann::json;

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

std::string ProcessState(const json& p) {
  if (p.value("alive", false)) return "running";
  return "exited " + std::to_string(p.value("exit_code", 0u));
}

std::string ObjectState(const json& o) {
  const std::string kind = o.value("kind", "");
  if (kind == "mutex" && o.contains("owner_process"))
    return "owned by " + Hex(o["owner_process"].get<uint64_t>()) + "/" + Hex(o.value("owner_thread", 0u));
  if (kind == "semaphore")
    return "count " + std::to_string(o.value("count", 0)) + " of " + std::to_string(o.value("maximum", 0));
  std::string state = o.value("state", "");
  if (o.value("abandoned", false)) state += ", abandoned";
  return state;
}

void PrintText(std::ostream& out, const json& listing) {
  const uint64_t self = listing.value("self", 0u);
  out << "processes\n  " << Padded("ID", 9) << Padded("KIND", 8) << Padded("STATE", 10) << Padded("PID", 8)
      << "NAME\n";
  for (const json& p : listing["processes"]) {
    const uint64_t id = p.value("id", 0u);
    out << "  " << Padded(Hex(id), 9) << Padded(p.value("kind", ""), 8) << Padded(ProcessState(p), 10)
        << Padded(p.contains("pid") ? std::to_string(p["pid"].get<uint64_t>()) : "-", 8)
        << Printable(p.value("name", "")) << (id == self ? "  (this qelhost)" : "") << "\n";
  }
  out << "named objects\n";
  if (listing["objects"].empty())
    out << "  none\n";
  else
    out << "  " << Padded("KIND", 10) << Padded("STATE", 26) << Padded("HANDLES", 8) << "NAME\n";
  for (const json& o : listing["objects"]) {
    std::string kind = o.value("kind", "");
    if (o.value("manual_reset", false)) kind += "*";
    out << "  " << Padded(kind, 10) << Padded(ObjectState(o), 26)
        << Padded(std::to_string(o.value("handles", 0)), 8) << Printable(o.value("name", "")) << "\n";
  }
  if (!listing["objects"].empty()) out << "  (event* : manual reset)\n";
  if (listing["windows"].empty()) return;
  // Enumeration order: the newest first, a window brought forward before them all.
  out << "windows (front first)\n  " << Padded("HWND", 11) << Padded("PROCESS", 9) << Padded("THREAD", 9)
      << Padded("SHOWN", 7) << Padded("CLASS", 24) << "TITLE\n";
  bool front = false;
  for (const json& w : listing["windows"]) {
    const bool foreground = w.value("foreground", false);
    front = front || foreground;
    out << "  " << Padded(Hex(w.value("hwnd", 0u)) + (foreground ? "*" : ""), 11)
        << Padded(Hex(w.value("process", 0u)), 9) << Padded(Hex(w.value("thread", 0u)), 9)
        << Padded(w.value("visible", false) ? "yes" : "no", 7) << Padded(Printable(w.value("class", "")), 24)
        << Printable(w.value("title", "")) << "\n";
  }
  if (front) out << "  (hwnd* : the foreground window)\n";
}

}  // namespace

int ShowTerminalObjects(const Output& o) {
  std::string error;
  const auto listing = ce::sim::TerminalObjectsNow(&error);
  if (!listing) {
    o.err << "qelhost: terminal objects: " << Printable(error) << "\n";
    return kFailed;
  }
  if (o.json)
    o.out << listing->dump(2) << "\n";
  else
    PrintText(o.out, *listing);
  return kOk;
}

Verb TerminalObjectsVerb() {
  return MakeVerb("terminal objects",
                  "list the terminal's processes and named events, mutexes and semaphores", Needs::kTerminal,
                  [](const VerbContext& c) { return ShowTerminalObjects(c.out); });
}

}  // namespace qelhost
