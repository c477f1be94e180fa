// Files open for data access, for the device's sharing rules: an open must
// allow what every other open of the file does, and a file that is open cannot
// be deleted or replaced. The rules hold among the handles of this process
// (OpenFileTable) and across the processes that share a terminal (the share
// locks, which ride on the host file's open file description).
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

// Records the open of fd (a readable host file) in the file's share locks,
// unless an open of another process conflicts: ERROR_SHARING_VIOLATION then.
// The record lasts as long as fd's open file description.
DWORD LockShareMode(int fd, DataAccess wanted);

// Whether an open of another open file description holds share locks on fd's file.
bool IsOpenElsewhere(int fd);

}  // namespace ce::sim
