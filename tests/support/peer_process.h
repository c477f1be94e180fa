// A second process on a terminal, for tests and benchmarks of what processes
// share: qel_terminal_peer (tests/tools) started with its arguments.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace qeltest {

// A peer process (qel_terminal_peer, beside the running program) with a pipe
// to its standard input and one from its output; killed if still running
// when the object goes.
class Peer {
 public:
  explicit Peer(std::vector<std::string> args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "qel_terminal_peer").string();
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Peer() {
    EndInput();
    if (stdout_ >= 0) ::close(stdout_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  pid_t pid() const { return pid_; }
  // The next line it says, or "" when it says none within ms.
  std::string Line(int ms = 10000) {
    std::string line;
    char c;
    while (true) {
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, ms) != 1 || ::read(stdout_, &c, 1) != 1) return "";
      if (c == '\n') return line;
      line += c;
    }
  }
  void EndInput() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  void Kill() { ::kill(pid_, SIGKILL); }
  // Its exit status (-1 after a signal).
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
};

}  // namespace qeltest
