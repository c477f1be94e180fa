// Waiting for a sound that a command started in the background: it is this
// process's and would end with it.
#pragma once

namespace qelhost {

// Until the sound has ended. An end signal (Ctrl-C, SIGTERM) that comes
// meanwhile stops it where it is, so the rendered output ends there too,
// and then ends qelhost as that signal does.
void WaitForSoundOrEndSignal();

}  // namespace qelhost
