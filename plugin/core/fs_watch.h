// CQelFsWatch: one watched folder of the "FS" notifier. An event source of
// the HAL event handler: when its change notification fires it tells its
// callback, or sets its changed flag, and re-arms the notification.
#pragma once

#include <atomic>
#include <string>

#include "ce/files.h"
#include "ce/types.h"
#include "core/critical_section.h"
#include "qel/hal_event.h"
#include "qel/host.h"
#include "qelcommon/text_buffer.h"

namespace qel {

// The watch's own table.
class IQelFsWatch {
 public:
  virtual int32_t AddRef() = 0;            // slot 0
  virtual int32_t Release() = 0;           // slot 1
  virtual bool TestAndClearChanged() = 0;  // slot 2

 protected:
  ~IQelFsWatch() = default;
};

class CQelFsWatch final : public IQelFsWatch, public IQelHalEventSource {
 public:
  // name: the full name ("FS:" and the host's name); folder: the device folder.
  // The notification is opened at once; valid() tells whether it could be.
  CQelFsWatch(std::u16string_view name, const char16_t* folder);
  bool valid() const;

  int32_t AddRef() override { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  int32_t Release() override;
  bool TestAndClearChanged() override { return changed_.exchange(false, std::memory_order_acq_rel); }

  void* GetHandle() override { return notification_.get(); }
  bool OnSignaled() override;

  // The callback is the host's and is held without a reference.
  void SetCallback(IQelNotifyCallback* callback);
  const std::u16string& name() const { return name_; }

 private:
  ~CQelFsWatch();

  std::atomic<int32_t> count_{1};
  CQelTextBuffer nameText_;  // the name as the callback reads it
  std::u16string name_;
  std::atomic<bool> changed_{false};
  ce::UniqueChangeNotification notification_;
  CriticalSection lock_;
  IQelNotifyCallback* callback_ = nullptr;
};

}  // namespace qel
