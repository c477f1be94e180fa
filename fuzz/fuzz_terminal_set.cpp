// `terminal set KEY VALUE` as qelhost does it: the first line is the key, the
// rest the value (JSON, else a bare word taken as text). Whatever is accepted
// must leave a hardware.json that still opens; whatever is refused changes nothing.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ce/sim/control.h"
#include "fuzz_scratch.h"

namespace {

struct Fixture {
  std::filesystem::path dir = qelfuzz::Scratch() / "t";
  std::string pristine;
  Fixture() {
    std::string error;
    if (!ce::sim::CreateTerminal(dir, *ce::sim::BuiltinProfile("thor-vm1"), &error)) abort();
    std::ifstream in(dir / "hardware.json", std::ios::binary);
    pristine.assign(std::istreambuf_iterator<char>(in), {});
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  std::ofstream(fixture.dir / "hardware.json", std::ios::binary | std::ios::trunc) << fixture.pristine;
  std::string error;
  if (!ce::sim::UseTerminal(fixture.dir, &error)) abort();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string key = input.substr(0, newline);
  const std::string text = newline == std::string::npos ? "" : input.substr(newline + 1);
  ce::sim::Json value = ce::sim::Json::parse(text, nullptr, false);
  if (value.is_discarded()) value = text;
  const auto before = ce::sim::ReadHardware(&error);
  if (ce::sim::SetHardware(key, value, &error)) {
    // The state written is one that the next process can open.
    ce::sim::CloseTerminal();
    if (!ce::sim::UseTerminal(fixture.dir, &error)) {
      fprintf(stderr, "accepted, but the terminal no longer opens: %s\n", error.c_str());
      abort();
    }
  } else if (error.empty() || ce::sim::ReadHardware(&error) != before) {
    abort();
  }
  ce::sim::CloseTerminal();
  return 0;
}
