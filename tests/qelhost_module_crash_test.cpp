// A module whose code is damaged crashes inside the calls qelhost makes into
// it: qelhost says which signal, in which call, and ends with status 4,
// instead of dying of the bare signal with nothing on stderr.
#include <elf.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host_run.h"
#include "sanitizer.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qeltest::HostRun;
using qeltest::RunHost;

template <typename T>
T At(const std::string& bytes, size_t offset) {
  T value{};
  if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// The file offset of a function's first instruction, found through the
// section headers' symbol tables (an internal one only while not stripped).
std::optional<size_t> CodeOffsetOf(const std::string& image, const std::string& name) {
  const auto eh = At<Elf64_Ehdr>(image, 0);
  auto section = [&](size_t i) { return At<Elf64_Shdr>(image, eh.e_shoff + i * sizeof(Elf64_Shdr)); };
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr symbols = section(i);
    if (symbols.sh_type != SHT_DYNSYM && symbols.sh_type != SHT_SYMTAB) continue;
    const Elf64_Shdr strings = section(symbols.sh_link);
    for (size_t at = symbols.sh_offset; at + sizeof(Elf64_Sym) <= symbols.sh_offset + symbols.sh_size;
         at += sizeof(Elf64_Sym)) {
      const auto sym = At<Elf64_Sym>(image, at);
      if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || !sym.st_value) continue;
      if (std::strcmp(image.c_str() + strings.sh_offset + sym.st_name, name.c_str()) != 0) continue;
      for (size_t p = 0; p < eh.e_phnum; ++p) {
        const auto ph = At<Elf64_Phdr>(image, eh.e_phoff + p * sizeof(Elf64_Phdr));
        if (ph.p_type == PT_LOAD && sym.st_value >= ph.p_vaddr && sym.st_value < ph.p_vaddr + ph.p_filesz)
          return size_t(ph.p_offset + sym.st_value - ph.p_vaddr);
      }
    }
  }
  return std::nullopt;
}

TEST(ModuleCrash, ACrashInsideACallIntoTheModuleIsReported) {
#if !defined(__x86_64__)
  GTEST_SKIP() << "the damage is x86-64 code";
#endif
  const std::string module = qeltest::Contents(QEL_MODULE_PATH);
  const std::string illegal = "\x0f\x0b";                              // ud2
  const std::string nullWrite("\xc6\x04\x25\x00\x00\x00\x00\x01", 8);  // mov byte [0], 1
  qeltest::TempDir temp;
  const std::string cabinet = (temp.path() / "app.cab").string();
  std::ofstream(cabinet) << "MSCF";
  const struct {
    const char* function;
    std::string code;
    std::vector<std::string> verb;
    const char* says;
  } rows[] = {
      {"Register", illegal, {"props"}, "(signal 4, SIGILL) in Register, at offset 0x"},
      {"Register", nullWrite, {"props"}, "(signal 11, SIGSEGV) in Register, at offset 0x"},
      {"RegisterService",
       nullWrite,
       {"prop", "get", "SYS_DROP_COUNT"},
       "(signal 11, SIGSEGV) in RegisterService, at"},
      {"GetUSN", illegal, {"identity"}, "(signal 4, SIGILL) in GetUSN, at"},
      // A handler the module registered, called on the main thread.
      {"_ZN3qel14InstallCabFileEPvbS0_P10IQelResult",
       illegal,
       {"install", cabinet},
       "(signal 4, SIGILL) in the file handler of *.cab, at"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.function);
    const std::optional<size_t> at = CodeOffsetOf(module, row.function);
    if (!at && row.function[0] == '_') continue;  // an internal function of a stripped module
    ASSERT_TRUE(at);
    std::string damaged = module;
    damaged.replace(*at, row.code.size(), row.code);
    const fs::path file = temp.path() / (std::string(row.function) + ".mpi");
    std::ofstream(file, std::ios::binary) << damaged;
    std::vector<std::string> args = {"--terminal", (temp.path() / "t").string(), "--plugin", file.string()};
    args.insert(args.end(), row.verb.begin(), row.verb.end());
    const HostRun r = RunHost(args, temp.path());
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find(std::string("qelhost: the module crashed ") + row.says), std::string::npos) << r.err;
  }
}

// A fault signal another process sends (kill -SEGV) is no crash of anyone's:
// qelhost ends of it as it would without the report, whatever it was doing.
TEST(ModuleCrash, AFaultSignalSentFromOutsideEndsQelhostAsBefore) {
  qeltest::TempDir temp;
  const std::string pid = qeltest::Quoted((temp.path() / "pid").string());
  for (const int sig : {SIGSEGV, SIGBUS}) {
    SCOPED_TRACE(sig);
    const std::string kill = "(sleep 2; kill -" + std::to_string(sig) + " $(cat " + pid + ")) & ";
    const HostRun r =
        RunHost({"--terminal", (temp.path() / "t").string(), "events", "--seconds", "10"}, temp.path(),
                {.prefix = kill + "sh -c 'echo $$ >" + pid + "; exec \"$@\"' sh "});
    // A sanitizer's handler, there before the report's, ends the process its own way (abort).
    if (qeltest::kSanitized) {
      EXPECT_TRUE(r.status != 0 && r.status != 4) << r.status << " " << r.err;
    } else {
      EXPECT_EQ(r.status, 128 + sig) << r.err;
    }
    EXPECT_EQ(r.err.find("the module crashed"), std::string::npos) << r.err;
  }
}

}  // namespace
