// Profile text -> checks -> a terminal made from it -> that terminal opened.
// A profile the checks accept must make a terminal that opens, and a refused
// one must leave nothing behind.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "ce/sim/control.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  const auto profile = ce::sim::Json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
  if (profile.is_discarded()) return 0;
  const fs::path dir = qelfuzz::Scratch() / "t";
  std::string error;
  if (ce::sim::CreateTerminal(dir, profile, &error)) {
    if (!ce::sim::UseTerminal(dir, &error)) {
      fprintf(stderr, "a terminal made from the profile does not open: %s\n", error.c_str());
      abort();
    }
    ce::sim::CloseTerminal();
  } else if (error.empty()) {
    abort();  // every refusal says why
  }
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(qelfuzz::Scratch(), ec))
    if (e.path() != dir) abort();  // no staging folder left behind
  fs::remove_all(dir, ec);
  return 0;
}
