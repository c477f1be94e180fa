// The terminal's object server: owns the named objects, the process table and
// the windows of one terminal, for as long as a process is connected.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "terminal_wire.h"

namespace ce::sim::server {

class ObjectServer {
 public:
  // listenFd: a listening SOCK_SEQPACKET socket; dirFd: the terminal's
  // folder (O_PATH); both owned from here on.
  ObjectServer(int listenFd, int dirFd);
  ~ObjectServer();
  ObjectServer(const ObjectServer&) = delete;
  ObjectServer& operator=(const ObjectServer&) = delete;

  // Serves until a while after the last process left, or until none came
  // within the first wait.
  void Run();

 private:
  struct Object {
    wire::Kind kind;
    std::u16string name;  // as first spelled
    bool manual = false;
    int eventFd = -1;                   // a queue: its receiving end
    int pageFd = -1;                    // a queue: its sending end
    wire::SharedState* page = nullptr;  // mapped, for mutexes and semaphores
    std::map<int, int> handles;         // per connection
    uint32_t thread = 0;                // a queue: its thread; a process: its id
    int owner = -1;                     // a queue: the connection of its thread's process
  };
  // A host process joined from outside; a program was started on the
  // terminal, and runs in a runner process of its own once that has claimed it.
  struct Process {
    uint32_t id = 0;
    int connection = -1;  // its own; a program's starter's until its runner claims it
    uint32_t pid = 0;
    std::u16string name;
    bool program = false;
    bool alive = true;
    uint32_t exitCode = 0;
    uint32_t parent = 0;
    bool claimed = false;  // a program whose runner has joined
    int pidfd = -1;        // a claimed program's runner, to end it
  };
  struct Window {
    wire::WindowRecord record;
    int owner = -1;  // the connection of its maker's process: the window goes with it
  };

  void Accept();
  // False when the connection is to be dropped.
  bool Serve(int fd);
  void Drop(int fd);
  void Open(int fd, const wire::Request& r);
  void OpenQueue(int fd, const wire::Request& r);
  void OpenProcess(int fd, const wire::Request& r);
  bool Hello(int fd, const wire::Request& r);
  // It ended with that code: its event is signalled, a runner is ended.
  void EndProcess(Process& p, uint32_t exitCode);
  void Terminate(int fd, const wire::Request& r);
  void ListProcesses(int fd);
  void Reboot(int fd, const wire::Request& r);
  // Every program ends, every process hears through the down event, the name is freed.
  void TakeDown();
  bool FolderGone() const;
  Process* ProcessOf(uint32_t id);
  // The host process or runner on that connection.
  Process* MemberOf(int fd);
  // Keeps the newest ended programs only.
  void TrimEnded();
  void Close(int fd, uint32_t id);
  void ReleaseObject(uint32_t id);
  // The input panel's windows, the terminal's own.
  void MakePanelWindows();
  void MakeWindow(int fd, const wire::Request& r);
  void DestroyWindow(int fd, uint32_t hwnd);
  void ChangeWindow(int fd, const wire::Request& r);
  void FindWindows(int fd, const wire::Request& r);
  Window* WindowOf(uint32_t hwnd);
  // A name enters or leaves byName_.
  void CountName(const std::u16string& name, bool in);
  nlohmann::json Listing() const;
  bool Send(int fd, const wire::Reply& reply, const int* fds = nullptr, int fdCount = 0);
  // A listing: the reply, then its text in pieces a socket buffer holds.
  bool SendText(int fd, const std::string& text);
  // What a connection holds, to refuse more than kMaxHandles.
  size_t HandlesOf(int fd) const;

  int listen_;
  int dir_;  // the terminal's folder: a server whose folder was removed serves nobody new
  std::vector<int> connections_;
  std::map<int, pid_t> peers_;  // connection -> its process's pid
  int namesFd_ = -1;            // the names in use, shared read-only with every process
  wire::NameTable* names_ = nullptr;
  int spare_ = -1;                               // a descriptor kept free, to refuse a join when none is left
  std::map<uint32_t, Object> objects_;           // by id
  std::map<std::u16string, uint32_t> byName_;    // name -> id
  std::map<uint32_t, uint32_t> queues_;          // thread id -> id
  std::map<uint32_t, uint32_t> processObjects_;  // process id -> id
  int downFd_ = -1;                              // signalled when the terminal goes down
  bool down_ = false;
  std::vector<Process> processes_;  // in the order they joined
  std::vector<Window> windows_;     // newest first, as they are enumerated
  uint32_t nextWindow_ = 0;
  uint32_t foreground_ = 0;  // the foreground window's handle, 0 for none
  uint32_t nextObject_ = 1;
  uint32_t nextProcess_ = 0x10004;
};

}  // namespace ce::sim::server
