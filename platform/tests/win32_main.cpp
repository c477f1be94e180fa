// The conformance tests' main on Windows: the system as it is, nothing
// simulated; the tests' folders go in the temporary folder. (The socket tests
// start Winsock themselves, as their programs must on the device.)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "backend.h"

namespace cetest {
const std::u16string& TestRoot() {
  static const std::u16string root = [] {
    wchar_t path[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    return std::u16string(reinterpret_cast<const char16_t*>(path), n <= MAX_PATH ? n : 0);
  }();
  return root;
}
bool OnDesktop() { return true; }
}  // namespace cetest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (cetest::TestRoot().empty()) {
    std::fprintf(stderr, "no temporary folder for the tests' files\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
