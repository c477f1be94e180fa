// BRP: starts an application of the terminal, tells the host's application
// service whether it comes to the front, brings its first window forward and,
// when asked, waits for its end and hands back its exit code.
#include <memory>
#include <new>
#include <string_view>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/process.h"
#include "ce/sync.h"
#include "ce/window.h"
#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/installer.h"
#include "qelcommon/text_buffer.h"

namespace qel {
namespace {

// The part of the path after its last backslash (all of it without one).
std::u16string_view ApplicationName(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  return slash == path.npos ? path : path.substr(slash + 1);
}

struct WindowSearch {
  ce::DWORD process;
  ce::HWND found = nullptr;
};

ce::BOOL CALLBACK FirstWindowOf(ce::HWND hwnd, ce::LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  ce::DWORD process = 0;
  ce::GetWindowThreadProcessId(hwnd, &process);
  if (process != search->process) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// Brings the first top-level window of the process forward; one that has
// made none yet stays where it is.
void BringForward(ce::DWORD process) {
  WindowSearch search{process};
  ce::EnumWindows(FirstWindowOf, reinterpret_cast<ce::LPARAM>(&search));
  if (search.found) ce::SetForegroundWindow(search.found);
}

}  // namespace

void Brp(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 2)) return;
  if (!Require<IQelFileLocation>(Slot::FileLocation, context, reply)) return;
  IQelFileReference* file = args->GetFile(1, 0, 0, -1, 0);  // belongs to the argument list
  const bool wait = args->GetBool(2, true);
  const std::u16string_view line = TextOf(args->GetText(3, u"", -1));
  IQelVariable* exitCode = args->GetVariable(4);
  const bool toFront = args->GetBool(5, true);
  // Nothing to start: reported as SVR does, before anyone is told of it.
  const char16_t* path = file ? file->FullPath() : nullptr;
  if (!path) {
    context->SetResult(1, u"Invalid File.");
    return;
  }

  auto* service = SlotAs<IQelApplicationService>(Slot::Application);
  if (service) {
    CQelTextBuffer name;
    const std::u16string_view base = ApplicationName(path);
    name.Assign(base.data(), uint32_t(base.size()));
    if (toFront)
      service->NotifyForeground(&name, 0, 0);
    else
      service->NotifyBackground(&name, 0, 0);
  }

  // The process may write into its command line: it gets a copy of its own.
  std::unique_ptr<char16_t[]> commandLine(new (std::nothrow) char16_t[line.size() + 1]);
  if (!commandLine) {
    ReportSystemError(ERROR_NOT_ENOUGH_MEMORY,
                      [&](int32_t code, const char16_t* text) { context->SetResult(code, text); });
    return;
  }
  std::copy(line.begin(), line.end(), commandLine.get());
  commandLine[line.size()] = 0;

  ce::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ce::PROCESS_INFORMATION info{};
  if (!ce::CreateProcessW(path, commandLine.get(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                          nullptr, &startup, &info)) {
    ReportSystemError(ce::GetLastError(),
                      [&](int32_t code, const char16_t* text) { context->SetResult(code, text); });
    return;
  }
  const ce::UniqueHandle process(info.hProcess), thread(info.hThread);
  if (toFront) BringForward(info.dwProcessId);
  if (!wait) return;

  // Without the service there is no stop handle: the wait is on the process alone.
  const ce::HANDLE stop = service ? static_cast<ce::HANDLE>(service->GetStopHandle()) : nullptr;
  const ce::HANDLE handles[2] = {process.get(), stop};
  const ce::DWORD woke = ce::WaitForMultipleObjects(stop ? 2 : 1, handles, FALSE, INFINITE);
  if (woke != WAIT_OBJECT_0 || !exitCode) return;
  ce::DWORD code = 0;
  if (ce::GetExitCodeProcess(process.get(), &code)) exitCode->SetInt(int32_t(code), 0);
}

}  // namespace qel
