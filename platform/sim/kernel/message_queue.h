// Threads' message queues. A thread's queue is made the first time the thread
// asks for a message and lives as long as the thread: a pair of connected
// SOCK_SEQPACKET sockets, from the terminal's object server when a terminal is
// joined (so threads of other processes can post into it), else made here.
// Only the owning thread reads; anyone may post.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "ce/window.h"
#include "device_path.h"
#include "sync_objects.h"

namespace ce::sim {

class MessageQueue {
 public:
  MessageQueue(DWORD thread, HostFd receive, HostFd send, ServerHold hold);
  ~MessageQueue();

  // The calling thread's queue, made when it has none; null when it cannot be made.
  static std::shared_ptr<MessageQueue> OfCallingThread();
  // The queue of a thread of this process, or null.
  static std::shared_ptr<MessageQueue> OfThread(DWORD thread);
  // Lets go of the calling thread's queue: a thread ending does so before its
  // handle is signalled, so a post to it after a wait on the handle fails
  // rather than landing in a queue nobody reads.
  static void ReleaseCallingThread();

  // Any thread may post: ERROR_SUCCESS, or ERROR_NOT_ENOUGH_QUOTA when the
  // queue is full (some 270 unread messages; the socket buffer's size).
  DWORD Post(const wire::PostedMessage& message);

  // The rest is the owner's alone.

  // The oldest posted message for hwnd (NULL: any; (HWND)-1: thread messages
  // only) in the range (both 0: any). Messages for windows that are gone are
  // dropped on the way.
  bool Peek(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove);
  // The oldest message sent to one of the thread's windows and not yet run.
  std::optional<wire::PostedMessage> TakeSent();
  // Sent messages were taken from the socket and wait to be run: the socket
  // will not turn readable for them.
  bool HasSent() const { return !sent_.empty(); }
  // A send of this thread's that waits for its result: a reply is kept only
  // while its send is awaited.
  uint64_t Await();
  // The result once it came; either way the send is no longer awaited after
  // Forget.
  std::optional<LPARAM> ReplyTo(uint64_t sendId);
  void Forget(uint64_t sendId) { awaited_.erase(sendId); }
  // Readable while messages wait in the socket (not those already taken into the owner's lists).
  int ReceiveFd() const { return receive_.get(); }
  DWORD thread() const { return thread_; }

 private:
  void TakeArrived();

  const DWORD thread_;
  HostFd receive_;
  HostFd send_;
  ServerHold hold_;
  std::deque<MSG> arrived_;                            // posted, read from the socket, not yet removed
  std::deque<wire::PostedMessage> sent_;               // sent, not yet run
  std::map<uint64_t, std::optional<LPARAM>> awaited_;  // this thread's sends and their results
  uint64_t sends_ = 0;
};

// The queues of this process's threads, by thread id.
struct MessageQueueTable {
  std::mutex mu;
  std::map<DWORD, std::weak_ptr<MessageQueue>> byThread;
};

// Posts to the queue of the thread of that id, of this process or (through
// the terminal's object server) another: as Post, or ERROR_INVALID_THREAD_ID
// when there is no such queue.
DWORD PostToThread(DWORD thread, const wire::PostedMessage& message);

// A message as it travels between processes, and back.
wire::PostedMessage ToWire(const MSG& msg);
MSG FromWire(const wire::PostedMessage& posted);

}  // namespace ce::sim
