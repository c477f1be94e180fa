#include "core/hal_event_handler.h"

#include <algorithm>
#include <new>

#include "ce/handle.h"
#include "ce/sync.h"

namespace qel {

CQelHalEventHandler::CQelHalEventHandler()
    : CQelThread(u"HAL Event Handler"), stop_(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  sources_.reserve(32);
}

CQelHalEventHandler::~CQelHalEventHandler() {
  Stop();
  stop_.reset();     // before the sources go, not after them as a member would be
  ReleaseDropped();  // a thread cut short may have left some
  for (IQelHalEventSource* s : sources_) s->Release();
}

bool CQelHalEventHandler::GetInterface(GUID iid, void** out) {
  if (out == nullptr || iid != IID_QELHALEVENTHANDLER) return false;
  *out = this;  // the whole object: its thread part comes first
  AddRef();
  return true;
}

bool CQelHalEventHandler::AddSource(IQelHalEventSource* source) {
  if (!source) return false;
  Hold hold(listLock_);
  if (sources_.size() >= kMaxSources) return false;
  if (sources_.size() == sources_.capacity()) sources_.reserve(sources_.size() + 32);
  source->AddRef();
  sources_.push_back(source);
  return true;
}

void CQelHalEventHandler::Drop(const std::vector<IQelHalEventSource*>& sources) {
  std::vector<IQelHalEventSource*> dropped;
  {
    Hold hold(listLock_);
    for (IQelHalEventSource* source : sources)
      if (auto it = std::find(sources_.begin(), sources_.end(), source); it != sources_.end()) {
        dropped.push_back(*it);
        sources_.erase(it);
      }
  }
  // A source dropped from OnSignaled (perhaps its own) lives on until that
  // call has returned.
  if (IsCurrentThread()) {
    released_.insert(released_.end(), dropped.begin(), dropped.end());
    return;
  }
  for (IQelHalEventSource* s : dropped) s->Release();
}

void CQelHalEventHandler::ReleaseDropped() {
  std::vector<IQelHalEventSource*> dropped;
  dropped.swap(released_);
  for (IQelHalEventSource* s : dropped) s->Release();
}

void CQelHalEventHandler::RemoveSource(IQelHalEventSource* source) {
  if (IsCurrentThread()) {
    Stop();
    Drop({source});
    return;
  }
  Hold control(control_);
  Stop();
  Drop({source});
}

void CQelHalEventHandler::Withdraw(const std::vector<IQelHalEventSource*>& sources) {
  Withdraw([&] { return sources; });
}

void CQelHalEventHandler::Withdraw(const std::function<std::vector<IQelHalEventSource*>()>& collect) {
  if (IsCurrentThread()) {
    Drop(collect());
    Pending none = Pending::kNone;
    pending_.compare_exchange_strong(none, Pending::kRebuild, std::memory_order_relaxed);
    return;
  }
  Hold control(control_);
  const bool running = !Wait(0);
  Stop();
  Drop(collect());
  if (running) {
    if (stop_) ce::ResetEvent(stop_.get());
    CQelThread::Start();
  }
}

void CQelHalEventHandler::Stop() {
  if (IsCurrentThread()) {
    pending_.store(Pending::kStop, std::memory_order_relaxed);
    return;
  }
  Hold control(control_);
  if (stop_) ce::SetEvent(stop_.get());
  if (threadHandle()) ce::WaitForSingleObject(threadHandle(), INFINITE);
  Close();
}

bool CQelHalEventHandler::Restart() {
  if (IsCurrentThread()) {
    pending_.store(Pending::kRebuild, std::memory_order_relaxed);
    return true;
  }
  Hold control(control_);
  Stop();
  if (stop_) ce::ResetEvent(stop_.get());
  return CQelThread::Start();
}

CQelHalEventHandler::Paused::Paused(CQelHalEventHandler* handler)
    : handler_(handler && !handler->IsCurrentThread() ? handler : nullptr) {
  if (!handler_) return;
  handler_->control_.Enter();
  handler_->Stop();
}

CQelHalEventHandler::Paused::~Paused() {
  if (handler_) handler_->control_.Leave();
}

size_t CQelHalEventHandler::SourceCount() {
  Hold hold(listLock_);
  return sources_.size();
}

std::vector<IQelHalEventSource*> CQelHalEventHandler::TakeSources() {
  Hold hold(listLock_);
  return sources_;
}

ce::DWORD CQelHalEventHandler::Run() {
  // The sources of this run, with their handles asked once; taken afresh
  // when a source's OnSignaled restarts the handler.
  std::vector<IQelHalEventSource*> sources;
  std::vector<ce::HANDLE> handles;
  ce::DWORD code = 0;
  for (bool serving = true; serving;) {
    sources = TakeSources();
    if (sources.empty()) break;
    code = 1;
    handles.assign(1, stop_.get());
    for (IQelHalEventSource* s : sources) handles.push_back(s->GetHandle());
    pending_.store(Pending::kNone, std::memory_order_relaxed);
    while (pending_.load(std::memory_order_relaxed) == Pending::kNone) {
      const ce::DWORD r =
          ce::WaitForMultipleObjects(ce::DWORD(handles.size()), handles.data(), FALSE, INFINITE);
      if (r < WAIT_OBJECT_0 + 1 || r >= WAIT_OBJECT_0 + handles.size()) {  // stop, or a failed wait
        pending_.store(Pending::kStop, std::memory_order_relaxed);
        break;
      }
      sources[r - WAIT_OBJECT_0 - 1]->OnSignaled();
      ReleaseDropped();
    }
    serving = pending_.load(std::memory_order_relaxed) == Pending::kRebuild;
  }
  return code;
}

IQelService* CreateHalEventHandler() {
  auto* handler = new (std::nothrow) CQelHalEventHandler;
  return handler ? static_cast<IQelService*>(handler) : nullptr;
}

}  // namespace qel
