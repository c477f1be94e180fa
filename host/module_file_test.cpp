// The module file check on a real module and on copies of it damaged the ways
// that crashed the loader: every damaged copy is refused with a reason.
#include "module_file.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<uint8_t> ReadModule() {
  std::ifstream in(QEL_MODULE_PATH, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ModuleFile, TheRealModulePasses) {
  std::string why;
  EXPECT_TRUE(qelhost::CheckModuleImage(ReadModule(), &why)) << why;
}

TEST(ModuleFile, TruncatedCopiesAreRefused) {
  const auto module = ReadModule();
  // Every cut inside the headers, and every 997th byte after them, up to the last.
  for (size_t cut = 0; cut < module.size(); cut += cut < 4096 ? 1 : 997) {
    std::string why;
    ASSERT_FALSE(qelhost::CheckModuleImage({module.data(), cut}, &why)) << "cut at " << cut;
    EXPECT_FALSE(why.empty());
  }
}

TEST(ModuleFile, DamagedHeadersAreRefused) {
  const auto module = ReadModule();
  Elf64_Ehdr h;
  std::memcpy(&h, module.data(), sizeof h);
  struct Case {
    const char* what;
    size_t at;
    std::vector<uint8_t> bytes;
  };
  auto u64 = [](uint64_t v) {
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &v, 8);
    return b;
  };
  const size_t ph0 = h.e_phoff;
  // The header from the program header offset to the count, with a table of
  // three entries placed two entries before the end: it runs past the file
  // whatever the module's size.
  std::vector<uint8_t> pastTheEnd(module.begin() + 32, module.begin() + 58);
  const uint64_t nearEnd = module.size() - 2 * sizeof(Elf64_Phdr);
  const uint16_t three = 3;
  std::memcpy(pastTheEnd.data(), &nearEnd, 8);
  std::memcpy(pastTheEnd.data() + 24, &three, 2);
  const Case cases[] = {
      {"magic", 0, {0x7f, 'E', 'L', 'G'}},
      {"class", EI_CLASS, {ELFCLASS32}},
      {"byte order", EI_DATA, {ELFDATA2MSB}},
      {"machine", 18, {EM_AARCH64, 0}},
      {"type", 16, {ET_EXEC, 0}},
      {"header size", 52, {0x10, 0}},
      {"program header offset", 32, u64(uint64_t(1) << 40)},
      {"program header count", 32, pastTheEnd},
      {"program header entry size", 54, {0x10, 0}},
      {"section header offset", 40, u64(uint64_t(1) << 40)},
      {"segment type to load, offset past the end", ph0 + 8, u64(module.size())},
      {"segment file size", ph0 + 32, u64(uint64_t(1) << 40)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto copy = module;
    std::memcpy(copy.data() + c.at, c.bytes.data(), c.bytes.size());
    std::string why;
    EXPECT_FALSE(qelhost::CheckModuleImage(copy, &why));
    EXPECT_FALSE(why.empty());
  }
}

}  // namespace
