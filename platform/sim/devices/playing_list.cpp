#include "playing_list.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "hardware.h"

namespace ce::sim {
namespace {

bool OfEndedProcess(const std::string& line) {
  char* end = nullptr;
  const long pid = std::strtol(line.c_str(), &end, 10);
  return pid > 0 && end && *end == ' ' && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

void ShowPlaying(const std::string& what, bool playing) {
  const std::string line = std::to_string(::getpid()) + " " + what;
  hw::EditList(hw::kAudioPlaying, [&](std::vector<std::string>& lines) {
    std::erase_if(lines, OfEndedProcess);
    if (playing) {
      lines.push_back(line);
    } else if (const auto it = std::find(lines.begin(), lines.end(), line); it != lines.end()) {
      lines.erase(it);
    }
  });
}

}  // namespace ce::sim
