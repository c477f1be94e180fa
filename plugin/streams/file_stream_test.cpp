// The file stream on the terminal's files, with and without the host's file
// location and file services held.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "ce/files.h"
#include "core/module_slots.h"
#include "qel/command.h"
#include "qel/guids.h"
#include "qel/object.h"
#include "stream_doubles.h"
#include "test_terminal.h"

namespace {

using namespace qeltest;

bool Exists(const char16_t* path) { return ce::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

class FileStream : public ::testing::Test {
 protected:
  TestTerminal terminal;
};

TEST_F(FileStream, WritesAppendReadsRunOnAndResetRewinds) {
  StreamPtr s = MakeStream(u"FILE");
  ASSERT_TRUE(s);
  ASSERT_TRUE(Configure(s.get(), {u"\\Temp\\stream.txt"}));
  EXPECT_EQ(s->Write("x", 1, 0), -1) << "closed";
  EXPECT_EQ(s->Read(nullptr, 1, 0), -1);
  EXPECT_FALSE(s->Reset());
  s->Open(0);  // the time-out means nothing to a file
  EXPECT_TRUE(Exists(u"\\Temp\\stream.txt")) << "a missing file is made";
  EXPECT_EQ(ReadSome(s.get(), 10), "") << "empty";

  EXPECT_EQ(s->Write("hello ", 6, 0), 6);
  EXPECT_EQ(s->Write("world", 5, 0), 5);
  EXPECT_EQ(ReadSome(s.get(), 100), "") << "the position is at the end";
  ASSERT_TRUE(s->Reset());
  EXPECT_EQ(ReadSome(s.get(), 5), "hello");
  EXPECT_EQ(s->Write("!", 1, 0), 1) << "still appends";
  EXPECT_EQ(ReadSome(s.get(), 100), "");
  ASSERT_TRUE(s->Reset());
  EXPECT_EQ(ReadSome(s.get(), 100), "hello world!");

  EXPECT_EQ(s->Write(nullptr, 1, 0), -1);
  EXPECT_EQ(s->Write("x", 0, 0), -1);
  EXPECT_EQ(s->Read(nullptr, 1, 0), -1);
  char one;
  EXPECT_EQ(s->Read(&one, 0, 0), -1);
  EXPECT_TRUE(s->IsConnected());
  EXPECT_FALSE(s->Interrupt());
  EXPECT_FALSE(s->SetAddress(u"a:1"));
  EXPECT_EQ(s->GetAddress(), nullptr);
  EXPECT_TRUE(s->Close());
  EXPECT_EQ(s->Read(&one, 1, 0), -1);
}

TEST_F(FileStream, NoOneElseOpensTheFileWhileTheStreamHasIt) {
  StreamPtr first = MakeStream(u"FILE"), second = MakeStream(u"FILE");
  ASSERT_TRUE(Configure(first.get(), {u"\\Temp\\shared.txt"}));
  ASSERT_TRUE(Configure(second.get(), {u"\\temp\\SHARED.TXT"}));
  first->Open(0);
  second->Open(0);
  EXPECT_EQ(first->Write("a", 1, 0), 1);
  EXPECT_EQ(second->Write("b", 1, 0), -1) << "the second could not open it";
  ce::UniqueHandle other(ce::CreateFileW(u"\\Temp\\shared.txt", GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
  EXPECT_FALSE(other);
  first->Close();
  second->Open(0);
  EXPECT_EQ(second->Write("b", 1, 0), 1);
}

TEST_F(FileStream, ConfigureNeedsANameAndKeepsTheLastOne) {
  StreamPtr s = MakeStream(u"file");
  ASSERT_TRUE(s) << "the type name in any case";
  EXPECT_FALSE(Configure(s.get(), {}));
  ASSERT_TRUE(Configure(s.get(), {u"\\Temp\\kept.txt"}));
  EXPECT_FALSE(Configure(s.get(), {u""}));
  EXPECT_FALSE(Configure(s.get(), {nullptr}));
  s->Open(0);
  EXPECT_TRUE(Exists(u"\\Temp\\kept.txt"));
  EXPECT_FALSE(MakeStream(u"FILES"));
  s->Close();

  StreamPtr nowhere = MakeStream(u"FILE");
  ASSERT_TRUE(Configure(nowhere.get(), {u"\\No such folder\\x.txt"}));
  nowhere->Open(0);
  EXPECT_EQ(nowhere->Write("x", 1, 0), -1) << "a file whose folder is missing does not open";
}

// A file the host's services know: what the stream opens, and what it gives back.
class CountedFile final : public IQelFileReference {
 public:
  CountedFile(std::u16string path, std::atomic<int>* alive) : path_(std::move(path)), alive_(alive) {
    ++*alive_;
  }
  ~CountedFile() override { --*alive_; }
  const char16_t* FullPath() override { return path_.c_str(); }

 private:
  std::u16string path_;
  std::atomic<int>* alive_;
};

class Location final : public qel::CQelObject<IQelFileLocation, qel::IID_QELFILELOCATION> {
 public:
  IQelFileReference* Resolve(IQelText* name) override {
    resolved = std::u16string(name->Chars(), name->Length());
    return new CountedFile(u"\\Temp\\resolved-" + resolved, &alive);
  }
  std::u16string resolved;
  std::atomic<int> alive{0};
};

class Token final : public qel::CQelObject<IQelService, qel::IID_QELFILESERVICE> {};

class Files final : public qel::CQelObject<IQelFileService, qel::IID_QELFILESERVICE> {
 public:
  IQelFileReference* Find(IQelText*) override { return nullptr; }
  IQelService* Prepare(IQelFileReference* file) override {
    prepared = file ? file->FullPath() : u"(null)";
    token = new Token;
    token->AddRef();  // ours, to count what the stream leaves
    return token;
  }
  std::u16string prepared;
  Token* token = nullptr;
};

TEST_F(FileStream, TheHostsServicesNameTheFileAndAreLetGo) {
  auto* location = new Location;
  auto* files = new Files;
  ASSERT_NE(qel::FillSlot(qel::Slot::FileLocation, location), nullptr);
  ASSERT_NE(qel::FillSlot(qel::Slot::FileService, files), nullptr);
  {
    StreamPtr s = MakeStream(u"FILE");
    ASSERT_TRUE(Configure(s.get(), {u"log.txt"}));
    s->Open(0);
    EXPECT_EQ(location->resolved, u"log.txt");
    EXPECT_EQ(files->prepared, u"\\Temp\\resolved-log.txt");
    EXPECT_EQ(location->alive, 0) << "the reference is released once the file is open";
    ASSERT_NE(files->token, nullptr);
    EXPECT_EQ(files->token->RefCount(), 1) << "what Prepare gave back is released";
    EXPECT_EQ(s->Write("x", 1, 0), 1);
    EXPECT_TRUE(Exists(u"\\Temp\\resolved-log.txt"));
  }
  files->token->Release();
  qel::ReleaseSlot(qel::Slot::FileLocation);
  qel::ReleaseSlot(qel::Slot::FileService);
  location->Release();
  files->Release();
}

TEST_F(FileStream, WithoutAFileReferenceTheNameIsThePath) {
  auto* files = new Files;
  ASSERT_NE(qel::FillSlot(qel::Slot::FileService, files), nullptr);
  {
    StreamPtr s = MakeStream(u"FILE");
    ASSERT_TRUE(Configure(s.get(), {u"\\Temp\\plain.txt"}));
    s->Open(0);
    EXPECT_EQ(files->prepared, u"(null)");
    EXPECT_TRUE(Exists(u"\\Temp\\plain.txt"));
  }
  files->token->Release();
  qel::ReleaseSlot(qel::Slot::FileService);
  files->Release();
}

}  // namespace
