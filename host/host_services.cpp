#include "host_services.h"

#include <vector>

#include "ce/files.h"
#include "ce/registry.h"
#include "qelcommon/text_buffer.h"

namespace qelhost {
namespace {

std::u16string_view View(IQelText* text) {
  if (!text || !text->Chars()) return {};
  return {text->Chars(), text->Length()};
}

bool IsPlainFile(const std::u16string& path) {
  const ce::DWORD attributes = ce::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A name handed out by an enumeration, counted through its second part.
class Name final : public IQelName {
 public:
  explicit Name(std::u16string text) : text_(std::move(text)) {}
  uint32_t Length() const override { return uint32_t(text_.size()); }
  const char16_t* Chars() const override { return text_.c_str(); }

 private:
  std::u16string text_;
};

class Attributes final : public IQelFileAttributes {
 public:
  bool IsDirectory() override { return directory; }
  bool directory = false;
};

class Enumerator final : public IQelFileEnumerator {
 public:
  struct Item {
    std::u16string name;
    bool directory;
  };
  explicit Enumerator(std::vector<Item> items) : items_(std::move(items)) { Sync(); }

  void Dispose() override { delete this; }
  IQelFileAttributes* Attributes() override { return &attributes_; }
  IQelName* Name() override { return new class Name(items_[at_].name); }
  bool Next(IQelName** name) override {
    if (at_ + 1 >= items_.size()) return false;
    ++at_;
    Sync();
    if (name) *name = Name();
    return true;
  }

 private:
  ~Enumerator() = default;
  void Sync() { attributes_.directory = items_[at_].directory; }
  std::vector<Item> items_;
  size_t at_ = 0;
  class Attributes attributes_;
};

}  // namespace

std::u16string ResolveName(std::u16string_view name) {
  constexpr std::u16string_view kHost = u"<QEL>", kAgent = u"<ADM>";
  std::u16string path;
  if (name.starts_with(kHost))
    path = kHostFolder + std::u16string(name.substr(kHost.size()));
  else if (name.starts_with(kAgent))
    path = kAgentFolder + std::u16string(name.substr(kAgent.size()));
  else if (!name.empty() && (name[0] == u'\\' || name[0] == u'/'))
    path = name;
  else if (!name.empty())
    path = kHostFolder + std::u16string(name);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
    if (c < 0x20 || std::u16string_view(u"<>:|?*\"").find(c) != std::u16string_view::npos) return {};
  }
  return path;
}

IQelFileReference* FileLocation::Resolve(IQelText* name) {
  std::u16string path = ResolveName(View(name));
  return path.empty() ? nullptr : new FileReference(std::move(path));
}

IQelFileReference* FileService::Find(IQelText* name) {
  std::u16string path = ResolveName(View(name));
  return IsPlainFile(path) ? new FileReference(std::move(path)) : nullptr;
}

IQelService* FileService::Prepare(IQelFileReference* file) {
  if (file && file->FullPath()) PrepareFolders(file->FullPath());
  return nullptr;
}

bool FileSystem::Exists(IQelFileReference* file) { return file && IsPlainFile(file->FullPath()); }

bool FileSystem::PrepareDirectory(IQelFileReference* file) {
  return file && file->FullPath() && PrepareFolders(file->FullPath());
}

bool PrepareFolders(std::u16string_view given) {
  const std::u16string path(given);
  const size_t last = path.find_last_of(u'\\');
  if (last == std::u16string::npos || last == 0) return true;  // the root is always there
  for (size_t at = path.find(u'\\', 1); at != std::u16string::npos && at <= last;
       at = path.find(u'\\', at + 1))
    ce::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  const ce::DWORD attributes = ce::GetFileAttributesW(path.substr(0, last).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSystem::Enumerate(IQelText* pattern, IQelFileEnumerator** out) {
  if (!out) return false;
  const std::u16string p(View(pattern));
  ce::WIN32_FIND_DATAW data{};
  ce::HANDLE find = ce::FindFirstFileW(p.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  std::vector<Enumerator::Item> items;
  do {
    items.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (ce::FindNextFileW(find, &data));
  ce::FindClose(find);
  *out = new Enumerator(std::move(items));
  return true;
}

namespace {

// The key of a section; an empty section is the settings key itself.
std::u16string SectionKey(IQelText* section) {
  const std::u16string_view s = View(section);
  return s.empty() ? std::u16string(kSettingsKey) : kSettingsKey + (u"\\" + std::u16string(s));
}

}  // namespace

bool Settings::Set(IQelText* section, IQelText* name, IQelValue* value) {
  IQelText* text = nullptr;
  if (View(name).empty() || !value || !value->GetString(&text) || !text) return false;
  ce::RegKey key;
  ce::DWORD disposition = 0;
  if (ce::RegCreateKeyExW(HKEY_LOCAL_MACHINE, SectionKey(section).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, key.put(), &disposition) != ERROR_SUCCESS)
    return false;
  const std::u16string data(View(text));
  const std::u16string valueName(View(name));
  return ce::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                            reinterpret_cast<const ce::BYTE*>(data.c_str()),
                            ce::DWORD((data.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

bool Settings::Get(IQelText* section, IQelText* name, IQelValue* value) {
  if (View(name).empty() || !value) return false;
  ce::RegKey key;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, SectionKey(section).c_str(), 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS)
    return false;
  const std::u16string valueName(View(name));
  ce::DWORD type = 0, size = 0;
  if (ce::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  std::u16string data(size / sizeof(char16_t) + 1, u'\0');
  if (ce::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type,
                           reinterpret_cast<ce::BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return false;
  data.resize(size / sizeof(char16_t));
  while (!data.empty() && data.back() == 0) data.pop_back();
  return value->SetString(data.data(), uint32_t(data.size()));
}

SettingsProvider::SettingsProvider() : settings_(new Settings) {}
SettingsProvider::~SettingsProvider() { static_cast<CQelRefCounted*>(settings_)->Release(); }

bool SettingsProvider::GetInterface(GUID iid, void** out) {
  if (!out || iid != qel::IID_QELSETTINGSERVICE) return false;
  static_cast<CQelRefCounted*>(settings_)->AddRef();
  *out = static_cast<IQelSettingService*>(settings_);
  return true;
}

}  // namespace qelhost
