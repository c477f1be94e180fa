// The plug-in inventory on real images the build made, placed in a fresh
// terminal, with the host's directory listing scripted by the test.
#include "terminal/inventory_property.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ce/sim/control.h"
#include "ceutil/text.h"
#include "core/module_slots.h"
#include "qel/command.h"
#include "qel/counted_text.h"
#include "qel/guids.h"
#include "qel/object.h"
#include "qelcommon/value.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;

struct Entry {
  std::u16string name;
  bool directory = false;
};

// A listing in a fixed order; counts the names it hands out and gets back.
class Listing final : public IQelFileEnumerator {
 public:
  Listing(std::vector<Entry> entries, int* alive, bool* disposed)
      : entries_(std::move(entries)), alive_(alive), disposed_(disposed) {}
  void Dispose() override {
    *disposed_ = true;
    delete this;
  }
  IQelFileAttributes* Attributes() override {
    attributes_.directory = entries_[at_].directory;
    return &attributes_;
  }
  IQelName* Name() override { return new CountedName(entries_[at_].name, alive_); }
  bool Next(IQelName** name) override {
    if (at_ + 1 >= entries_.size()) return false;
    *name = new CountedName(entries_[++at_].name, alive_);
    return true;
  }

 private:
  struct Kind final : IQelFileAttributes {
    bool IsDirectory() override { return directory; }
    bool directory = false;
  };
  class CountedName final : public IQelName {
   public:
    CountedName(std::u16string text, int* alive) : text_(std::move(text)), alive_(alive) { ++*alive_; }
    ~CountedName() override { --*alive_; }
    uint32_t Length() const override { return uint32_t(text_.size()); }
    const char16_t* Chars() const override { return text_.c_str(); }

   private:
    std::u16string text_;
    int* alive_;
  };
  std::vector<Entry> entries_;
  size_t at_ = 0;
  Kind attributes_;
  int* alive_;
  bool* disposed_;
};

class Files final : public qel::CQelObject<IQelFileSystemService, qel::IID_QELFILESYSTEMSERVICE> {
 public:
  bool Enumerate(IQelText* pattern, IQelFileEnumerator** out) override {
    patterns.emplace_back(pattern->Chars(), pattern->Length());
    if (entries.empty()) return false;
    *out = new Listing(entries, &names, &disposed);
    return true;
  }
  bool Exists(IQelFileReference*) override { return false; }
  bool PrepareDirectory(IQelFileReference*) override { return false; }

  std::vector<Entry> entries;
  std::vector<std::u16string> patterns;
  int names = 0;
  bool disposed = false;
};

class Inventory : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(qel::FillSlot(qel::Slot::FileSystem, files_), nullptr); }
  void TearDown() override {
    qel::ReleaseSlot(qel::Slot::FileSystem);
    files_->Release();
    ce::sim::SetProgramPath(u"");
  }

  // Copies one of the build's images to a device path of the terminal.
  void Place(const std::string& image, const std::string& devicePath) {
    fs::path target = terminal_.dir() / "fs" / devicePath;
    fs::create_directories(target.parent_path());
    fs::copy_file(fs::path(QEL_PE_DIR) / image, target, fs::copy_options::overwrite_existing);
  }

  // The getter's text, or nullopt when it failed (the value then still holds 7).
  std::optional<std::u16string> Read() {
    CQelValue value;
    value.SetInt32(7);
    if (!qel::GetVersionList(&value, nullptr)) {
      int32_t n = 0;
      EXPECT_TRUE(value.GetInt32(&n) && n == 7) << "a failed read changed the value";
      return std::nullopt;
    }
    EXPECT_EQ(value.GetKind(), QelKind::String);
    IQelText* text = nullptr;
    if (!value.GetString(&text) || !text) return u"<no text>";
    return std::u16string(text->Chars(), text->Length());
  }

  qeltest::TestTerminal terminal_;
  Files* files_ = new Files;
};

TEST_F(Inventory, ListsTheExecutableItsLibraryAndThePluginsWithAVersion) {
  ce::sim::SetProgramPath(u"\\Program Files\\X\\Client.exe");
  Place("translations32.dll", "Program Files/X/Client.exe");
  Place("translations64.dll", "Program Files/X/Client.dll");
  Place("translations32.dll", "Program Files/X/Plugins/b.mpi");
  Place("noversion.dll", "Program Files/X/Plugins/none.mpi");
  Place("translations64.dll", "Program Files/X/Plugins/a.mpi");
  fs::create_directories(terminal_.dir() / "fs/Program Files/X/Plugins/dir.mpi");
  // The host's order, not the alphabet's; a directory and a file without a
  // version resource are passed over, as is a name the folder does not hold.
  files_->entries = {{u"b.mpi"}, {u"dir.mpi", true}, {u"none.mpi"}, {u"gone.mpi"}, {u"a.mpi"}};

  EXPECT_EQ(Read(), u"Client.exe (1.2.3.4);Client.dll (1.2.3.4);b.mpi (1.2.3.4);a.mpi (1.2.3.4);");
  EXPECT_EQ(files_->patterns, std::vector<std::u16string>{u"\\Program Files\\X\\Plugins\\*.mpi"});
  EXPECT_EQ(files_->names, 0) << "every name object is released";
  EXPECT_TRUE(files_->disposed);
}

TEST_F(Inventory, EntriesWithoutAVersionAreLeftOut) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> images;  // image, device path
    std::vector<Entry> listing;
    std::optional<std::u16string> expected;
  };
  const Case cases[] = {
      {"nothing has a version", {{"noversion.dll", "Program Files/X/Client.exe"}}, {}, std::nullopt},
      {"only the library",
       {{"translations32.dll", "Program Files/X/Client.dll"}},
       {},
       u"Client.dll (1.2.3.4);"},
      {"only a plug-in, the host listing nothing else",
       {{"translations32.dll", "Program Files/X/Plugins/p.mpi"}},
       {{u"p.mpi"}},
       u"p.mpi (1.2.3.4);"},
      {"a plug-in folder the host cannot list",
       {{"translations32.dll", "Program Files/X/Client.exe"}},
       {},
       u"Client.exe (1.2.3.4);"},
      {"only a directory listed", {}, {{u"d.mpi", true}}, std::nullopt},
  };
  ce::sim::SetProgramPath(u"\\Program Files\\X\\Client.exe");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(terminal_.dir() / "fs/Program Files/X");
    for (const auto& [image, path] : c.images) Place(image, path);
    files_->entries = c.listing;
    EXPECT_EQ(Read(), c.expected);
    EXPECT_EQ(files_->names, 0);
  }
}

TEST_F(Inventory, ThePathDecidesTheLibraryAndThePluginFolder) {
  struct Case {
    const char16_t* program;
    std::vector<std::u16string> patterns;  // what the host was asked to list
    std::optional<std::u16string> expected;
  };
  Place("translations32.dll", "Program Files/Q.v2/Host");
  Place("translations64.dll", "Program Files/Q.v2/Host.dll");
  Place("translations32.dll", "Program Files/Q.v2.dll");
  const Case cases[] = {
      // A dot only before the last backslash names no library: none is looked for.
      {u"\\Program Files\\Q.v2\\Host", {u"\\Program Files\\Q.v2\\Plugins\\*.mpi"}, u"Host (1.2.3.4);"},
      // A path without a backslash has no folder: no plug-ins either.
      {u"Host.exe", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ceutil::ToUtf8(c.program));
    files_->patterns.clear();
    ce::sim::SetProgramPath(c.program);
    EXPECT_EQ(Read(), c.expected);
    EXPECT_EQ(files_->patterns, c.patterns);
  }
}

TEST_F(Inventory, WithoutTheHostsFileServiceOnlyTheHostsOwnFilesAreListed) {
  qel::ReleaseSlot(qel::Slot::FileSystem);
  ce::sim::SetProgramPath(u"\\Program Files\\Qel\\qelhost.exe");
  const std::u16string v = ceutil::FromUtf8(QEL_PROJECT_VERSION);
  EXPECT_EQ(Read(), u"qelhost.exe (" + v + u");qelhost.dll (" + v + u");");
  ASSERT_NE(qel::FillSlot(qel::Slot::FileSystem, files_), nullptr);  // for TearDown
}

}  // namespace
