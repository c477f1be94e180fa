// A smoke run of the Win32 backend through the ce API alone: each case makes
// the calls a module makes and checks results and last errors. Prints one
// line per failure and "N passed, N failed"; exits non-zero on any failure.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ce/device.h"
#include "ce/display.h"
#include "ce/error.h"
#include "ce/exception.h"
#include "ce/files.h"
#include "ce/module.h"
#include "ce/msgqueue.h"
#include "ce/net.h"
#include "ce/nled.h"
#include "ce/notify.h"
#include "ce/power.h"
#include "ce/process.h"
#include "ce/registry.h"
#include "ce/sip.h"
#include "ce/socket.h"
#include "ce/sync.h"
#include "ce/system.h"
#include "ce/text.h"
#include "ce/thread.h"
#include "ce/version.h"
#include "ce/window.h"

namespace {

int g_failed = 0;
std::string g_case;

void Expect(bool ok, const char* what, long long got = 0) {
  if (ok) return;
  ++g_failed;
  std::printf("FAIL %s: %s (got %lld, last error %lu)\n", g_case.c_str(), what, got,
              static_cast<unsigned long>(ce::GetLastError()));
}
// Each side is evaluated once: the calls checked have effects.
template <class A, class B>
void ExpectEqual(const A& a, const B& b, const char* what) {
  if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
    Expect(std::cmp_equal(a, b), what, static_cast<long long>(a));
  } else {
    Expect(a == b, what, static_cast<long long>(a));
  }
}
#define EXPECT(cond) Expect((cond), #cond)
#define EXPECT_EQ(a, b) ExpectEqual((a), (b), #a " == " #b)

constexpr ce::DWORD kSentinel = 0xDEADBEEF;

void Registry() {
  ce::RegKey key;
  const char16_t* path = u"Software\\QelWin32Smoke";
  EXPECT_EQ(ce::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                nullptr),
            ERROR_SUCCESS);
  const ce::DWORD value = 0x1234;
  EXPECT_EQ(
      ce::RegSetValueExW(key.get(), u"Number", 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(&value), 4),
      ERROR_SUCCESS);
  ce::RegKey child;
  EXPECT_EQ(ce::RegCreateKeyExW(key.get(), u"Child\\Grandchild", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                child.put(), nullptr),
            ERROR_SUCCESS);
  child.reset();
  // Names ignore case; a short buffer tells the size.
  ce::DWORD type = 0, read = 0, size = 2;
  EXPECT_EQ(
      ce::RegQueryValueExW(key.get(), u"NUMBER", nullptr, &type, reinterpret_cast<ce::BYTE*>(&read), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(
      ce::RegQueryValueExW(key.get(), u"number", nullptr, &type, reinterpret_cast<ce::BYTE*>(&read), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<ce::DWORD>(REG_DWORD));
  EXPECT_EQ(read, value);
  EXPECT_EQ(ce::RegQueryValueExW(key.get(), u"Missing", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  key.reset();
  // A key with subkeys goes with everything below it.
  EXPECT_EQ(ce::RegDeleteKeyW(HKEY_CURRENT_USER, path), ERROR_SUCCESS);
  EXPECT_EQ(ce::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()), ERROR_FILE_NOT_FOUND);
}

void Files() {
  const char16_t* folder = u"C:\\qel_win32_smoke";
  ce::CreateDirectoryW(folder, nullptr);
  // An empty folder has no match: no "." or ".." entries.
  ce::WIN32_FIND_DATAW found{};
  ce::SetLastError(kSentinel);
  EXPECT(ce::FindFirstFileW(u"C:\\qel_win32_smoke\\*", &found) == INVALID_HANDLE_VALUE);
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_FILE_NOT_FOUND));
  const char16_t* file = u"C:\\qel_win32_smoke\\a.txt";
  {
    ce::UniqueHandle h(ce::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT(h.valid());
    ce::DWORD written = 0;
    EXPECT(ce::WriteFile(h.get(), "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    // Not shared: a second open is refused.
    ce::SetLastError(kSentinel);
    EXPECT(ce::CreateFileW(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) ==
           INVALID_HANDLE_VALUE);
    EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_SHARING_VIOLATION));
  }
  {
    ce::UniqueFind find(ce::FindFirstFileW(u"C:\\qel_win32_smoke\\*", &found));
    EXPECT(find.valid());
    EXPECT(std::u16string(found.cFileName) == u"a.txt");
    EXPECT_EQ(found.nFileSizeLow, 5u);
    ce::SetLastError(kSentinel);
    EXPECT(!ce::FindNextFileW(find.get(), &found));
    EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_NO_MORE_FILES));
  }
  EXPECT(ce::DeleteFileW(file));
  EXPECT(ce::RemoveDirectoryW(folder));
}

void Waits() {
  ce::UniqueHandle a(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  ce::UniqueHandle b(ce::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  ce::UniqueHandle c(ce::CreateEventW(nullptr, FALSE, TRUE, nullptr));
  const ce::HANDLE handles[] = {a.get(), b.get(), c.get()};
  EXPECT_EQ(ce::WaitForMultipleObjects(3, handles, FALSE, 0), static_cast<ce::DWORD>(WAIT_OBJECT_0 + 1));
  EXPECT_EQ(ce::WaitForSingleObject(a.get(), 10), static_cast<ce::DWORD>(WAIT_TIMEOUT));
  ce::SetLastError(kSentinel);
  EXPECT_EQ(ce::WaitForMultipleObjects(3, handles, TRUE, 0), static_cast<ce::DWORD>(WAIT_FAILED));
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_INVALID_PARAMETER));
  // A named event opened again says it already exists.
  ce::UniqueHandle named(ce::CreateEventW(nullptr, TRUE, FALSE, u"QelWin32SmokeEvent"));
  ce::UniqueHandle again(ce::CreateEventW(nullptr, TRUE, FALSE, u"QelWin32SmokeEvent"));
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_ALREADY_EXISTS));
}

ce::CRITICAL_SECTION g_section;
int g_counter = 0;

ce::DWORD Worker(void* parameter) {
  for (int i = 0; i < 1000; ++i) {
    ce::EnterCriticalSection(&g_section);
    ce::EnterCriticalSection(&g_section);  // recursive
    ++g_counter;
    ce::LeaveCriticalSection(&g_section);
    ce::LeaveCriticalSection(&g_section);
  }
  return *static_cast<ce::DWORD*>(parameter);
}

void Threads() {
  ce::InitializeCriticalSection(&g_section);
  ce::DWORD codes[] = {11, 22};
  ce::UniqueHandle threads[2];
  for (int i = 0; i < 2; ++i) {
    ce::DWORD id = 0;
    threads[i].reset(ce::CreateThread(nullptr, 0, &Worker, &codes[i], 0, &id));
    EXPECT(threads[i].valid() && id != 0);
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(ce::WaitForSingleObject(threads[i].get(), 5000), static_cast<ce::DWORD>(WAIT_OBJECT_0));
    ce::DWORD code = 0;
    EXPECT(ce::GetExitCodeThread(threads[i].get(), &code));
    EXPECT_EQ(code, codes[i]);
  }
  EXPECT_EQ(g_counter, 2000);
  EXPECT(g_section.OwnerThread == nullptr && g_section.LockCount == 0);
  ce::DeleteCriticalSection(&g_section);
  ce::SetLastError(kSentinel);
  EXPECT(ce::CreateThread(nullptr, 0, &Worker, &codes[0], CREATE_SUSPENDED, nullptr) == nullptr);
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_INVALID_PARAMETER));
}

void Process() {
  // The command line is the arguments alone.
  ce::PROCESS_INFORMATION info{};
  EXPECT(ce::CreateProcessW(u"C:\\windows\\system32\\cmd.exe", const_cast<char16_t*>(u"/c exit 7"), nullptr,
                            nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
  ce::UniqueHandle process(info.hProcess), thread(info.hThread);
  EXPECT_EQ(ce::WaitForSingleObject(process.get(), 10000), static_cast<ce::DWORD>(WAIT_OBJECT_0));
  ce::DWORD code = 0;
  EXPECT(ce::GetExitCodeProcess(process.get(), &code));
  EXPECT_EQ(code, 7u);
}

ce::LRESULT CALLBACK Procedure(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam, ce::LPARAM lParam) {
  if (message == WM_USER + 1) return static_cast<ce::LRESULT>(wParam + lParam);
  return ce::DefWindowProcW(hwnd, message, wParam, lParam);
}

void Windows() {
  ce::WNDCLASSW cls{};
  cls.lpfnWndProc = &Procedure;
  cls.lpszClassName = u"QelWin32Smoke";
  EXPECT(ce::RegisterClassW(&cls) != 0);
  ce::HWND hwnd =
      ce::CreateWindowExW(0, u"QelWin32Smoke", u"smoke", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT(hwnd != nullptr);
  EXPECT_EQ(ce::SendMessageW(hwnd, WM_USER + 1, 2, 3), 5);
  EXPECT(ce::PostMessageW(hwnd, WM_USER + 2, 7, 0));
  ce::MSG msg{};
  EXPECT(ce::PeekMessageW(&msg, hwnd, WM_USER + 2, WM_USER + 2, PM_REMOVE));
  EXPECT(msg.message == WM_USER + 2 && msg.wParam == 7);
  // GetMessageW only once a message waits: it would wait for ever.
  const bool posted = ce::PostThreadMessageW(ce::GetCurrentThreadId(), WM_USER + 3, 0, 9);
  EXPECT(posted);
  if (posted) {
    EXPECT(ce::GetMessageW(&msg, nullptr, 0, 0) > 0);
    EXPECT(msg.message == WM_USER + 3 && msg.lParam == 9);
  }
  EXPECT(ce::FindWindowW(u"QelWin32Smoke", u"smoke") == hwnd);
  EXPECT(ce::DestroyWindow(hwnd));
  EXPECT(!ce::IsWindow(hwnd));
  EXPECT(ce::UnregisterClassW(u"QelWin32Smoke", nullptr));
}

void Sockets() {
  ce::WSADATA data{};
  EXPECT_EQ(ce::WSAStartup(0x0202, &data), 0);
  ce::UniqueSocket server(ce::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ce::SOCKADDR_IN address{};
  address.sin_family = AF_INET;
  address.sin_addr.S_un.S_addr = ce::inet_addr("127.0.0.1");
  EXPECT_EQ(ce::bind(server.get(), reinterpret_cast<ce::SOCKADDR*>(&address), sizeof(address)), 0);
  EXPECT_EQ(ce::listen(server.get(), 1), 0);
  int length = sizeof(address);
  EXPECT_EQ(ce::getsockname(server.get(), reinterpret_cast<ce::SOCKADDR*>(&address), &length), 0);
  ce::UniqueSocket client(ce::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_EQ(ce::connect(client.get(), reinterpret_cast<ce::SOCKADDR*>(&address), sizeof(address)), 0);
  ce::UniqueSocket accepted(ce::accept(server.get(), nullptr, nullptr));
  EXPECT(accepted.valid());
  EXPECT_EQ(ce::send(client.get(), "ping", 4, 0), 4);
  ce::fd_set readable;
  FD_ZERO(&readable);
  FD_SET(accepted.get(), &readable);
  ce::timeval wait{2, 0};
  EXPECT_EQ(ce::select(0, &readable, nullptr, nullptr, &wait), 1);
  char buffer[8] = {};
  EXPECT_EQ(ce::recv(accepted.get(), buffer, sizeof(buffer), 0), 4);
  EXPECT(std::memcmp(buffer, "ping", 4) == 0);
  // Nothing waiting on a non-blocking socket: would block.
  ce::DWORD on = 1;
  EXPECT_EQ(ce::ioctlsocket(accepted.get(), FIONBIO, &on), 0);
  EXPECT_EQ(ce::recv(accepted.get(), buffer, sizeof(buffer), 0), SOCKET_ERROR);
  EXPECT_EQ(ce::WSAGetLastError(), WSAEWOULDBLOCK);
  ce::IN_ADDR loopback{};
  loopback.S_un.S_addr = ce::inet_addr("127.0.0.1");
  EXPECT(std::strcmp(ce::inet_ntoa(loopback), "127.0.0.1") == 0);
  accepted.reset();
  client.reset();
  server.reset();
  EXPECT_EQ(ce::WSACleanup(), 0);
}

void Text() {
  // Windows-1252: the euro sign is 0x80, e-acute 0xE9.
  const char16_t wide[] = u"\u20AC\u00E9";
  char narrow[8] = {};
  EXPECT_EQ(ce::WideCharToMultiByte(1252, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr), 3);
  EXPECT(static_cast<unsigned char>(narrow[0]) == 0x80 && static_cast<unsigned char>(narrow[1]) == 0xE9);
  char16_t back[8] = {};
  EXPECT_EQ(ce::MultiByteToWideChar(1252, 0, narrow, -1, back, 8), 3);
  EXPECT(std::u16string(back) == wide);
  ce::SetLastError(kSentinel);
  EXPECT_EQ(ce::WideCharToMultiByte(1252, 0, wide, -1, narrow, 1, nullptr, nullptr), 0);
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

void ExceptionsAndModules() {
  const auto crash = [](void*) -> ce::DWORD { return *static_cast<volatile ce::DWORD*>(nullptr); };
  const auto code = [](ce::DWORD exceptionCode, void*) { return exceptionCode; };
  EXPECT_EQ(ce::GuardedCall(crash, nullptr, code), 0xC0000005u);
  // Nested: the inner guard takes the crash, the outer routine goes on.
  const auto outer = [](void* p) -> ce::DWORD {
    return ce::GuardedCall(*static_cast<ce::GUARDED_ROUTINE*>(p), nullptr, nullptr) + 1;
  };
  ce::GUARDED_ROUTINE inner = crash;
  EXPECT_EQ(ce::GuardedCall(outer, &inner, code), 0xC0000006u);
  EXPECT_EQ(ce::GuardedCall([](void*) -> ce::DWORD { return 42; }, nullptr, code), 42u);

  ce::UniqueModule kernel(ce::LoadLibraryW(u"kernel32.dll"));
  EXPECT(ce::GetProcAddressW(kernel.get(), u"GetTickCount") != nullptr);
  ce::SetLastError(kSentinel);
  EXPECT(ce::GetProcAddressW(kernel.get(), u"NoSuchExport") == nullptr);
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_PROC_NOT_FOUND));
  ce::SetLastError(kSentinel);
  EXPECT(ce::LoadLibraryW(u"aygshell.dll") == nullptr);
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_MOD_NOT_FOUND));
}

void Version() {
  const char16_t* file = u"C:\\windows\\system32\\kernel32.dll";
  ce::DWORD handle = kSentinel;
  const ce::DWORD size = ce::GetFileVersionInfoSizeW(file, &handle);
  EXPECT(size > sizeof(ce::VS_FIXEDFILEINFO));
  std::vector<unsigned char> block(size);
  EXPECT(ce::GetFileVersionInfoW(file, 0, size, block.data()));
  void* value = nullptr;
  ce::UINT length = 0;
  EXPECT(ce::VerQueryValueW(block.data(), u"\\", &value, &length));
  EXPECT_EQ(length, sizeof(ce::VS_FIXEDFILEINFO));
  if (value != nullptr) EXPECT_EQ(static_cast<ce::VS_FIXEDFILEINFO*>(value)->dwSignature, 0xFEEF04BDu);
  // Part of a block is no block.
  ce::SetLastError(kSentinel);
  EXPECT(!ce::GetFileVersionInfoW(file, 0, size / 2, block.data()));
  EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// The calls only Windows CE has: each fails with its failure value and
// ERROR_CALL_NOT_IMPLEMENTED on a desktop system.
void DeviceOnly() {
  ce::DWORD bytes = 0;
  ce::MSGQUEUEOPTIONS options{sizeof(options), 0, 0, 64, TRUE};
  ce::SIPINFO sip{sizeof(sip)};
  ce::DEVMGR_DEVICE_INFORMATION device{sizeof(device)};
  ce::NLED_COUNT_INFO leds{};
  const struct {
    const char* name;
    std::function<bool()> failed;
  } cases[] = {
      {"KernelIoControl",
       [&] { return !ce::KernelIoControl(IOCTL_HAL_GET_UUID, nullptr, 0, nullptr, 0, &bytes); }},
      {"SetCleanRebootFlag", [] { return !ce::SetCleanRebootFlag(); }},
      {"FindFirstDevice",
       [&] {
         return ce::FindFirstDevice(ce::DeviceSearchByLegacyName, u"UFN1:", &device) == INVALID_HANDLE_VALUE;
       }},
      {"CreateMsgQueue", [&] { return ce::CreateMsgQueue(nullptr, &options) == nullptr; }},
      {"ReadMsgQueue", [&] { return !ce::ReadMsgQueue(nullptr, nullptr, 0, &bytes, 0, &bytes); }},
      {"WriteMsgQueue", [] { return !ce::WriteMsgQueue(nullptr, "x", 1, 0, 0); }},
      {"CloseMsgQueue", [] { return !ce::CloseMsgQueue(nullptr); }},
      {"RequestPowerNotifications", [] { return ce::RequestPowerNotifications(nullptr, 7) == nullptr; }},
      {"StopPowerNotifications", [] { return !ce::StopPowerNotifications(nullptr); }},
      {"SetSystemPowerState",
       [] { return ce::SetSystemPowerState(nullptr, 0x10000, 0x1000) == ERROR_CALL_NOT_IMPLEMENTED; }},
      {"CeSetUserNotificationEx",
       [] { return ce::CeSetUserNotificationEx(nullptr, nullptr, nullptr) == nullptr; }},
      {"CeGetUserNotificationHandles", [&] { return !ce::CeGetUserNotificationHandles(nullptr, 0, &bytes); }},
      {"CeGetUserNotification", [&] { return !ce::CeGetUserNotification(nullptr, 0, &bytes, nullptr); }},
      {"CeClearUserNotification", [] { return !ce::CeClearUserNotification(nullptr); }},
      {"NLedGetDeviceInfo", [&] { return !ce::NLedGetDeviceInfo(0, &leds); }},
      {"NLedSetDevice", [] { return !ce::NLedSetDevice(2, nullptr); }},
      {"SipGetInfo", [&] { return !ce::SipGetInfo(&sip); }},
      {"SipSetInfo", [&] { return !ce::SipSetInfo(&sip); }},
      {"SipShowIM", [] { return !ce::SipShowIM(SIPF_ON); }},
  };
  for (const auto& c : cases) {
    g_case = std::string("DeviceOnly ") + c.name;
    ce::SetLastError(kSentinel);
    EXPECT(c.failed());
    EXPECT_EQ(ce::GetLastError(), static_cast<ce::DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  }
}

void SystemFigures() {
  ce::MEMORYSTATUS memory{};
  ce::GlobalMemoryStatus(&memory);
  EXPECT_EQ(memory.dwLength, sizeof(memory));
  EXPECT(memory.dwTotalPhys != 0 && memory.dwAvailPhys <= memory.dwTotalPhys);
  // The desktop battery: the shared fields only.
  ce::SYSTEM_POWER_STATUS_EX ex{};
  EXPECT(ce::GetSystemPowerStatusEx(&ex, TRUE));
  EXPECT_EQ(ex.BackupBatteryFlag, 0xFF);
  ce::SYSTEM_POWER_STATUS_EX2 ex2{};
  EXPECT_EQ(ce::GetSystemPowerStatusEx2(&ex2, sizeof(ex2), FALSE), sizeof(ce::SYSTEM_POWER_STATUS_EX));
  EXPECT_EQ(ex2.ACLineStatus, ex.ACLineStatus);
  // The adapters' chain: the size first, then the chain in the device's layout.
  ce::DWORD size = 0;
  const ce::DWORD first = ce::GetAdaptersInfo(nullptr, &size);
  EXPECT(first == ERROR_BUFFER_OVERFLOW || first == ERROR_NO_DATA);
  if (first == ERROR_BUFFER_OVERFLOW) {
    EXPECT(size >= sizeof(ce::IP_ADAPTER_INFO));
    std::vector<unsigned char> block(size);
    auto* adapters = reinterpret_cast<ce::IP_ADAPTER_INFO*>(block.data());
    EXPECT_EQ(ce::GetAdaptersInfo(adapters, &size), ERROR_SUCCESS);
    for (auto* a = adapters; a != nullptr; a = a->Next) {
      const auto* at = reinterpret_cast<unsigned char*>(a);
      EXPECT(at >= block.data() && at + sizeof(*a) <= block.data() + block.size());
      EXPECT(std::strlen(a->IpAddressList.IpAddress.String) < sizeof(a->IpAddressList.IpAddress.String));
    }
  }
  ce::DEVMODEW mode{};
  mode.dmSize = sizeof(mode);
  mode.dmFields = DM_DISPLAYORIENTATION;
  EXPECT_EQ(ce::ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_TEST, nullptr), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(mode.dmDisplayOrientation, static_cast<ce::DWORD>(DMDO_DEFAULT));
}

}  // namespace

// Arguments name the cases to run; none runs them all.
int main(int argc, char** argv) {
  const struct {
    const char* name;
    void (*run)();
  } cases[] = {
      {"Registry", Registry},
      {"Files", Files},
      {"Waits", Waits},
      {"Threads", Threads},
      {"Process", Process},
      {"Windows", Windows},
      {"Sockets", Sockets},
      {"Text", Text},
      {"ExceptionsAndModules", ExceptionsAndModules},
      {"Version", Version},
      {"DeviceOnly", DeviceOnly},
      {"SystemFigures", SystemFigures},
  };
  int passed = 0, failed = 0;
  for (const auto& c : cases) {
    bool chosen = argc == 1;
    for (int i = 1; i < argc; ++i) chosen = chosen || std::strcmp(argv[i], c.name) == 0;
    if (!chosen) continue;
    g_case = c.name;
    const int before = g_failed;
    c.run();
    (g_failed == before ? passed : failed) += 1;
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
