// SXC and the "*.cab" file handler: both run the system's installer on a
// package, silently with the security policy relaxed for the time of the install.
#include <optional>

#include "ce/error.h"
#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/installer.h"
#include "commands/security_policy.h"

namespace qel {

void Sxc(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  auto* files = Require<IQelFileSystemService>(Slot::FileSystem, context, reply);
  if (!files) return;
  auto* location = Require<IQelFileLocation>(Slot::FileLocation, context, reply);
  if (!location) return;

  const FileRef package(location->Resolve(args->GetText(1, nullptr, -1)));
  if (!package) {
    reply->BadArgument(1);
    return;
  }
  if (!files->Exists(package.get())) {
    context->SetResult(1, u"File does not exist");
    return;
  }
  const bool silent = args->GetBool(2, true);
  const bool deleteAfter = uint32_t(args->GetInt(3, 0)) != 0;
  const std::u16string_view options = TextOf(args->GetText(4, u"", -1));

  InstallerCommandLine line(deleteAfter);
  std::optional<SilentInstallPolicy> policy;
  if (silent) {
    line.Append(u"/noui ");
    line.Append(u"/silent ");
    policy.emplace();
  }
  if (!options.empty()) line.Append(options);
  line.AppendPackage(package.get()->FullPath() ? package.get()->FullPath() : u"");
  if (const ce::DWORD error = RunInstaller(line); error != ERROR_SUCCESS)
    ReportSystemError(error, [&](int32_t code, const char16_t* text) { context->SetResult(code, text); });
}

int32_t InstallCabFile(void* package, bool deleteAfter, void*, IQelResult* result) {
  InstallerCommandLine line(deleteAfter);
  line.Append(u"/noui ");
  line.Append(u"/silent ");
  if (package) line.AppendPackage(static_cast<const char16_t*>(package));
  const SilentInstallPolicy policy;
  const ce::DWORD error = RunInstaller(line);
  if (error == ERROR_SUCCESS || !result) return 0;
  ReportSystemError(error, [&](int32_t code, const char16_t* text) { result->SetResult(code, text); });
  return -5;
}

}  // namespace qel
