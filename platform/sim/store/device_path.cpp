#include "device_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <vector>

#include "case_fold.h"
#include "ce/error.h"
#include "ce/files.h"
#include "utf.h"

namespace ce::sim {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
bool IsWildcard(char16_t c) { return c == u'*' || c == u'?'; }
bool IsForbidden(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|';
}

std::vector<std::u16string_view> SplitComponents(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    if (i > start) parts.push_back(path.substr(start, i - start));
    start = i + 1;
  }
  return parts;
}

// Unpaired surrogates have no UTF-8 form, so they would not survive the round trip.
bool IsWellFormed(std::u16string_view name) { return FromUtf8(ToUtf8(name)) == name; }

DWORD CheckComponent(std::u16string_view name, bool wildcardsAllowed) {
  if (name == u"." || name == u"..") return ERROR_INVALID_NAME;
  for (char16_t c : name)
    if (IsForbidden(c) || IsSeparator(c) || (IsWildcard(c) && !wildcardsAllowed)) return ERROR_INVALID_NAME;
  return IsWellFormed(name) ? ERROR_SUCCESS : ERROR_INVALID_NAME;
}

}  // namespace

DWORD CheckRelativeName(std::u16string_view path) {
  for (const std::u16string_view part : SplitComponents(path))
    if (DWORD e = CheckComponent(part, /*wildcardsAllowed=*/false)) return e;
  return ERROR_SUCCESS;
}

namespace {

DWORD HostSpelling(std::u16string_view name, std::string* utf8) {
  *utf8 = ToUtf8(name);
  return utf8->size() > NAME_MAX ? ERROR_FILENAME_EXCED_RANGE : ERROR_SUCCESS;
}

// Finds the entry of folder that the device would call name. ERROR_FILE_NOT_FOUND
// when there is none.
DWORD FindEntry(int folder, std::u16string_view name, const std::string& utf8, std::string* hostName,
                NameIndex* index) {
  struct ::stat st {};
  if (::fstatat(folder, utf8.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    *hostName = utf8;
    return ERROR_SUCCESS;
  }
  if (index) {
    const std::string* known = nullptr;
    if (!index->Find(folder, name, &known)) return ErrorFromErrno(errno);
    if (!known) return ERROR_FILE_NOT_FOUND;
    *hostName = *known;
    return ERROR_SUCCESS;
  }
  bool found = false;
  const bool listed = ListFolder(folder, [&](const char* entry) {
    if (found && *hostName <= entry) return;
    const auto deviceName = DeviceNameOf(entry);
    if (!deviceName || !SameName(*deviceName, name)) return;
    *hostName = entry;
    found = true;
  });
  if (!listed) return ErrorFromErrno(errno);
  return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Why a folder on the way could not be entered: a link is refused, a file or a
// vanished entry means the path does not exist.
DWORD EnterError(int parent, const std::string& hostName, int err) {
  if (err == ENOTDIR || err == ELOOP) {
    struct ::stat st {};
    if (::fstatat(parent, hostName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
      return ERROR_ACCESS_DENIED;
    return ERROR_PATH_NOT_FOUND;
  }
  if (err == ENOENT) return ERROR_PATH_NOT_FOUND;
  return ErrorFromErrno(err);
}

// Opens the folder of parent the device calls name into *folder.
DWORD EnterFolder(int parent, std::u16string_view name, NameIndex* index, HostFd* folder) {
  std::string utf8, hostName;
  if (DWORD e = HostSpelling(name, &utf8)) return e;
  // The name as spelled first: one call where the spelling matches.
  HostFd same(::openat(parent, utf8.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (same) {
    *folder = std::move(same);
    return ERROR_SUCCESS;
  }
  if (errno != ENOENT) return EnterError(parent, utf8, errno);
  const DWORD found = FindEntry(parent, name, utf8, &hostName, index);
  if (found == ERROR_FILE_NOT_FOUND) return ERROR_PATH_NOT_FOUND;
  if (found != ERROR_SUCCESS) return found;
  HostFd next(::openat(parent, hostName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!next) return EnterError(parent, hostName, errno);
  *folder = std::move(next);
  return ERROR_SUCCESS;
}

DWORD ResolveLast(std::u16string_view name, ResolvedPath* out, NameIndex* index) {
  if (DWORD e = HostSpelling(name, &out->requested)) return e;
  out->name = out->requested;
  // The name as spelled is looked at once; another spelling is searched for.
  if (::fstatat(out->folder.get(), out->name.c_str(), &out->st, AT_SYMLINK_NOFOLLOW) != 0) {
    const DWORD found = FindEntry(out->folder.get(), name, out->requested, &out->name, index);
    if (found == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (found != ERROR_SUCCESS) return found;
    if (::fstatat(out->folder.get(), out->name.c_str(), &out->st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return ErrorFromErrno(errno);
      out->name = out->requested;  // removed meanwhile: now a new name
      return ERROR_SUCCESS;
    }
  }
  if (S_ISLNK(out->st.st_mode) || IsHardLinked(out->st)) return ERROR_ACCESS_DENIED;
  if (out->trailingSeparator && !S_ISDIR(out->st.st_mode)) return ERROR_INVALID_NAME;
  out->exists = true;
  return ERROR_SUCCESS;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace

void HostFdTraits::Close(int fd) { ::close(fd); }

bool IsHardLinked(const struct ::stat& st) { return S_ISREG(st.st_mode) && st.st_nlink > 1; }

NameIndex::Names* NameIndex::Listed(int folder) {
  struct ::stat st {};
  if (::fstat(folder, &st) != 0) return nullptr;
  const auto key = std::make_pair(st.st_dev, st.st_ino);
  if (auto it = folders_.find(key); it != folders_.end()) return &it->second;
  Names names;
  const bool listed = ListFolder(folder, [&](const char* entry) {
    const auto deviceName = DeviceNameOf(entry);
    if (!deviceName) return;
    auto [it, added] = names.emplace(FoldName(*deviceName), entry);
    if (!added && entry < it->second) it->second = entry;  // the first in byte order, as FindEntry
  });
  if (!listed) return nullptr;
  return &folders_.emplace(key, std::move(names)).first->second;
}

bool NameIndex::Find(int folder, std::u16string_view name, const std::string** hostName) {
  Names* names = Listed(folder);
  if (!names) return false;
  auto it = names->find(FoldName(name));
  *hostName = it == names->end() ? nullptr : &it->second;
  return true;
}

void NameIndex::Add(int folder, const std::string& hostName) {
  Names* names = Listed(folder);
  const auto deviceName = DeviceNameOf(hostName);
  if (!names || !deviceName) return;
  auto [it, added] = names->emplace(FoldName(*deviceName), hostName);
  if (!added && hostName < it->second) it->second = hostName;
}

DWORD ResolveDevicePath(int fsRoot, std::u16string_view devicePath, Resolve mode, ResolvedPath* out,
                        NameIndex* index) {
  *out = ResolvedPath{};
  if (devicePath.size() >= size_t(MAX_PATH)) return ERROR_FILENAME_EXCED_RANGE;
  const auto parts = SplitComponents(devicePath);
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    if (DWORD e = CheckComponent(parts[i], last && mode == Resolve::kPattern)) return e;
  }
  // The root is walked from as it is; the caller gets a descriptor of its own.
  HostFd folder;
  for (size_t i = 0; i + 1 < parts.size(); ++i)
    if (DWORD e = EnterFolder(folder ? folder.get() : fsRoot, parts[i], index, &folder)) return e;
  if (!folder) folder = HostFd(::openat(fsRoot, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return ERROR_NOT_READY;
  if (parts.empty()) {
    out->isRoot = out->inRoot = out->exists = true;
    if (::fstat(folder.get(), &out->st) != 0) return ErrorFromErrno(errno);
    out->folder = std::move(folder);
    return ERROR_SUCCESS;
  }
  out->folder = std::move(folder);
  out->inRoot = parts.size() == 1;
  out->trailingSeparator = IsSeparator(devicePath.back());
  if (mode == Resolve::kPattern) {
    out->pattern = parts.back();
    return ERROR_SUCCESS;
  }
  return ResolveLast(parts.back(), out, index);
}

DWORD ResolveDevicePath(const std::filesystem::path& fsRoot, std::u16string_view devicePath, Resolve mode,
                        ResolvedPath* out, NameIndex* index) {
  HostFd root(::open(fsRoot.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!root) {
    *out = ResolvedPath{};
    return ERROR_NOT_READY;
  }
  return ResolveDevicePath(root.get(), devicePath, mode, out, index);
}

std::optional<std::u16string> DeviceNameOf(std::string_view hostName) {
  std::u16string name = FromUtf8(hostName);
  if (ToUtf8(name) != hostName) return std::nullopt;  // not UTF-8
  if (name.empty() || CheckComponent(name, false) != ERROR_SUCCESS) return std::nullopt;
  return name;
}

bool ListFolder(int folderFd, const std::function<void(const char* hostName)>& visit) {
  // A fresh descriptor, so the listing has its own position.
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return false;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") visit(entry->d_name);
    errno = 0;
  }
  return errno == 0;
}

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case ELOOP:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace ce::sim
