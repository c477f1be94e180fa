// Runs the real qelhost as a person would, in a shell, with its output
// captured in files under a scratch folder.
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

// How many times what occurs in text (lines of a message, say).
inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

inline std::string Quoted(const std::string& text) {  // for the shell, whatever the text holds
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct HostOptions {
  std::string env;        // more "NAME=value" words (or "-u NAME") for env
  std::string stdinFrom;  // a file for standard input instead of /dev/null
  std::string stdoutTo;   // shell redirection of stdout instead of the capture file ("/dev/full", "&-")
  std::string stderrTo;   // the same for stderr
  std::string cwd;        // the working folder, when not inherited
  std::string prefix;     // shell commands before qelhost
  bool stateHome = true;  // XDG_STATE_HOME set to the scratch folder's state/
};

// The qelhost run: the one built beside the tests, or QEL_HOST_UNDER_TEST
// (to run these tests against another build of it, an older one say).
inline std::string HostPath() {
  const char* other = std::getenv("QEL_HOST_UNDER_TEST");
  return other && *other ? other : QEL_HOST_PATH;
}

// qelhost without a terminal from the environment and with a state home of
// its own, so that nothing outside the test's folder is touched.
inline HostRun RunHost(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                       const HostOptions& o = {}) {
  std::string command = "(";
  if (!o.cwd.empty()) command += "cd " + Quoted(o.cwd) + " && ";
  command += o.prefix;
  command += "env -u QEL_TERMINAL -u QEL_TRACE ";
  if (o.stateHome) command += "XDG_STATE_HOME=" + Quoted((scratch / "state").string()) + " ";
  command += o.env + " " + Quoted(HostPath());
  for (const auto& a : args) command += " " + Quoted(a);
  command += " <" + (o.stdinFrom.empty() ? std::string("/dev/null") : Quoted(o.stdinFrom));
  command += o.stdoutTo.empty() ? " >" + Quoted((scratch / "stdout").string())
                                : (o.stdoutTo[0] == '&' ? " >" + o.stdoutTo : " >" + Quoted(o.stdoutTo));
  command += " 2>" + Quoted(o.stderrTo.empty() ? (scratch / "stderr").string() : o.stderrTo) + ")";
  const int status = std::system(command.c_str());
  HostRun r;
  // The subshell reports a signal of qelhost as 128 + signal.
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = o.stdoutTo.empty() ? Contents(scratch / "stdout") : "";
  r.err = Contents(scratch / "stderr");
  return r;
}

}  // namespace qeltest
