// CQelFile: the file object behind IQelFile, one system file handle.
#pragma once

#include <cstdint>
#include <string>

#include "ce/handle.h"
#include "ce/types.h"
#include "qel/file.h"
#include "qel/refcounted.h"

namespace qel {

class CQelFile final : public IQelFile, public CQelRefCounted {
 public:
  // Count 1, or null when memory runs out.
  static CQelFile* Create() noexcept;

  // IQelFile
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }
  bool Open(const char16_t* path, uint32_t mode) override;
  bool Close() override;
  bool Flush() override;
  bool IsOpen() override;
  bool HasChanged() override;
  uint32_t Read(void* buffer, uint32_t count) override;
  uint32_t Write(const void* buffer, uint32_t count) override;
  uint64_t GetSize() override;
  bool SetSize(uint32_t low, uint32_t high) override;
  uint64_t Seek(uint32_t low, uint32_t high, uint32_t origin) override;
  uint64_t Tell() override;
  IQelDateTime* GetLastWriteTime() override;
  CQelCountedText* GetPath() override;

 private:
  CQelFile();
  ~CQelFile() override;

  // The handle's last-write time and size; false when they cannot be read.
  bool ReadStamp(ce::FILETIME* lastWrite, uint64_t* size);

  ce::UniqueHandle handle_;
  uint32_t access_ = 0;
  ce::FILETIME recordedWrite_{};  // as last closed
  uint64_t recordedSize_ = 0;
  std::u16string path_;  // of the last successful Open
};

// Creates every missing folder of path ("/" counts as "\"), stopping at the
// first creation that fails for another reason than the folder existing.
void CreateFoldersOf(const char16_t* path);

}  // namespace qel
