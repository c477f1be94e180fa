// What an end signal does while commands run, and what qelhost waits for
// after them: the sounds they started are this process's.
#pragma once

#include <functional>
#include <ostream>
#include <thread>

namespace qelhost {

// While alive, an end signal (Ctrl-C, SIGTERM; on Windows Ctrl-C, Ctrl-Break
// or the console closing) silences this process first, so what it rendered
// ends where the playing did and the terminal shows nothing of it playing,
// then ends qelhost as that signal does. A signal a shell told this process
// to ignore stays ignored. first, when given, runs before all that (on a
// thread of its own).
class EndSignalSilence {
 public:
  explicit EndSignalSilence(std::function<void()> first = {});
  ~EndSignalSilence();
  EndSignalSilence(const EndSignalSilence&) = delete;
  EndSignalSilence& operator=(const EndSignalSilence&) = delete;

 private:
  bool armed_ = false;
  std::thread watcher_;
};

// When a sound the commands started plays on, says so on err and waits for
// its end: it is this process's, and would stop with it.
void AwaitBackgroundSound(std::ostream& err);

}  // namespace qelhost
