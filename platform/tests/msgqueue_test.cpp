#include "ce/msgqueue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "conformance.h"

namespace ce {
namespace {

MSGQUEUEOPTIONS Options(BOOL read, DWORD maxMessages = 0, DWORD maxBytes = 16) {
  return {sizeof(MSGQUEUEOPTIONS), MSGQUEUE_NOPRECOMMIT, maxMessages, maxBytes, read};
}

struct QueueTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return nullptr; }
  static bool Held(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { CloseMsgQueue(h); }
};
using UniqueQueue = Unique<QueueTraits>;

TEST(MsgQueues, NamedEndsCarryMessagesInOrderAndSignalWhileTheyWait) {
  auto ro = Options(TRUE), wo = Options(FALSE);
  UniqueQueue reader(CreateMsgQueue(u"qel test queue", &ro));
  if (cetest::DesktopLacks(reader.valid())) GTEST_SKIP() << "message queues are the device's alone";
  SetLastError(0xDEADBEEF);
  UniqueQueue writer(CreateMsgQueue(u"qel test queue", &wo));  // names keep their case
  ASSERT_TRUE(reader.valid() && writer.valid());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitForSingleObject(reader.get(), 0), DWORD(WAIT_TIMEOUT));
  ASSERT_TRUE(WriteMsgQueue(writer.get(), "first", 5, 0, 0));
  ASSERT_TRUE(WriteMsgQueue(writer.get(), "second!", 7, 0, 0));
  EXPECT_EQ(WaitForSingleObject(reader.get(), 0), WAIT_OBJECT_0);

  char small[4], buffer[16];
  DWORD read = 0, flags = 1;
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(ReadMsgQueue(reader.get(), small, sizeof small, &read, 0, &flags));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));  // and the message is kept
  ASSERT_TRUE(ReadMsgQueue(reader.get(), buffer, sizeof buffer, &read, 0, &flags));
  EXPECT_EQ(std::string(buffer, read), "first");
  ASSERT_TRUE(ReadMsgQueue(reader.get(), buffer, sizeof buffer, &read, INFINITE, &flags));
  EXPECT_EQ(std::string(buffer, read), "second!");
  EXPECT_EQ(WaitForSingleObject(reader.get(), 0), DWORD(WAIT_TIMEOUT));
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(ReadMsgQueue(reader.get(), buffer, sizeof buffer, &read, 10, &flags));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_TIMEOUT));
}

TEST(MsgQueues, LimitsAndWrongEndsAreRefused) {
  auto ro = Options(TRUE, 1, 4), wo = Options(FALSE, 1, 4);
  UniqueQueue reader(CreateMsgQueue(u"qel limits", &ro));
  if (cetest::DesktopLacks(reader.valid())) GTEST_SKIP() << "message queues are the device's alone";
  UniqueQueue writer(CreateMsgQueue(u"qel limits", &wo));
  char buffer[8] = {};
  DWORD read = 0, flags = 0;
  const struct {
    const char* what;
    BOOL result;
    DWORD error;
  } cases[] = {
      {"too big", WriteMsgQueue(writer.get(), "12345", 5, 0, 0), ERROR_INSUFFICIENT_BUFFER},
      {"fits", WriteMsgQueue(writer.get(), "1234", 4, 0, 0), 0},
      {"full", WriteMsgQueue(writer.get(), "1", 1, 0, 0), ERROR_OUTOFMEMORY},
      {"write to the read end", WriteMsgQueue(reader.get(), "1", 1, 0, 0), ERROR_ACCESS_DENIED},
      {"read from the write end", ReadMsgQueue(writer.get(), buffer, 8, &read, 0, &flags),
       ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.result, c.error == 0 ? TRUE : FALSE);
  }
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(WriteMsgQueue(writer.get(), "1", 1, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_OUTOFMEMORY));
  MSGQUEUEOPTIONS bad = Options(TRUE);
  bad.dwSize = 12;
  SetLastError(0xDEADBEEF);
  EXPECT_EQ(CreateMsgQueue(nullptr, &bad), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace ce
