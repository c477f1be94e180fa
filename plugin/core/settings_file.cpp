#include "core/settings_file.h"

#include <algorithm>
#include <limits>
#include <string>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "ce/text.h"

// The library converts through the converter given below, not its own.
#define SI_NO_CONVERSION
// The member definitions, for the instantiation below.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace qel {
namespace {

// Between the file's bytes and wide text: in the system's ANSI code page, or
// in UTF-8 once the library has seen the file's UTF-8 mark.
class FileConverter {
 public:
  explicit FileConverter(bool storeIsUtf8) : page_(storeIsUtf8 ? CP_UTF8 : CP_ACP) {}

  size_t SizeFromStore(const char* in, size_t length) {
    if (length == 0) return 0;
    const int n = ce::MultiByteToWideChar(page_, 0, in, int(length), nullptr, 0);
    return n > 0 ? size_t(n) : size_t(-1);
  }
  bool ConvertFromStore(const char* in, size_t length, char16_t* out, size_t outSize) {
    if (length == 0) return true;
    return ce::MultiByteToWideChar(page_, 0, in, int(length), out, int(outSize)) > 0;
  }
  // Bytes needed, terminating zero included.
  size_t SizeToStore(const char16_t* in) {
    const int n = ce::WideCharToMultiByte(page_, 0, in, -1, nullptr, 0, nullptr, nullptr);
    return n > 0 ? size_t(n) : size_t(-1);
  }
  bool ConvertToStore(const char16_t* in, char* out, size_t outSize) {
    return ce::WideCharToMultiByte(page_, 0, in, -1, out, int(outSize), nullptr, nullptr) > 0;
  }

 private:
  ce::UINT page_;
};

using Ini = CSimpleIniTempl<char16_t, SI_GenericCase<char16_t>, FileConverter>;

// Another program's load or change of the file lasts milliseconds; this
// waits out a queue of them, and no more.
constexpr int kOpenAttempts = 200;
constexpr ce::DWORD kOpenPauseMs = 10;

// Opens path denying writers (readers too, when opening for writing).
ce::UniqueHandle OpenWaiting(const char16_t* path, ce::DWORD access, ce::DWORD disposition) {
  for (int attempt = 1;; ++attempt) {
    ce::UniqueHandle file(ce::CreateFileW(path, access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr));
    if (file || ce::GetLastError() != ERROR_SHARING_VIOLATION || attempt == kOpenAttempts) return file;
    ce::Sleep(kOpenPauseMs);
  }
}

bool ReadAll(ce::HANDLE file, std::string* out) {
  char chunk[16384];
  ce::DWORD got = 0;
  while (ce::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
    if (got == 0) return true;
    out->append(chunk, got);
  }
  return false;
}

// Rewrites the file from its start. Until the end is cut, the old bytes past
// the new text are blank lines: a program that dies between the two steps
// leaves a file that reads the same.
bool Rewrite(ce::HANDLE file, std::string text, size_t oldSize) {
  const size_t length = text.size();
  while (text.size() + 2 <= oldSize) text += "\r\n";
  if (text.size() < oldSize) text += ' ';
  ce::DWORD written = 0;
  return ce::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
         ce::WriteFile(file, text.data(), ce::DWORD(text.size()), &written, nullptr) &&
         written == text.size() &&
         ce::SetFilePointer(file, ce::LONG(length), nullptr, FILE_BEGIN) == length && ce::SetEndOfFile(file);
}

// The library ends lines the host's way; the device's files end them in CR LF.
std::string WithCrLf(const std::string& text) {
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
    crlf += text[i];
  }
  return crlf;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Whether the file's code page (CP_ACP or CP_UTF8) gives the text back as it is.
bool Fits(std::u16string_view text, ce::UINT page) {
  if (text.empty()) return true;
  if (page == CP_ACP) {
    ce::BOOL usedDefault = FALSE;
    return ce::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr,
                                   &usedDefault) > 0 &&
           !usedDefault;
  }
  // UTF-8 holds every character; only a lone surrogate would come back changed.
  std::string bytes(text.size() * 3, '\0');
  const int n = ce::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(),
                                        int(bytes.size()), nullptr, nullptr);
  if (n <= 0) return false;
  std::u16string back(text.size(), u'\0');
  return ce::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), n, back.data(), int(back.size())) ==
             int(text.size()) &&
         back == text;
}

// One line that loading gives back unchanged: the library trims blanks at
// either end and a line break would start a new entry.
bool IsOneLine(std::u16string_view text) {
  return text.find_first_of(u"\r\n") == text.npos &&
         (text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())));
}

// A name ends at "=", and a line that starts with ";", "#" or "[" is a comment or a section.
bool CanHoldName(std::u16string_view name) {
  return !name.empty() && name.find(u'=') == name.npos && name.find_first_of(u";#[") != 0 && IsOneLine(name);
}

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F; }

bool IsIniLine(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  if (line.empty() || line[0] == ';' || line[0] == '#') return true;
  if (line[0] == '[') return line.find(']') != line.npos;
  const size_t equals = line.find('=');
  if (equals == line.npos) return false;
  std::string_view name = line.substr(0, equals);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return !name.empty();
}

// The bytes convert to wide text in the code page and back unchanged.
// ASCII is the same in every ANSI code page and in UTF-8, so text of ASCII
// alone (most settings files) is not converted; other text is converted
// whole, since a double-byte character must not be cut.
bool RoundTrips(std::string_view bytes, ce::UINT page) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return true;
  if (bytes.size() > size_t(std::numeric_limits<int>::max() / 2)) return false;
  std::u16string wide(bytes.size(), u'\0');
  const int n =
      ce::MultiByteToWideChar(page, 0, bytes.data(), int(bytes.size()), wide.data(), int(wide.size()));
  if (n <= 0) return false;
  std::string back(bytes.size() * 2, '\0');
  ce::BOOL usedDefault = FALSE;
  const int m = ce::WideCharToMultiByte(page, 0, wide.data(), n, back.data(), int(back.size()), nullptr,
                                        page == CP_UTF8 ? nullptr : &usedDefault);
  return m > 0 && !usedDefault && std::string_view(back.data(), size_t(m)) == bytes;
}

}  // namespace

bool SettingsFile::IsIniText(std::string_view bytes) {
  const bool utf8 = bytes.starts_with(kUtf8Mark);
  if (utf8)
    bytes.remove_prefix(kUtf8Mark.size());
  else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
    return false;  // UTF-16
  for (const char c : bytes)
    if (IsControl(static_cast<unsigned char>(c))) return false;
  for (size_t start = 0; start < bytes.size();) {
    const size_t end = std::min(bytes.find('\n', start), bytes.size());
    if (!IsIniLine(bytes.substr(start, end - start))) return false;
    start = end + 1;
  }
  return RoundTrips(bytes, utf8 ? CP_UTF8 : CP_ACP);
}

struct SettingsFile::Impl {
  // ANSI until a file with the UTF-8 mark is loaded (the library switches then).
  Ini ini{/*isUtf8=*/false, /*multiKey=*/false, /*multiLine=*/false};
  ce::UniqueHandle held;  // the file of a change, from its load to its save
  size_t heldSize = 0;    // its length when loaded
  Failure failure = Failure::kNone;

  // Loads the whole of file; false, leaving ini empty, when that fails.
  bool LoadFrom(ce::HANDLE file, size_t* size) {
    Clear();
    std::string bytes;
    if (!ReadAll(file, &bytes)) {
      failure = Failure::kUnavailable;
      return false;
    }
    if (!IsIniText(bytes) || ini.LoadData(bytes.data(), bytes.size()) < 0) {
      Clear();
      failure = Failure::kNotIni;
      return false;
    }
    *size = bytes.size();
    return true;
  }
  void Clear() {
    ini.Reset();
    ini.SetUnicode(false);
  }
  ce::UINT page() const { return ini.IsUnicode() ? CP_UTF8 : CP_ACP; }
};

SettingsFile::SettingsFile() : impl_(std::make_unique<Impl>()) { impl_->ini.SetSpaces(false); }
SettingsFile::~SettingsFile() = default;

bool SettingsFile::Load(const char16_t* path) {
  impl_->Clear();
  impl_->failure = Failure::kUnavailable;
  const ce::UniqueHandle file = OpenWaiting(path, GENERIC_READ, OPEN_EXISTING);
  size_t size = 0;
  if (!file || !impl_->LoadFrom(file.get(), &size)) return false;
  impl_->failure = Failure::kNone;
  return true;
}

SettingsFile::Failure SettingsFile::failure() const { return impl_->failure; }

bool SettingsFile::OpenForChange(const char16_t* path) {
  impl_->Clear();
  impl_->failure = Failure::kUnavailable;
  impl_->held = OpenWaiting(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  // A file that cannot be loaded is let go rather than written over.
  if (impl_->held && !impl_->LoadFrom(impl_->held.get(), &impl_->heldSize)) impl_->held.reset();
  if (impl_->held) impl_->failure = Failure::kNone;
  return bool(impl_->held);
}

bool SettingsFile::Save() {
  if (!impl_->held) return false;
  std::string text;
  // Written back in the encoding it was read in: a UTF-8 file keeps its mark.
  const bool saved = impl_->ini.Save(text, /*addSignature=*/impl_->ini.IsUnicode()) >= 0 &&
                     Rewrite(impl_->held.get(), WithCrLf(text), impl_->heldSize);
  impl_->held.reset();
  return saved;
}

bool SettingsFile::CanHoldSection(std::u16string_view section) {
  return !section.empty() && section.find_first_of(u"[]") == section.npos && IsOneLine(section);
}

bool SettingsFile::Set(const char16_t* section, const char16_t* name, const char16_t* value) {
  if (!CanHoldSection(section) || !CanHoldName(name) || !IsOneLine(value)) return false;
  const ce::UINT page = impl_->page();
  if (!Fits(section, page) || !Fits(name, page) || !Fits(value, page)) return false;
  return impl_->ini.SetValue(section, name, value) >= 0;
}

const char16_t* SettingsFile::Get(const char16_t* section, const char16_t* name) const {
  return impl_->ini.GetValue(section, name, nullptr);
}

bool SettingsFile::HasSection(const char16_t* section) const {
  return impl_->ini.GetSectionSize(section) >= 0;
}

std::vector<std::pair<std::u16string, std::u16string>> SettingsFile::Entries(const char16_t* section) const {
  Ini::TNamesDepend names;
  impl_->ini.GetAllKeys(section, names);
  names.sort(Ini::Entry::LoadOrder());
  std::vector<std::pair<std::u16string, std::u16string>> entries;
  for (const auto& n : names)
    if (const char16_t* v = impl_->ini.GetValue(section, n.pItem, nullptr)) entries.emplace_back(n.pItem, v);
  return entries;
}

}  // namespace qel
