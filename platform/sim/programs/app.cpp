// "app": a windowed program of the terminal, for what finds, brings forward
// and closes other programs' windows. Its behaviour comes from "key=value"
// lines after its file's first line, each key overridden by "key=value" words
// of its command line (a word in double quotes may hold spaces):
//
//   window=TITLE     a visible top-level window of class "QelApp"; repeatable
//                    (the command line's windows replace the file's)
//   close=exit [N]   a close request (WM_CLOSE) ends it with N, 0 by default
//   close=ignore     close requests are ignored
//   exit=N           its exit code when it ends by itself (0 by default)
//   run=MS|forever   how long until it ends by itself: forever by default when
//                    it has a window, else 0
//
// Unknown keys and lines without "=" are ignored, so a file can carry notes.
#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "api.h"
#include "ce/error.h"
#include "ce/system.h"
#include "ce/window.h"
#include "last_error.h"
#include "processes.h"
#include "programs.h"
#include "utf.h"

namespace ce::sim {
namespace {

constexpr char16_t kClass[] = u"QelApp";
constexpr DWORD kPollMs = 10;

struct Behaviour {
  std::vector<std::u16string> windows;
  bool ignoreClose = false;
  DWORD closeCode = 0;
  DWORD exitCode = 0;
  std::optional<DWORD> runMs;  // nullopt: forever
  bool runGiven = false;
};

std::optional<DWORD> Number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  DWORD value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// One "key=value"; replaceWindows: the first window of the command line drops
// the file's. False for a value the key does not take.
bool Apply(Behaviour& b, std::string_view key, std::string_view value, bool* replaceWindows) {
  if (key == "window") {
    if (replaceWindows && *replaceWindows) {
      b.windows.clear();
      *replaceWindows = false;
    }
    b.windows.push_back(FromUtf8(value));
  } else if (key == "close") {
    if (value == "ignore") {
      b.ignoreClose = true;
      return true;
    }
    const auto code = value == "exit"              ? std::optional<DWORD>(0)
                      : value.starts_with("exit ") ? Number(value.substr(5))
                                                   : std::nullopt;
    if (!code) return false;
    b.ignoreClose = false;
    b.closeCode = *code;
  } else if (key == "exit") {
    const auto code = Number(value);
    if (!code) return false;
    b.exitCode = *code;
  } else if (key == "run") {
    b.runGiven = true;
    b.runMs = value == "forever" ? std::nullopt : Number(value);
    return value == "forever" || b.runMs;
  }
  return true;  // other keys are notes
}

bool ApplyEntry(Behaviour& b, std::string_view entry, bool* replaceWindows) {
  const size_t eq = entry.find('=');
  return eq == entry.npos || Apply(b, entry.substr(0, eq), entry.substr(eq + 1), replaceWindows);
}

// Words of a command line; double quotes group a word with spaces.
std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(std::move(word));
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(std::move(word));
  return words;
}

// Nothing for a setting the program cannot take: it refuses to run, as a
// program given arguments it does not understand.
std::optional<Behaviour> Read(std::u16string_view arguments, std::string_view settings) {
  Behaviour b;
  for (size_t at = 0; at < settings.size();) {
    size_t end = settings.find_first_of("\r\n", at);
    if (end == settings.npos) end = settings.size();
    if (!ApplyEntry(b, settings.substr(at, end - at), nullptr)) return std::nullopt;
    at = end + 1;
  }
  bool replaceWindows = true;
  for (const std::string& word : Words(ToUtf8(arguments)))
    if (!ApplyEntry(b, word, &replaceWindows)) return std::nullopt;
  if (!b.runGiven) b.runMs = b.windows.empty() ? std::optional<DWORD>(0) : std::nullopt;
  return b;
}

LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_CLOSE) return api::DefWindowProcW(hwnd, message, wParam, lParam);
  const auto* b = reinterpret_cast<const Behaviour*>(api::GetWindowLongPtrW(hwnd, GWL_USERDATA));
  if (b && !b->ignoreClose) api::PostQuitMessage(int(b->closeCode));
  return 0;
}

}  // namespace

DWORD AppMain(std::u16string_view arguments, std::string_view settings) {
  const auto read = Read(arguments, settings);
  if (!read) return ERROR_INVALID_PARAMETER;
  const Behaviour& b = *read;
  std::vector<HWND> windows;
  if (!b.windows.empty()) {
    // Every app of this process shares the class: one registered first is fine.
    WNDCLASSW wc{};
    wc.lpfnWndProc = Procedure;
    wc.lpszClassName = kClass;
    if (!api::RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return GetLastError();
    for (const std::u16string& title : b.windows) {
      HWND hwnd = api::CreateWindowExW(0, kClass, title.c_str(), WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                                       nullptr, nullptr);
      if (!hwnd) {
        const DWORD error = GetLastError();
        for (HWND w : windows) api::DestroyWindow(w);
        return error;
      }
      api::SetWindowLongPtrW(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(&b));
      windows.push_back(hwnd);
    }
  }
  ProgramStarted();
  DWORD code = b.exitCode;
  MSG msg{};
  if (!b.runMs) {
    while (api::GetMessageW(&msg, nullptr, 0, 0) > 0) api::DispatchMessageW(&msg);
    code = msg.message == WM_QUIT ? DWORD(msg.wParam) : b.exitCode;
  } else {
    // A deadline: the queue is looked at between short sleeps.
    const DWORD start = api::GetTickCount();
    bool quit = false;
    while (!quit && api::GetTickCount() - start < *b.runMs) {
      while (api::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          quit = true;
          code = DWORD(msg.wParam);
          break;
        }
        api::DispatchMessageW(&msg);
      }
      if (!quit) api::Sleep(kPollMs);
    }
  }
  // Gone before the program is seen to end.
  for (HWND w : windows) api::DestroyWindow(w);
  return code;
}

}  // namespace ce::sim
