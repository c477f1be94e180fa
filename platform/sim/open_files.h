// Files open for data access across the process, for the device's sharing
// rules: an open must allow what every other open of the file does, and a file
// that is open cannot be deleted or replaced.
#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <map>
#include <mutex>

#include "ce/types.h"

namespace ce::sim {

struct FileKey {
  dev_t dev;
  ino_t ino;
  auto operator<=>(const FileKey&) const = default;
};

struct DataAccess {
  DWORD access;
  DWORD share;
};

class OpenFileTable {
 public:
  // 0 when an open of the file conflicts.
  uint64_t Claim(FileKey key, DataAccess wanted);
  void Release(FileKey key, uint64_t id);
  bool IsOpen(FileKey key);

 private:
  std::mutex mu_;
  std::map<FileKey, std::map<uint64_t, DataAccess>> open_;
  uint64_t nextId_ = 1;
};

}  // namespace ce::sim
