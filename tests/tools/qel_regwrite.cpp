// A registry writer for scripts/campaign.sh: many of these run at once (and
// are killed) against one terminal.
//   qel_regwrite DIR ID COUNT   writes the DWORDs HKLM\Campaign\wID_0..COUNT-1
//                               and prints how many writes succeeded
//   qel_regwrite DIR --count    prints how many values HKLM\Campaign holds
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ce/registry.h"
#include "ce/sim/control.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: qel_regwrite DIR ID COUNT | DIR --count\n");
    return 2;
  }
  std::string error;
  if (!ce::sim::UseTerminal(argv[1], &error)) {
    std::fprintf(stderr, "qel_regwrite: %s\n", error.c_str());
    return 2;
  }
  ce::HKEY key = nullptr;
  if (ce::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Campaign", 0, nullptr, 0, 0, nullptr, &key, nullptr) != 0)
    return 1;
  if (std::string(argv[2]) == "--count") {
    ce::DWORD values = 0;
    if (ce::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != 0)
      return 1;
    std::printf("%u\n", values);
    return 0;
  }
  const int count = argc > 3 ? std::atoi(argv[3]) : 0;
  int written = 0;
  for (int i = 0; i < count; ++i) {
    std::u16string name = u"w";
    for (const char c : std::string(argv[2]) + "_" + std::to_string(i)) name += char16_t(c);
    const ce::DWORD v = ce::DWORD(i);
    written += ce::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(&v),
                                  sizeof v) == 0;
  }
  ce::RegCloseKey(key);
  std::printf("%d\n", written);
  return written == count ? 0 : 1;
}
