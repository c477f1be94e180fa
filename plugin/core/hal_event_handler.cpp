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
  stop_.reset();  // before the sources go, not after them as a member would be
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

void CQelHalEventHandler::RemoveSource(IQelHalEventSource* source) {
  const bool fromHandler = IsCurrentThread();
  if (!fromHandler) control_.Enter();
  Stop();
  IQelHalEventSource* removed = nullptr;
  {
    Hold hold(listLock_);
    auto it = std::find(sources_.begin(), sources_.end(), source);
    if (it != sources_.end()) {
      removed = *it;
      sources_.erase(it);
    }
  }
  if (!fromHandler) control_.Leave();
  if (removed) removed->Release();
}

void CQelHalEventHandler::Stop() {
  // From a source's callback: the thread cannot wait for itself; it ends
  // once the callback returns.
  if (IsCurrentThread()) {
    ce::SetEvent(stop_.get());
    return;
  }
  Hold control(control_);
  if (stop_) ce::SetEvent(stop_.get());
  if (threadHandle()) ce::WaitForSingleObject(threadHandle(), INFINITE);
  Close();
}

bool CQelHalEventHandler::Restart() {
  if (IsCurrentThread()) return false;  // see Stop
  Hold control(control_);
  Stop();
  if (stop_) ce::ResetEvent(stop_.get());
  return CQelThread::Start();
}

size_t CQelHalEventHandler::SourceCount() {
  Hold hold(listLock_);
  return sources_.size();
}

ce::DWORD CQelHalEventHandler::Run() {
  // The sources of this run, each held, with their handles asked once.
  std::vector<IQelHalEventSource*> sources;
  {
    Hold hold(listLock_);
    sources = sources_;
    for (IQelHalEventSource* s : sources) s->AddRef();
  }
  if (sources.empty()) return 0;
  std::vector<ce::HANDLE> handles;
  handles.reserve(sources.size() + 1);
  handles.push_back(stop_.get());
  for (IQelHalEventSource* s : sources) handles.push_back(s->GetHandle());
  while (true) {
    const ce::DWORD r =
        ce::WaitForMultipleObjects(ce::DWORD(handles.size()), handles.data(), FALSE, INFINITE);
    if (r < WAIT_OBJECT_0 + 1 || r >= WAIT_OBJECT_0 + handles.size()) break;  // stop, or a failed wait
    sources[r - WAIT_OBJECT_0 - 1]->OnSignaled();
  }
  for (IQelHalEventSource* s : sources) s->Release();
  return 1;
}

IQelService* CreateHalEventHandler() {
  auto* handler = new (std::nothrow) CQelHalEventHandler;
  return handler ? static_cast<IQelService*>(handler) : nullptr;
}

}  // namespace qel
