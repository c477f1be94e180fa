// The terminal's windowed programs and the foreground window: what another
// process finds of a started program, and how it answers a close request.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/process.h"
#include "ce/sync.h"
#include "ce/window.h"

namespace {

using namespace ce;

void WriteProgram(const char16_t* path, const std::string& text) {
  UniqueHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.get(), text.data(), DWORD(text.size()), &written, nullptr));
}

struct Started {
  UniqueHandle process, thread;
  DWORD id = 0;
};

Started Start(const char16_t* path, std::u16string line = u"") {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  EXPECT_TRUE(
      CreateProcessW(path, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  return {UniqueHandle(info.hProcess), UniqueHandle(info.hThread), info.dwProcessId};
}

// The process's first top-level window, once it has made one.
HWND WindowOf(DWORD process) {
  for (int tries = 0; tries < 500; ++tries) {
    struct Search {
      DWORD process;
      HWND found = nullptr;
    } search{process};
    EnumWindows(
        [](HWND hwnd, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner != s->process) return TRUE;
          s->found = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(10);
  }
  return nullptr;
}

DWORD ExitCode(HANDLE process) {
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &code));
  return code;
}

TEST(AppProgram, AnswersACloseRequestAsItsSettingsSay) {
  WriteProgram(u"\\Windows\\polite.exe", "#!qel-program app\nwindow=Polite\nclose=exit 7\nexit=1\n");
  WriteProgram(u"\\Windows\\stubborn.exe", "#!qel-program app\nwindow=Stubborn\nclose=ignore\nexit=5\n");
  const struct {
    const char16_t* path;
    std::u16string line;
    const char16_t* title;
    bool ends;
    DWORD code;
  } rows[] = {
      {u"\\Windows\\polite.exe", u"", u"Polite", true, 7},
      // The command line overrides the file, a quoted word keeps its space.
      {u"\\Windows\\polite.exe", u"\"close=exit 9\" \"window=Other title\"", u"Other title", true, 9},
      {u"\\Windows\\stubborn.exe", u"run=2000", u"Stubborn", false, 5},
      {u"\\Windows\\stubborn.exe", u"close=exit", u"Stubborn", true, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.title, row.title + std::char_traits<char16_t>::length(row.title)));
    Started p = Start(row.path, row.line);
    const HWND hwnd = WindowOf(p.id);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindowW(u"QelApp", row.title), hwnd);
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE);
    // From another thread, as another process would.
    std::thread([&] { EXPECT_TRUE(PostMessageW(hwnd, WM_CLOSE, 0, 0)); }).join();
    if (row.ends) {
      ASSERT_EQ(WaitForSingleObject(p.process.get(), 10'000), WAIT_OBJECT_0);
      EXPECT_EQ(ExitCode(p.process.get()), row.code);
      EXPECT_FALSE(IsWindow(hwnd)) << "its windows go before it is seen to end";
    } else {
      EXPECT_EQ(WaitForSingleObject(p.process.get(), 200), DWORD(WAIT_TIMEOUT));
      EXPECT_EQ(ExitCode(p.process.get()), DWORD(STILL_ACTIVE));
      EXPECT_TRUE(IsWindow(hwnd));
      // It ends by itself when its time is up, with its own code.
      ASSERT_EQ(WaitForSingleObject(p.process.get(), 10'000), WAIT_OBJECT_0);
      EXPECT_EQ(ExitCode(p.process.get()), row.code);
    }
  }
}

TEST(AppProgram, WithoutAWindowEndsAtOnceWithItsCode) {
  WriteProgram(u"\\Windows\\quick.exe", "#!qel-program app\nexit=3\n");
  Started p = Start(u"\\Windows\\quick.exe");
  ASSERT_EQ(WaitForSingleObject(p.process.get(), 10'000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCode(p.process.get()), 3u);
}

TEST(ForegroundWindow, FollowsTheLastWindowBroughtForward) {
  WriteProgram(u"\\Windows\\two.exe", "#!qel-program app\nwindow=First\nwindow=Second\n");
  Started p = Start(u"\\Windows\\two.exe");
  ASSERT_NE(WindowOf(p.id), nullptr);
  HWND first = FindWindowW(u"QelApp", u"First"), second = FindWindowW(u"QelApp", u"Second");
  ASSERT_TRUE(first && second);
  for (HWND hwnd : {first, second, first}) {
    ASSERT_TRUE(SetForegroundWindow(hwnd));
    EXPECT_EQ(GetForegroundWindow(), hwnd);
    EXPECT_EQ(WindowOf(p.id), hwnd) << "enumeration finds the foreground window first";
  }
  ASSERT_TRUE(PostMessageW(first, WM_CLOSE, 0, 0));
  ASSERT_EQ(WaitForSingleObject(p.process.get(), 10'000), WAIT_OBJECT_0);
  EXPECT_EQ(GetForegroundWindow(), nullptr) << "the foreground window is gone";
  SetLastError(0);
  EXPECT_FALSE(SetForegroundWindow(first));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(SetForegroundWindow(nullptr));
}

TEST(AppProgram, AFileThatIsNoProgramDoesNotStart) {
  WriteProgram(u"\\Windows\\plain.exe", "just text\n");
  for (const char16_t* path : {u"\\Windows\\plain.exe", u"\\Windows\\missing.exe"}) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::u16string line;
    EXPECT_FALSE(
        CreateProcessW(path, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    EXPECT_EQ(GetLastError(), DWORD(path[9] == u'p' ? ERROR_BAD_EXE_FORMAT : ERROR_FILE_NOT_FOUND));
  }
}

}  // namespace
