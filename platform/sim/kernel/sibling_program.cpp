#include "sibling_program.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace ce::sim {

std::filesystem::path SiblingProgram(std::string_view name) {
  Dl_info info{};
  static const int anchor = 0;
  if (::dladdr(&anchor, &info) == 0 || !info.dli_fname) return std::filesystem::path(name);
  return std::filesystem::path(info.dli_fname).parent_path() / name;
}

std::optional<std::string> StartSibling(std::string_view name, const std::vector<std::string>& args,
                                        std::string* error) {
  int answer[2];
  if (::pipe2(answer, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return std::nullopt;
  }
  const std::string program = SiblingProgram(name).string();
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, answer[1], kAnswerFd);
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(answer[1]);
  if (spawned != 0) {
    ::close(answer[0]);
    *error = "cannot start " + program + ": " + std::strerror(spawned);
    return std::nullopt;
  }
  // The child leaves its work to a grandchild and ends at once.
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::string said;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(answer[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) said.append(buffer, size_t(n));
  ::close(answer[0]);
  if (said.empty())
    *error = program + " did not start (exit status " +
             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
  return said;
}

bool DetachFromStarter() {
  if (const pid_t child = ::fork(); child != 0) return false;
  ::setsid();
  [[maybe_unused]] int atRoot = ::chdir("/");  // holds no folder of the starter's busy
  // Hold nothing of the starter's: its output pipes must close when it ends.
  ::close_range(kAnswerFd + 1, ~0U, 0);
  if (const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC); null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::close(null);
  }
  return true;
}

void AnswerStarter(std::string_view line) {
  const std::string text = std::string(line) + "\n";
  [[maybe_unused]] ssize_t n = ::write(kAnswerFd, text.data(), text.size());
  ::close(kAnswerFd);
}

int RefuseStarter(std::string_view why) {
  AnswerStarter("error " + std::string(why));
  return 1;
}

}  // namespace ce::sim
