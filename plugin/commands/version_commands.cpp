// SVR and SPR: the file version and named strings of a file's version resource.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "ce/version.h"
#include "commands/command_frame.h"
#include "commands/commands.h"

namespace qel {
namespace {

// The file's version block, read whole: empty when it has none or it cannot
// be read, with the step that failed.
enum class BlockRead { kOk, kNoSize, kNoBlock };

struct VersionBlock {
  std::unique_ptr<uint8_t[]> bytes;
  BlockRead status = BlockRead::kNoSize;
};

VersionBlock ReadBlock(const char16_t* path) {
  VersionBlock block;
  ce::DWORD handle = 0;
  const ce::DWORD size = ce::GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return block;
  block.status = BlockRead::kNoBlock;
  block.bytes.reset(new (std::nothrow) uint8_t[size]);
  if (block.bytes && ce::GetFileVersionInfoW(path, handle, size, block.bytes.get()))
    block.status = BlockRead::kOk;
  return block;
}

// "%d.%d.%d.%d" of the file version's four 16-bit parts, most significant first.
std::u16string VersionText(const ce::VS_FIXEDFILEINFO& info) {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", int(info.dwFileVersionMS >> 16),
                int(info.dwFileVersionMS & 0xFFFF), int(info.dwFileVersionLS >> 16),
                int(info.dwFileVersionLS & 0xFFFF));
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

// "\StringFileInfo\<lang><cp>\<name>", as four lower-case hex digits each.
std::u16string StringPath(uint16_t language, uint16_t codePage, std::u16string_view name) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%04x%04x", unsigned(language), unsigned(codePage));
  std::u16string path = u"\\StringFileInfo\\";
  path.append(hex, hex + 8);
  path += u'\\';
  path += name;
  return path;
}

}  // namespace

void Svr(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 3)) return;
  IQelFileReference* file = args->GetFile(1, 0, 0, -1, 0);  // belongs to the argument list
  if (!file) {
    context->SetResult(1, u"Invalid File.");
    return;
  }
  IQelVariable* variable = args->GetVariable(2);
  if (!variable) {
    reply->BadArgument(2);
    return;
  }
  // A file without a readable version gets "??"; the command still succeeds.
  const VersionBlock block = ReadBlock(file->FullPath());
  void* value = nullptr;
  ce::UINT length = 0;
  if (block.status == BlockRead::kOk && ce::VerQueryValueW(block.bytes.get(), u"\\", &value, &length) &&
      length >= sizeof(ce::VS_FIXEDFILEINFO)) {
    variable->SetText(VersionText(*static_cast<const ce::VS_FIXEDFILEINFO*>(value)).c_str(), 0);
    return;
  }
  variable->SetText(u"??", 0);
}

void Spr(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 3)) return;
  IQelFileReference* file = args->GetFile(1, 0, 0, -1, 0);  // belongs to the argument list
  if (!file) {
    context->SetResult(1, u"Invalid File.");
    return;
  }
  const VersionBlock block = ReadBlock(file->FullPath());
  if (block.status == BlockRead::kNoSize) {
    context->SetResult(1, u"Can't retrieve file information");
    return;
  }
  if (block.status == BlockRead::kNoBlock) {
    context->SetResult(1, u"Failed to retrieve file information");
    return;
  }
  void* table = nullptr;
  ce::UINT tableBytes = 0;
  if (!ce::VerQueryValueW(block.bytes.get(), u"\\VarFileInfo\\Translation", &table, &tableBytes)) {
    context->SetResult(1, u"Failed to retrieve translation information");
    return;
  }
  const auto* entries = static_cast<const uint8_t*>(table);
  const uint32_t entryCount = tableBytes / 4;
  // Complete pairs only: a trailing name without its variable is left alone.
  const uint32_t count = args->Count();
  for (uint32_t n = 2; n + 1 < count; n += 2) {
    IQelText* name = args->GetText(int32_t(n), nullptr, -1);
    IQelVariable* variable = args->GetVariable(int32_t(n + 1));
    if (!name || !variable || entryCount == 0) continue;
    // The first translation that holds the name wins; each one that does not
    // leaves "?" until a later one does.
    for (uint32_t e = 0; e < entryCount; ++e) {
      uint16_t pair[2];
      std::memcpy(pair, entries + 4 * e, sizeof pair);
      void* value = nullptr;
      ce::UINT chars = 0;
      if (ce::VerQueryValueW(block.bytes.get(), StringPath(pair[0], pair[1], TextOf(name)).c_str(), &value,
                             &chars) &&
          value != nullptr) {
        // The stated length bounds the text, whether or not a NUL ends it there.
        std::u16string text(static_cast<const char16_t*>(value), chars);
        text.resize(std::char_traits<char16_t>::length(text.c_str()));
        variable->SetText(text.c_str(), 0);
        break;
      }
      variable->SetText(u"?", 0);
    }
  }
}

}  // namespace qel
