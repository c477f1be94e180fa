// Winsock 2 before windows.h, as the ce headers have them.
#include <winsock2.h>
// Second, as said above.
#include <windows.h>

#include <mutex>

#include "end_signal_silence.h"

namespace qelhost {
namespace {

std::mutex g_mu;
std::function<void()> g_first;

// Runs on a thread the system starts for the event; returning FALSE passes
// the event on to the default handler, which ends the process, and with it
// every sound it plays.
BOOL WINAPI OnEndEvent(DWORD) {
  std::function<void()> first;
  {
    std::lock_guard lock(g_mu);
    first = g_first;
  }
  if (first) first();
  return FALSE;
}

}  // namespace

EndSignalSilence::EndSignalSilence(std::function<void()> first) {
  {
    std::lock_guard lock(g_mu);
    g_first = std::move(first);
  }
  armed_ = ::SetConsoleCtrlHandler(OnEndEvent, TRUE) != 0;
}

EndSignalSilence::~EndSignalSilence() {
  if (armed_) ::SetConsoleCtrlHandler(OnEndEvent, FALSE);
  std::lock_guard lock(g_mu);
  g_first = nullptr;
}

// Windows cannot be asked whether a sound PlaySoundW started still plays:
// what the commands started ends with qelhost.
void AwaitBackgroundSound(std::ostream&) {}

}  // namespace qelhost
