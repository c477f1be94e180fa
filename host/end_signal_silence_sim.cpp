#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "ce/sim/control.h"
#include "end_signal_silence.h"

namespace qelhost {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};
struct sigaction g_before[std::size(kSignals)];

// The handler only passes the signal's number on; the watcher acts on it.
int g_wake[2] = {-1, -1};

void Pass(int sig) {
  const int saved = errno;
  [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &sig, sizeof sig);
  errno = saved;
}

extern "C" void OnEndSignal(int sig) { Pass(sig); }

int NextSignal() {
  int sig = 0;
  ssize_t n;
  while ((n = ::read(g_wake[0], &sig, sizeof sig)) < 0 && errno == EINTR) {
  }
  return n == ssize_t(sizeof sig) ? sig : 0;
}

}  // namespace

EndSignalSilence::EndSignalSilence(std::function<void()> first) {
  if (::pipe2(g_wake, O_CLOEXEC) != 0) return;
  armed_ = true;
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], nullptr, &g_before[i]);
    if (g_before[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
  }
  watcher_ = std::thread([first = std::move(first)] {
    const int sig = NextSignal();
    if (!sig) return;  // no signal came: the commands are over
    if (first) first();
    ce::sim::SilenceProcess();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(sig, &fallback, nullptr);
    ::raise(sig);
  });
}

void AwaitBackgroundSound(std::ostream& err) {
  if (!ce::sim::SoundPlays()) return;
  err << "qelhost: the sound plays on until it ends or is stopped (IPS from another qelhost on this "
         "terminal, or Ctrl-C)\n";
  ce::sim::WaitForSoundEnd();
}

EndSignalSilence::~EndSignalSilence() {
  if (!armed_) return;
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &g_before[i], nullptr);
  Pass(0);
  watcher_.join();
  ::close(g_wake[0]);
  ::close(g_wake[1]);
}

}  // namespace qelhost
