// One simulated terminal for a benchmark run, removed at exit.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "ce/sim/control.h"

class BenchTerminal {
 public:
  BenchTerminal() {
    char pattern[] = "/tmp/qel_bench_XXXXXX";
    dir_ = ::mkdtemp(pattern);
    std::string error;
    if (!ce::sim::CreateTerminal(dir_ / "t", *ce::sim::BuiltinProfile("thor-vm1"), &error) ||
        !ce::sim::UseTerminal(dir_ / "t", &error)) {
      std::fprintf(stderr, "bench terminal: %s\n", error.c_str());
      std::abort();
    }
  }
  ~BenchTerminal() {
    ce::sim::CloseTerminal();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::filesystem::path fs() const { return dir_ / "t" / "fs"; }

 private:
  std::filesystem::path dir_;
};
