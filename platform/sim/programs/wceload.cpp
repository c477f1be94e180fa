// The terminal's package installer, "\Windows\Wceload.exe".
//
//   wceload [/delete 0|1] [/noui] [/silent] [other /options] "\path\package.cab"
//
// Extracts every file of the cabinet (MSZIP or uncompressed) into
// "\Program Files\<package name without extension>\", keeping the folders the
// cabinet names; with "/delete 1" the package is removed afterwards.
//
// Nothing is written before the whole cabinet is checked: its members' names
// (read in the terminal's code page, or as UTF-8 when the cabinet flags them
// so), the tree they form (no member both a file and a folder, no two members
// one name without regard to case, nothing in the way on the terminal: a
// folder where a file goes, a file where a folder goes), and their declared
// size against the terminal's free storage. The members are then extracted
// one by one, streamed, into a staging folder of the installer's own beside
// the destination ("\Program Files\~wceload.PID.NNNNNNNN", marked as its
// process's and removed at the end; one left by a killed process is removed by
// the next install, a folder merely named like one never), and only when
// every one is there is each moved into place, replacing an existing file at
// once: a damaged cabinet changes nothing, a killed install leaves every file
// whole (old or new), and two installs of one package at once both succeed.
//
// Exit codes: 0 installed; the file error reading the package (2 not found,
// ...); 11 (ERROR_BAD_FORMAT) not a cabinet; 13 (ERROR_INVALID_DATA) damaged
// content, a file name that leaves the destination or a name flagged UTF-8
// that is not; 123 (ERROR_INVALID_NAME) a file name the device does not allow;
// 183 (ERROR_ALREADY_EXISTS) members that do not form a tree the terminal can
// hold; 112 (ERROR_DISK_FULL) more content than the terminal's free storage;
// 206 (ERROR_FILENAME_EXCED_RANGE) a file whose path would be too long; 87 no
// package named; a file error while writing.
#include <fcntl.h>
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "ce/files.h"
#include "device_path.h"
#include "last_error.h"
#include "processes.h"
#include "programs.h"
#include "staging.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim {
namespace {

struct Options {
  bool deleteAfter = false;
  std::u16string package;
};

Options Parse(std::u16string_view line) {
  Options o;
  std::vector<std::u16string> tokens;
  for (size_t i = 0; i < line.size();) {
    if (line[i] == u' ' || line[i] == u'\t') {
      ++i;
    } else if (line[i] == u'"') {
      const size_t end = line.find(u'"', i + 1);
      tokens.emplace_back(line.substr(i + 1, end == line.npos ? line.npos : end - i - 1));
      i = end == line.npos ? line.size() : end + 1;
    } else {
      const size_t end = line.find_first_of(u" \t", i);
      tokens.emplace_back(line.substr(i, end == line.npos ? line.npos : end - i));
      i = end == line.npos ? line.size() : end;
    }
  }
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i] == u"/delete" && i + 1 < tokens.size()) {
      o.deleteAfter = tokens[++i] != u"0";
    } else if (!tokens[i].empty() && tokens[i][0] != u'/') {
      o.package = tokens[i];
    }
  }
  return o;
}

template <class T>
struct GObjectDeleter {
  void operator()(T* p) const { g_object_unref(p); }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectDeleter<T>>;

struct Member {
  GCabFile* file;       // owned by the cabinet
  std::u16string name;  // relative, '\' separated
  uint32_t size;
};

// A relative path of plain names: no empty, "." or ".." component.
bool IsPlainRelative(std::u16string_view name) {
  if (name.empty() || name[0] == u'\\' || name[0] == u'/') return false;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find_first_of(u"\\/", start), name.size());
    const std::u16string_view part = name.substr(start, end - start);
    if (part.empty() || part == u"." || part == u"..") return false;
    start = end + 1;
  }
  return true;
}

std::u16string Destination(std::u16string_view package) {
  const size_t slash = package.find_last_of(u"\\/");
  std::u16string_view base = slash == package.npos ? package : package.substr(slash + 1);
  if (const size_t dot = base.find_last_of(u'.'); dot != base.npos && dot > 0) base = base.substr(0, dot);
  return u"\\Program Files\\" + std::u16string(base) + u"\\";
}

// A member's name as the terminal reads it: UTF-8 when the cabinet flags it
// so (and then it must be), else the terminal's code page.
DWORD NameOf(GCabFile* file, std::u16string* name) {
  const char* raw = gcab_file_get_name(file);
  if (!raw) return ERROR_INVALID_DATA;
  if (gcab_file_get_attributes(file) & GCAB_FILE_ATTRIBUTE_NAME_IS_UTF)
    return FromUtf8Strict(raw, name) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
  *name = FromUtf8(AnsiToUtf8(raw));
  return ERROR_SUCCESS;
}

// Every member must be one the terminal can hold where it goes, or none is written.
DWORD CheckMember(const std::u16string& name, const std::u16string& destination) {
  if (!IsPlainRelative(name)) return ERROR_INVALID_DATA;
  if (const DWORD error = CheckRelativeName(name); error != ERROR_SUCCESS) return error;
  // Each name must fit the host's name length too, or a later member would fail after earlier ones are
  // placed.
  for (size_t start = 0; start <= name.size();) {
    const size_t end = std::min(name.find_first_of(u"\\/", start), name.size());
    if (ToUtf8(name.substr(start, end - start)).size() > NAME_MAX) return ERROR_FILENAME_EXCED_RANGE;
    start = end + 1;
  }
  return destination.size() + name.size() < size_t(MAX_PATH) ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
}

// The members form a tree the terminal can hold: no member is both a file and
// a folder, no two name one file without regard to case, and on the terminal
// no folder stands where a file goes and no file where a folder goes.
DWORD CheckTree(const std::vector<Member>& members, const std::u16string& destination) {
  struct Entry {
    bool folder;
    std::u16string path;  // as the cabinet spells it, below the destination
  };
  std::unordered_map<std::u16string, Entry> entries;  // folded path -> entry
  for (const Member& m : members) {
    for (size_t at = m.name.find(u'\\'); at != m.name.npos; at = m.name.find(u'\\', at + 1)) {
      const auto [it, added] =
          entries.try_emplace(FoldName(m.name.substr(0, at)), Entry{true, m.name.substr(0, at)});
      if (!added && !it->second.folder) return ERROR_ALREADY_EXISTS;
    }
    if (!entries.try_emplace(FoldName(m.name), Entry{false, m.name}).second) return ERROR_ALREADY_EXISTS;
  }
  // The destination's own folders, then every entry, as the terminal has them now.
  auto check = [](const std::u16string& path, bool folder) -> DWORD {
    const DWORD attributes = api::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    return bool(attributes & FILE_ATTRIBUTE_DIRECTORY) == folder ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
  };
  for (size_t at = destination.find(u'\\', 1); at != destination.npos; at = destination.find(u'\\', at + 1))
    if (const DWORD error = check(destination.substr(0, at), true); error != ERROR_SUCCESS) return error;
  for (const auto& [folded, entry] : entries)
    if (const DWORD error = check(destination + entry.path, entry.folder); error != ERROR_SUCCESS)
      return error;
  return ERROR_SUCCESS;
}

// The declared content fits the terminal's free storage (when it reports it).
DWORD CheckSpace(const std::vector<Member>& members) {
  uint64_t total = 0;
  for (const Member& m : members) total += m.size;
  ULARGE_INTEGER free{};
  if (!api::GetDiskFreeSpaceExW(u"\\Program Files", &free, nullptr, nullptr) &&
      !api::GetDiskFreeSpaceExW(nullptr, &free, nullptr, nullptr))
    return ERROR_SUCCESS;
  return total <= free.QuadPart ? ERROR_SUCCESS : ERROR_DISK_FULL;
}

DWORD ReadPackage(const std::u16string& path, std::string* bytes) {
  HANDLE file =
      api::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  char chunk[65536];
  DWORD got = 0;
  while (api::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes->append(chunk, got);
  api::CloseHandle(file);
  return ERROR_SUCCESS;
}

// Reads the cabinet's table of members, names checked; nothing is decompressed.
DWORD Load(GCabCabinet* cabinet, GInputStream* stream, const std::u16string& destination,
           std::vector<Member>* members) {
  GError* error = nullptr;
  if (!gcab_cabinet_load(cabinet, stream, nullptr, &error)) {
    g_clear_error(&error);
    return ERROR_BAD_FORMAT;
  }
  GPtrArray* folders = gcab_cabinet_get_folders(cabinet);
  for (guint i = 0; i < folders->len; ++i) {
    GSList* files = gcab_folder_get_files(GCAB_FOLDER(g_ptr_array_index(folders, i)));
    DWORD result = ERROR_SUCCESS;
    for (GSList* f = files; f && result == ERROR_SUCCESS; f = f->next) {
      GCabFile* file = GCAB_FILE(f->data);
      Member m{file, {}, gcab_file_get_size(file)};
      result = NameOf(file, &m.name);
      if (result == ERROR_SUCCESS) result = CheckMember(m.name, destination);
      for (char16_t& c : m.name)
        if (c == u'/') c = u'\\';
      members->push_back(std::move(m));
    }
    g_slist_free(files);
    if (result != ERROR_SUCCESS) return result;
  }
  return ERROR_SUCCESS;
}

// ---- The staging folder ----------------------------------------------------

constexpr std::u16string_view kStagingPrefix = u"~wceload.";
// The first file of a staging folder, naming its process: a folder without it
// is never taken for one, whatever its name (a program installed from
// "~wceload.1.x.cab" lives in "\Program Files\~wceload.1.x").
constexpr char kStagingMark[] = ".wceload-staging";

std::string MarkFor(pid_t pid) { return "wceload staging, process " + std::to_string(pid) + "\n"; }

// The folder holds what an install of process pid puts there: the mark
// naming pid, and members extracted under numbers.
bool IsStagingOf(int folder, pid_t pid) {
  HostFd mark(::openat(folder, kStagingMark, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!mark) return false;
  const std::string expected = MarkFor(pid);
  std::string text(expected.size() + 1, '\0');
  if (::read(mark.get(), text.data(), text.size()) != ssize_t(expected.size()) ||
      text.compare(0, expected.size(), expected) != 0)
    return false;
  bool only = true;
  const bool listed = ListFolder(folder, [&](const char* name) {
    const std::string_view n = name;
    struct ::stat st {};
    only = only && (n == kStagingMark ||
                    (n.find_first_not_of("0123456789") == n.npos &&
                     ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)));
  });
  return listed && only;
}

// Deletes a staging folder open as fd and the files in it (it never holds a folder).
void RemoveStaging(const std::u16string& path, int fd) {
  std::vector<std::string> names;
  ListFolder(fd, [&](const char* name) { names.emplace_back(name); });
  for (const auto& name : names) ::unlinkat(fd, name.c_str(), 0);
  api::RemoveDirectoryW(path.c_str());
}

// Where a device path of the current terminal lies on this machine.
DWORD ResolveOnTerminal(const std::u16string& path, ResolvedPath* rp) {
  const auto terminal = Current();
  const auto root = terminal ? terminal->fs_root_handle() : nullptr;
  if (!root) return ERROR_NOT_READY;
  return ResolveDevicePath(root->get(), path, Resolve::kName, rp);
}

// The host descriptor of an existing folder of the terminal (never a link).
DWORD OpenFolder(const std::u16string& path, HostFd* out) {
  ResolvedPath rp;
  if (const DWORD error = ResolveOnTerminal(path, &rp); error != ERROR_SUCCESS) return error;
  if (!rp.exists || !S_ISDIR(rp.st.st_mode)) return ERROR_PATH_NOT_FOUND;
  HostFd fd(::openat(rp.folder.get(), rp.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return fd ? (*out = std::move(fd), ERROR_SUCCESS) : ErrorFromErrno(errno);
}

// The staging folders in parent whose process is gone.
void RemoveOrphanedStaging(const std::u16string& parent) {
  WIN32_FIND_DATAW found{};
  HANDLE find = api::FindFirstFileW((parent + std::u16string(kStagingPrefix) + u"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::pair<std::u16string, pid_t>> candidates;
  do {
    const std::string name = ToUtf8(found.cFileName);
    const size_t first = kStagingPrefix.size(), dot = name.find('.', first);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || dot == name.npos) continue;
    const pid_t pid = ProcessIdOf(std::string_view(name).substr(first, dot - first));
    if (pid != 0 && pid != ::getpid() && ProcessIsGone(pid)) candidates.emplace_back(found.cFileName, pid);
  } while (api::FindNextFileW(find, &found));
  api::FindClose(find);
  for (const auto& [name, pid] : candidates) {
    HostFd folder;
    if (OpenFolder(parent + name, &folder) == ERROR_SUCCESS && IsStagingOf(folder.get(), pid))
      RemoveStaging(parent + name, folder.get());
  }
}

// A new staging folder in parent, marked as this process's and open as *fd, or the error.
DWORD MakeStaging(const std::u16string& parent, std::u16string* folder, HostFd* fd) {
  static std::mt19937_64 random{std::random_device{}()};
  static std::mutex mu;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[32];
    {
      const std::lock_guard lock(mu);
      std::snprintf(tail, sizeof tail, "%d.%08x", int(::getpid()), unsigned(random()));
    }
    *folder = parent + std::u16string(kStagingPrefix) + FromUtf8(tail);
    if (!api::CreateDirectoryW(folder->c_str(), nullptr)) {
      if (GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
      continue;
    }
    if (const DWORD error = OpenFolder(*folder, fd); error != ERROR_SUCCESS) {
      api::RemoveDirectoryW(folder->c_str());
      return error;
    }
    const std::string mark = MarkFor(::getpid());
    HostFd file(
        ::openat(fd->get(), kStagingMark, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file || ::write(file.get(), mark.data(), mark.size()) != ssize_t(mark.size())) {
      const DWORD error = file ? ERROR_DISK_FULL : ErrorFromErrno(errno);  // a short write: no room
      file.reset();
      RemoveStaging(*folder, fd->get());
      fd->reset();
      return error;
    }
    return ERROR_SUCCESS;
  }
  return ERROR_ALREADY_EXISTS;
}

// Makes every folder of path up to its last separator.
void MakeFolders(const std::u16string& path) {
  for (size_t at = path.find(u'\\', 1); at != path.npos; at = path.find(u'\\', at + 1))
    api::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

// Moves the extracted member into place, replacing a file of its name at once.
DWORD Place(int staging, const std::string& extracted, const std::u16string& path) {
  MakeFolders(path);
  ResolvedPath rp;
  if (const DWORD error = ResolveOnTerminal(path, &rp); error != ERROR_SUCCESS) return error;
  if (rp.exists && !S_ISREG(rp.st.st_mode)) return ERROR_ALREADY_EXISTS;
  if (::renameat(staging, extracted.c_str(), rp.folder.get(), (rp.exists ? rp.name : rp.requested).c_str()) !=
      0)
    return ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

// Streams every member into the staging folder, then moves each into place.
DWORD Install(GCabCabinet* cabinet, const std::vector<Member>& members, const std::u16string& destination) {
  const std::u16string parent = u"\\Program Files\\";
  MakeFolders(parent);
  RemoveOrphanedStaging(parent);
  std::u16string staging;
  HostFd folder;
  if (const DWORD error = MakeStaging(parent, &staging, &folder); error != ERROR_SUCCESS) return error;
  DWORD result = ERROR_SUCCESS;
  // Extracted under numbers: the host never sees a member's own name.
  for (size_t i = 0; i < members.size(); ++i)
    gcab_file_set_extract_name(members[i].file, std::to_string(i).c_str());
  GPtr<GFile> into(g_file_new_for_path(("/proc/self/fd/" + std::to_string(folder.get())).c_str()));
  GError* error = nullptr;
  if (!gcab_cabinet_extract(cabinet, into.get(), nullptr, nullptr, nullptr, nullptr, &error)) {
    result = error && error->domain == G_IO_ERROR && error->code == G_IO_ERROR_NO_SPACE ? ERROR_DISK_FULL
                                                                                        : ERROR_INVALID_DATA;
    g_clear_error(&error);
  }
  for (size_t i = 0; i < members.size() && result == ERROR_SUCCESS; ++i)
    result = Place(folder.get(), std::to_string(i), destination + members[i].name);
  RemoveStaging(staging, folder.get());
  return result;
}

}  // namespace

DWORD WceloadMain(std::u16string_view arguments, std::string_view) {
  ProgramStarted();  // no windows to wait for
  const Options options = Parse(arguments);
  if (options.package.empty()) return ERROR_INVALID_PARAMETER;
  std::string bytes;
  if (const DWORD error = ReadPackage(options.package, &bytes); error != ERROR_SUCCESS) return error;
  const std::u16string destination = Destination(options.package);
  GPtr<GInputStream> stream(g_memory_input_stream_new_from_data(bytes.data(), gssize(bytes.size()), nullptr));
  GPtr<GCabCabinet> cabinet(gcab_cabinet_new());
  std::vector<Member> members;
  if (const DWORD error = Load(cabinet.get(), stream.get(), destination, &members); error != ERROR_SUCCESS)
    return error;
  if (const DWORD error = CheckTree(members, destination); error != ERROR_SUCCESS) return error;
  if (const DWORD error = CheckSpace(members); error != ERROR_SUCCESS) return error;
  if (const DWORD error = Install(cabinet.get(), members, destination); error != ERROR_SUCCESS) return error;
  if (options.deleteAfter && !api::DeleteFileW(options.package.c_str())) return GetLastError();
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
