// The file object on a fresh terminal: open modes, folders made for writing,
// sizes and positions, the change check and the last-write time.
#include "foundation/file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "ce/files.h"
#include "ce/handle.h"
#include "ce/time.h"
#include "ceutil/text.h"
#include "slot.h"
#include "test_terminal.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
constexpr uint32_t kFailed32 = 0xFFFFFFFFu;
constexpr uint64_t kFailed64 = ~uint64_t{0};

class QelFileTest : public ::testing::Test {
 protected:
  void SetUp() override { file_ = CQelFile::Create(); }
  void TearDown() override { file_->Release(); }

  fs::path Host(const std::string& relative) const { return terminal_.dir() / "fs" / relative; }
  void Put(const std::string& relative, const std::string& content) const {
    fs::create_directories(Host(relative).parent_path());
    std::ofstream(Host(relative), std::ios::binary) << content;
  }
  std::string Contents(const std::string& relative) const { return qeltest::Contents(Host(relative)); }

  qeltest::TestTerminal terminal_;
  CQelFile* file_ = nullptr;
};

TEST_F(QelFileTest, OpenModes) {
  struct Case {
    uint32_t mode;
    bool exists;
    bool opens;
    uint64_t size;  // after opening
    bool reads, writes;
  };
  const Case cases[] = {
      {0x00, false, false, 0, false, false},  // read: an existing file only
      {0x00, true, true, 5, true, false},    {0x01, false, true, 0, false, true},  // write: opened or created
      {0x01, true, true, 5, false, true},    {0x02, false, true, 0, true, true},
      {0x02, true, true, 5, true, true},     {0x1001, true, true, 0, false, true},  // created anew
      {0x1002, true, true, 0, true, true},   {0x1000, false, true, 0, true, false},
      {0x2001, true, true, 5, false, true},  // opened or created
      {0x2000, false, true, 0, true, false}, {0x3001, true, true, 5, false, true},
      {0x0801, true, true, 5, false, true},  // other high bits change nothing
      {0x05, true, true, 5, false, false},   // no access rights
      {0x05, false, false, 0, false, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "case" + std::to_string(n++) + ".txt";
    if (c.exists) Put(name, "hello");
    const std::u16string path = u"\\" + ceutil::FromUtf8(name);
    SCOPED_TRACE(name + " mode " + std::to_string(c.mode));
    CQelFile* f = CQelFile::Create();
    ASSERT_EQ(f->Open(path.c_str(), c.mode), c.opens);
    EXPECT_EQ(f->IsOpen(), c.opens);
    EXPECT_EQ(fs::exists(Host(name)), c.exists || c.opens);
    if (c.opens) {
      EXPECT_EQ(f->GetSize(), c.size);
      char buffer[8];
      EXPECT_EQ(f->Read(buffer, 2) != kFailed32, c.reads);
      EXPECT_EQ(f->Write("xy", 2) != kFailed32, c.writes);
    }
    EXPECT_EQ(f->Release(), 0);  // closes
  }
}

TEST_F(QelFileTest, OpeningForWritingMakesTheFolders) {
  ASSERT_TRUE(file_->Open(u"\\A\\B\\c.txt", kQelFileWrite));
  EXPECT_TRUE(fs::is_directory(Host("A/B")));
  EXPECT_EQ(file_->Write("abc", 3), 3u);
  EXPECT_TRUE(file_->Close());
  EXPECT_EQ(Contents("A/B/c.txt"), "abc");

  ASSERT_TRUE(file_->Open(u"/A/D/E/f.txt", kQelFileReadWrite));  // "/" counts as "\" for the folders
  EXPECT_TRUE(fs::is_directory(Host("A/D/E")));
  EXPECT_TRUE(file_->Close());

  EXPECT_FALSE(file_->Open(u"\\P\\Q\\r.txt", kQelFileRead));  // reading makes no folders
  EXPECT_FALSE(fs::exists(Host("P")));

  Put("F", "a file where a folder should be");
  EXPECT_FALSE(file_->Open(u"\\F\\G\\h.txt", kQelFileWrite));
  EXPECT_FALSE(fs::exists(Host("F/G")));
}

TEST_F(QelFileTest, OpenTwiceKeepsTheFirstFileAndCloseIsIdempotent) {
  Put("one.txt", "1");
  EXPECT_EQ(file_->GetPath(), nullptr);
  ASSERT_TRUE(file_->Open(u"\\one.txt", kQelFileRead));
  EXPECT_TRUE(file_->Open(u"\\missing.txt", kQelFileRead));
  CQelCountedText* path = file_->GetPath();
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(ceutil::ToUtf8(path->Chars()), "\\one.txt");
  EXPECT_EQ(path->Length(), 8u);
  EXPECT_EQ(path->Release(), 0);
  EXPECT_TRUE(file_->Close());
  EXPECT_TRUE(file_->Close());
  EXPECT_FALSE(file_->IsOpen());
  EXPECT_FALSE(file_->Flush());
  EXPECT_EQ(file_->GetPath(), nullptr);
  char c;
  EXPECT_EQ(file_->Read(&c, 1), kFailed32);
  EXPECT_EQ(file_->GetSize(), kFailed64);
  EXPECT_EQ(file_->Seek(0, 0, 0), kFailed64);
  EXPECT_EQ(file_->GetLastWriteTime(), nullptr);
  EXPECT_FALSE(file_->Open(nullptr, kQelFileWrite));
}

TEST_F(QelFileTest, SetSizeSeekAndTell) {
  Put("data.bin", std::string(100, 'x'));
  ASSERT_TRUE(file_->Open(u"\\data.bin", kQelFileReadWrite));
  EXPECT_EQ(file_->Seek(40, 0, 0), 40u);
  ASSERT_TRUE(file_->SetSize(10, 0));
  EXPECT_EQ(file_->GetSize(), 10u);
  EXPECT_EQ(file_->Tell(), 0u);

  struct Step {
    uint32_t low, high, origin;
    uint64_t expected;
  };
  const Step steps[] = {
      {5, 0, 0, 5},
      {3, 0, 1, 8},
      {0xFFFFFFFE, 0xFFFFFFFF, 2, 8},          // -2 from the end
      {0, 1, 0, 0x100000000ull},               // past the end is allowed
      {0xFFFFFFFF, 0xFFFFFFFF, 0, kFailed64},  // before the start
      {0, 0, 7, kFailed64},                    // no such origin
  };
  for (const Step& s : steps) EXPECT_EQ(file_->Seek(s.low, s.high, s.origin), s.expected) << s.origin;
  EXPECT_TRUE(file_->SetSize(20, 0));  // growing works too
  EXPECT_EQ(file_->GetSize(), 20u);
  EXPECT_TRUE(file_->Close());
  EXPECT_EQ(Contents("data.bin"), std::string(10, 'x') + std::string(10, '\0'));

  ASSERT_TRUE(file_->Open(u"\\data.bin", kQelFileRead));
  EXPECT_FALSE(file_->SetSize(5, 0));  // no write access
  EXPECT_EQ(file_->GetSize(), 20u);
}

TEST_F(QelFileTest, HasChangedComparesWithTheLastClose) {
  Put("log.txt", "first");
  ASSERT_TRUE(file_->Open(u"\\log.txt", kQelFileRead));
  EXPECT_TRUE(file_->HasChanged());  // never closed: nothing recorded yet
  ASSERT_TRUE(file_->Close());
  EXPECT_TRUE(file_->HasChanged());  // closed: no file information to read

  ASSERT_TRUE(file_->Open(u"\\log.txt", kQelFileRead));
  EXPECT_FALSE(file_->HasChanged());
  ASSERT_TRUE(file_->Close());

  // Another writer appends one byte while the file is closed...
  ce::UniqueHandle other(ce::CreateFileW(u"\\log.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  ce::SetFilePointer(other.get(), 0, nullptr, FILE_END);
  ce::DWORD written = 0;
  ASSERT_TRUE(ce::WriteFile(other.get(), "!", 1, &written, nullptr));
  other.reset();
  ASSERT_TRUE(file_->Open(u"\\log.txt", kQelFileRead));
  EXPECT_TRUE(file_->HasChanged());
  ASSERT_TRUE(file_->Close());

  // ...and while it is open, from outside the device's share rules.
  ASSERT_TRUE(file_->Open(u"\\log.txt", kQelFileRead));
  EXPECT_FALSE(file_->HasChanged());
  std::ofstream(Host("log.txt"), std::ios::app) << "?";
  EXPECT_TRUE(file_->HasChanged());
  ASSERT_TRUE(file_->Close());

  // Its own writes are recorded when it closes.
  ASSERT_TRUE(file_->Open(u"\\log.txt", kQelFileWrite));
  EXPECT_EQ(file_->Seek(0, 0, 2), 7u);
  EXPECT_EQ(file_->Write("more", 4), 4u);
  ASSERT_TRUE(file_->Close());
  ASSERT_TRUE(file_->Open(u"\\log.txt", kQelFileRead));
  EXPECT_FALSE(file_->HasChanged());
}

TEST_F(QelFileTest, LastWriteTimeIsTheFilesUtcTime) {
  ce::SYSTEMTIME before{};
  ce::GetSystemTime(&before);
  ASSERT_TRUE(file_->Open(u"\\Temp\\t.txt", kQelFileWrite));
  ASSERT_EQ(file_->Write("t", 1), 1u);
  ASSERT_TRUE(file_->Flush());
  IQelDateTime* written = file_->GetLastWriteTime();
  ASSERT_NE(written, nullptr);
  EXPECT_TRUE(written->IsValid());

  ce::WIN32_FIND_DATAW found{};
  ce::HANDLE find = ce::FindFirstFileW(u"\\Temp\\t.txt", &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  ce::FindClose(find);
  ce::SYSTEMTIME listed{};
  ASSERT_TRUE(ce::FileTimeToSystemTime(&found.ftLastWriteTime, &listed));
  EXPECT_EQ(written->GetYear(), listed.wYear);
  EXPECT_EQ(written->GetMonth(), listed.wMonth);
  EXPECT_EQ(written->GetDay(), listed.wDay);
  EXPECT_EQ(written->GetHour(), listed.wHour);
  EXPECT_EQ(written->GetMinute(), listed.wMinute);
  EXPECT_EQ(written->GetSecond(), listed.wSecond);
  EXPECT_EQ(written->GetMillisecond(), listed.wMilliseconds);
  // The system clock and the file time agree to within the test's own run.
  const int beforeMinute = before.wHour * 60 + before.wMinute;
  const int writtenMinute = int(written->GetHour() * 60 + written->GetMinute());
  EXPECT_LE((writtenMinute - beforeMinute + 1440) % 1440, 1);
  EXPECT_EQ(written->Release(), 0);
}

TEST(SlotLayout, FileInterface) {
  EXPECT_EQ(SlotOf(&IQelFile::AddRef), 0u);
  EXPECT_EQ(SlotOf(&IQelFile::Release), 1u);
  EXPECT_EQ(SlotOf(&IQelFile::Open), 2u);
  EXPECT_EQ(SlotOf(&IQelFile::Close), 3u);
  EXPECT_EQ(SlotOf(&IQelFile::Flush), 4u);
  EXPECT_EQ(SlotOf(&IQelFile::IsOpen), 5u);
  EXPECT_EQ(SlotOf(&IQelFile::HasChanged), 6u);
  EXPECT_EQ(SlotOf(&IQelFile::Read), 7u);
  EXPECT_EQ(SlotOf(&IQelFile::Write), 8u);
  EXPECT_EQ(SlotOf(&IQelFile::GetSize), 9u);
  EXPECT_EQ(SlotOf(&IQelFile::SetSize), 10u);
  EXPECT_EQ(SlotOf(&IQelFile::Seek), 11u);
  EXPECT_EQ(SlotOf(&IQelFile::Tell), 12u);
  EXPECT_EQ(SlotOf(&IQelFile::GetLastWriteTime), 13u);
  EXPECT_EQ(SlotOf(&IQelFile::GetPath), 14u);
  // The interface first, the counting part second.
  CQelFile* f = CQelFile::Create();
  EXPECT_EQ(static_cast<void*>(static_cast<IQelFile*>(f)), static_cast<void*>(f));
  EXPECT_EQ(static_cast<CQelRefCounted*>(f)->Release(), 0);
}

}  // namespace
}  // namespace qel
