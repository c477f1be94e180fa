#include "module_file.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "host_file.h"
#include "qel/exports.h"

namespace qelhost {
namespace {

#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr uint16_t kMachine = EM_386;
#else
#error "qelhost: the ELF machine of this build is unknown"
#endif

#if UINTPTR_MAX == UINT64_MAX
using Ehdr = Elf64_Ehdr;
using Phdr = Elf64_Phdr;
using Dyn = Elf64_Dyn;
using Rela = Elf64_Rela;
using Rel = Elf64_Rel;
constexpr unsigned char kClass = ELFCLASS64;
#else
using Ehdr = Elf32_Ehdr;
using Phdr = Elf32_Phdr;
using Dyn = Elf32_Dyn;
using Rela = Elf32_Rela;
using Rel = Elf32_Rel;
constexpr unsigned char kClass = ELFCLASS32;
#endif

bool Fail(std::string* why, std::string text) {
  *why = std::move(text);
  return false;
}

// offset + size lies inside a file of fileSize bytes, without overflow.
bool Inside(uint64_t offset, uint64_t size, uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

template <class T>
T Read(std::span<const uint8_t> image, uint64_t offset) {
  T value;
  std::memcpy(&value, image.data() + offset, sizeof value);
  return value;
}

bool IsPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The file offset of a virtual address inside one of the loaded segments' file bytes.
bool FileOffsetOf(const std::vector<Phdr>& loads, uint64_t address, uint64_t* offset) {
  for (const Phdr& p : loads)
    if (address >= p.p_vaddr && address - p.p_vaddr < p.p_filesz) {
      *offset = p.p_offset + (address - p.p_vaddr);
      return true;
    }
  return false;
}

// Where each relocation of a table writes lies in the memory of a loaded segment.
template <class Entry>
bool CheckRelocations(std::span<const uint8_t> image, const std::vector<Phdr>& loads, uint64_t address,
                      uint64_t bytes, std::string* why) {
  uint64_t offset = 0;
  if (bytes == 0) return true;
  if (!FileOffsetOf(loads, address, &offset) || !Inside(offset, bytes, image.size()) ||
      bytes % sizeof(Entry) != 0)
    return Fail(why, "damaged: a relocation table lies outside the file");
  for (uint64_t at = offset; at < offset + bytes; at += sizeof(Entry)) {
    const Entry r = Read<Entry>(image, at);
    bool inside = false;
    for (const Phdr& p : loads)
      inside = inside || (r.r_offset >= p.p_vaddr && r.r_offset - p.p_vaddr + sizeof(void*) <= p.p_memsz);
    if (!inside) return Fail(why, "damaged: a relocation writes outside the loaded segments");
  }
  return true;
}

// The loader masks with the Bloom filter's word count, so it must be a power of
// two, and the filter and buckets must lie in the file.
bool CheckGnuHash(std::span<const uint8_t> image, const std::vector<Phdr>& loads, uint64_t address) {
  uint64_t offset = 0;
  if (!FileOffsetOf(loads, address, &offset) || !Inside(offset, 4 * sizeof(uint32_t), image.size()))
    return false;
  const uint32_t buckets = Read<uint32_t>(image, offset);
  const uint32_t bloomWords = Read<uint32_t>(image, offset + 2 * sizeof(uint32_t));
  return IsPowerOfTwo(bloomWords) &&
         Inside(offset + 4 * sizeof(uint32_t), uint64_t(bloomWords) * sizeof(void*) + uint64_t(buckets) * 4,
                image.size());
}

// The dynamic section's tables the loader reads at load time lie in the file,
// and the relocations it applies land in the loaded segments.
bool CheckDynamic(std::span<const uint8_t> image, const Phdr& dynamic, const std::vector<Phdr>& loads,
                  std::string* why) {
  bool ended = false;
  uint64_t rela = 0, relaSize = 0, rel = 0, relSize = 0, plt = 0, pltSize = 0, pltKind = DT_RELA;
  uint64_t strtab = 0, strSize = 0, symtab = 0, gnuHash = 0;
  std::vector<uint64_t> needed;
  for (uint64_t at = dynamic.p_offset; at + sizeof(Dyn) <= dynamic.p_offset + dynamic.p_filesz;
       at += sizeof(Dyn)) {
    const Dyn d = Read<Dyn>(image, at);
    if (d.d_tag == DT_NULL) {
      ended = true;
      break;
    }
    switch (d.d_tag) {
      case DT_RELASZ:
        relaSize = d.d_un.d_val;
        break;
      case DT_RELSZ:
        relSize = d.d_un.d_val;
        break;
      case DT_PLTRELSZ:
        pltSize = d.d_un.d_val;
        break;
      case DT_PLTREL:
        pltKind = d.d_un.d_val;
        break;
      case DT_STRSZ:
        strSize = d.d_un.d_val;
        break;
      case DT_NEEDED:
      case DT_SONAME:
      case DT_RPATH:
      case DT_RUNPATH:
        needed.push_back(d.d_un.d_val);
        break;
      case DT_STRTAB:
      case DT_SYMTAB:
      case DT_HASH:
      case DT_GNU_HASH:
      case DT_RELA:
      case DT_REL:
      case DT_JMPREL:
      case DT_VERSYM:
      case DT_VERDEF:
      case DT_VERNEED:
      case DT_INIT_ARRAY:
      case DT_FINI_ARRAY:
      case DT_INIT:
      case DT_FINI: {
        uint64_t offset = 0;
        if (!FileOffsetOf(loads, d.d_un.d_ptr, &offset))
          return Fail(why, "damaged: its dynamic section points outside the file's loaded segments");
        if (d.d_tag == DT_RELA) rela = d.d_un.d_ptr;
        if (d.d_tag == DT_REL) rel = d.d_un.d_ptr;
        if (d.d_tag == DT_JMPREL) plt = d.d_un.d_ptr;
        if (d.d_tag == DT_STRTAB) strtab = d.d_un.d_ptr;
        if (d.d_tag == DT_SYMTAB) symtab = d.d_un.d_ptr;
        if (d.d_tag == DT_GNU_HASH) gnuHash = d.d_un.d_ptr;
        break;
      }
      default:
        break;
    }
  }
  if (!ended) return Fail(why, "damaged: its dynamic section has no end");
  if (pltKind != DT_RELA && pltKind != DT_REL)
    return Fail(why, "damaged: its PLT relocations are of no known kind");
  if (!strtab || !symtab) return Fail(why, "damaged: its dynamic section names no symbol or string table");
  uint64_t strOffset = 0;
  if (!FileOffsetOf(loads, strtab, &strOffset) || !Inside(strOffset, strSize, image.size()))
    return Fail(why, "damaged: its string table lies outside the file");
  for (const uint64_t name : needed)
    if (name >= strSize) return Fail(why, "damaged: a library name lies past the end of its string table");
  if (gnuHash && !CheckGnuHash(image, loads, gnuHash))
    return Fail(why, "damaged: its GNU hash table is malformed");
  return CheckRelocations<Rela>(image, loads, rela, rela ? relaSize : 0, why) &&
         CheckRelocations<Rel>(image, loads, rel, rel ? relSize : 0, why) &&
         (pltKind == DT_RELA ? CheckRelocations<Rela>(image, loads, plt, plt ? pltSize : 0, why)
                             : CheckRelocations<Rel>(image, loads, plt, plt ? pltSize : 0, why));
}

// One end of a pipe, closed when it goes.
struct HostPipe {
  int fd = -1;
  explicit HostPipe(int f) : fd(f) {}
  HostPipe(const HostPipe&) = delete;
  HostPipe& operator=(const HostPipe&) = delete;
  ~HostPipe() { reset(); }
  void reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// Seconds the trial load may take before it counts as a failure (a loop in
// a damaged module's initializers, say).
constexpr unsigned kTrialSeconds = 20;

}  // namespace

bool LoaderAccepts(const std::filesystem::path& file, std::span<const char* const> symbols,
                   std::string* why) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0)
    return Fail(why, std::string("cannot be tried: ") + std::strerror(errno));
  HostPipe refusal{pipeFds[0]}, refusalOut{pipeFds[1]};
  const pid_t child = ::fork();
  if (child < 0) return Fail(why, std::string("cannot be tried: ") + std::strerror(errno));
  if (child == 0) {
    // Only the loader's work: _exit leaves stdio buffers and exit handlers to
    // the parent, the default actions let a crash end this process, and
    // nothing the module prints shows.
    for (const int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS, SIGALRM})
      ::signal(sig, SIG_DFL);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    ::alarm(kTrialSeconds);
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      // A load that fails can still have damaged the process: the parent does not try it.
      const char* text = ::dlerror();
      const size_t length = text ? std::min<size_t>(std::strlen(text), 1024) : 0;
      if (length && ::write(refusalOut.fd, text, length) < 0) ::_exit(1);
      ::_exit(1);
    }
    // The look-ups and the unloading qelhost does: symbol tables and finalizers.
    for (const char* symbol : symbols) ::dlsym(handle, symbol);
    ::dlclose(handle);
    ::_exit(0);
  }
  refusalOut.reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return Fail(why, std::string("cannot be tried: ") + std::strerror(errno));
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  if (WIFSIGNALED(status)) {
    const char* name = ::sigabbrev_np(WTERMSIG(status));
    return Fail(why, "the system loader fails on it (signal " + std::to_string(WTERMSIG(status)) +
                         (name ? std::string(", SIG") + name : "") + ")");
  }
  char text[1025];
  const ssize_t n = ::read(refusal.fd, text, sizeof text - 1);  // the child has ended: no wait
  if (WEXITSTATUS(status) == 1 && n > 0) return Fail(why, std::string(text, size_t(n)));
  return Fail(why, "the system loader fails on it (exit status " + std::to_string(WEXITSTATUS(status)) + ")");
}

bool CheckModuleImage(std::span<const uint8_t> image, std::string* why) {
  const uint64_t size = image.size();
  if (size < sizeof(Ehdr)) return Fail(why, "too short for an ELF file (" + std::to_string(size) + " bytes)");
  const Ehdr h = Read<Ehdr>(image, 0);
  if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0) return Fail(why, "not an ELF file");
  if (h.e_ident[EI_CLASS] != kClass) return Fail(why, "an ELF file of another word size than this program's");
  if (h.e_ident[EI_DATA] != ELFDATA2LSB) return Fail(why, "an ELF file of another byte order");
  if (h.e_ident[EI_VERSION] != EV_CURRENT || h.e_version != EV_CURRENT)
    return Fail(why, "an ELF file of an unknown version");
  if ((h.e_ident[EI_OSABI] != ELFOSABI_SYSV && h.e_ident[EI_OSABI] != ELFOSABI_GNU) ||
      h.e_ident[EI_ABIVERSION] > 1)
    return Fail(why, "an ELF file for another system (OS ABI " + std::to_string(h.e_ident[EI_OSABI]) + ")");
  if (h.e_machine != kMachine)
    return Fail(why, "an ELF file for another machine (e_machine " + std::to_string(h.e_machine) + ")");
  if (h.e_type != ET_DYN)
    return Fail(why, "not a shared library (ELF type " + std::to_string(h.e_type) + ")");
  if (h.e_ehsize != sizeof(Ehdr)) return Fail(why, "its ELF header has a wrong size");
  if (h.e_phentsize != sizeof(Phdr) || h.e_phnum == 0 || h.e_phnum >= PN_XNUM)
    return Fail(why, "its program header table is malformed");
  if (!Inside(h.e_phoff, uint64_t(h.e_phnum) * sizeof(Phdr), size))
    return Fail(why, "truncated or damaged: its program headers lie past the end of the file");
  if (h.e_shoff != 0 && (h.e_shentsize != 0 && !Inside(h.e_shoff, uint64_t(h.e_shnum) * h.e_shentsize, size)))
    return Fail(why, "truncated or damaged: its section headers lie past the end of the file");

  std::vector<Phdr> loads;
  const Phdr* dynamic = nullptr;
  std::vector<Phdr> all(h.e_phnum);
  for (size_t i = 0; i < all.size(); ++i) all[i] = Read<Phdr>(image, h.e_phoff + i * sizeof(Phdr));
  for (const Phdr& p : all) {
    if (p.p_type != PT_LOAD && p.p_type != PT_DYNAMIC) continue;
    if (!Inside(p.p_offset, p.p_filesz, size))
      return Fail(why, "truncated or damaged: a segment lies past the end of the file");
    if (p.p_type == PT_DYNAMIC) {
      dynamic = &p;
      continue;
    }
    if (p.p_filesz > p.p_memsz)
      return Fail(why, "damaged: a segment holds more bytes in the file than in memory");
    if (!IsPowerOfTwo(p.p_align) || p.p_align < uint64_t(::getpagesize()) ||
        p.p_vaddr % p.p_align != p.p_offset % p.p_align)
      return Fail(why, "damaged: a segment is not aligned as the loader needs");
    if (!loads.empty() && p.p_vaddr < loads.back().p_vaddr + loads.back().p_memsz)
      return Fail(why, "damaged: its segments overlap or are out of order");
    if (p.p_memsz > kMaxModuleBytes * 4 || p.p_vaddr > kMaxModuleBytes * 4)
      return Fail(why, "damaged: a segment is implausibly large");
    loads.push_back(p);
  }
  if (loads.empty()) return Fail(why, "damaged: it has no loadable segment");
  if (loads.front().p_offset != 0) return Fail(why, "damaged: its first segment does not start the file");
  if (!dynamic) return Fail(why, "not a shared library (no dynamic section)");
  // The loader reads the dynamic section where it is mapped, this check where
  // the file holds it: the two must be the same bytes.
  bool mapped = false;
  for (const Phdr& p : loads)
    mapped = mapped || (dynamic->p_vaddr >= p.p_vaddr && dynamic->p_vaddr - p.p_vaddr <= p.p_filesz &&
                        dynamic->p_filesz <= p.p_filesz - (dynamic->p_vaddr - p.p_vaddr) &&
                        p.p_offset + (dynamic->p_vaddr - p.p_vaddr) == dynamic->p_offset);
  if (!mapped) return Fail(why, "damaged: its dynamic section is not where a loaded segment puts it");
  return CheckDynamic(image, *dynamic, loads, why);
}

bool CheckModuleFile(const std::filesystem::path& file, std::string* error) {
  const HostFileRead read = ReadRegularFile(file, kMaxModuleBytes);
  std::string why;
  switch (read.refusal) {
    case ReadRefusal::kNone:
      if (CheckModuleImage({reinterpret_cast<const uint8_t*>(read.bytes.data()), read.bytes.size()}, &why) &&
          LoaderAccepts(file, kQelExportNames, &why))
        return true;
      why = "cannot be loaded: " + why;
      break;
    case ReadRefusal::kMissing:
      why = "no such module file";
      break;
    case ReadRefusal::kFolder:
      why = "no such module file (a folder)";
      break;
    default:
      why = read.why;
  }
  *error = file.string() + ": " + why;
  return false;
}

}  // namespace qelhost
