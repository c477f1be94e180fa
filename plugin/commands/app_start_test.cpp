// BRP on the terminal's programs: the notices to the host's application
// service, the window brought forward, the wait and its two ends.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "ce/handle.h"
#include "ce/sync.h"
#include "ce/window.h"
#include "ceutil/text.h"
#include "command_doubles.h"
#include "commands/commands.h"
#include "core/module_slots.h"
#include "qel/guids.h"
#include "qel/object.h"
#include "test_terminal.h"

namespace qel {
namespace {

using qeltest::CommandArgs;
using qeltest::CommandContext;
using qeltest::CommandReply;
using qeltest::FileReference;
using qeltest::Variable;
using Strings = std::vector<std::string>;

class Location final : public CQelObject<IQelFileLocation, IID_QELFILELOCATION> {
 public:
  IQelFileReference* Resolve(IQelText*) override { return nullptr; }
};

// Records the notices; its stop handle is a manual-reset event the test sets.
class Application final : public qel::VirtuallyCounted<IQelApplicationService> {
 public:
  void NotifyForeground(IQelText* name, int32_t a, int32_t b) override { Note("foreground", name, a, b); }
  void NotifyBackground(IQelText* name, int32_t a, int32_t b) override { Note("background", name, a, b); }
  void* GetStopHandle() override { return stop.get(); }
  Strings notices;
  ce::UniqueHandle stop{ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

 private:
  void Note(const char* what, IQelText* name, int32_t a, int32_t b) {
    notices.push_back(std::string(what) + " " +
                      ceutil::ToUtf8(std::u16string(name->Chars(), name->Length())) + " " +
                      std::to_string(a) + " " + std::to_string(b));
  }
};

class ApplicationProvider final : public CQelObject<IQelService, IID_QELUNNAMED3> {
 public:
  explicit ApplicationProvider(Application* app) : app_(app) {}
  bool GetInterface(GUID iid, void** out) override {
    if (!out || iid != IID_QELUNNAMED3) return false;
    app_->AddRef();
    *out = static_cast<IQelApplicationService*>(app_);
    return true;
  }

 private:
  Application* app_;
};

class AppStart : public ::testing::Test {
 protected:
  void SetUp() override {
    Place("three.exe", "#!qel-program app\nexit=3\n");
    Place("pword.exe", "#!qel-program app\nwindow=Pocket Word\nclose=exit 4\n");
    auto* location = new Location;
    ASSERT_TRUE(FillSlot(Slot::FileLocation, location));
    location->Release();  // the slot's reference remains
  }
  void TearDown() override {
    ReleaseSlot(Slot::FileLocation);
    ReleaseSlot(Slot::Application);
    app_->Release();
  }
  void Place(const std::string& name, const std::string& text) {
    std::ofstream(terminal_.dir() / "fs" / "Windows" / name, std::ios::binary) << text;
  }
  void OfferService() {
    ApplicationProvider provider(app_);
    ASSERT_TRUE(FillSlot(Slot::Application, &provider));
  }

  struct Outcome {
    std::vector<int32_t> results;
    std::vector<std::optional<std::u16string>> texts;
    std::vector<int32_t> exitCodes;
    int missing = 0;
  };
  Outcome Run(std::vector<CommandArgs::Entry> entries, const char16_t* file) {
    CommandArgs args(std::move(entries));
    FileReference reference(file ? file : u"");
    if (file) args.files[1] = &reference;
    Variable variable;
    args.variables[4] = &variable;
    CommandContext context;
    CommandReply reply;
    Brp(&context, &args, &reply);
    return {context.results, context.texts, variable.ints, reply.missing};
  }

  // Closes a window program BRP left running, and waits until it is gone.
  static void CloseWhenThere(const char16_t* title) {
    ce::HWND hwnd = nullptr;
    for (int i = 0; i < 500 && !(hwnd = ce::FindWindowW(u"QelApp", title)); ++i) ce::Sleep(10);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(ce::PostMessageW(hwnd, WM_CLOSE, 0, 0));
    for (int i = 0; i < 500 && ce::IsWindow(hwnd); ++i) ce::Sleep(10);
  }

  qeltest::TestTerminal terminal_;
  Application* app_ = new Application;
};

TEST_F(AppStart, WaitsNotifiesAndHandsBackTheExitCode) {
  const struct {
    const char* what;
    bool service;
    std::vector<CommandArgs::Entry> entries;
    std::vector<int32_t> exitCodes;
    Strings notices;
  } rows[] = {
      {"waits for 3", true, {"BRP", "f", "1", "", "$v"}, {3}, {"foreground three.exe 0 0"}},
      {"waits by default", true, {"BRP", "f"}, {3}, {"foreground three.exe 0 0"}},
      {"to the back", true, {"BRP", "f", "1", "", "$v", "0"}, {3}, {"background three.exe 0 0"}},
      {"without the service, on the process alone", false, {"BRP", "f", "1", "", "$v"}, {3}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.service) OfferService();
    app_->notices.clear();
    const Outcome o = Run(row.entries, u"\\Windows\\three.exe");
    EXPECT_TRUE(o.results.empty());
    EXPECT_EQ(o.exitCodes, row.exitCodes);
    EXPECT_EQ(app_->notices, row.notices);
    ReleaseSlot(Slot::Application);
  }
}

TEST_F(AppStart, WithoutWaitingReturnsAtOnceAndSetsNothing) {
  OfferService();
  // The program runs until it is closed: a wait would never return.
  const Outcome o = Run({"BRP", "f", "0", "", "$v", "0"}, u"\\Windows\\pword.exe");
  EXPECT_TRUE(o.results.empty());
  EXPECT_TRUE(o.exitCodes.empty());
  EXPECT_EQ(app_->notices, Strings{"background pword.exe 0 0"});
  ce::HWND hwnd = nullptr;
  for (int i = 0; i < 500 && !(hwnd = ce::FindWindowW(u"QelApp", u"Pocket Word")); ++i) ce::Sleep(10);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(ce::GetForegroundWindow(), nullptr) << "sent to the back, nothing comes forward";
  CloseWhenThere(u"Pocket Word");
}

TEST_F(AppStart, BringsTheProgramsWindowForward) {
  // Another program's window is in front first.
  Place("other.exe", "#!qel-program app\nwindow=Other\n");
  ASSERT_TRUE(Run({"BRP", "f", "0"}, u"\\Windows\\other.exe").results.empty());
  const ce::HWND other = ce::FindWindowW(u"QelApp", u"Other");
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(ce::GetForegroundWindow(), other);

  ASSERT_TRUE(Run({"BRP", "f", "0"}, u"\\Windows\\pword.exe").results.empty());
  const ce::HWND hwnd = ce::FindWindowW(u"QelApp", u"Pocket Word");
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(ce::GetForegroundWindow(), hwnd);
  CloseWhenThere(u"Pocket Word");
  CloseWhenThere(u"Other");
}

TEST_F(AppStart, TheStopHandleEndsTheWaitWithoutTheExitCode) {
  OfferService();
  ASSERT_TRUE(ce::SetEvent(app_->stop.get()));
  const Outcome o = Run({"BRP", "f", "1", "", "$v", "0"}, u"\\Windows\\pword.exe");
  EXPECT_TRUE(o.results.empty());
  EXPECT_TRUE(o.exitCodes.empty());
  CloseWhenThere(u"Pocket Word");
}

TEST_F(AppStart, FailuresAreReportedAndStartNothing) {
  OfferService();
  Place("text.exe", "not a program\n");
  const struct {
    const char* what;
    std::vector<CommandArgs::Entry> entries;
    const char16_t* file;
    std::vector<int32_t> results;
    std::optional<std::u16string> text;
    int missing;
  } rows[] = {
      {"no file", {"BRP", "f"}, nullptr, {1}, u"Invalid File.", 0},
      {"too few", {"BRP"}, u"\\Windows\\three.exe", {}, std::nullopt, 1},
      {"missing",
       {"BRP", "f", "1", "", "$v"},
       u"\\Windows\\none.exe",
       {2},
       u"The system cannot find the file specified.\r\n",
       0},
      {"no program",
       {"BRP", "f", "1", "", "$v"},
       u"\\Windows\\text.exe",
       {193},
       u"%1 is not a valid Win32 application.\r\n",
       0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const Outcome o = Run(row.entries, row.file);
    EXPECT_EQ(o.results, row.results);
    if (row.text) {
      ASSERT_EQ(o.texts.size(), 1u);
      EXPECT_EQ(o.texts[0], row.text);
    }
    EXPECT_EQ(o.missing, row.missing);
    EXPECT_TRUE(o.exitCodes.empty());
  }
}

TEST_F(AppStart, WithoutTheFileLocationServiceFails) {
  ReleaseSlot(Slot::FileLocation);
  CommandArgs args({"BRP", "f"});
  FileReference reference(u"\\Windows\\three.exe");
  args.files[1] = &reference;
  CommandContext context;
  CommandReply reply;
  Brp(&context, &args, &reply);
  EXPECT_EQ(reply.failures, std::vector<std::u16string>{u"QelService IID_QELFILELOCATION not found."});
}

}  // namespace
}  // namespace qel
