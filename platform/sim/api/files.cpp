// Files and folders of the simulated terminal, over real files below its fs/
// folder. Every path goes through ResolveDevicePath, and every operation then
// acts relative to the folder it opened (the *at calls), never on a host path.
// A device name ("UIO1:") is no path: it opens the terminal's device of that
// name, and ReadFile and WriteFile on that handle go to its driver (drivers.h).
//
// Where the host differs from the device:
//  - Attributes: only read-only is kept (as the host file's write bits); the
//    hidden, system and archive bits are accepted and not stored. Root folders
//    the hardware state lists under storage.mounted are mounted stores
//    (directory | temporary); they cannot be removed or moved.
//  - Sharing is enforced among all handles of every process on the terminal,
//    as the device does among all of its programs; an open file cannot be
//    deleted or moved.
//  - Links (symbolic, or a file with more than one hard link), sockets and
//    other host-only entries are not listed and cannot be opened, changed or
//    deleted (ERROR_ACCESS_DENIED).
//  - FindFirstFileW takes the folder's matches at once, sorted by name; file
//    times are UTC.
#include "ce/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <compare>
#include <cstdio>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "api.h"
#include "api_path.h"
#include "case_fold.h"
#include "ce/error.h"
#include "ce/text.h"
#include "device/name_pattern.h"
#include "device_path.h"
#include "drivers.h"
#include "handles.h"
#include "hardware.h"
#include "kernel.h"
#include "last_error.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim::api {
namespace {

using sim::DataAccess;
using sim::FileKey;
using sim::HostFd;
using sim::OpenFileTable;
using sim::ResolvedPath;

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

HANDLE FailHandle(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

BOOL FailErrno() { return Fail(sim::ErrorFromErrno(errno)); }

bool IsMountedStore(const std::string& hostName) {
  const auto name = sim::FromUtf8(hostName);
  for (const auto& store : sim::hw::Read(sim::hw::kMountedStores))
    if (sim::SameName(sim::FromUtf8(store), name)) return true;
  return false;
}

bool IsMountedStore(const ResolvedPath& p) {
  return p.exists && !p.isRoot && p.inRoot && S_ISDIR(p.st.st_mode) && IsMountedStore(p.name);
}

bool IsReadOnly(mode_t mode) { return (mode & 0222) == 0; }

// A file's archive attribute is its owner's execute bit, which nothing on the
// device reads otherwise: set when the file is made, copied or overwritten,
// and by SetFileAttributesW.
constexpr mode_t kArchive = S_IXUSR;

DWORD AttributesOf(mode_t mode, bool mountedStore) {
  DWORD attributes = 0;
  if (S_ISDIR(mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISREG(mode) && (mode & kArchive)) attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (IsReadOnly(mode)) attributes |= FILE_ATTRIBUTE_READONLY;
  if (mountedStore) attributes |= FILE_ATTRIBUTE_TEMPORARY;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool IsDeviceEntry(mode_t mode) { return S_ISREG(mode) || S_ISDIR(mode); }

// ---- Sharing ---------------------------------------------------------------

FileKey KeyOf(const struct ::stat& st) { return {st.st_dev, st.st_ino}; }

OpenFileTable& OpenFiles() { return sim::Kernel::Get().openFiles; }

// Open for data access by a handle of this process or of another one.
bool IsOpen(const ResolvedPath& rp) {
  if (OpenFiles().IsOpen(KeyOf(rp.st))) return true;
  const HostFd fd(::openat(rp.folder.get(), rp.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return fd && sim::IsOpenElsewhere(fd.get());
}

// A registered open of a file for data access; released when destroyed.
class ShareClaim {
 public:
  ShareClaim() = default;
  ShareClaim(const ShareClaim&) = delete;
  ShareClaim& operator=(const ShareClaim&) = delete;
  ShareClaim(ShareClaim&& o) noexcept : key_(o.key_), id_(std::exchange(o.id_, 0)) {}
  ShareClaim& operator=(ShareClaim&& o) noexcept {
    if (this != &o) {
      Release();
      key_ = o.key_;
      id_ = std::exchange(o.id_, 0);
    }
    return *this;
  }
  ~ShareClaim() { Release(); }

  // Claims the file open as fd, in this process and across processes. An open
  // without read or write access (attributes only) shares with everything.
  static DWORD Take(int fd, FileKey key, DWORD access, DWORD share, ShareClaim* out) {
    access &= GENERIC_READ | GENERIC_WRITE;
    if (access == 0) return ERROR_SUCCESS;
    ShareClaim claim;
    claim.id_ = OpenFiles().Claim(key, {access, share});
    if (claim.id_ == 0) return ERROR_SHARING_VIOLATION;
    claim.key_ = key;
    if (DWORD e = sim::LockShareMode(fd, {access, share})) return e;
    *out = std::move(claim);
    return ERROR_SUCCESS;
  }

 private:
  void Release() {
    if (id_ != 0) OpenFiles().Release(key_, id_);
    id_ = 0;
  }
  FileKey key_{};
  uint64_t id_ = 0;
};

// ---- Kernel objects ----------------------------------------------------------

class FileObject final : public sim::KernelObject {
 public:
  FileObject(HostFd fd, DWORD access, ShareClaim claim)
      : fd_(std::move(fd)), access_(access), claim_(std::move(claim)) {}

  bool CanRead() const { return (access_ & GENERIC_READ) != 0; }
  bool CanWrite() const { return (access_ & GENERIC_WRITE) != 0; }
  int fd() const { return fd_.get(); }
  // The file pointer is shared: one operation at a time.
  std::mutex& mu() { return mu_; }

 private:
  std::mutex mu_;
  HostFd fd_;
  const DWORD access_;
  ShareClaim claim_;
};

class FindObject final : public sim::KernelObject {
 public:
  explicit FindObject(std::vector<WIN32_FIND_DATAW> found) : found_(std::move(found)) {}

  bool Next(WIN32_FIND_DATAW* data) {
    std::lock_guard lock(mu_);
    if (next_ >= found_.size()) return false;
    *data = found_[next_++];
    return true;
  }

 private:
  std::mutex mu_;
  std::vector<WIN32_FIND_DATAW> found_;
  size_t next_ = 0;
};

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto file = sim::LookupHandleAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

// ---- Opening ---------------------------------------------------------------

struct OpenedFile {
  HostFd fd;
  bool created = false;
};

// Opens or creates rp's file as the disposition says, without truncating yet.
// Nonblocking, so that a host FIFO in its place cannot hang the open; the
// caller refuses anything but a regular file.
DWORD OpenHostFile(const ResolvedPath& rp, DWORD access, DWORD disposition, DWORD flags, OpenedFile* out) {
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  const int accessMode = ((access & GENERIC_WRITE) || truncates) ? O_RDWR : O_RDONLY;
  const int common = accessMode | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  const bool mayCreate =
      disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  if (disposition == CREATE_NEW && rp.exists) return ERROR_FILE_EXISTS;
  if (mayCreate && !rp.exists) {
    const mode_t perms = ((flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666) | kArchive;
    out->fd = HostFd(::openat(rp.folder.get(), rp.name.c_str(), common | O_CREAT | O_EXCL, perms));
    if (out->fd) {
      out->created = true;
      return ERROR_SUCCESS;
    }
    if (errno != EEXIST) return sim::ErrorFromErrno(errno);
    if (disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
    // Made by someone else meanwhile: open it as an existing file.
  }
  out->fd = HostFd(::openat(rp.folder.get(), rp.name.c_str(), common));
  return out->fd ? ERROR_SUCCESS : sim::ErrorFromErrno(errno);
}

// Checks the opened file and claims it; only then is it safe to truncate.
DWORD AdmitOpenedFile(const OpenedFile& opened, DWORD access, DWORD share, DWORD disposition,
                      ShareClaim* claim) {
  struct ::stat st {};
  if (::fstat(opened.fd.get(), &st) != 0) return sim::ErrorFromErrno(errno);
  if (!S_ISREG(st.st_mode) || sim::IsHardLinked(st)) return ERROR_ACCESS_DENIED;
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (!opened.created && IsReadOnly(st.st_mode) && ((access & GENERIC_WRITE) || truncates))
    return ERROR_ACCESS_DENIED;
  if (DWORD e = ShareClaim::Take(opened.fd.get(), KeyOf(st), access, share, claim)) return e;
  if (!opened.created && truncates &&
      (::ftruncate(opened.fd.get(), 0) != 0 ||
       ::fchmod(opened.fd.get(), (st.st_mode & 07777) | kArchive) != 0))
    return sim::ErrorFromErrno(errno);
  const int fl = ::fcntl(opened.fd.get(), F_GETFL);
  if (fl < 0 || ::fcntl(opened.fd.get(), F_SETFL, fl & ~O_NONBLOCK) != 0) return sim::ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

// ---- Reading and writing ---------------------------------------------------------

template <class Io, class Buffer>
bool TransferAll(Io io, int fd, Buffer* buffer, size_t count, size_t* done) {
  *done = 0;
  while (*done < count) {
    const ssize_t n = io(fd, buffer + *done, count - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;  // end of file
    *done += size_t(n);
  }
  return true;
}

bool ReadAll(int fd, char* buffer, size_t count, size_t* done) {
  return TransferAll(::read, fd, buffer, count, done);
}
bool WriteAll(int fd, const char* buffer, size_t count, size_t* done) {
  return TransferAll(::write, fd, buffer, count, done);
}

// Copies src to dst from their current positions; false with errno.
bool CopyContents(int src, int dst) {
  std::vector<char> buffer(64 * 1024);
  while (true) {
    size_t got = 0, put = 0;
    if (!ReadAll(src, buffer.data(), buffer.size(), &got)) return false;
    if (got == 0) return true;
    if (!WriteAll(dst, buffer.data(), got, &put)) return false;
    if (put < got) {
      errno = ENOSPC;
      return false;
    }
  }
}

// ---- Find --------------------------------------------------------------------

FILETIME ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  const int64_t ticks =
      std::max<int64_t>(0, (seconds + kSecondsFrom1601To1970) * 10'000'000 + nanoseconds / 100);
  return {DWORD(uint64_t(ticks)), DWORD(uint64_t(ticks) >> 32)};
}

FILETIME ToFileTime(const struct ::statx_timestamp& t) { return ToFileTime(t.tv_sec, t.tv_nsec); }

// Fills data for one entry of folder; false for entries the device does not see.
bool DescribeEntry(int folder, const char* hostName, const std::u16string& name, bool inRoot,
                   WIN32_FIND_DATAW* data) {
  struct ::statx sx {};
  if (::statx(folder, hostName, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  if (!IsDeviceEntry(sx.stx_mode) || name.size() >= size_t(MAX_PATH)) return false;
  if (S_ISREG(sx.stx_mode) && sx.stx_nlink > 1) return false;  // a hard link: the device has none
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes =
      AttributesOf(sx.stx_mode, inRoot && S_ISDIR(sx.stx_mode) && IsMountedStore(hostName));
  data->ftLastWriteTime = ToFileTime(sx.stx_mtime);
  data->ftLastAccessTime = ToFileTime(sx.stx_atime);
  data->ftCreationTime = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime) : data->ftLastWriteTime;
  if (S_ISREG(sx.stx_mode)) {
    data->nFileSizeHigh = DWORD(sx.stx_size >> 32);
    data->nFileSizeLow = DWORD(sx.stx_size);
  }
  data->dwOID = DWORD(sx.stx_ino);
  std::copy(name.begin(), name.end(), data->cFileName);
  data->cFileName[name.size()] = 0;
  return true;
}

DWORD ListMatches(const ResolvedPath& rp, std::vector<WIN32_FIND_DATAW>* found) {
  std::vector<std::pair<std::u16string, WIN32_FIND_DATAW>> matches;
  const bool listed = sim::ListFolder(rp.folder.get(), [&](const char* hostName) {
    const auto name = sim::DeviceNameOf(hostName);
    if (!name || !device_text::MatchesPattern(rp.pattern, *name)) return;
    WIN32_FIND_DATAW data;
    if (DescribeEntry(rp.folder.get(), hostName, *name, rp.inRoot, &data)) matches.emplace_back(*name, data);
  });
  if (!listed) return sim::ErrorFromErrno(errno);
  std::sort(matches.begin(), matches.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [name, data] : matches) found->push_back(data);
  return found->empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

// ---- Copy ----------------------------------------------------------------------

struct CopySource {
  HostFd fd;
  struct ::stat st {};
  ShareClaim claim;
};

DWORD OpenCopySource(const ResolvedPath& from, CopySource* src) {
  if (from.isRoot || (from.exists && S_ISDIR(from.st.st_mode))) return ERROR_ACCESS_DENIED;
  if (!from.exists) return ERROR_FILE_NOT_FOUND;
  src->fd =
      HostFd(::openat(from.folder.get(), from.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!src->fd || ::fstat(src->fd.get(), &src->st) != 0) return sim::ErrorFromErrno(errno);
  if (!S_ISREG(src->st.st_mode) || sim::IsHardLinked(src->st)) return ERROR_ACCESS_DENIED;
  return ShareClaim::Take(src->fd.get(), KeyOf(src->st), GENERIC_READ, FILE_SHARE_READ, &src->claim);
}

DWORD CheckCopyTarget(const ResolvedPath& to, BOOL failIfExists) {
  if (to.isRoot || (to.exists && S_ISDIR(to.st.st_mode))) return ERROR_ACCESS_DENIED;
  if (to.exists && failIfExists) return ERROR_FILE_EXISTS;
  if (to.exists && IsReadOnly(to.st.st_mode)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// Fills the opened target from the source and gives it the source's attributes and time.
DWORD FillCopy(const CopySource& src, const OpenedFile& dst) {
  struct ::stat st {};
  if (::fstat(dst.fd.get(), &st) != 0) return sim::ErrorFromErrno(errno);
  if (KeyOf(st) == KeyOf(src.st)) return ERROR_SHARING_VIOLATION;  // a file onto itself
  if (!S_ISREG(st.st_mode) || sim::IsHardLinked(st) || (!dst.created && IsReadOnly(st.st_mode)))
    return ERROR_ACCESS_DENIED;
  ShareClaim claim;
  if (DWORD e = ShareClaim::Take(dst.fd.get(), KeyOf(st), GENERIC_WRITE, 0, &claim)) return e;
  if (::ftruncate(dst.fd.get(), 0) != 0 || !CopyContents(src.fd.get(), dst.fd.get()))
    return sim::ErrorFromErrno(errno);
  const struct ::timespec times[2] = {src.st.st_atim, src.st.st_mtim};
  if (::fchmod(dst.fd.get(), (src.st.st_mode & 07777) | kArchive) != 0 ||
      ::futimens(dst.fd.get(), times) != 0)
    return sim::ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

// Where a move of the file pointer lands.
DWORD SeekTarget(int fd, int64_t move, DWORD method, int64_t* target) {
  int64_t base = 0;
  struct ::stat st {};
  if (method == FILE_CURRENT) {
    base = ::lseek(fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    base = ::fstat(fd, &st) == 0 ? st.st_size : -1;
  } else if (method != FILE_BEGIN) {
    return ERROR_INVALID_PARAMETER;
  }
  if (base < 0) return sim::ErrorFromErrno(errno);
  if (__builtin_add_overflow(base, move, target) || *target < 0) return ERROR_NEGATIVE_SEEK;
  return ERROR_SUCCESS;
}

bool SameEntry(const ResolvedPath& a, const ResolvedPath& b) {
  struct ::stat fa {
  }, fb{};
  return ::fstat(a.folder.get(), &fa) == 0 && ::fstat(b.folder.get(), &fb) == 0 && KeyOf(fa) == KeyOf(fb) &&
         a.name == b.name;
}

}  // namespace

DWORD ResolveApiPath(LPCWSTR path, sim::Resolve mode, ResolvedPath* out) {
  if (path == nullptr) return ERROR_INVALID_PARAMETER;
  size_t length = 0;
  while (length < size_t(MAX_PATH) && path[length] != 0) ++length;
  if (length == size_t(MAX_PATH)) return ERROR_FILENAME_EXCED_RANGE;
  if (length == 0) return ERROR_PATH_NOT_FOUND;
  const auto terminal = sim::Current();
  if (!terminal) return ERROR_NOT_READY;
  const auto root = terminal->fs_root_handle();
  if (!root) return ERROR_NOT_READY;
  return sim::ResolveDevicePath(root->get(), {path, length}, mode, out);
}

// ---- Handles -------------------------------------------------------------------

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, void* /*security*/, DWORD disposition,
                   DWORD flags, HANDLE /*templateFile*/) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return FailHandle(ERROR_INVALID_PARAMETER);
  if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))
    return FailHandle(ERROR_INVALID_PARAMETER);
  if (path && sim::IsDeviceName(path)) {
    if (disposition != OPEN_EXISTING) return FailHandle(ERROR_INVALID_PARAMETER);
    return sim::OpenDevice(path, access, share);
  }
  bool bus = false;
  if (const std::u16string device = path ? sim::DeviceInNamespace(path, &bus) : std::u16string();
      !device.empty()) {
    if (disposition != OPEN_EXISTING) return FailHandle(ERROR_INVALID_PARAMETER);
    return sim::OpenDevice(device, access, share, bus);
  }
  ResolvedPath rp;
  if (DWORD e = ResolveApiPath(path, sim::Resolve::kName, &rp)) return FailHandle(e);
  if (rp.isRoot || (rp.exists && !S_ISREG(rp.st.st_mode))) return FailHandle(ERROR_ACCESS_DENIED);
  if (rp.trailingSeparator) return FailHandle(ERROR_INVALID_NAME);
  if (!rp.exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
    return FailHandle(ERROR_FILE_NOT_FOUND);
  OpenedFile opened;
  if (DWORD e = OpenHostFile(rp, access, disposition, flags, &opened)) return FailHandle(e);
  ShareClaim claim;
  if (DWORD e = AdmitOpenedFile(opened, access, share, disposition, &claim)) {
    if (opened.created) ::unlinkat(rp.folder.get(), rp.name.c_str(), 0);
    return FailHandle(e);
  }
  const bool existed = !opened.created;
  HANDLE h = sim::AddHandle(std::make_shared<FileObject>(std::move(opened.fd), access, std::move(claim)));
  const bool reportExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  if (const auto device = sim::LookupHandleAs<sim::Driver>(file))
    return sim::ReadDevice(*device, buffer, toRead, read, overlapped);
  if (read) *read = 0;
  const auto f = LookupFile(file);
  if (!f) return FALSE;
  if (overlapped || (buffer == nullptr && toRead != 0)) return Fail(ERROR_INVALID_PARAMETER);
  if (!f->CanRead()) return Fail(ERROR_ACCESS_DENIED);
  std::lock_guard lock(f->mu());
  size_t done = 0;
  const bool ok = ReadAll(f->fd(), static_cast<char*>(buffer), toRead, &done);
  if (read) *read = DWORD(done);
  return ok ? TRUE : FailErrno();
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  if (const auto device = sim::LookupHandleAs<sim::Driver>(file))
    return sim::WriteDevice(*device, buffer, toWrite, written, overlapped);
  if (written) *written = 0;
  const auto f = LookupFile(file);
  if (!f) return FALSE;
  if (overlapped || (buffer == nullptr && toWrite != 0)) return Fail(ERROR_INVALID_PARAMETER);
  if (!f->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  std::lock_guard lock(f->mu());
  size_t done = 0;
  const bool ok = WriteAll(f->fd(), static_cast<const char*>(buffer), toWrite, &done);
  if (written) *written = DWORD(done);
  return ok ? TRUE : FailErrno();
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  const auto f = LookupFile(file);
  if (!f) return INVALID_SET_FILE_POINTER;
  const int64_t move = distanceHigh ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance))
                                    : int64_t(distance);
  std::lock_guard lock(f->mu());
  int64_t target = 0;
  DWORD error = SeekTarget(f->fd(), move, method, &target);
  if (!error && !distanceHigh && target > int64_t(0xFFFFFFFF)) error = ERROR_INVALID_PARAMETER;
  if (!error && ::lseek(f->fd(), target, SEEK_SET) < 0) error = sim::ErrorFromErrno(errno);
  SetLastError(error);  // success clears it: a low part of 0xFFFFFFFF is not a failure
  if (error) return INVALID_SET_FILE_POINTER;
  if (distanceHigh) *distanceHigh = LONG(uint64_t(target) >> 32);
  return DWORD(uint64_t(target));
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  const auto f = LookupFile(file);
  if (!f) return INVALID_FILE_SIZE;
  struct ::stat st {};
  if (::fstat(f->fd(), &st) != 0) {
    SetLastError(sim::ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  if (sizeHigh) *sizeHigh = DWORD(uint64_t(st.st_size) >> 32);
  SetLastError(ERROR_SUCCESS);  // as for SetFilePointer: 0xFFFFFFFF may be a size
  return DWORD(uint64_t(st.st_size));
}

BOOL SetEndOfFile(HANDLE file) {
  const auto f = LookupFile(file);
  if (!f) return FALSE;
  if (!f->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  std::lock_guard lock(f->mu());
  const off_t here = ::lseek(f->fd(), 0, SEEK_CUR);
  return here >= 0 && ::ftruncate(f->fd(), here) == 0 ? TRUE : FailErrno();
}

BOOL FlushFileBuffers(HANDLE file) {
  const auto f = LookupFile(file);
  if (!f) return FALSE;
  if (!f->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  return ::fdatasync(f->fd()) == 0 ? TRUE : FailErrno();
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  const auto f = LookupFile(file);
  if (!f) return FALSE;
  struct ::statx sx {};
  if (::statx(f->fd(), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return FailErrno();
  if (lastWrite) *lastWrite = ToFileTime(sx.stx_mtime);
  if (lastAccess) *lastAccess = ToFileTime(sx.stx_atime);
  if (creation) *creation = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime) : ToFileTime(sx.stx_mtime);
  return TRUE;
}

// ---- Paths -----------------------------------------------------------------------

DWORD GetFileAttributesW(LPCWSTR path) {
  ResolvedPath rp;
  DWORD e = ResolveApiPath(path, sim::Resolve::kName, &rp);
  if (!e && !rp.exists) e = ERROR_FILE_NOT_FOUND;
  if (e) {
    SetLastError(e);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(rp.st.st_mode, IsMountedStore(rp));
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  ResolvedPath rp;
  if (DWORD e = ResolveApiPath(path, sim::Resolve::kName, &rp)) return Fail(e);
  if (rp.isRoot) return Fail(ERROR_ACCESS_DENIED);
  if (!rp.exists) return Fail(ERROR_FILE_NOT_FOUND);
  const mode_t mode = rp.st.st_mode & 07777;
  mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~mode_t(0222))
                  : IsReadOnly(mode)                     ? (mode | S_IWUSR)
                                                         : mode;
  if (S_ISREG(rp.st.st_mode))
    wanted = (attributes & FILE_ATTRIBUTE_ARCHIVE) ? (wanted | kArchive) : (wanted & ~kArchive);
  if (wanted == mode) return TRUE;
  return ::fchmodat(rp.folder.get(), rp.name.c_str(), wanted, AT_SYMLINK_NOFOLLOW) == 0 ? TRUE : FailErrno();
}

BOOL DeleteFileW(LPCWSTR path) {
  ResolvedPath rp;
  if (DWORD e = ResolveApiPath(path, sim::Resolve::kName, &rp)) return Fail(e);
  if (!rp.exists) return Fail(ERROR_FILE_NOT_FOUND);
  if (rp.isRoot || !S_ISREG(rp.st.st_mode) || IsReadOnly(rp.st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (IsOpen(rp)) return Fail(ERROR_SHARING_VIOLATION);
  return ::unlinkat(rp.folder.get(), rp.name.c_str(), 0) == 0 ? TRUE : FailErrno();
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
  ResolvedPath src, dst;
  if (DWORD e = ResolveApiPath(from, sim::Resolve::kName, &src)) return Fail(e);
  if (DWORD e = ResolveApiPath(to, sim::Resolve::kName, &dst)) return Fail(e);
  if (!src.exists) return Fail(ERROR_FILE_NOT_FOUND);
  if (src.isRoot || dst.isRoot || IsMountedStore(src)) return Fail(ERROR_ACCESS_DENIED);
  if (S_ISREG(src.st.st_mode) && IsOpen(src)) return Fail(ERROR_SHARING_VIOLATION);
  // The same entry under another spelling is a rename that changes only case.
  const bool sameEntry = dst.exists && SameEntry(src, dst);
  if (dst.exists && !sameEntry) return Fail(ERROR_ALREADY_EXISTS);
  if (sameEntry && dst.requested == src.name) return TRUE;
  const unsigned flags = sameEntry ? 0 : RENAME_NOREPLACE;
  if (::renameat2(src.folder.get(), src.name.c_str(), dst.folder.get(), dst.requested.c_str(), flags) == 0)
    return TRUE;
  if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
  if (errno == EINVAL) return Fail(ERROR_ACCESS_DENIED);  // a folder into itself
  return FailErrno();
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  ResolvedPath srcPath, dstPath;
  if (DWORD e = ResolveApiPath(from, sim::Resolve::kName, &srcPath)) return Fail(e);
  if (DWORD e = ResolveApiPath(to, sim::Resolve::kName, &dstPath)) return Fail(e);
  CopySource src;
  if (DWORD e = OpenCopySource(srcPath, &src)) return Fail(e);
  if (DWORD e = CheckCopyTarget(dstPath, failIfExists)) return Fail(e);
  if (dstPath.trailingSeparator) return Fail(ERROR_INVALID_NAME);
  OpenedFile dst;
  const DWORD disposition = failIfExists ? CREATE_NEW : CREATE_ALWAYS;
  if (DWORD e = OpenHostFile(dstPath, GENERIC_WRITE, disposition, 0, &dst)) return Fail(e);
  const DWORD e = FillCopy(src, dst);
  if (e && dst.created) ::unlinkat(dstPath.folder.get(), dstPath.name.c_str(), 0);
  return e ? Fail(e) : TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path, void* /*security*/) {
  ResolvedPath rp;
  if (DWORD e = ResolveApiPath(path, sim::Resolve::kName, &rp)) return Fail(e);
  if (rp.exists) return Fail(ERROR_ALREADY_EXISTS);
  return ::mkdirat(rp.folder.get(), rp.name.c_str(), 0777) == 0 ? TRUE : FailErrno();
}

BOOL RemoveDirectoryW(LPCWSTR path) {
  ResolvedPath rp;
  if (DWORD e = ResolveApiPath(path, sim::Resolve::kName, &rp)) return Fail(e);
  if (!rp.exists) return Fail(ERROR_FILE_NOT_FOUND);
  if (!S_ISDIR(rp.st.st_mode)) return Fail(ERROR_DIRECTORY);
  if (rp.isRoot || IsMountedStore(rp) || IsReadOnly(rp.st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (::unlinkat(rp.folder.get(), rp.name.c_str(), AT_REMOVEDIR) == 0) return TRUE;
  return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : sim::ErrorFromErrno(errno));
}

// ---- Find ------------------------------------------------------------------------

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
  if (data == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
  ResolvedPath rp;
  if (DWORD e = ResolveApiPath(pattern, sim::Resolve::kPattern, &rp)) return FailHandle(e);
  // "\" and "\Folder\" name no entry to find; "\Folder\*" lists the folder.
  if (rp.isRoot || rp.trailingSeparator) return FailHandle(ERROR_FILE_NOT_FOUND);
  std::vector<WIN32_FIND_DATAW> found;
  if (DWORD e = ListMatches(rp, &found)) return FailHandle(e);
  auto find = std::make_shared<FindObject>(std::move(found));
  find->Next(data);
  SetLastError(ERROR_SUCCESS);
  return sim::AddHandle(std::move(find));
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  const auto f = sim::LookupHandleAs<FindObject>(find);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return f->Next(data) ? TRUE : Fail(ERROR_NO_MORE_FILES);
}

BOOL FindClose(HANDLE find) {
  // Both searches end here: of files, and of devices (FindFirstDevice).
  if (!sim::LookupHandleAs<FindObject>(find) && !sim::LookupHandleAs<sim::DeviceSearch>(find))
    return Fail(ERROR_INVALID_HANDLE);
  return sim::RemoveHandle(find) ? TRUE : FALSE;
}

}  // namespace ce::sim::api
