#include "terminal/inventory_property.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string_view>

#include "ce/error.h"
#include "ce/module.h"
#include "ce/version.h"
#include "core/module_slots.h"
#include "qel/command.h"
#include "qel/counted_text.h"

namespace qel {
namespace {

constexpr uint32_t kPathCapacity = 260;

std::u16string_view FileNameOf(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

class Inventory {
 public:
  void Add(std::u16string_view fileName, const char16_t* path) {
    const std::optional<std::u16string> version = FileVersion(path);
    if (!version) return;
    text_.append(fileName).append(u" (").append(*version).append(u");");
    ++entries_;
  }
  bool empty() const { return entries_ == 0; }
  const std::u16string& text() const { return text_; }

 private:
  std::u16string text_;
  uint32_t entries_ = 0;
};

// The name object the enumerator handed out goes back through its counted part.
struct NameRelease {
  void operator()(IQelName* name) const { static_cast<CQelRefCounted*>(name)->Release(); }
};
using NamePtr = std::unique_ptr<IQelName, NameRelease>;

struct EnumeratorDispose {
  void operator()(IQelFileEnumerator* e) const { e->Dispose(); }
};

// Every non-directory entry of "<folder>*.mpi" that has a version, in the
// order the host lists them.
void AddPlugins(Inventory& inventory, const std::u16string& folder) {
  auto* files = SlotAs<IQelFileSystemService>(Slot::FileSystem);
  if (!files) return;
  CQelCountedText* pattern = CQelCountedText::Create(folder + u"*.mpi");
  if (!pattern) return;
  IQelFileEnumerator* raw = nullptr;
  const bool listed = files->Enumerate(pattern, &raw);
  pattern->Release();
  if (!listed || !raw) return;
  const std::unique_ptr<IQelFileEnumerator, EnumeratorDispose> entries(raw);
  NamePtr name(entries->Name());
  for (;;) {
    IQelFileAttributes* attributes = entries->Attributes();
    if (name && attributes && !attributes->IsDirectory()) {
      const std::u16string_view entry(name->Chars(), name->Length());
      inventory.Add(entry, (folder + std::u16string(entry)).c_str());
    }
    IQelName* next = nullptr;
    if (!entries->Next(&next)) break;
    name.reset(next);
  }
}

}  // namespace

std::optional<std::u16string> FileVersion(const char16_t* path) {
  ce::DWORD handle = 0;
  const ce::DWORD size = ce::GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return std::nullopt;
  const std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]);
  void* fixed = nullptr;
  ce::UINT length = 0;
  if (!block || !ce::GetFileVersionInfoW(path, handle, size, block.get()) ||
      !ce::VerQueryValueW(block.get(), u"\\", &fixed, &length) || length < sizeof(ce::VS_FIXEDFILEINFO))
    return std::nullopt;
  const auto& info = *static_cast<const ce::VS_FIXEDFILEINFO*>(fixed);
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%d.%d.%d.%d", int(info.dwFileVersionMS >> 16),
                              int(info.dwFileVersionMS & 0xFFFF), int(info.dwFileVersionLS >> 16),
                              int(info.dwFileVersionLS & 0xFFFF));
  return std::u16string(text, text + n);
}

bool GetVersionList(IQelValue* value, IQelService*) {
  if (!value) return false;
  char16_t exe[kPathCapacity] = {};
  const ce::DWORD length = ce::GetModuleFileNameW(nullptr, exe, kPathCapacity);
  // Without its own path the host has nothing of its own to list, and its
  // plug-in folder is unknown.
  if (length == 0 || ce::GetLastError() == ERROR_INSUFFICIENT_BUFFER) return false;  // none, or cut
  const std::u16string path(exe, length);
  Inventory inventory;
  inventory.Add(FileNameOf(path), path.c_str());

  const size_t slash = path.rfind(u'\\');
  const size_t dot = path.rfind(u'.');
  if (slash != std::u16string::npos && dot != std::u16string::npos && dot > slash) {
    const std::u16string library = path.substr(0, dot) + u".dll";
    inventory.Add(FileNameOf(library), library.c_str());
  }
  if (slash != std::u16string::npos) AddPlugins(inventory, path.substr(0, slash) + u"\\Plugins\\");

  if (inventory.empty()) return false;
  CQelCountedText* text = CQelCountedText::Create(inventory.text());
  if (!text) return false;
  const bool ok = value->SetText(text);
  text->Release();
  return ok;
}

}  // namespace qel
