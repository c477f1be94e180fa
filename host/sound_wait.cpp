#include "sound_wait.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "ce/sim/control.h"

namespace qelhost {
namespace {

// The handler only writes the signal's number; the stop happens on a thread.
int g_wake[2] = {-1, -1};

extern "C" void OnEndSignal(int sig) {
  const int saved = errno;
  [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &sig, sizeof sig);
  errno = saved;
}

int ReadSignal() {
  int sig = 0;
  ssize_t n;
  while ((n = ::read(g_wake[0], &sig, sizeof sig)) < 0 && errno == EINTR) {
  }
  return n == ssize_t(sizeof sig) ? sig : 0;
}

}  // namespace

void WaitForSoundOrEndSignal() {
  if (::pipe2(g_wake, O_CLOEXEC) != 0) {
    ce::sim::WaitForSoundEnd();
    return;
  }
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  struct sigaction before[2]{};
  const int signals[2] = {SIGINT, SIGTERM};
  for (int i = 0; i < 2; ++i) {
    ::sigaction(signals[i], nullptr, &before[i]);
    if (before[i].sa_handler != SIG_IGN)
      ::sigaction(signals[i], &action, nullptr);  // a shell's background job ignores SIGINT
  }
  int caught = 0;
  std::thread stopper([&] {
    caught = ReadSignal();
    if (caught) ce::sim::StopSound();
  });
  ce::sim::WaitForSoundEnd();
  const int none = 0;
  [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &none, sizeof none);
  stopper.join();
  for (int i = 0; i < 2; ++i) ::sigaction(signals[i], &before[i], nullptr);
  ::close(g_wake[0]);
  ::close(g_wake[1]);
  if (caught) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(caught, &fallback, nullptr);
    ::raise(caught);
  }
}

}  // namespace qelhost
