#include "open_files.h"

#include "ce/files.h"

namespace ce::sim {
namespace {

// Each side's access must be allowed by the other side's share mode.
bool Compatible(const DataAccess& a, const DataAccess& b) {
  auto allows = [](DWORD access, DWORD share) {
    return (!(access & GENERIC_READ) || (share & FILE_SHARE_READ)) &&
           (!(access & GENERIC_WRITE) || (share & FILE_SHARE_WRITE));
  };
  return allows(a.access, b.share) && allows(b.access, a.share);
}

}  // namespace

uint64_t OpenFileTable::Claim(FileKey key, DataAccess wanted) {
  std::lock_guard lock(mu_);
  auto& opens = open_[key];
  for (const auto& [id, held] : opens)
    if (!Compatible(held, wanted)) return 0;
  const uint64_t id = nextId_++;
  opens.emplace(id, wanted);
  return id;
}
void OpenFileTable::Release(FileKey key, uint64_t id) {
  std::lock_guard lock(mu_);
  auto it = open_.find(key);
  if (it == open_.end()) return;
  it->second.erase(id);
  if (it->second.empty()) open_.erase(it);
}
bool OpenFileTable::IsOpen(FileKey key) {
  std::lock_guard lock(mu_);
  return open_.count(key) != 0;
}

}  // namespace ce::sim
