// A fresh simulated terminal per test: made from a built-in profile in its own
// temporary folder, chosen as this process's terminal while the object lives,
// and removed with the folder afterwards.
#pragma once

#include <gtest/gtest.h>

#include <concepts>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "ce/sim/control.h"
#include "temp_dir.h"

namespace qeltest {

// A built-in profile as JSON, to be changed by a test.
inline ce::sim::Json Profile(std::string_view name = "thor-vm1") { return *ce::sim::BuiltinProfile(name); }

// How many entries a folder holds (what a failed making left behind, say).
inline size_t Entries(const std::filesystem::path& dir) {
  return size_t(
      std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

class TestTerminal {
 public:
  explicit TestTerminal(std::string_view profile = "thor-vm1") : dir_(temp_.path() / "terminal") {
    const auto p = ce::sim::BuiltinProfile(profile);
    if (!p) {
      ADD_FAILURE() << "no built-in profile " << profile;
      return;
    }
    Make(*p);
  }
  // A terminal made from a profile the test wrote (often a built-in one, changed).
  template <class J>
  requires std::same_as<J, ce::sim::Json>
  explicit TestTerminal(const J& profile) : dir_(temp_.path() / "terminal") { Make(profile); }
  ~TestTerminal() { ce::sim::CloseTerminal(); }
  TestTerminal(const TestTerminal&) = delete;
  TestTerminal& operator=(const TestTerminal&) = delete;

  // The temporary folder; the terminal is its sub-folder "terminal".
  const std::filesystem::path& root() const { return temp_.path(); }
  const std::filesystem::path& dir() const { return dir_; }

  // Changes one hardware field; a refused change fails the test.
  void Set(std::string_view key, const ce::sim::Json& value) const {
    std::string error;
    EXPECT_TRUE(ce::sim::SetHardware(key, value, &error)) << key << ": " << error;
  }
  ce::sim::Json Hardware(std::string_view dottedKey) const {
    std::string error;
    const auto hw = ce::sim::ReadHardware(&error);
    if (!hw) {
      ADD_FAILURE() << error;
      return {};
    }
    std::string pointer = "/" + std::string(dottedKey);
    for (char& c : pointer)
      if (c == '.') c = '/';
    return hw->value(ce::sim::Json::json_pointer(pointer), ce::sim::Json());
  }

 private:
  void Make(const ce::sim::Json& profile) {
    std::string error;
    if (!ce::sim::CreateTerminal(dir_, profile, &error) || !ce::sim::UseTerminal(dir_, &error))
      ADD_FAILURE() << dir_ << ": " << error;
  }

  TempDir temp_;  // removed after the terminal is closed
  std::filesystem::path dir_;
};

// No terminal while alive: none chosen and QEL_TERMINAL hidden; afterwards the
// variable is as it was.
class NoTerminal {
 public:
  NoTerminal() {
    ce::sim::CloseTerminal();
    if (const char* v = std::getenv(ce::sim::kTerminalEnv)) saved_ = v;
    ::unsetenv(ce::sim::kTerminalEnv);
  }
  ~NoTerminal() {
    ce::sim::CloseTerminal();
    if (saved_)
      ::setenv(ce::sim::kTerminalEnv, saved_->c_str(), 1);
    else
      ::unsetenv(ce::sim::kTerminalEnv);
  }

 private:
  std::optional<std::string> saved_;
};

}  // namespace qeltest
