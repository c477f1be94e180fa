// The simulated kernel: the one object that holds this process's system
// state. Every API call reaches its tables through Kernel::Get(); nothing else
// in the simulation is process-wide.
#pragma once

#include <atomic>
#include <cstdint>

#include "ce/audio.h"
#include "handle_space.h"
#include "handles.h"
#include "message_queue.h"
#include "modules.h"
#include "named_objects.h"
#include "open_files.h"
#include "power_report.h"
#include "registry_keys.h"
#include "terminal.h"
#include "terminal_events.h"
#include "threads.h"
#include "trace.h"
#include "window_table.h"

namespace ce::sim {

class Socket;       // api/socket_object.h
class WaveOut;      // devices/wave_out.h
class SoundPlayer;  // devices/sound_player.h

class Kernel {
 public:
  // Made on first use and never destroyed: handles held by static objects of
  // other libraries may still be closed while the process exits.
  static Kernel& Get();

  Kernel(const Kernel&) = delete;
  Kernel& operator=(const Kernel&) = delete;

  HandleTable handles;
  NamedObjects names;  // events, mutexes and semaphores share one namespace
  OpenFileTable openFiles;
  RegistryKeyTable registryKeys;
  ModuleTable modules;
  TerminalChoice terminal;
  // Hardware changes this process made: each of its terminal objects rereads after one.
  std::atomic<uint64_t> hardwareWrites{0};
  // Registry writes this process made: each of its connections drops what it read before one.
  std::atomic<uint64_t> registryWrites{0};
  PowerReportCache power;
  TerminalEvents terminalEvents;  // power notifications and wake-ups from the terminal
  ProgramPath program;
  trace::TraceState trace;
  MessageQueueTable messageQueues;
  WindowTable windows;  // this process's classes and windows
  HandleSpace<WaveOut, HWAVEOUT> waveOuts{HandleSpaceId::kWaveOut};
  HandleSpace<Socket> sockets{HandleSpaceId::kSocket};  // SOCKET values
  // WSAStartup calls that no WSACleanup has matched yet.
  std::atomic<int> winsockStarts{0};
  // What PlaySoundW plays for this process: one sound at a time.
  struct {
    std::mutex mu;
    std::shared_ptr<SoundPlayer> current;
  } sound;

 private:
  Kernel() = default;
};

}  // namespace ce::sim
