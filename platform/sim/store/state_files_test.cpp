// The one rule for a terminal's state files: a link, a FIFO or a folder in a
// state file's place is refused, naming the path and the cause, and the
// temporaries of killed writers are removed.
#include "state_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "dead_pid.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ce::sim::HostFd;
using ce::sim::OpenStateFile;

constexpr char kRule[] = "; a terminal's state files must be regular files";

TEST(StateFiles, ALinkIsRefusedAndNeverFollowed) {
  qeltest::TempDir temp;
  const fs::path dir = temp.path() / "t";
  fs::create_directories(dir);
  std::ofstream(temp.path() / "victim.txt") << "mine\n";
  for (const char* name : {"events.log", "notifications.lock", "hardware.lock", "terminal.json"}) {
    SCOPED_TRACE(name);
    fs::create_symlink("../victim.txt", dir / name);
    std::string error;
    for (int flags : {O_RDONLY, O_WRONLY | O_APPEND | O_CREAT, O_RDWR | O_CREAT}) {
      EXPECT_FALSE(OpenStateFile(dir, name, flags, &error));
      EXPECT_EQ(error, (dir / name).string() + ": is a symbolic link" + kRule);
    }
    EXPECT_FALSE(ce::sim::CheckStateFiles(dir, &error));
    EXPECT_EQ(error, (dir / name).string() + ": is a symbolic link" + kRule);
    fs::remove(dir / name);
  }
  // A link to a file that does not exist is not made to exist.
  fs::create_symlink("../made-by-open", dir / "notifications.lock");
  EXPECT_FALSE(OpenStateFile(dir, "notifications.lock", O_RDWR | O_CREAT, nullptr));
  EXPECT_FALSE(fs::exists(temp.path() / "made-by-open"));
  EXPECT_EQ(qeltest::Contents(temp.path() / "victim.txt"), "mine\n");
}

TEST(StateFiles, AFifoOrAFolderIsRefusedWithoutBlocking) {
  qeltest::TempDir temp;
  const fs::path dir = temp.path();
  ASSERT_EQ(::mkfifo((dir / "events.log").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((dir / "hardware.json").c_str(), 0644), 0);
  fs::create_directories(dir / "notifications.json");
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(OpenStateFile(dir, "events.log", O_WRONLY | O_APPEND | O_CREAT, &error));  // no reader
  EXPECT_EQ(error, (dir / "events.log").string() + ": is a FIFO" + kRule);
  EXPECT_FALSE(OpenStateFile(dir, "hardware.json", O_RDONLY, &error));
  EXPECT_EQ(error, (dir / "hardware.json").string() + ": is a FIFO" + kRule);
  EXPECT_FALSE(OpenStateFile(dir, "notifications.json", O_RDONLY, &error));
  EXPECT_EQ(error, (dir / "notifications.json").string() + ": is a folder" + kRule);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(StateFiles, OnlyDeclaredStateFilesAreOpened) {
  qeltest::TempDir temp;
  std::string error;
  bool missing = false;
  EXPECT_FALSE(OpenStateFile(temp.path(), "notes.txt", O_RDWR | O_CREAT, &error, &missing));
  EXPECT_NE(error.find("not a state file"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(temp.path() / "notes.txt"));
  EXPECT_FALSE(OpenStateFile(temp.path(), "events.log", O_RDONLY, &error, &missing));
  EXPECT_TRUE(missing);
  HostFd made = OpenStateFile(temp.path(), "events.log", O_WRONLY | O_APPEND | O_CREAT, &error, &missing);
  EXPECT_TRUE(made) << error;
  EXPECT_FALSE(missing);
  for (const auto name : ce::sim::kStateFiles) EXPECT_TRUE(ce::sim::IsStateFileName(name)) << name;
}

TEST(StateFiles, TheRegistrysCompanionsAreStateFiles) {
  qeltest::TempDir temp;
  const fs::path db = temp.path() / "registry.db";
  std::ofstream(db) << "x";
  std::string error;
  EXPECT_TRUE(ce::sim::CheckDatabaseFiles(db, &error)) << error;
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    const fs::path companion = db.string() + suffix;
    fs::create_symlink(temp.path() / "elsewhere", companion);
    EXPECT_FALSE(ce::sim::CheckDatabaseFiles(db, &error));
    EXPECT_EQ(error, companion.string() + ": is a symbolic link" + kRule);
    fs::remove(companion);
  }
}

// 9. Every temporary a terminal writes, of every replaced state file, is
// removed once its writer is gone; never a living writer's, never while a
// writer holds the file's lock, never a file that only looks like one.
TEST(StateFiles, TemporariesOfKilledWritersAreRemoved) {
  qeltest::TempDir temp;
  const fs::path dir = temp.path();
  const std::string dead = std::to_string(qeltest::DeadPid()), alive = std::to_string(::getpid());
  const std::vector<std::string> stale = {
      ".notifications.json." + dead + ".Ab3dEf",
      ".hardware.json." + dead + ".Zz9zZz",
      "notifications.json.q1W2e3",  // an earlier build's, named after no writer
      ".events.log." + dead + ".Ab3dEf",
  };
  const std::vector<std::string> kept = {
      ".notifications.json." + alive + ".Ab3dEf",
      "notifications.json.bak",
      "notifications.json.q1W2e",
      "hardware.json.Ab3dEf",
      "events.log.Ab3dEf",
  };
  for (const auto& name : stale) std::ofstream(dir / name) << "{";
  for (const auto& name : kept) std::ofstream(dir / name) << "{";
  {
    HostFd lock(::open((dir / "notifications.lock").c_str(), O_RDWR | O_CREAT, 0644));
    ASSERT_EQ(::flock(lock.get(), LOCK_EX), 0);
    EXPECT_EQ(ce::sim::RemoveStaleStateTemps(dir), 2u);  // the hardware and events ones: their locks are free
    EXPECT_TRUE(fs::exists(dir / stale[0]));
  }
  EXPECT_EQ(ce::sim::RemoveStaleStateTemps(dir), 2u);  // the notifications ones
  for (const auto& name : stale) EXPECT_FALSE(fs::exists(dir / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir / name)) << name;
  EXPECT_EQ(ce::sim::StateTempWriterOf(".notifications.json." + alive + ".Ab3dEf"), ::getpid());
  const std::string pattern = ce::sim::StateTempPattern(dir, "notifications.json");
  EXPECT_EQ(fs::path(pattern).filename().string(), ".notifications.json." + alive + ".XXXXXX");
}

}  // namespace
