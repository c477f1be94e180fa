// The conformance tests' main on the simulated backend: the run gets a fresh
// terminal of the default profile, as a device under test would be.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "backend.h"
#include "ce/sim/control.h"
#include "temp_dir.h"

namespace cetest {
const std::u16string& TestRoot() {
  static const std::u16string root = u"\\";
  return root;
}
bool OnDesktop() { return false; }
}  // namespace cetest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qeltest::TempDir temp;
  std::string error;
  auto profile = ce::sim::BuiltinProfile(ce::sim::DefaultProfileName());
  // A name the terminal's resolver knows with two addresses, as a test
  // device's host table would give it.
  if (profile) (*profile)["hardware"]["network"]["resolver"]["qeltest-two"] = {"127.0.0.1", "127.0.0.2"};
  if (!profile || !ce::sim::CreateTerminal(temp.path() / "terminal", *profile, &error) ||
      !ce::sim::UseTerminal(temp.path() / "terminal", &error)) {
    std::fprintf(stderr, "cannot make the test terminal: %s\n", error.c_str());
    return 2;
  }
  const int result = RUN_ALL_TESTS();
  ce::sim::CloseTerminal();
  return result;
}
