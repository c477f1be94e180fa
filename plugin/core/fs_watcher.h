// CQelFsWatcher: the "FS" notifier the module adds to the host's notifier
// list. It watches folders for the host's subscribers, one change
// notification per watch, all waited on by the HAL event handler's thread.
#pragma once

#include <atomic>
#include <map>
#include <string>

#include "core/critical_section.h"
#include "core/fs_watch.h"
#include "core/hal_event_handler.h"
#include "qel/command.h"
#include "qel/host.h"

namespace qel {

class CQelFsWatcher final : public IQelNotifier {
 public:
  // Takes a reference on each; fileLocation may be null.
  CQelFsWatcher(CQelHalEventHandler* handler, IQelFileLocation* fileLocation);

  int32_t AddRef() override { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  int32_t Release() override;
  void Unwatch(uint32_t subscriber) override;
  bool Watch(uint32_t subscriber, const char16_t* name, const char16_t* path) override;
  bool Attach(const char16_t* name, IQelNotifyCallback* callback) override;
  bool DetachAll(IQelNotifyCallback* callback) override;

  // The subscriber's watch of that full name ("FS:..."), held, or null.
  CQelFsWatch* Find(uint32_t subscriber, std::u16string_view fullName);
  size_t WatchCount(uint32_t subscriber);

 private:
  ~CQelFsWatcher();
  // The folder a path names for the host: its part before any ";", resolved by
  // the file-location service when there is one, up to its last backslash.
  std::u16string FolderOf(const char16_t* path);

  std::atomic<int32_t> count_{1};
  CriticalSection lock_;
  // Subscriber key -> watch name -> watch (one reference each), both sorted.
  std::map<uint32_t, std::map<std::u16string, CQelFsWatch*>> subscribers_;
  CQelHalEventHandler* handler_;
  IQelFileLocation* fileLocation_;
};

}  // namespace qel
