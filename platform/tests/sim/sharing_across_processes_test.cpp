// Another program's open counts as much as one of this program's: a child
// process, forked with the terminal in use, holds the file open for writing,
// denying other writers. (The processes of a desktop system are its kernel's
// business; here the simulation keeps the opens of every process on a terminal.)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

using SimFiles = cetest::FolderTest;

TEST_F(SimFiles, SharingHoldsAcrossProcesses) {
  Put(u"shared.txt", "data");
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HANDLE h = CreateFileW(At(u"shared.txt").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    const char ok = h != INVALID_HANDLE_VALUE ? 'y' : 'n';
    char c;
    if (::write(ready[1], &ok, 1) != 1 || ::read(done[0], &c, 1) != 1) ::_exit(2);
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  EXPECT_EQ(ok, 'y');
  const struct {
    DWORD access, share, disposition, error;
  } rows[] = {
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
       ERROR_SHARING_VIOLATION},  // denied writer
      {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
       ERROR_SHARING_VIOLATION},  // would deny the child's writing
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS,
       ERROR_SHARING_VIOLATION},  // no truncation
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, ERROR_SUCCESS},
      {0, 0, OPEN_EXISTING, ERROR_SUCCESS},  // attributes only
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.access << "/" << row.share << "/" << row.disposition);
    SetLastError(kSentinel);
    UniqueHandle h(
        CreateFileW(At(u"shared.txt").c_str(), row.access, row.share, nullptr, row.disposition, 0, nullptr));
    EXPECT_EQ(h.valid(), row.error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), row.error);
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(DeleteFileW(At(u"shared.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

  ASSERT_EQ(::write(done[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
  EXPECT_EQ(Get(u"shared.txt"), "data") << "the refused opens changed nothing";
  UniqueHandle writer(
      CreateFileW(At(u"shared.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(writer) << "the child's open ended with it";
}

}  // namespace
}  // namespace ce
