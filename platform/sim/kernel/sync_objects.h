// Events, mutexes and semaphores. Each keeps its state where every holder
// reaches it without asking anyone: an eventfd (readable while signalled) and,
// for a mutex or a semaphore, a shared page. A named object's descriptors come
// from the terminal's object server, so the same state is seen by every
// process on the terminal; an unnamed one makes its own.
#pragma once

#include <memory>

#include "ce/types.h"
#include "device_path.h"
#include "handles.h"
#include "terminal_wire.h"

namespace ce::sim {

class TerminalObjects;

// A named object's place in the server: given back when the last handle closes.
class ServerHold {
 public:
  ServerHold() = default;
  ServerHold(std::shared_ptr<TerminalObjects> objects, uint32_t id, uint32_t connection)
      : objects_(std::move(objects)), id_(id), connection_(connection) {}
  // The terminal it is held in; null for an object of this process alone.
  const std::shared_ptr<TerminalObjects>& objects() const { return objects_; }
  ServerHold(ServerHold&&) = default;
  ServerHold& operator=(ServerHold&&) = default;
  ~ServerHold();

 private:
  std::shared_ptr<TerminalObjects> objects_;
  uint32_t id_ = 0;
  uint32_t connection_ = 0;
};

// The shared page, mapped while the object lives.
class SharedPage {
 public:
  // Maps the page of fd; an unnamed object passes its own fresh memfd.
  explicit SharedPage(HostFd fd);
  ~SharedPage();
  SharedPage(const SharedPage&) = delete;
  SharedPage& operator=(const SharedPage&) = delete;
  bool ok() const { return state_ != nullptr; }
  wire::SharedState* operator->() const { return state_; }

 private:
  HostFd fd_;
  wire::SharedState* state_ = nullptr;
};

class Event final : public KernelObject {
 public:
  Event(HostFd fd, bool manual, ServerHold hold);
  static std::shared_ptr<Event> MakeUnnamed(bool manual, bool initial);
  int WaitFd() const override { return fd_.get(); }
  bool TryAcquire() override;
  void Set();
  void Reset();

 private:
  const HostFd fd_;
  const bool manual_;
  ServerHold hold_;
};

// Owned by one thread of one terminal process at a time, recursively.
// A mutex whose owning thread ends without releasing it is abandoned: the
// next thread to take it learns so (WAIT_ABANDONED). While a thread owns a
// mutex it keeps the object, even when its handles are closed.
class Mutex final : public KernelObject, public std::enable_shared_from_this<Mutex> {
 public:
  Mutex(HostFd fd, std::unique_ptr<SharedPage> page, ServerHold hold);
  static std::shared_ptr<Mutex> MakeUnnamed(bool initialOwner);
  int WaitFd() const override { return fd_.get(); }
  bool OwnedByCaller() const override;
  bool TryAcquire() override;
  bool TakeAbandoned() override;
  // False (ERROR_NOT_OWNER) when the calling thread does not own it.
  bool Release();
  // The calling thread came to own it when it was made (initial owner).
  void Adopt();
  // The calling thread ends: abandons the mutex if it still owns it.
  void AbandonIfOwned();

 private:
  const HostFd fd_;
  std::unique_ptr<SharedPage> page_;
  // The id its owner is known by: this process's on the terminal, asked each
  // time (a forked child is another process), or the pid for an unnamed one.
  uint32_t ProcessId() const;

  ServerHold hold_;
};

class Semaphore final : public KernelObject {
 public:
  Semaphore(HostFd fd, std::unique_ptr<SharedPage> page, ServerHold hold);
  static std::shared_ptr<Semaphore> MakeUnnamed(LONG initial, LONG maximum);
  int WaitFd() const override { return fd_.get(); }
  bool TryAcquire() override;
  // The error code, ERROR_SUCCESS when released.
  DWORD Release(LONG count, LONG* previous);

 private:
  const HostFd fd_;
  std::unique_ptr<SharedPage> page_;
  ServerHold hold_;
};

}  // namespace ce::sim
