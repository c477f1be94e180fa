// The terminal's package installer, "\Windows\Wceload.exe".
//
//   wceload [/delete 0|1] [/noui] [/silent] [other /options] "\path\package.cab"
//
// Extracts every file of the cabinet (MSZIP or uncompressed) into
// "\Program Files\<package name without extension>\", keeping the folders the
// cabinet names; with "/delete 1" the package is removed afterwards. The whole
// cabinet is read and checked before anything is written, so an unreadable
// one changes nothing. Exit codes: 0 installed; the file error reading the
// package (2 not found, ...); 11 (ERROR_BAD_FORMAT) not a cabinet; 13
// (ERROR_INVALID_DATA) damaged content or a file name that leaves the
// destination; 123 (ERROR_INVALID_NAME) a file name the device does not
// allow; 206 (ERROR_FILENAME_EXCED_RANGE) a file whose path would be too long;
// 87 no package named; a file error while writing.
#include <libgcab.h>

#include <memory>
#include <string>
#include <vector>

#include "api.h"
#include "ce/error.h"
#include "ce/files.h"
#include "device_path.h"
#include "last_error.h"
#include "programs.h"
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

struct Extracted {
  std::u16string name;  // relative, '\' separated
  std::string data;
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

// Every member must be one the terminal can hold where it goes, or none is written.
DWORD CheckMember(GBytes* data, const std::u16string& name, const std::u16string& destination) {
  if (!data || !IsPlainRelative(name)) return ERROR_INVALID_DATA;
  if (const DWORD error = CheckRelativeName(name); error != ERROR_SUCCESS) return error;
  return destination.size() + name.size() < size_t(MAX_PATH) ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
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

DWORD Extract(const std::string& bytes, const std::u16string& destination, std::vector<Extracted>* out) {
  GPtr<GInputStream> stream(g_memory_input_stream_new_from_data(bytes.data(), gssize(bytes.size()), nullptr));
  GPtr<GCabCabinet> cabinet(gcab_cabinet_new());
  GError* error = nullptr;
  if (!gcab_cabinet_load(cabinet.get(), stream.get(), nullptr, &error)) {
    g_clear_error(&error);
    return ERROR_BAD_FORMAT;
  }
  // Without a destination the files are decompressed into memory.
  if (!gcab_cabinet_extract(cabinet.get(), nullptr, nullptr, nullptr, nullptr, nullptr, &error)) {
    g_clear_error(&error);
    return ERROR_INVALID_DATA;
  }
  GPtrArray* folders = gcab_cabinet_get_folders(cabinet.get());
  for (guint i = 0; i < folders->len; ++i) {
    GSList* files = gcab_folder_get_files(GCAB_FOLDER(g_ptr_array_index(folders, i)));
    for (GSList* f = files; f; f = f->next) {
      GCabFile* file = GCAB_FILE(f->data);
      GBytes* data = gcab_file_get_bytes(file);
      const std::u16string name = FromUtf8(gcab_file_get_name(file));
      if (const DWORD error = CheckMember(data, name, destination); error != ERROR_SUCCESS) {
        g_slist_free(files);
        return error;
      }
      gsize size = 0;
      const auto* p = static_cast<const char*>(g_bytes_get_data(data, &size));
      out->push_back({name, std::string(p ? p : "", size)});
    }
    g_slist_free(files);
  }
  return ERROR_SUCCESS;
}

// Makes every folder of path up to its last separator.
void MakeFolders(const std::u16string& path) {
  for (size_t at = path.find(u'\\', 1); at != path.npos; at = path.find(u'\\', at + 1))
    api::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

DWORD Write(const std::u16string& path, const std::string& data) {
  MakeFolders(path);
  HANDLE file = api::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD written = 0;
  const BOOL ok = api::WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr);
  const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  api::CloseHandle(file);
  return error;
}

}  // namespace

DWORD WceloadMain(std::u16string_view arguments) {
  const Options options = Parse(arguments);
  if (options.package.empty()) return ERROR_INVALID_PARAMETER;
  std::string bytes;
  if (const DWORD error = ReadPackage(options.package, &bytes); error != ERROR_SUCCESS) return error;
  const std::u16string destination = Destination(options.package);
  std::vector<Extracted> files;
  if (const DWORD error = Extract(bytes, destination, &files); error != ERROR_SUCCESS) return error;
  for (Extracted& f : files) {
    for (char16_t& c : f.name)
      if (c == u'/') c = u'\\';
    if (const DWORD error = Write(destination + f.name, f.data); error != ERROR_SUCCESS) return error;
  }
  if (options.deleteAfter && !api::DeleteFileW(options.package.c_str())) return GetLastError();
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
