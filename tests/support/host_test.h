// A test that runs the real qelhost on a terminal of its own: Host(args)
// runs it with --terminal that terminal.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_run.h"
#include "test_terminal.h"

namespace qeltest {

class HostTest : public ::testing::Test {
 protected:
  HostRun Host(std::vector<std::string> args, const HostOptions& options = {}) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return RunHost(args, terminal.root(), options);
  }

  TestTerminal terminal;
};

}  // namespace qeltest
