// `terminal set KEY VALUE` as qelhost does it: the first line is the key, the
// rest the value (JSON, else a bare word taken as text). Whatever is accepted
// must leave a hardware.json that the next process accepts whole; whatever is
// refused changes nothing and says why.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ce/sim/control.h"
#include "fuzz_scratch.h"
#include "hardware_state.h"

namespace {

struct Fixture {
  std::filesystem::path dir = qelfuzz::Scratch() / "t";
  std::string pristine;
  bool changed = false;
  Fixture() {
    std::string error;
    if (!ce::sim::CreateTerminal(dir, *ce::sim::BuiltinProfile("thor-vm1"), &error) ||
        !ce::sim::UseTerminal(dir, &error))
      abort();
    std::ifstream in(dir / "hardware.json", std::ios::binary);
    pristine.assign(std::istreambuf_iterator<char>(in), {});
    percent = ce::sim::Json::parse(pristine)["power"]["battery_life_percent"];
  }
  ce::sim::Json percent;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  if (fixture.changed) {
    std::ofstream(fixture.dir / "hardware.json", std::ios::binary | std::ios::trunc) << fixture.pristine;
    // A change made by hand is seen only after the recheck interval; one made
    // through the terminal is seen at once, so write one field back the same.
    std::string error;
    if (!ce::sim::SetHardware("power.battery_life_percent", fixture.percent, &error)) abort();
  }
  fixture.changed = false;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string key = input.substr(0, newline);
  const std::string text = newline == std::string::npos ? "" : input.substr(newline + 1);
  ce::sim::Json value = ce::sim::Json::parse(text, nullptr, false);
  if (value.is_discarded()) value = text;
  std::string error;
  const auto before = ce::sim::ReadHardware(&error);
  if (ce::sim::SetHardware(key, value, &error)) {
    fixture.changed = true;
    // The state written is one that the next process opens: the whole file obeys the rules.
    ce::sim::Json written;
    if (!ce::sim::ReadJsonFile(fixture.dir / "hardware.json", &written, &error) ||
        !ce::sim::CheckHardware(written, &error)) {
      fprintf(stderr, "accepted, but the file is refused now: %s\n", error.c_str());
      abort();
    }
    if (ce::sim::ReadHardware(&error) != written) abort();  // and this process sees it
  } else if (error.empty() || ce::sim::ReadHardware(&error) != before) {
    abort();
  }
  return 0;
}
