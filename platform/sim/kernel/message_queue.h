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

  // Any thread may post: ERROR_SUCCESS, or ERROR_NOT_ENOUGH_QUOTA when the
  // queue is full (some 270 unread messages; the socket buffer's size).
  DWORD Post(const MSG& msg);
  // Owner only: the oldest message in the range (both 0: any).
  bool Peek(MSG* msg, UINT filterMin, UINT filterMax, bool remove);
  // Readable while messages wait in the socket (not those already taken into the owner's list).
  int ReceiveFd() const { return receive_.get(); }

 private:
  void TakeArrived();

  const DWORD thread_;
  HostFd receive_;
  HostFd send_;
  ServerHold hold_;
  std::deque<MSG> arrived_;  // read from the socket, not yet removed
};

// The queues of this process's threads, by thread id.
struct MessageQueueTable {
  std::mutex mu;
  std::map<DWORD, std::weak_ptr<MessageQueue>> byThread;
};

// Posts to the queue of the thread of that id in another process of the
// terminal, through the terminal's object server: as Post, or
// ERROR_INVALID_THREAD_ID when there is no such queue.
DWORD PostToOtherProcess(DWORD thread, const MSG& msg);

// A message as it travels between processes, and back.
wire::PostedMessage ToWire(const MSG& msg);
MSG FromWire(const wire::PostedMessage& posted);

}  // namespace ce::sim
