// qelprogram TERMINAL-DIR ID IMAGE-PATH COMMAND-LINE: runs one program of the
// terminal in a process of its own. Its starter (CreateProcessW) has listed
// the program under ID; the runner leaves the starter at once (so nobody has
// to reap it), joins the terminal as that program, runs it, answers on
// descriptor 3 once it is under way ("ok"; "error <why>" when it cannot run)
// and says how it ended. The
// terminal ends it by force (TerminateProcess, a reboot): it holds nothing
// that outlives it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ce/error.h"
#include "kernel.h"
#include "processes.h"
#include "sibling_program.h"
#include "terminal.h"
#include "terminal_objects.h"
#include "utf.h"

namespace {

int Fail(const std::string& why) {
  ce::sim::AnswerStarter("error " + why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  namespace sim = ce::sim;
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s TERMINAL-DIR ID IMAGE-PATH COMMAND-LINE\n", sim::kRunnerName);
    return 2;
  }
  if (!sim::DetachFromStarter()) return 0;
  char* end = nullptr;
  const unsigned long id = std::strtoul(argv[2], &end, 10);
  if (!*argv[2] || *end || id == 0 || id > 0xFFFFFFFFul)
    return Fail(std::string("bad program id ") + argv[2]);
  const std::u16string image = sim::FromUtf8(argv[3]), arguments = sim::FromUtf8(argv[4]);
  {
    sim::ProgramPath& program = sim::Kernel::Get().program;
    std::lock_guard lock(program.mu);
    program.path = image;
  }
  std::string error;
  auto terminal = sim::Terminal::Open(argv[1], &error);
  if (!terminal) return Fail(error);
  sim::Kernel::Get().terminal.Choose(terminal);
  sim::ProgramMain main = nullptr;
  std::string settings;
  if (const ce::DWORD why = sim::FindProgramOf(image.c_str(), &main, &settings); why != ERROR_SUCCESS)
    return Fail(std::string(argv[3]) + ": no program of the terminal (error " + std::to_string(why) + ")");
  sim::TerminalObjects::StartAsProgram(uint32_t(id));
  if (!terminal->Join(&error)) return Fail(error);
  // The starter hears once the program is under way (or has ended).
  sim::OnProgramStarted([] { sim::AnswerStarter("ok"); });
  const ce::DWORD exitCode = main(arguments, settings);
  sim::ProgramStarted();
  terminal->objects()->ProgramEnded(uint32_t(id), exitCode);
  return 0;
}
