// qelprogram TERMINAL-DIR ID IMAGE-PATH COMMAND-LINE: runs one program of the
// terminal in a process of its own. Its starter (CreateProcessW) has listed
// the program under ID; the runner leaves the starter at once (so nobody has
// to reap it), joins the terminal as that program, runs it, answers on
// descriptor 3 once it is under way ("ok"; "error <why>" when it cannot run)
// and says how it ended. The
// terminal ends it by force (TerminateProcess, a reboot): it holds nothing
// that outlives it.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "ce/error.h"
#include "kernel.h"
#include "processes.h"
#include "sibling_program.h"
#include "terminal.h"
#include "terminal_objects.h"
#include "utf.h"

using ce::sim::RefuseStarter;

namespace {

// A server that is gone (killed) took this program's entry with it: nothing
// could find, wait for or end the program any more, so it ends too. Watched
// on a thread born with every signal blocked.
void EndWithTheServer(ce::sim::HostFd connection) {
  sigset_t all, before;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &before);
  std::thread([connection = std::move(connection)] {
    pollfd p{connection.get(), POLLRDHUP, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    ::_exit(0);
  }).detach();
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
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
    return RefuseStarter(std::string("bad program id ") + argv[2]);
  const std::u16string image = sim::FromUtf8(argv[3]), arguments = sim::FromUtf8(argv[4]);
  {
    sim::ProgramPath& program = sim::Kernel::Get().program;
    std::lock_guard lock(program.mu);
    program.path = image;
  }
  std::string error;
  auto terminal = sim::Terminal::Open(argv[1], &error);
  if (!terminal) return RefuseStarter(error);
  sim::Kernel::Get().terminal.Choose(terminal);
  sim::ProgramMain main = nullptr;
  std::string settings;
  if (const ce::DWORD why = sim::FindProgramOf(image.c_str(), &main, &settings); why != ERROR_SUCCESS)
    return RefuseStarter(std::string(argv[3]) + ": no program of the terminal (error " + std::to_string(why) +
                         ")");
  sim::TerminalObjects::StartAsProgram(uint32_t(id));
  if (!terminal->Join(&error)) return RefuseStarter(error);
  EndWithTheServer(terminal->objects()->DupConnection());
  // The starter hears once the program is under way (or has ended).
  sim::OnProgramStarted([] { sim::AnswerStarter("ok"); });
  const ce::DWORD exitCode = main(arguments, settings);
  sim::ProgramStarted();
  terminal->objects()->ProgramEnded(uint32_t(id), exitCode);
  return 0;
}
