// What an end signal does while commands run: the sounds they started are
// this process's and would go on in the rendered output without it.
#pragma once

#include <functional>
#include <thread>

namespace qelhost {

// While alive, an end signal (Ctrl-C, SIGTERM) silences this process first,
// so what it rendered ends where the playing did and the terminal shows
// nothing of it playing, then ends qelhost as that signal does. A signal a
// shell told this process to ignore stays ignored. first, when given, runs
// before all that (on a thread of its own).
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

}  // namespace qelhost
