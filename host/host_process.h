// Processes of the machine qelhost runs on (not of the terminal): what names
// a staging folder after its qelhost, and tells when that qelhost is gone.
#pragma once

namespace qelhost {

using HostProcessId = int;

HostProcessId ThisHostProcess();
// True only when no process of that id runs: one that cannot be asked counts as running.
bool HostProcessGone(HostProcessId id);

}  // namespace qelhost
