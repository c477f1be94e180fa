// The soft input panel: the system's calls and the shell's, over the panel's
// two windows, which any process finds by class and may move.
#include "ce/sip.h"

#include <gtest/gtest.h>

#include "ce/error.h"
#include "ce/module.h"
#include "ce/window.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

SIPINFO Fresh() {
  SIPINFO info{};
  info.cbSize = sizeof info;
  return info;
}

bool Visible(const char16_t* className) {
  return (ce::GetWindowLongW(FindWindowW(className, nullptr), GWL_STYLE) & WS_VISIBLE) != 0;
}

// Each test leaves the panel hidden and where it started.
class Sip : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_ = ce::FindWindowW(u"SipWndClass", nullptr);
    if (cetest::broken(panel_ == nullptr)) GTEST_SKIP() << "a desktop has no input panel";
    ASSERT_NE(panel_, nullptr);
    ASSERT_TRUE(ce::GetWindowRect(panel_, &start_));
  }
  void TearDown() override {
    if (panel_ == nullptr) return;
    SipShowIM(SIPF_OFF);
    ce::MoveWindow(panel_, start_.left, start_.top, start_.right - start_.left, start_.bottom - start_.top,
                   TRUE);
  }
  HWND panel_ = nullptr;
  RECT start_{};
};

TEST_F(Sip, BadRecordsAndFlagsAreRefused) {
  SIPINFO shortRecord = Fresh();
  shortRecord.cbSize = 48 - 8;
  const struct {
    const char* what;
    BOOL (*call)(SIPINFO*);
    SIPINFO* info;
  } cases[] = {
      {"get, no record", SipGetInfo, nullptr},
      {"set, no record", SipSetInfo, nullptr},
      {"get, short record", SipGetInfo, &shortRecord},
      {"set, short record", SipSetInfo, &shortRecord},
  };
  for (const auto& c : cases) {
    SetLastError(kSentinel);
    EXPECT_FALSE(c.call(c.info)) << c.what;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << c.what;
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(SipShowIM(2));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Visible(u"SipWndClass"));
}

TEST_F(Sip, StateIsTheWindowsAndTheShellSeesTheSame) {
  HMODULE shell = ce::LoadLibraryW(u"aygshell.dll");
  ASSERT_NE(shell, nullptr);
  auto shSipInfo =
      reinterpret_cast<PFN_SHSipInfo>(reinterpret_cast<void*>(ce::GetProcAddressW(shell, u"SHSipInfo")));
  ASSERT_NE(shSipInfo, nullptr);
  const struct {
    const char* what;
    bool on;
    bool throughShell;
  } steps[] = {
      {"system on", true, false},
      {"shell off", false, true},
      {"shell on", true, true},
      {"system off", false, false},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    SIPINFO info = Fresh();
    info.fdwFlags = s.on ? SIPF_ON : SIPF_OFF;
    ASSERT_TRUE(s.throughShell ? shSipInfo(SPI_SETSIPINFO, 0, &info, 0) : SipSetInfo(&info));
    EXPECT_EQ(Visible(u"SipWndClass"), s.on);
    EXPECT_EQ(Visible(u"SipBackDropWndClass"), s.on);
    for (bool shellRead : {false, true}) {
      SIPINFO read = Fresh();
      ASSERT_TRUE(shellRead ? shSipInfo(SPI_GETSIPINFO, 0, &read, 0) : SipGetInfo(&read));
      EXPECT_EQ(read.fdwFlags & SIPF_ON, s.on ? 1u : 0u);
      EXPECT_EQ(read.rcSipRect.top, start_.top);
      // The desktop ends where a shown panel begins.
      EXPECT_EQ(read.rcVisibleDesktop.bottom > start_.top, !s.on) << read.rcVisibleDesktop.bottom;
    }
  }
  SetLastError(kSentinel);
  SIPINFO info = Fresh();
  EXPECT_FALSE(shSipInfo(0x1234, 0, &info, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  ce::FreeLibrary(shell);
}

TEST_F(Sip, MovingThePanelWindowMovesThePanel) {
  ASSERT_TRUE(ce::MoveWindow(panel_, 10, 100, 200, 60, TRUE));
  SIPINFO info = Fresh();
  ASSERT_TRUE(SipGetInfo(&info));
  EXPECT_EQ(info.rcSipRect.left, 10);
  EXPECT_EQ(info.rcSipRect.top, 100);
  EXPECT_EQ(info.rcSipRect.right, 210);
  EXPECT_EQ(info.rcSipRect.bottom, 160);
  ASSERT_TRUE(SipShowIM(SIPF_ON));
  ASSERT_TRUE(SipGetInfo(&info));
  EXPECT_EQ(info.rcVisibleDesktop.bottom, 100);
  // The terminal's windows are no process's to destroy.
  SetLastError(kSentinel);
  EXPECT_FALSE(ce::DestroyWindow(panel_));
  EXPECT_TRUE(ce::IsWindow(panel_));
}

}  // namespace
}  // namespace ce
