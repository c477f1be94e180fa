#include "core/fs_watch.h"

#include "ce/files.h"

namespace qel {

namespace {
// Every kind of change: names of files and folders, attributes, size, last write.
constexpr ce::DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                              FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                              FILE_NOTIFY_CHANGE_LAST_WRITE;
static_assert(kFilter == 31);
}  // namespace

CQelFsWatch::CQelFsWatch(std::u16string_view name, const char16_t* folder)
    : name_(name), notification_(ce::FindFirstChangeNotificationW(folder, TRUE, kFilter)) {
  nameText_.Assign(name_.data(), uint32_t(name_.size()));
}

// Closed before the lock goes, which a member declared ahead of it would not be.
CQelFsWatch::~CQelFsWatch() { notification_.reset(); }

bool CQelFsWatch::valid() const { return notification_.valid(); }

int32_t CQelFsWatch::Release() {
  const int32_t now = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (now == 0) delete this;
  return now;
}

void CQelFsWatch::SetCallback(IQelNotifyCallback* callback) {
  Hold hold(lock_);
  callback_ = callback;
}

bool CQelFsWatch::OnSignaled() {
  Hold hold(lock_);
  if (!callback_ || !callback_->OnChange(&nameText_, 0, 0)) changed_.store(true, std::memory_order_release);
  return ce::FindNextChangeNotification(notification_.get()) != FALSE;
}

}  // namespace qel
