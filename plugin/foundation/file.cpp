#include "foundation/file.h"

#include <algorithm>
#include <new>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/time.h"
#include "foundation/date_time.h"

namespace qel {
namespace {

constexpr uint32_t kAllOnes32 = 0xFFFFFFFFu;
constexpr uint64_t kAllOnes64 = ~uint64_t{0};

uint64_t Combine(ce::DWORD low, ce::DWORD high) { return (uint64_t(high) << 32) | low; }

}  // namespace

CQelFile* CQelFile::Create() noexcept { return new (std::nothrow) CQelFile(); }

CQelFile::CQelFile() = default;

CQelFile::~CQelFile() {
  // A handle the system refused to close is not open: closing it again would
  // fail the same way.
  if (!Close()) handle_.release();
}

void CreateFoldersOf(const char16_t* path) {
  if (!path) return;
  std::u16string folder(path);
  std::replace(folder.begin(), folder.end(), u'/', u'\\');
  for (size_t i = 1; i < folder.size(); ++i) {
    if (folder[i] != u'\\') continue;
    const std::u16string name = folder.substr(0, std::min<size_t>(i, MAX_PATH));
    if (!ce::CreateDirectoryW(name.c_str(), nullptr)) {
      const ce::DWORD error = ce::GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return;
    }
  }
}

bool CQelFile::Open(const char16_t* path, uint32_t mode) {
  if (IsOpen()) return true;
  if (!path) return false;
  ce::DWORD access = 0;
  ce::DWORD disposition = OPEN_EXISTING;
  switch (mode & 0xFF) {
    case kQelFileRead:
      access = GENERIC_READ;
      break;
    case kQelFileWrite:
      access = GENERIC_WRITE, disposition = OPEN_ALWAYS;
      break;
    case kQelFileReadWrite:
      access = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_ALWAYS;
      break;
    default:
      break;  // no access rights, an existing file
  }
  if ((mode & 0xFF00) == kQelFileCreate) disposition = CREATE_ALWAYS;
  if (mode & kQelFileOpenAlways) disposition = OPEN_ALWAYS;
  if (access & GENERIC_WRITE) CreateFoldersOf(path);

  handle_.reset(ce::CreateFileW(path, access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr));
  if (!handle_) return false;
  access_ = access;
  path_ = path;
  return true;
}

bool CQelFile::Close() {
  if (!IsOpen()) return true;
  // What the file looks like now, for HasChanged after the next Open; a file
  // whose last writes did not reach the disk keeps the earlier record.
  if (!(access_ & GENERIC_WRITE) || Flush()) ReadStamp(&recordedWrite_, &recordedSize_);
  // Closed here rather than by reset(): a failure is reported, and the file stays open.
  if (!ce::CloseHandle(handle_.get())) return false;
  handle_.release();
  access_ = 0;
  return true;
}

bool CQelFile::Flush() { return IsOpen() && ce::FlushFileBuffers(handle_.get()); }

bool CQelFile::IsOpen() { return handle_.valid(); }

bool CQelFile::ReadStamp(ce::FILETIME* lastWrite, uint64_t* size) {
  ce::FILETIME written{};
  ce::DWORD high = 0;
  if (!IsOpen() || !ce::GetFileTime(handle_.get(), nullptr, nullptr, &written)) return false;
  ce::SetLastError(ERROR_SUCCESS);
  const ce::DWORD low = ce::GetFileSize(handle_.get(), &high);
  if (low == INVALID_FILE_SIZE && ce::GetLastError() != ERROR_SUCCESS) return false;
  *lastWrite = written;
  *size = Combine(low, high);
  return true;
}

bool CQelFile::HasChanged() {
  ce::FILETIME written{};
  uint64_t size = 0;
  if (!ReadStamp(&written, &size)) return true;
  return written.dwLowDateTime != recordedWrite_.dwLowDateTime ||
         written.dwHighDateTime != recordedWrite_.dwHighDateTime || size != recordedSize_;
}

uint32_t CQelFile::Read(void* buffer, uint32_t count) {
  ce::DWORD done = 0;
  return IsOpen() && ce::ReadFile(handle_.get(), buffer, count, &done, nullptr) ? done : kAllOnes32;
}

uint32_t CQelFile::Write(const void* buffer, uint32_t count) {
  ce::DWORD done = 0;
  return IsOpen() && ce::WriteFile(handle_.get(), buffer, count, &done, nullptr) ? done : kAllOnes32;
}

uint64_t CQelFile::GetSize() {
  if (!IsOpen()) return kAllOnes64;
  ce::DWORD high = 0;
  const ce::DWORD low = ce::GetFileSize(handle_.get(), &high);
  // A low part of all ones is a failure here, even where it is a size.
  return low == INVALID_FILE_SIZE ? kAllOnes64 : Combine(low, high);
}

bool CQelFile::SetSize(uint32_t low, uint32_t high) {
  if (Seek(low, high, FILE_BEGIN) == kAllOnes64) return false;
  const bool cut = ce::SetEndOfFile(handle_.get());
  Seek(0, 0, FILE_BEGIN);
  return cut;
}

uint64_t CQelFile::Seek(uint32_t low, uint32_t high, uint32_t origin) {
  if (!IsOpen()) return kAllOnes64;
  ce::LONG moveHigh = ce::LONG(high);
  ce::SetLastError(ERROR_SUCCESS);
  const ce::DWORD newLow = ce::SetFilePointer(handle_.get(), ce::LONG(low), &moveHigh, origin);
  if (newLow == INVALID_SET_FILE_POINTER && ce::GetLastError() != ERROR_SUCCESS) return kAllOnes64;
  return Combine(newLow, ce::DWORD(moveHigh));
}

uint64_t CQelFile::Tell() { return Seek(0, 0, FILE_CURRENT); }

IQelDateTime* CQelFile::GetLastWriteTime() {
  ce::FILETIME written{};
  ce::SYSTEMTIME utc{};
  if (!IsOpen() || !ce::GetFileTime(handle_.get(), nullptr, nullptr, &written) ||
      !ce::FileTimeToSystemTime(&written, &utc))
    return nullptr;
  return CQelDateTime::Create(
      {utc.wMilliseconds, utc.wSecond, utc.wMinute, utc.wHour, utc.wDay, utc.wMonth, utc.wYear});
}

CQelCountedText* CQelFile::GetPath() { return IsOpen() ? CQelCountedText::Create(path_) : nullptr; }

}  // namespace qel
