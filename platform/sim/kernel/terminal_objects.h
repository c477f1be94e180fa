// This process's membership of its terminal: the connection to the terminal's
// object server (terminal_wire.h), through which it opens the objects every
// process on the terminal shares and appears in the terminal's process table.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device_path.h"
#include "terminal_wire.h"

namespace ce::sim {

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

  // A program of the terminal started or ended (it runs on a thread of this process).
  uint32_t ProgramStarted(std::u16string_view name);
  void ProgramEnded(uint32_t id, uint32_t exitCode);

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
  // The server's table of names in use, mapped read-only; null when it sent none.
  std::unique_ptr<const wire::NameTable, void (*)(const wire::NameTable*)> names_{nullptr, nullptr};
};

}  // namespace ce::sim
