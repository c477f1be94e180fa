#include "core/fs_watcher.h"

#include <vector>

#include "core/file_ref.h"
#include "qelcommon/ref.h"
#include "qelcommon/text_buffer.h"

namespace qel {

namespace {
constexpr std::u16string_view kPrefix = u"FS:";

std::u16string FullName(const char16_t* name) { return std::u16string(kPrefix) + (name ? name : u""); }
}  // namespace

CQelFsWatcher::CQelFsWatcher(CQelHalEventHandler* handler, IQelFileLocation* fileLocation)
    : handler_(handler), fileLocation_(fileLocation) {
  if (handler_) handler_->AddRef();
  if (fileLocation_) fileLocation_->AddRef();
}

// The handler's thread is left as it is: after UnRegister it stays stopped,
// and while the module is bound it goes on without these watches. They are
// taken once that thread has stopped: a callback on it may still be changing
// them.
CQelFsWatcher::~CQelFsWatcher() {
  std::vector<IQelHalEventSource*> watches;
  auto collect = [&] {
    for (auto& [key, group] : subscribers_)
      for (auto& [name, watch] : group) watches.push_back(watch);
    return watches;
  };
  if (handler_) {
    handler_->Withdraw(collect);
    handler_->Release();
  } else {
    collect();
  }
  for (IQelHalEventSource* watch : watches) watch->Release();
  if (fileLocation_) fileLocation_->Release();
}

int32_t CQelFsWatcher::Release() {
  const int32_t now = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (now == 0) delete this;
  return now;
}

std::u16string CQelFsWatcher::FolderOf(const char16_t* path) {
  std::u16string p(path ? path : u"");
  p = p.substr(0, p.find(u';'));
  if (fileLocation_) {
    CQelTextBuffer first;
    if (first.Assign(p.data(), uint32_t(p.size())))
      if (FileRef resolved(fileLocation_->Resolve(&first)); resolved)
        p = resolved->FullPath() ? resolved->FullPath() : u"";
  }
  const size_t slash = p.rfind(u'\\');
  return slash == std::u16string::npos ? p : p.substr(0, slash);
}

// Watch and Unwatch stop the handler's thread before they take the lock: a
// callback on that thread may be calling Watch, and stopping the thread
// waits for it.
bool CQelFsWatcher::Watch(uint32_t subscriber, const char16_t* name, const char16_t* path) {
  CQelHalEventHandler::Paused paused(handler_);
  Hold hold(lock_);
  auto& group = subscribers_[subscriber];
  const std::u16string full = FullName(name);
  if (auto old = group.find(full); old != group.end()) {
    if (handler_) handler_->RemoveSource(old->second);
    old->second->Release();
    group.erase(old);
  }
  const std::u16string folder = FolderOf(path);
  auto* watch = new CQelFsWatch(full, folder.c_str());
  const bool ok = watch->valid();
  if (ok) {
    group.emplace(full, watch);
    // Beyond the handler's capacity the watch is kept but never waited on.
    if (handler_) handler_->AddSource(watch);
  } else {
    watch->Release();
    if (group.empty()) subscribers_.erase(subscriber);
  }
  if (handler_) handler_->Restart();
  return ok;
}

void CQelFsWatcher::Unwatch(uint32_t subscriber) {
  CQelHalEventHandler::Paused paused(handler_);
  Hold hold(lock_);
  if (auto group = subscribers_.find(subscriber); group != subscribers_.end()) {
    for (auto& [name, watch] : group->second) {
      if (handler_) handler_->RemoveSource(watch);
      watch->Release();
    }
    subscribers_.erase(group);
  }
  if (handler_) handler_->Restart();
}

// Attach and DetachAll let the watcher's lock go before they take a watch's:
// a callback runs under its watch's lock and may call Watch or Unwatch, which
// take the watcher's.
bool CQelFsWatcher::Attach(const char16_t* name, IQelNotifyCallback* callback) {
  if (!name || !callback) return true;
  Ref<CQelFsWatch> watch;
  {
    Hold hold(lock_);
    auto group = subscribers_.find(0);
    if (group == subscribers_.end()) return false;
    auto found = group->second.find(FullName(name));
    if (found == group->second.end()) return true;
    watch = Ref<CQelFsWatch>::Share(found->second);
  }
  if (watch->TestAndClearChanged()) {
    CQelTextBuffer text;
    text.Assign(watch->name().data(), uint32_t(watch->name().size()));
    callback->OnChange(&text, 0, 0);
    return false;
  }
  watch->SetCallback(callback);
  return true;
}

bool CQelFsWatcher::DetachAll(IQelNotifyCallback* callback) {
  if (!callback) return false;
  std::vector<Ref<CQelFsWatch>> watches;
  {
    Hold hold(lock_);
    if (auto group = subscribers_.find(0); group != subscribers_.end())
      for (auto& [name, watch] : group->second) watches.push_back(Ref<CQelFsWatch>::Share(watch));
  }
  for (const Ref<CQelFsWatch>& watch : watches) watch->SetCallback(nullptr);
  return false;
}

CQelFsWatch* CQelFsWatcher::Find(uint32_t subscriber, std::u16string_view fullName) {
  Hold hold(lock_);
  auto group = subscribers_.find(subscriber);
  if (group == subscribers_.end()) return nullptr;
  auto watch = group->second.find(std::u16string(fullName));
  if (watch == group->second.end()) return nullptr;
  watch->second->AddRef();
  return watch->second;
}

size_t CQelFsWatcher::WatchCount(uint32_t subscriber) {
  Hold hold(lock_);
  auto group = subscribers_.find(subscriber);
  return group == subscribers_.end() ? 0 : group->second.size();
}

}  // namespace qel
