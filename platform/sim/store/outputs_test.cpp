// The outputs folder: names in order across processes, retention, and the
// refusal of what is not the terminal's own.
#include "outputs.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using ce::sim::OutputLimits;
using Names = std::vector<std::string>;

// The folder's entries, sorted by name.
Names Listing(const fs::path& folder) {
  Names names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Writes one output of size bytes, finished.
std::string Emit(const fs::path& terminal, size_t size, const OutputLimits& limits) {
  std::string error;
  auto out = ce::sim::OpenOutput(terminal, "audio", "wav", &error, limits);
  if (!out) {
    ADD_FAILURE() << error;
    return {};
  }
  const std::string data(size, 'x');
  EXPECT_EQ(::write(out->fd.get(), data.data(), size), ssize_t(size));
  const std::string name = out->path.filename().string();
  EXPECT_TRUE(ce::sim::FinishOutput(std::move(*out), &error, limits)) << error;
  return name.substr(0, 10);  // the sequence
}

TEST(Outputs, NamesSortInOrderAndNoTwoProcessesTakeOne) {
  qeltest::TempDir temp;
  constexpr int kProcesses = 4, kEach = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::string error;
      for (int i = 0; i < kEach; ++i)
        if (!ce::sim::OpenOutput(temp.path(), "audio", "wav", &error)) ::_exit(1);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const Names names = Listing(temp.path() / "outputs" / "audio");
  ASSERT_EQ(names.size(), size_t(kProcesses * kEach));
  const std::regex rule(R"(\d{10}-\d{8}T\d{6}\.\d{3}Z\.wav)");
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_TRUE(std::regex_match(names[i], rule)) << names[i];
    EXPECT_EQ(std::stoul(names[i].substr(0, 10)), i + 1);  // one sequence each, none skipped
  }
}

TEST(Outputs, TheNewestAreKeptWithinTheLimits) {
  const struct {
    const char* what;
    OutputLimits limits;
    std::vector<size_t> sizes;  // written in this order
    Names kept;                 // sequences
  } rows[] = {
      {"by count", {3, 1000}, {1, 1, 1, 1, 1}, {"0000000003", "0000000004", "0000000005"}},
      {"by bytes", {100, 10}, {4, 4, 4, 4}, {"0000000003", "0000000004"}},
      {"an older file that would fit goes too", {100, 10}, {1, 9, 2}, {"0000000003"}},
      {"the newest stays whatever its size", {100, 10}, {5, 50}, {"0000000002"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    qeltest::TempDir temp;
    for (const size_t size : row.sizes) Emit(temp.path(), size, row.limits);
    Names kept;
    for (const auto& name : Listing(temp.path() / "outputs" / "audio")) kept.push_back(name.substr(0, 10));
    EXPECT_EQ(kept, row.kept);
  }
}

TEST(Outputs, OnlyFilesOfTheRuleAreCountedOrRemoved) {
  qeltest::TempDir temp;
  const fs::path folder = temp.path() / "outputs" / "audio";
  fs::create_directories(folder / "0000000001-20240101T000000.000Z.wav");  // a folder of that name
  std::ofstream(folder / "notes.txt") << "mine";
  std::ofstream(temp.path() / "target") << "elsewhere";
  fs::create_symlink(temp.path() / "target", folder / "0000000007-20240101T000000.000Z.wav");
  for (int i = 0; i < 3; ++i) Emit(temp.path(), 1, {1, 1000});
  Names left;
  for (const auto& name : Listing(folder)) left.push_back(name.substr(0, 10));
  // The foreign entries stay; of the outputs, numbered past the highest name, the newest.
  EXPECT_EQ(left, (Names{"0000000001", "0000000007", "0000000010", "notes.txt"}));
  EXPECT_TRUE(fs::is_symlink(folder / "0000000007-20240101T000000.000Z.wav"));
  EXPECT_EQ(qeltest::Contents(temp.path() / "target"), "elsewhere");
}

TEST(Outputs, WhatIsNotTheTerminalsOwnIsRefused) {
  enum Plant { kNothing, kOutputsLink, kOutputsFile, kDeviceLink };
  const struct {
    Plant plant;
    const char* device;
    const char* extension;
    const char* says;
  } rows[] = {
      {kOutputsLink, "audio", "wav", "outputs: is a symbolic link"},
      {kOutputsFile, "audio", "wav", "outputs: is not a folder"},
      {kDeviceLink, "audio", "wav", "audio: is a symbolic link"},
      {kNothing, "Audio", "wav", "output device \"Audio\""},
      {kNothing, "../up", "wav", "output device \"../up\""},
      {kNothing, "", "wav", "output device \"\""},
      {kNothing, "audio", "w/v", "output extension \"w/v\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.says);
    qeltest::TempDir temp, elsewhere;
    const fs::path terminal = temp.path() / "t";
    fs::create_directory(terminal);
    if (row.plant == kOutputsLink) fs::create_directory_symlink(elsewhere.path(), terminal / "outputs");
    if (row.plant == kOutputsFile) std::ofstream(terminal / "outputs") << "x";
    if (row.plant == kDeviceLink) {
      fs::create_directory(terminal / "outputs");
      fs::create_directory_symlink(elsewhere.path(), terminal / "outputs" / "audio");
    }
    std::string error;
    EXPECT_FALSE(ce::sim::OpenOutput(terminal, row.device, row.extension, &error));
    EXPECT_NE(error.find(row.says), std::string::npos) << error;
    EXPECT_TRUE(Listing(elsewhere.path()).empty());
    EXPECT_FALSE(fs::exists(terminal / "up"));
  }
}

std::string Read(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// History lines of several processes land whole in one log; a log that is
// full, or a newer output of another kind, makes the next line begin a new one.
TEST(Outputs, HistoryLinesGoWholeIntoTheNewestLog) {
  qeltest::TempDir temp;
  constexpr int kProcesses = 4, kLines = 50;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::string error;
      for (int i = 0; i < kLines; ++i)
        if (!ce::sim::AppendOutputLine(temp.path(), "led", std::string(100, char('a' + p)), &error))
          ::_exit(1);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const fs::path folder = temp.path() / "outputs" / "led";
  Names names = Listing(folder);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(names[0].ends_with(".log")) << names[0];
  const std::string text = Read(folder / names[0]);
  ASSERT_EQ(text.size(), size_t(kProcesses * kLines * 101));
  for (size_t at = 0; at < text.size(); at += 101) {
    EXPECT_EQ(text.find_first_not_of(text[at], at), at + 100) << "a line was split at " << at;
    EXPECT_EQ(text[at + 100], '\n');
  }

  std::string error;
  OutputLimits limits{100, uint64_t{64} << 20};
  ASSERT_TRUE(ce::sim::OpenOutput(temp.path(), "led", "txt", &error, limits)) << error;
  ASSERT_TRUE(ce::sim::AppendOutputLine(temp.path(), "led", "after", &error, limits)) << error;
  names = Listing(folder);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(Read(folder / names[2]), "after\n");

  fs::resize_file(folder / names[2], ce::sim::kLogBytes);
  ASSERT_TRUE(ce::sim::AppendOutputLine(temp.path(), "led", "next", &error, limits)) << error;
  names = Listing(folder);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(Read(folder / names[3]), "next\n");
}

// The newest log is written only while it is the folder's own regular file;
// a step run first under the lock decides whether the line is written at all.
TEST(Outputs, HistoryGoesOnlyIntoTheFoldersOwnLog) {
  qeltest::TempDir temp, elsewhere;
  const fs::path folder = temp.path() / "outputs" / "led";
  std::string error;
  const auto lines = [&] {
    Names names = Listing(folder);
    std::vector<std::string> texts;
    for (const auto& n : names) texts.push_back(Read(folder / n));
    return texts;
  };
  ASSERT_TRUE(ce::sim::AppendOutputLine(temp.path(), "led", "one", &error)) << error;
  const std::string first = Listing(folder).at(0);

  const fs::path outside = elsewhere.path() / "precious.txt";
  std::ofstream(outside) << "precious\n";
  fs::remove(folder / first);
  fs::create_hard_link(outside, folder / first);
  ASSERT_TRUE(ce::sim::AppendOutputLine(temp.path(), "led", "two", &error)) << error;
  EXPECT_EQ(Read(outside), "precious\n");
  EXPECT_EQ(lines(), (std::vector<std::string>{"precious\n", "two\n"}));

  bool ran = false;
  EXPECT_FALSE(ce::sim::AppendOutputLine(
      temp.path(), "led", "three", &error, ce::sim::kOutputLimits,
      [](std::string* e) {
        *e = "refused";
        return false;
      },
      &ran));
  EXPECT_TRUE(ran);
  EXPECT_EQ(error, "refused");
  EXPECT_EQ(lines(), (std::vector<std::string>{"precious\n", "two\n"}));

  // A log that cannot be made runs nothing either: no change is left without its line.
  fs::create_directory(folder / "9999999999-20261207T000000.000Z.log");
  EXPECT_FALSE(ce::sim::AppendOutputLine(
      temp.path(), "led", "five", &error, ce::sim::kOutputLimits, [](std::string*) { return true; }, &ran));
  EXPECT_FALSE(ran);
  EXPECT_NE(error.find("every sequence number is taken"), std::string::npos) << error;
  fs::remove(folder / "9999999999-20261207T000000.000Z.log");

  // A folder that cannot be opened runs nothing, and says so.
  fs::remove_all(folder);
  std::ofstream(folder) << "x";
  EXPECT_FALSE(ce::sim::AppendOutputLine(
      temp.path(), "led", "four", &error, ce::sim::kOutputLimits, [](std::string*) { return true; }, &ran));
  EXPECT_FALSE(ran);
}

TEST(Outputs, GoToTheTerminalInUse) {
  std::string error;
  {
    qeltest::NoTerminal none;
    EXPECT_FALSE(ce::sim::OpenOutput("led", "txt", &error));
    EXPECT_EQ(error, "no terminal is in use");
  }
  qeltest::TestTerminal t;
  const auto out = ce::sim::OpenOutput("led", "txt", &error);
  ASSERT_TRUE(out) << error;
  EXPECT_EQ(out->path.parent_path(), t.dir() / "outputs" / "led");
  EXPECT_TRUE(fs::is_regular_file(out->path));
}

}  // namespace
