#include "streams/file_stream.h"

#include <new>

#include "ce/files.h"
#include "ceutil/text.h"
#include "core/file_ref.h"
#include "core/module_slots.h"
#include "qel/command.h"
#include "qelcommon/text_buffer.h"
#include "streams/stream_values.h"

namespace qel {

void CQelFileStream::Open(uint32_t) { OpenFile(); }

bool CQelFileStream::OpenFile() {
  if (file_) return true;
  IQelFileReference* reference = nullptr;
  if (auto* location = SlotAs<IQelFileLocation>(Slot::FileLocation)) {
    CQelTextBuffer name;
    if (name.Assign(name_.data(), uint32_t(name_.size()))) reference = location->Resolve(&name);
  }
  const FileRef file(reference);
  IQelService* prepared = nullptr;
  if (auto* files = SlotAs<IQelFileService>(Slot::FileService)) prepared = files->Prepare(reference);
  const char16_t* path = reference && reference->FullPath() ? reference->FullPath() : name_.c_str();
  file_.reset(ce::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (prepared) prepared->Release();
  return bool(file_);
}

bool CQelFileStream::Close() {
  file_.reset();
  return true;
}

bool CQelFileStream::Reset() {
  return file_ && ce::SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool CQelFileStream::Configure(int32_t count, IQelValue** values) {
  if (count <= 0 || !values) return false;
  std::u16string name = ValueText(values[0]);
  if (name.empty()) return false;
  name_ = std::move(name);
  return true;
}

int32_t CQelFileStream::Write(const void* buffer, uint32_t count, uint32_t) {
  if (!file_ || !buffer || count == 0) return -1;
  ce::DWORD written = 0;
  if (ce::SetFilePointer(file_.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER ||
      !ce::WriteFile(file_.get(), buffer, count, &written, nullptr))
    return -1;
  return int32_t(written);
}

int32_t CQelFileStream::Read(void* buffer, uint32_t count, uint32_t) {
  if (!file_ || !buffer || count == 0) return -1;
  ce::DWORD read = 0;
  if (!ce::ReadFile(file_.get(), buffer, count, &read, nullptr)) return -1;
  return int32_t(read);
}

void FileStreamFactory(const char16_t* type, IQelStream** out) {
  if (!out || !type || !ceutil::EqualNoCase(type, u"FILE")) return;
  if (auto* stream = new (std::nothrow) CQelFileStream) *out = stream;
}

}  // namespace qel
