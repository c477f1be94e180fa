// Processes of the simulated terminal's own programs ("#!qel-program" files):
// programs started, opened by id, waited for, ended politely and
// by force; ToolHelp's view of them.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/module.h"
#include "ce/process.h"
#include "ce/sync.h"
#include "ce/thread.h"
#include "ce/toolhelp.h"
#include "ce/window.h"
#include "conformance.h"

namespace {

using namespace ce;
using cetest::kSentinel;

// Each test's programs live in its own folder.
class SimPrograms : public cetest::FolderTest {
 protected:
  // A program of the test's folder, "<name>.exe", made of its settings lines.
  std::u16string Program(std::u16string_view name, std::string_view settings) {
    const std::u16string file = std::u16string(name) + u".exe";
    Put(file, "#!qel-program app\n" + std::string(settings));
    return At(file);
  }
  PROCESS_INFORMATION Start(const std::u16string& path, std::u16string commandLine = u"") {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                               nullptr, nullptr, &startup, &info))
        << GetLastError();
    return info;
  }
  static void Close(const PROCESS_INFORMATION& info) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
  static DWORD ExitCodeOf(HANDLE process) {
    DWORD code = kSentinel;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    return code;
  }
  // The first top-level window of the process, once it has made one.
  static HWND WindowOf(DWORD id) {
    struct Search {
      DWORD id;
      HWND found;
    } search{id, nullptr};
    for (int i = 0; i < 200 && !search.found; ++i) {
      EnumWindows(
          [](HWND hwnd, LPARAM l) -> BOOL {
            auto* s = reinterpret_cast<Search*>(l);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner != s->id) return TRUE;
            s->found = hwnd;
            return FALSE;
          },
          LPARAM(&search));
      if (!search.found) Sleep(25);
    }
    return search.found;
  }
};

TEST_F(SimPrograms, EndsWithItsCodeOrTheOneItIsGiven) {
  const struct {
    const char* settings;
    bool terminate;
    DWORD code;
  } cases[] = {
      {"exit=3\n", false, 3},
      {"exit=0\n", false, 0},
      {"run=forever\n", true, 0x2A},
      {"run=forever\nexit=3\n", true, 0xFFFFFFF7},  // -9, as a stop gives it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    const PROCESS_INFORMATION info = Start(Program(u"p", c.settings));
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_NE(info.dwProcessId, GetCurrentProcessId());  // a process of its own
    if (c.terminate) {
      EXPECT_EQ(WaitForSingleObject(info.hProcess, 50), DWORD(WAIT_TIMEOUT));
      EXPECT_EQ(ExitCodeOf(info.hProcess), DWORD(STILL_ACTIVE));
      EXPECT_TRUE(TerminateProcess(info.hProcess, c.code));
    }
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10'000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(info.hThread, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(ExitCodeOf(info.hProcess), c.code);
    // Ended already: not ended again.
    SetLastError(kSentinel);
    EXPECT_FALSE(TerminateProcess(info.hProcess, 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    Close(info);
  }
}

TEST_F(SimPrograms, SettingsItCannotTakeEndItAtOnce) {
  for (const char* settings :
       {"exit=abc\n", "exit=-1\n", "exit=99999999999\n", "exit=0x10\n", "run=-5\n", "close=frobnicate\n",
        "close=exit 99999999999\n", "window=W\nclose=exit x\n"}) {
    SCOPED_TRACE(settings);
    const PROCESS_INFORMATION info = Start(Program(u"bad", settings));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10'000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(ExitCodeOf(info.hProcess), DWORD(ERROR_INVALID_PARAMETER));
    Close(info);
  }
  // A program file longer than 16 KiB is no program: its settings would be read in part.
  Put(u"long.exe", "#!qel-program app\n" + std::string(16 * 1024, '#'));
  STARTUPINFOW startup{};
  PROCESS_INFORMATION info{};
  SetLastError(kSentinel);
  EXPECT_FALSE(CreateProcessW(At(u"long.exe").c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
}

TEST_F(SimPrograms, OpenedByIdFromAnywhere) {
  const PROCESS_INFORMATION info = Start(Program(u"p", "run=forever\n"));
  const HANDLE opened = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, info.dwProcessId);
  ASSERT_NE(opened, nullptr) << GetLastError();
  EXPECT_NE(opened, info.hProcess);
  // Ended through one handle, seen through the other.
  EXPECT_TRUE(TerminateProcess(opened, 12));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 10'000), DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(ExitCodeOf(info.hProcess), 12u);
  EXPECT_EQ(ExitCodeOf(opened), 12u);
  CloseHandle(opened);
  // An ended program can still be opened for a while, with its code.
  const HANDLE late = OpenProcess(SYNCHRONIZE, FALSE, info.dwProcessId);
  ASSERT_NE(late, nullptr);
  EXPECT_EQ(ExitCodeOf(late), 12u);
  CloseHandle(late);
  Close(info);

  for (DWORD id : {DWORD{0}, DWORD{0x7FFFFFF0}}) {
    SetLastError(kSentinel);
    EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, id), nullptr) << id;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << id;
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(TerminateProcess(reinterpret_cast<HANDLE>(uintptr_t{0x7FF0}), 1));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(SimPrograms, ACloseRequestEndsAProgramThatHonoursIt) {
  const struct {
    const char* settings;
    bool ends;
    DWORD code;
  } cases[] = {
      {"window=Polite\nclose=exit 7\n", true, 7},
      {"window=Default\n", true, 0},
      {"window=Stubborn\nclose=ignore\n", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    const PROCESS_INFORMATION info = Start(Program(u"w", c.settings));
    const HWND window = WindowOf(info.dwProcessId);
    ASSERT_NE(window, nullptr);
    DWORD owner = 0;
    EXPECT_NE(GetWindowThreadProcessId(window, &owner), 0u);
    EXPECT_EQ(owner, info.dwProcessId);
    EXPECT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, c.ends ? 10'000 : 300),
              DWORD(c.ends ? WAIT_OBJECT_0 : WAIT_TIMEOUT));
    if (c.ends) {
      EXPECT_EQ(ExitCodeOf(info.hProcess), c.code);
      EXPECT_FALSE(IsWindow(window));  // its windows went with it
    } else {
      EXPECT_TRUE(TerminateProcess(info.hProcess, 1));
      EXPECT_EQ(WaitForSingleObject(info.hProcess, 10'000), DWORD(WAIT_OBJECT_0));
    }
    Close(info);
  }
}

TEST_F(SimPrograms, AnAppAnswersACloseRequestAsItsSettingsSay) {
  const std::u16string polite = Program(u"polite", "window=Polite\nclose=exit 7\nexit=1\n");
  const std::u16string stubborn = Program(u"stubborn", "window=Stubborn\nclose=ignore\nexit=5\n");
  const struct {
    const std::u16string& path;
    std::u16string line;
    const char16_t* title;
    bool ends;
    DWORD code;
  } rows[] = {
      {polite, u"", u"Polite", true, 7},
      // The command line overrides the file, a quoted word keeps its space.
      {polite, u"\"close=exit 9\" \"window=Other title\"", u"Other title", true, 9},
      {stubborn, u"run=2000", u"Stubborn", false, 5},
      {stubborn, u"close=exit", u"Stubborn", true, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.title, row.title + std::char_traits<char16_t>::length(row.title)));
    const PROCESS_INFORMATION p = Start(row.path, row.line);
    const HWND hwnd = WindowOf(p.dwProcessId);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindowW(u"QelApp", row.title), hwnd);
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE);
    // From another thread, as another process would.
    std::thread([&] { EXPECT_TRUE(PostMessageW(hwnd, WM_CLOSE, 0, 0)); }).join();
    if (row.ends) {
      ASSERT_EQ(WaitForSingleObject(p.hProcess, 10'000), WAIT_OBJECT_0);
      EXPECT_EQ(ExitCodeOf(p.hProcess), row.code);
      EXPECT_FALSE(IsWindow(hwnd)) << "its windows go before it is seen to end";
    } else {
      EXPECT_EQ(WaitForSingleObject(p.hProcess, 200), DWORD(WAIT_TIMEOUT));
      EXPECT_EQ(ExitCodeOf(p.hProcess), DWORD(STILL_ACTIVE));
      EXPECT_TRUE(IsWindow(hwnd));
      // It ends by itself when its time is up, with its own code.
      ASSERT_EQ(WaitForSingleObject(p.hProcess, 10'000), WAIT_OBJECT_0);
      EXPECT_EQ(ExitCodeOf(p.hProcess), row.code);
    }
    Close(p);
  }
}

TEST_F(SimPrograms, TheForegroundFollowsTheLastWindowBroughtForward) {
  const PROCESS_INFORMATION p = Start(Program(u"two", "window=First\nwindow=Second\n"));
  ASSERT_NE(WindowOf(p.dwProcessId), nullptr);
  HWND first = FindWindowW(u"QelApp", u"First"), second = FindWindowW(u"QelApp", u"Second");
  ASSERT_TRUE(first && second);
  for (HWND hwnd : {first, second, first}) {
    ASSERT_TRUE(SetForegroundWindow(hwnd));
    EXPECT_EQ(GetForegroundWindow(), hwnd);
    EXPECT_EQ(WindowOf(p.dwProcessId), hwnd) << "enumeration finds the foreground window first";
  }
  ASSERT_TRUE(PostMessageW(first, WM_CLOSE, 0, 0));
  ASSERT_EQ(WaitForSingleObject(p.hProcess, 10'000), WAIT_OBJECT_0);
  EXPECT_EQ(GetForegroundWindow(), nullptr) << "the foreground window is gone";
  SetLastError(0);
  EXPECT_FALSE(SetForegroundWindow(first));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(SetForegroundWindow(nullptr));
  Close(p);
}

TEST_F(SimPrograms, AFileThatIsNoProgramDoesNotStart) {
  Put(u"plain.exe", "just text\n");
  for (const char16_t* name : {u"plain.exe", u"missing.exe"}) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::u16string line;
    EXPECT_FALSE(CreateProcessW(At(name).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &info));
    EXPECT_EQ(GetLastError(), DWORD(name[0] == u'p' ? ERROR_BAD_EXE_FORMAT : ERROR_FILE_NOT_FOUND));
  }
}

// ToolHelp.dll, as the module reaches it.
class SimToolHelp : public SimPrograms {
 protected:
  void SetUp() override {
    SimPrograms::SetUp();
    library_ = LoadLibraryW(u"ToolHelp.dll");
    ASSERT_NE(library_, nullptr);
    snapshot_ = reinterpret_cast<PFN_CreateToolhelp32Snapshot>(
        GetProcAddressW(library_, u"CreateToolhelp32Snapshot"));
    close_ =
        reinterpret_cast<PFN_CloseToolhelp32Snapshot>(GetProcAddressW(library_, u"CloseToolhelp32Snapshot"));
    first_ = reinterpret_cast<PFN_Process32First>(GetProcAddressW(library_, u"Process32First"));
    next_ = reinterpret_cast<PFN_Process32Next>(GetProcAddressW(library_, u"Process32Next"));
    ASSERT_TRUE(snapshot_ && close_ && first_ && next_);
  }
  void TearDown() override {
    FreeLibrary(library_);
    SimPrograms::TearDown();
  }
  HMODULE library_ = nullptr;
  PFN_CreateToolhelp32Snapshot snapshot_ = nullptr;
  PFN_CloseToolhelp32Snapshot close_ = nullptr;
  PFN_Process32First first_ = nullptr;
  PFN_Process32Next next_ = nullptr;
};

TEST_F(SimToolHelp, SnapshotListsEveryRunningProcessByItsFileName) {
  // Started by a path with the other separator: listed by its file name all the same.
  std::u16string path = Program(u"Listed", "run=forever\n");
  path[path.find_last_of(u'\\')] = u'/';
  const PROCESS_INFORMATION info = Start(path);
  const HANDLE list = snapshot_(TH32CS_SNAPNOHEAPS | TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(list, INVALID_HANDLE_VALUE);
  TOOLHELP_PROCESSENTRY entry{};
  entry.dwSize = sizeof entry;
  bool self = false, program = false;
  BOOL more = first_(list, &entry);
  for (; more; more = next_(list, &entry)) {
    EXPECT_EQ(entry.dwSize, 564u);
    self |= entry.th32ProcessID == GetCurrentProcessId();
    if (entry.th32ProcessID == info.dwProcessId) {
      program = true;
      EXPECT_EQ(std::u16string(entry.szExeFile), u"Listed.exe");  // the file's name, without its folder
      EXPECT_EQ(entry.th32ParentProcessID, GetCurrentProcessId());
      EXPECT_GE(entry.cntThreads, 1u);
    }
  }
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(self);
  EXPECT_TRUE(program);
  // A walk past the end stays there.
  EXPECT_FALSE(next_(list, &entry));
  EXPECT_TRUE(close_(list));
  SetLastError(kSentinel);
  EXPECT_FALSE(close_(list));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  TerminateProcess(info.hProcess, 0);
  Close(info);
}

TEST_F(SimToolHelp, RefusesWhatItCannotAnswer) {
  SetLastError(kSentinel);
  EXPECT_EQ(snapshot_(TH32CS_SNAPNOHEAPS, 0), INVALID_HANDLE_VALUE);  // no process list asked for
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  const HANDLE list = snapshot_(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(list, INVALID_HANDLE_VALUE);
  TOOLHELP_PROCESSENTRY entry{};
  entry.dwSize = sizeof entry - 1;
  SetLastError(kSentinel);
  EXPECT_FALSE(first_(list, &entry));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_LENGTH));
  EXPECT_FALSE(first_(list, nullptr));
  EXPECT_TRUE(close_(list));
  // A handle of another kind is no snapshot.
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetLastError(kSentinel);
  EXPECT_FALSE(first_(event, &entry));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(close_(event));
  CloseHandle(event);
}

}  // namespace
