// The module loaded by the host once per benchmark run, on the run's terminal.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_terminal.h"
#include "plugin_host.h"

inline BenchTerminal& Terminal() {
  static BenchTerminal t;
  return t;
}

inline qelhost::PluginHost& LoadedHost() {
  static qelhost::PluginHost* host = [] {
    Terminal();
    auto* h = new qelhost::PluginHost;
    std::string error;
    if (!h->Load(QEL_MODULE_PATH, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    return h;
  }();
  return *host;
}
