// The HAL event handler: one thread waiting on the handles of up to 62 event
// sources (its stop event and the sources fill one wait of 64 handles) and
// calling each source back when its handle is signalled. It is also a
// service: after its thread part come its IQelService part and its counted
// part, and its GetInterface hands out the whole object, so that holders
// reach the thread and source operations.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "ce/handle.h"
#include "core/critical_section.h"
#include "core/thread.h"
#include "qel/guids.h"
#include "qel/hal_event.h"
#include "qel/object.h"
#include "qel/service.h"

namespace qel {

class CQelHalEventHandler : public CQelThread, public CQelObject<IQelService, IID_QELHALEVENTHANDLER> {
 public:
  static constexpr size_t kMaxSources = 62;

  CQelHalEventHandler();
  ~CQelHalEventHandler() override;

  // Slot 2 of the thread part: Stop, then a fresh start.
  bool Start() override { return Restart(); }
  ce::DWORD Run() override;

  bool GetInterface(GUID iid, void** out) override;

  // False when 62 sources are held already. A source added while the thread
  // runs is waited on from the next Restart.
  bool AddSource(IQelHalEventSource* source);
  // Stops the thread, then drops the first entry equal to source; the thread
  // stays stopped.
  void RemoveSource(IQelHalEventSource* source);
  // Drops the first entry equal to each of sources and leaves the thread as
  // it was: a running thread goes on without them, a stopped one stays so.
  void Withdraw(const std::vector<IQelHalEventSource*>& sources);
  // The same for the sources `collect` names once the thread is stopped, so
  // that no source's OnSignaled changes them while they are collected.
  void Withdraw(const std::function<std::vector<IQelHalEventSource*>()>& collect);
  // Signals the stop event, waits for the thread and closes it.
  void Stop();
  bool Restart();
  size_t SourceCount();

  // Held by a host thread around a change of the sources that also takes a
  // lock of its own, which a source's OnSignaled may take too: the thread is
  // stopped before that lock is taken, so that stopping it never waits on a
  // callback that waits on the lock. It keeps other host threads from
  // starting the thread until it goes; on the handler's own thread it does
  // nothing.
  class Paused {
   public:
    explicit Paused(CQelHalEventHandler* handler);
    ~Paused();
    Paused(const Paused&) = delete;
    Paused& operator=(const Paused&) = delete;

   private:
    CQelHalEventHandler* handler_;  // null when nothing was stopped
  };

  // Stop, Restart, RemoveSource and Withdraw called from a source's
  // OnSignaled, on the handler's own thread, cannot wait for that thread:
  // they take effect when OnSignaled returns, the thread then ending (a stop)
  // or taking the source list afresh and going on (a restart).

 private:
  enum class Pending { kNone, kStop, kRebuild };

  // Drops the first entry equal to each source; the caller has stopped the
  // thread or runs on it.
  void Drop(const std::vector<IQelHalEventSource*>& sources);
  // The list as it stands. The entries are not held: the list's references
  // keep them while the thread runs, since nothing off the thread drops one
  // without stopping it first, and what the thread drops itself waits in
  // released_ until OnSignaled has returned.
  std::vector<IQelHalEventSource*> TakeSources();
  void ReleaseDropped();

  // Serialises Stop, Restart and RemoveSource between host threads.
  CriticalSection control_;
  // Guards the list against AddSource while the thread takes its copy.
  CriticalSection listLock_;
  std::vector<IQelHalEventSource*> sources_;  // one reference each
  ce::UniqueHandle stop_;                     // manual reset
  // What a source's OnSignaled asked of the thread; set and read on the
  // handler's thread only.
  std::atomic<Pending> pending_{Pending::kNone};
  // Sources dropped on the handler's thread, released once their OnSignaled
  // is over; touched on that thread only.
  std::vector<IQelHalEventSource*> released_;
};

// The registration table's creation function: the IQelService part, count 1.
IQelService* CreateHalEventHandler();

// The handler behind a pointer that its GetInterface handed out.
inline CQelHalEventHandler* AsHalEventHandler(void* whole) {
  return static_cast<CQelHalEventHandler*>(whole);
}

}  // namespace qel
