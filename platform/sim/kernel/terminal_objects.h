// This process's membership of its terminal: the connection to the terminal's
// object server (terminal_wire.h), through which it opens the objects every
// process on the terminal shares and appears in the terminal's process table.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device_path.h"
#include "terminal_wire.h"

namespace ce::sim {

// Files of the terminal folder that carry a reboot over to the next boot: the
// clean-boot flag (the next boot clears the object store), the mark of a
// reboot that the next boot honours, and the lock a booting process holds.
inline constexpr char kCleanBootMarker[] = "clean-boot";
inline constexpr char kRebootMarker[] = "rebooted";
inline constexpr char kBootLock[] = "boot.lock";

class TerminalObjects {
 public:
  // Connects to the server of the terminal in dir, starting one when there is
  // none, and enters this process in its table under name.
  static std::shared_ptr<TerminalObjects> Join(const std::filesystem::path& dir, std::u16string_view name,
                                               std::string* error);
  ~TerminalObjects();
  TerminalObjects(const TerminalObjects&) = delete;
  TerminalObjects& operator=(const TerminalObjects&) = delete;

  // This process's id on the terminal (a forked child joins afresh first).
  uint32_t processId();

  // A runner joins as the program it was started for (before its first Join).
  static void StartAsProgram(uint32_t id);
  // Run (once per boot, under the terminal's boot lock) by the process that
  // starts a terminal's server: it honours what a reboot left behind.
  using BootHook = void (*)(const std::filesystem::path& dir);
  static void SetBootHook(BootHook hook);
  // Starts the server of the terminal in dir unless it runs: the boot hook
  // first. A process boots before it opens the terminal's store, which a cold
  // boot replaces.
  static bool Boot(const std::filesystem::path& dir, std::string* error);
  // What this process does when its terminal goes down (cold: the store is
  // cleared at the next boot; asked: this process asked for the reboot).
  // Setting one also watches every terminal this process has joined, so that
  // it hears at once; without one a process hears at its next call to the
  // server, and ends (status 0 when it asked, else 1).
  using DownHandler = std::function<void(bool cold, bool asked)>;
  static void SetDownHandler(DownHandler handler);
  // True once the terminal this process joined has gone down: no call reaches it any more.
  bool Down();
  // A copy of this process's connection to the server (it hangs up when the server ends).
  HostFd DupConnection();

  struct Opened {
    wire::Status status = wire::Status::kFailed;
    uint32_t id = 0;
    uint32_t flags = 0;       // the object's own (wire::kManualReset)
    uint32_t connection = 0;  // which connection it came through (for Close)
    HostFd event;             // the object's eventfd
    HostFd page;              // mutexes and semaphores: the shared page
  };
  Opened Open(wire::Kind kind, std::u16string_view name, uint32_t flags, int32_t count, int32_t maximum,
              uint32_t thread);
  // A close meant for an earlier connection (before the server was started
  // again, or before a fork) is dropped: the id now names something else.
  void Close(uint32_t id, uint32_t connection);

  // A program of the terminal is to start (its id, or 0), or ended: said by
  // its runner, or by its starter when the runner never came.
  uint32_t ProgramStarted(std::u16string_view name);
  void ProgramEnded(uint32_t id, uint32_t exitCode);
  // A process handle's descriptors: signalled once it ended, its exit code on
  // the page. toTerminate: kOtherKind for a process this one may not end.
  Opened OpenProcess(uint32_t id, bool toTerminate);
  // kOpened: it ends (the caller's own process: the caller ends itself);
  // kOtherKind: ended already, or not the terminal's to end; kMissing: no such process.
  wire::Status Terminate(uint32_t id, uint32_t exitCode);
  // The live processes; nullopt when the server cannot be reached.
  std::optional<std::vector<wire::ProcessRecord>> Processes();
  // Asks the server to take the terminal down; true once it has.
  bool Reboot();

  // Windows, terminal-wide (terminal_wire.h). The new window's handle, or 0.
  uint32_t AddWindow(const wire::WindowRecord& window);
  // False for a window that is gone or not this process's.
  bool RemoveWindow(uint32_t hwnd);
  // The style before; nullopt for a window that is gone.
  std::optional<uint32_t> ChangeWindow(uint32_t hwnd, uint32_t what, const wire::WindowRecord& values);
  // The windows that match (wire::kFind... flags), newest first; nullopt when
  // the server cannot be reached.
  std::optional<std::vector<wire::WindowRecord>> FindWindows(uint32_t how, uint32_t hwnd,
                                                             const wire::WindowRecord& match);

  // What the terminal holds now, as JSON text.
  std::optional<std::string> List(std::string* error);

 private:
  TerminalObjects(std::filesystem::path dir, std::u16string name)
      : dir_(std::move(dir)), name_(std::move(name)) {}
  bool ConnectLocked(std::string* error);
  // One request and its reply; text and fds may be null. False when the
  // server could not be reached, once more after joining afresh; a reply
  // whose descriptors did not fit (none left here) comes with *fdsLost set.
  bool CallLocked(const wire::Request& request, wire::Reply* reply, std::string* text, HostFd* fds,
                  int maxFds, bool* fdsLost = nullptr);
  bool CallOnceLocked(const wire::Request& request, wire::Reply* reply, std::string* text, HostFd* fds,
                      int maxFds, bool* fdsLost);
  Opened OpenLocked(const wire::Request& r, bool single);
  // The terminal went down: every call fails from now on, and the handler runs.
  void WentDownLocked();
  bool SendLocked(const wire::Request& request);
  // The connection is to a live server (no hang-up waits on it): its table of names is current.
  bool ServerLivesLocked() const;

  const std::filesystem::path dir_;
  const std::u16string name_;
  std::mutex mu_;
  HostFd socket_;
  pid_t pid_ = 0;  // the process that made the connection: a forked child makes its own
  uint32_t processId_ = 0;
  uint32_t connection_ = 0;  // counts the connections made
  HostFd down_;              // the server's down event
  bool wentDown_ = false;
  // The server's table of names in use, mapped read-only; null when it sent none.
  std::unique_ptr<const wire::NameTable, void (*)(const wire::NameTable*)> names_{nullptr, nullptr};
};

}  // namespace ce::sim
