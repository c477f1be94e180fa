// Runs the real qelhost (QEL_HOST_PATH) with its output captured.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace qeltest {

struct HostRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

inline std::string Quoted(const std::string& text) {  // for the shell, whatever the text holds
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs qelhost with its output captured in files under `scratch`, without a
// terminal from the environment and with a state home of its own, so that
// nothing outside the test's folder is touched.
inline HostRun RunHost(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
  std::string command = "env -u QEL_TERMINAL -u QEL_TRACE XDG_STATE_HOME=" + Quoted((scratch / "state").string()) + " " +
                        Quoted(QEL_HOST_PATH);
  for (const auto& a : args) command += " " + Quoted(a);
  command += " </dev/null >" + Quoted((scratch / "stdout").string()) + " 2>" + Quoted((scratch / "stderr").string());
  const int status = std::system(command.c_str());
  HostRun r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = Contents(scratch / "stdout");
  r.err = Contents(scratch / "stderr");
  return r;
}

}  // namespace qeltest
