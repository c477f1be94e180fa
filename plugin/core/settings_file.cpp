#include "core/settings_file.h"

#include <string>

#include "ce/files.h"
#include "ce/handle.h"
#include "ce/text.h"

// The library converts through the converter given below, not its own.
#define SI_NO_CONVERSION
// The member definitions, for the instantiation below.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace qel {
namespace {

// Between the file's bytes in the system's ANSI code page and wide text.
class AnsiConverter {
 public:
  explicit AnsiConverter(bool /*storeIsUtf8*/) {}

  size_t SizeFromStore(const char* in, size_t length) {
    if (length == 0) return 0;
    const int n = ce::MultiByteToWideChar(CP_ACP, 0, in, int(length), nullptr, 0);
    return n > 0 ? size_t(n) : size_t(-1);
  }
  bool ConvertFromStore(const char* in, size_t length, char16_t* out, size_t outSize) {
    if (length == 0) return true;
    return ce::MultiByteToWideChar(CP_ACP, 0, in, int(length), out, int(outSize)) > 0;
  }
  // Bytes needed, terminating zero included.
  size_t SizeToStore(const char16_t* in) {
    const int n = ce::WideCharToMultiByte(CP_ACP, 0, in, -1, nullptr, 0, nullptr, nullptr);
    return n > 0 ? size_t(n) : size_t(-1);
  }
  bool ConvertToStore(const char16_t* in, char* out, size_t outSize) {
    return ce::WideCharToMultiByte(CP_ACP, 0, in, -1, out, int(outSize), nullptr, nullptr) > 0;
  }
};

using Ini = CSimpleIniTempl<char16_t, SI_GenericCase<char16_t>, AnsiConverter>;

bool ReadAll(const char16_t* path, std::string* out) {
  ce::UniqueHandle file(ce::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  char chunk[16384];
  ce::DWORD got = 0;
  while (ce::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) out->append(chunk, got);
  return true;
}

bool WriteAll(const char16_t* path, const std::string& data) {
  ce::UniqueHandle file(ce::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  ce::DWORD written = 0;
  return ce::WriteFile(file.get(), data.data(), ce::DWORD(data.size()), &written, nullptr) &&
         written == data.size();
}

}  // namespace

struct SettingsFile::Impl {
  Ini ini{/*isUtf8=*/false, /*multiKey=*/false, /*multiLine=*/false};
};

SettingsFile::SettingsFile() : impl_(std::make_unique<Impl>()) { impl_->ini.SetSpaces(false); }
SettingsFile::~SettingsFile() = default;

bool SettingsFile::Load(const char16_t* path) {
  impl_->ini.Reset();
  std::string bytes;
  if (!ReadAll(path, &bytes)) return false;
  if (impl_->ini.LoadData(bytes.data(), bytes.size()) < 0) {
    impl_->ini.Reset();
    return false;
  }
  return true;
}

bool SettingsFile::Save(const char16_t* path) const {
  std::string text;
  if (impl_->ini.Save(text, /*addSignature=*/false) < 0) return false;
  // The library ends lines the host's way; the device's files end them in CR LF.
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return WriteAll(path, crlf);
}

bool SettingsFile::Set(const char16_t* section, const char16_t* name, const char16_t* value) {
  return impl_->ini.SetValue(section, name, value) >= 0;
}

const char16_t* SettingsFile::Get(const char16_t* section, const char16_t* name) const {
  return impl_->ini.GetValue(section, name, nullptr);
}

bool SettingsFile::HasSection(const char16_t* section) const { return impl_->ini.GetSectionSize(section) >= 0; }

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
