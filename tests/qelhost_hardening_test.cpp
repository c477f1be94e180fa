// qelhost and the simulated terminal under hostile or careless use: each test
// here is one of the defects found that way (issue 6), run end to end through
// the real qelhost on a terminal of its own.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "ce/sim/control.h"
#include "dead_pid.h"
#include "host_run.h"
#include "sanitizer.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using qeltest::CountOf;
using qeltest::HostOptions;
using qeltest::HostRun;
using qeltest::Quoted;
using qeltest::RunHost;

// A terminal of its own for each test, not chosen in this process (qelhost
// runs on it in another), and a shorthand for --terminal it.
class Hardening : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(ce::sim::CreateTerminal(dir(), *ce::sim::BuiltinProfile("thor-vm1"), &error)) << error;
  }
  fs::path root() const { return temp_.path(); }
  fs::path dir() const { return temp_.path() / "terminal"; }
  HostRun Host(std::vector<std::string> args, const HostOptions& o = {}) {
    args.insert(args.begin(), {"--terminal", dir().string()});
    return RunHost(args, root(), o);
  }
  json HardwareFile() {
    std::ifstream in(dir() / "hardware.json");
    return json::parse(in, nullptr, false);
  }
  void WriteHardware(const json& hw) { std::ofstream(dir() / "hardware.json") << hw.dump(2); }
  static std::string Line(const std::vector<std::string>& args) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    return line;
  }

  qeltest::TempDir temp_;
};

using qeltest::DeadPid;

// 1. A value that is not UTF-8 is refused with a message, not an abort.
TEST_F(Hardening, TerminalSetRefusesTextThatIsNotUtf8) {
  const std::vector<std::string> cases[] = {
      {"modules.0", "\xff"},
      {"storage.mounted.0", "abc\xc3"},
      {"oem_info", "\xc3\x28"},
      {"modules", "[\"ok\", \"\xfe\"]"},
  };
  const std::string before = qeltest::Contents(dir() / "hardware.json");
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0]);
    const HostRun r = Host({"terminal", "set", args[0], args[1]});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("UTF-8"), std::string::npos) << r.err;
  }
  EXPECT_EQ(qeltest::Contents(dir() / "hardware.json"), before);
}

// 2. Many processes opening one new terminal at once: every one succeeds.
TEST_F(Hardening, ConcurrentFirstUseOfANewTerminalAllSucceed) {
  const int kRounds = qeltest::Rounds(4, 2), kProcesses = 12;
  int failures = 0;
  for (int round = 0; round < kRounds; ++round) {
    const fs::path fresh = root() / ("fresh" + std::to_string(round));
    std::string script;
    for (int i = 1; i <= kProcesses; ++i)
      script += "( env -u QEL_TERMINAL " + Quoted(qeltest::HostPath()) + " --terminal " +
                Quoted(fresh.string()) + " terminal set power.battery_voltage " + std::to_string(i) +
                " >/dev/null 2>>" + Quoted((root() / "errors").string()) + " || echo x >>" +
                Quoted((root() / "failed").string()) + ") & ";
    script += "wait";
    ASSERT_EQ(std::system(script.c_str()), 0);
    EXPECT_TRUE(ce::sim::IsTerminal(fresh));
  }
  failures = int(CountOf(qeltest::Contents(root() / "failed"), "x"));
  EXPECT_EQ(failures, 0) << qeltest::Contents(root() / "errors");
  for (const auto& e : fs::directory_iterator(root()))  // no staging folder left
    EXPECT_EQ(e.path().filename().string().find(".making."), std::string::npos) << e.path();
}

// A staging folder as a maker that died would leave it, marked with its process id.
fs::path MarkedStaging(const fs::path& parent, const std::string& name, pid_t pid) {
  const fs::path folder = parent / ("." + name + ".making." + std::to_string(pid));
  fs::create_directories(folder / "fs");
  std::ofstream(folder / ".qel-staging") << "qel terminal staging, maker " << pid << "\n";
  return folder;
}

// 3. Leftovers of killed writers and makers are removed when the terminal or
// its parent is next opened; those of living processes, and files and folders
// that only look like leftovers by their names, never.
TEST_F(Hardening, OrphansOfDeadProcessesAreCleanedAndLiveOnesKept) {
  const pid_t dead = DeadPid();
  const fs::path orphan = MarkedStaging(root(), "other", dead);
  const fs::path live = MarkedStaging(root(), "other", getpid());
  const std::string deadTemp = ".hardware.json." + std::to_string(dead) + ".aB3xYz";
  const std::string liveTemp = ".hardware.json." + std::to_string(getpid()) + ".aB3xYz";
  std::ofstream(dir() / deadTemp) << "{\"half\": ";
  std::ofstream(dir() / liveTemp) << "{\"half\": ";
  // A person's files and folders named like leftovers.
  const std::vector<fs::path> theirs = {
      dir() / "hardware.json.backup",
      dir() / "hardware.json.orig01",
      dir() / ("hardware.json." + std::to_string(dead) + ".aB3xYz"),
      root() / (".mywork.making." + std::to_string(dead)) / "fs" / "My Documents" / "thesis.txt",
      root() / (".forged.making." + std::to_string(dead)) / "fs" / "x.txt",
  };
  for (const auto& file : theirs) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "mine";
  }
  // A marker naming another process than the folder's name is no proof.
  std::ofstream(theirs.back().parent_path().parent_path() / ".qel-staging")
      << "qel terminal staging, maker " << getpid() << "\n";
  ASSERT_EQ(Host({"prop", "get", "SYS_DROP_COUNT"}).status, 0);
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_FALSE(fs::exists(dir() / deadTemp));
  EXPECT_TRUE(fs::exists(dir() / liveTemp));
  for (const auto& file : theirs) EXPECT_EQ(qeltest::Contents(file), "mine") << file;

  // While a writer holds the hardware lock its temporary file is its own.
  std::ofstream(dir() / deadTemp) << "{";
  const int lock = ::open((dir() / "hardware.lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);
  EXPECT_TRUE(fs::exists(dir() / deadTemp));
  ::close(lock);
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);
  EXPECT_FALSE(fs::exists(dir() / deadTemp));

  // A maker that is alive and holds its staging folder's lock keeps it, even
  // when its process id looks dead to the name.
  const fs::path held = MarkedStaging(root(), "third", DeadPid());
  const int heldFd = ::open(held.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(heldFd, LOCK_EX), 0);
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);
  EXPECT_TRUE(fs::exists(held));
  ::close(heldFd);
}

// 4. --plugin NAME without a slash is the file NAME in the working folder,
// never a library found on the library path.
// An install removes the staging folders of installs whose process died, and
// nothing else: a person's folder, or an installed program, named like one is
// kept whole, whatever process id its name holds.
TEST_F(Hardening, InstallRemovesOnlyItsOwnOrphanedStaging) {
  const fs::path programs = dir() / "fs" / "Program Files", temp = dir() / "fs" / "Temp";
  const std::string dead = std::to_string(DeadPid());
  const fs::path work = root() / "cab";
  fs::create_directories(work);
  std::ofstream(work / "app.txt") << "installed";
  ASSERT_EQ(std::system(("cd " + Quoted(work.string()) + " && gcab -c -z app.cab app.txt").c_str()), 0);
  // A program whose package was named like a staging folder, installed first.
  fs::copy_file(work / "app.cab", work / ("~wceload." + dead + ".tool.cab"));
  HostRun r = Host({"install", (work / ("~wceload." + dead + ".tool.cab")).string()});
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  const std::vector<fs::path> theirs = {
      programs / ("~wceload." + dead + ".tool") / "app.txt",
      programs / ("~wceload." + dead + ".mine") / "notes.txt",
      programs / ("~wceload." + dead + ".00000001") / "0",
      temp / ("qelhost-install." + dead + ".mine") / "notes.txt",
      temp / ("qelhost-install." + dead + ".00000001") / "app.cab",
  };
  for (const auto& file : theirs) {
    fs::create_directories(file.parent_path());
    if (!fs::exists(file)) std::ofstream(file) << "installed";
  }
  // Staging folders as installs killed mid-way leave them, marked with their process id.
  const fs::path orphans[] = {programs / ("~wceload." + dead + ".0000abcd"),
                              temp / ("qelhost-install." + dead + ".0000abcd")};
  fs::create_directories(orphans[0]);
  std::ofstream(orphans[0] / ".wceload-staging") << "wceload staging, process " << dead << "\n";
  std::ofstream(orphans[0] / "0") << "half";
  fs::create_directories(orphans[1]);
  std::ofstream(orphans[1] / ".qelhost-install") << "qelhost install staging, process " << dead << "\n";
  std::ofstream(orphans[1] / "app.cab") << "half";
  r = Host({"install", (work / "app.cab").string()});
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  for (const auto& file : theirs) EXPECT_EQ(qeltest::Contents(file), "installed") << file;
  for (const auto& orphan : orphans) EXPECT_FALSE(fs::exists(orphan)) << orphan;
}

TEST_F(Hardening, PluginWithoutASlashIsTheFileInTheWorkingFolder) {
  const fs::path work = root() / "work";
  fs::create_directories(work);
  std::ofstream(work / "QelHal_HON2.mpi") << "junk, not a module";
  HostRun r = Host({"--plugin", "QelHal_HON2.mpi", "props"}, {.cwd = work.string()});
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.err.find((work / "QelHal_HON2.mpi").string()), std::string::npos) << r.err;
  r = Host({"--plugin", "libm.so.6", "props"}, {.cwd = work.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no such module file"), std::string::npos) << r.err;
  // The real module by a relative name still loads.
  fs::copy_file(QEL_MODULE_PATH, work / "copy.mpi");
  r = Host({"--plugin", "copy.mpi", "prop", "get", "SYS_DROP_COUNT"}, {.cwd = work.string()});
  EXPECT_EQ(r.status, 0) << r.err;
}

template <class T>
T At(const std::string& bytes, size_t offset) {
  T value{};
  if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// 5. A truncated or damaged module is refused before it is loaded into qelhost.
TEST_F(Hardening, DamagedModulesAreRefusedWithAMessage) {
  const std::string module = qeltest::Contents(QEL_MODULE_PATH);
  ASSERT_GT(module.size(), 50000u);
  struct Damage {
    std::string name;
    std::string bytes;
  };
  std::vector<Damage> cases;
  for (size_t cut : {size_t(0), size_t(10), size_t(64), size_t(1000), size_t(4096), size_t(10000),
                     size_t(41968), size_t(50000), module.size() / 2, module.size() - 1})
    cases.push_back({"truncated at " + std::to_string(cut), module.substr(0, cut)});
  auto changed = [&](const std::string& name, size_t at, std::string bytes) {
    std::string copy = module;
    copy.replace(at, bytes.size(), bytes);
    cases.push_back({name, copy});
  };
  changed("magic", 1, "XYZ");
  changed("class", 4, "\x01");
  changed("byte order", 5, "\x02");
  changed("machine", 18, "\x28\x00");
  changed("type", 16, "\x02\x00");
  changed("program header offset", 32, std::string("\xff\xff\xff\x7f\x00\x00\x00\x00", 8));
  {
    // A table of three entries two entries before the end runs past the file,
    // whatever the module's size.
    std::string table = module.substr(32, 26);  // program header offset .. count
    const uint64_t nearEnd = module.size() - 2 * sizeof(Elf64_Phdr);
    table.replace(0, 8, reinterpret_cast<const char*>(&nearEnd), 8);
    table.replace(24, 2, "\x03\x00", 2);
    changed("program header count", 32, table);
  }
  changed("program header size", 54, "\x10\x00");
  // The first program header's offset and size (64-bit layout: phoff 64).
  changed("segment offset", 64 + 8, std::string("\x00\x00\x00\x40\x00\x00\x00\x00", 8));
  changed("segment size", 64 + 32, std::string("\x00\x00\x00\x40\x00\x00\x00\x00", 8));
  // Changes deeper in, that only the loader notices: found through the headers.
  const Elf64_Ehdr eh = At<Elf64_Ehdr>(module, 0);
  std::vector<std::pair<size_t, Elf64_Phdr>> loads;
  size_t dynamicAt = 0;
  for (size_t i = 0; i < eh.e_phnum; ++i) {
    const size_t at = eh.e_phoff + i * sizeof(Elf64_Phdr);
    const auto ph = At<Elf64_Phdr>(module, at);
    if (ph.p_type == PT_LOAD) loads.emplace_back(at, ph);
    if (ph.p_type == PT_DYNAMIC) dynamicAt = at;
  }
  ASSERT_NE(dynamicAt, 0u);
  const auto dynamic = At<Elf64_Phdr>(module, dynamicAt);
  auto fileOffset = [&](uint64_t address) {
    for (const auto& [at, ph] : loads)
      if (address >= ph.p_vaddr && address < ph.p_vaddr + ph.p_filesz)
        return size_t(ph.p_offset + address - ph.p_vaddr);
    return size_t(0);
  };
  std::map<int64_t, std::pair<size_t, uint64_t>> tags;  // first entry of each tag: where, value
  for (size_t at = dynamic.p_offset; at < dynamic.p_offset + dynamic.p_filesz; at += sizeof(Elf64_Dyn)) {
    const auto d = At<Elf64_Dyn>(module, at);
    if (d.d_tag == DT_NULL) break;
    tags.emplace(d.d_tag, std::make_pair(at, d.d_un.d_val));
  }
  for (const auto tag : {DT_NEEDED, DT_STRSZ, DT_GNU_HASH, DT_JMPREL}) ASSERT_TRUE(tags.count(tag)) << tag;
  auto u64 = [](uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  const auto& holder = *std::find_if(loads.begin(), loads.end(), [&](const auto& l) {
    return dynamic.p_vaddr >= l.second.p_vaddr && dynamic.p_vaddr < l.second.p_vaddr + l.second.p_memsz;
  });
  changed("dynamic section's address", dynamicAt + offsetof(Elf64_Phdr, p_vaddr), u64(dynamic.p_vaddr + 8));
  changed("library name past the string table", tags[DT_NEEDED].first + 8, u64(tags[DT_STRSZ].second + 64));
  changed("dynamic section ended at once", dynamic.p_offset, u64(DT_NULL));
  changed("segment holding the dynamic section shortened", holder.first + offsetof(Elf64_Phdr, p_filesz),
          u64(dynamic.p_vaddr - holder.second.p_vaddr));
  changed("hash filter of three words", fileOffset(tags[DT_GNU_HASH].second) + 8, u32(3));
  // A call's relocation naming a symbol far past the symbol table: the headers are whole.
  changed("relocation's symbol", fileOffset(tags[DT_JMPREL].second) + offsetof(Elf64_Rela, r_info) + 4,
          u32(0x7fffffff));
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const fs::path bad = root() / ("bad" + std::to_string(i) + ".mpi");
    std::ofstream(bad, std::ios::binary) << cases[i].bytes;
    const HostRun r = Host({"--plugin", bad.string(), "props"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(bad.string()), std::string::npos) << r.err;
  }
}

// 6. No usable home for persistent terminals is a message, and a relative
// XDG_STATE_HOME is ignored as the XDG rules say.
TEST_F(Hardening, StateHomeFollowsTheXdgRules) {
  HostOptions none{.env = "-u HOME -u XDG_STATE_HOME TMPDIR=/nonexistent", .stateHome = false};
  HostRun r = RunHost({"prop", "get", "POWER_SOURCE"}, root(), none);
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("--terminal"), std::string::npos) << r.err;

  const fs::path work = root() / "work", home = root() / "home";
  fs::create_directories(work);
  HostOptions relative{.env = "XDG_STATE_HOME=relative HOME=" + Quoted(home.string()),
                       .cwd = work.string(),
                       .stateHome = false};
  r = RunHost({"prop", "get", "SYS_DROP_COUNT"}, root(), relative);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(work / "relative"));
  EXPECT_TRUE(ce::sim::IsTerminal(home / ".local/state/qelhost/terminals/thor-vm1"));
}

// 7. `--terminal .` in an empty working folder makes the terminal there and
// keeps the folder itself (the process is not left in a deleted folder).
TEST_F(Hardening, TerminalDotFillsTheEmptyWorkingFolder) {
  const fs::path work = root() / "here";
  fs::create_directories(work);
  struct ::stat before {};
  ASSERT_EQ(::stat(work.c_str(), &before), 0);
  const HostRun r =
      RunHost({"--terminal", ".", "prop", "get", "SYS_DROP_COUNT"}, root(), {.cwd = work.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ce::sim::IsTerminal(work));
  struct ::stat after {};
  ASSERT_EQ(::stat(work.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  // And again, now that it is a terminal.
  EXPECT_EQ(RunHost({"--terminal", ".", "terminal", "show"}, root(), {.cwd = work.string()}).status, 0);
}

// 8. Empty option values are usage errors, never the defaults.
TEST_F(Hardening, EmptyOptionValuesAreUsageErrors) {
  for (const char* option : {"--terminal", "--plugin", "--profile"}) {
    SCOPED_TRACE(option);
    const HostRun r = RunHost({option, "", "prop", "get", "SYS_DROP_COUNT"}, root());
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(option), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(root() / "state"));  // the home terminal was not touched
}

// 9. Output that cannot be written is an error.
TEST_F(Hardening, OutputWriteErrorsAreReported) {
  // A command that fails, too: an output failure wins over its status.
  const std::vector<std::string> verbs[] = {
      {"props"}, {"terminal", "show", "--json"}, {"profiles"}, {"run", "PXS W %REG HKEY_NOWHERE\\A N V S"}};
  for (const auto& verb : verbs) {
    for (const char* to : {"/dev/full", "&-"}) {
      SCOPED_TRACE(Line(verb) + to);
      const HostRun r = Host(verb, {.stdoutTo = to});
      EXPECT_EQ(r.status, 3) << r.err;
      EXPECT_NE(r.err.find("output could not be written"), std::string::npos) << r.err;
    }
  }
  // A trace that cannot be written is output lost too; the verb's own output still arrives.
  const HostRun traced = Host({"--trace", "props"}, {.stderrTo = "/dev/full"});
  EXPECT_EQ(traced.status, 3);
  EXPECT_NE(traced.out.find("SYS_MANUFACTURER"), std::string::npos) << traced.out;
  // A reader that went away: the write fails and says so, no SIGPIPE death.
  const std::string piped = "env -u QEL_TERMINAL " + Quoted(qeltest::HostPath()) + " --terminal " +
                            Quoted(dir().string()) + " --json props 2>" + Quoted((root() / "err").string()) +
                            " | true; exit ${PIPESTATUS[0]}";
  const int status = std::system(("bash -c " + Quoted(piped)).c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 3) << qeltest::Contents(root() / "err");
  // With stdout closed, nothing printed may land in a file the run opened.
  const std::string registry = qeltest::Contents(dir() / "registry.db");
  EXPECT_EQ(registry.find("POWER_SOURCE"), std::string::npos);
}

// 10. hardware.json is checked whole when a terminal opens: a hand edit that
// breaks a field rule is refused with the field named, and nothing writes it back.
TEST_F(Hardening, BrokenHardwareFileIsRefusedNamingTheField) {
  const json good = HardwareFile();
  struct Case {
    const char* pointer;
    json value;
  } cases[] = {
      {"/memory/total_phys", -5},
      {"/kernel/boot_time_unix_ms", "yesterday"},
      {"/power/battery_life_percent", 256},
      {"/modules", json::array({1, 2})},
      {"/power", 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pointer);
    json bad = good;
    bad[json::json_pointer(c.pointer)] = c.value;
    WriteHardware(bad);
    std::string field = std::string(c.pointer).substr(1);
    for (char& ch : field)
      if (ch == '/') ch = '.';
    for (const std::vector<std::string>& verb :
         {std::vector<std::string>{"prop", "get", "SYS_MEM_TOTAL"},
          std::vector<std::string>{"terminal", "show"},
          std::vector<std::string>{"terminal", "set", "oem_info", "x"}}) {
      const HostRun r = Host(verb);
      EXPECT_EQ(r.status, 2) << Line(verb) << r.out;
      EXPECT_NE(r.err.find(field), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("hardware.json"), std::string::npos) << r.err;
    }
    EXPECT_EQ(HardwareFile(), bad);  // not rewritten
  }
}

// 11. A registry that is not whole, or not a registry, is an error naming the
// file; it is never replaced by a new, empty one.
TEST_F(Hardening, RegistryThatIsNotWholeIsAnError) {
  const fs::path db = dir() / "registry.db";
  const std::string sql[] = {"DROP TABLE vals", "DROP TABLE keys; DROP TABLE vals",
                             "DELETE FROM keys WHERE parent IS NULL", "PRAGMA user_version = 0"};
  const fs::path pristine = root() / "pristine.db";
  fs::copy_file(db, pristine);
  for (const auto& statement : sql) {
    SCOPED_TRACE(statement);
    fs::copy_file(pristine, db, fs::copy_options::overwrite_existing);
    ASSERT_EQ(
        std::system(
            ("python3 -c 'import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.executescript(sys.argv[2]); "
             "c.commit()' " +
             Quoted(db.string()) + " " + Quoted(statement))
                .c_str()),
        0);
    const HostRun r = Host({"prop", "get", "SYS_DROP_COUNT"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.err.find(db.string()), std::string::npos) << r.err;
  }
  // Pages damaged on disk (a table page taken for an index page): refused
  // when the terminal opens, naming the file, before any read or write.
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(db.string() + suffix);
  fs::copy_file(pristine, db, fs::copy_options::overwrite_existing);
  ASSERT_EQ(std::system(("python3 -c 'import sqlite3,sys; sqlite3.connect(sys.argv[1]).execute(\"PRAGMA "
                         "wal_checkpoint(TRUNCATE)\").fetchall()' " +
                         Quoted(db.string()))
                            .c_str()),
            0);
  const std::string checkpointed = qeltest::Contents(db);
  for (const size_t page : {4u, 5u}) {  // sqlite_sequence and vals in a new registry
    SCOPED_TRACE(page);
    std::string damaged = checkpointed;
    ASSERT_GT(damaged.size(), page * 4096);
    damaged[(page - 1) * 4096] = '\x0a';
    std::ofstream(db, std::ios::binary | std::ios::trunc) << damaged;
    for (const std::vector<std::string>& verb :
         {std::vector<std::string>{"run", "PXS R %REG HKEY_LOCAL_MACHINE\\Software\\X N $v $t"},
          std::vector<std::string>{"run", "PXS W %REG HKEY_LOCAL_MACHINE\\Software\\X N V S"}}) {
      const HostRun r = Host(verb);
      EXPECT_EQ(r.status, 2) << r.out;
      EXPECT_NE(r.err.find(db.string() + ": damaged"), std::string::npos) << r.err;
    }
    EXPECT_EQ(qeltest::Contents(db), damaged);
  }

  // Zero bytes, its log gone: refused, and left as it is.
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(db.string() + suffix);
  std::ofstream(db, std::ios::trunc).close();
  const HostRun r = Host({"terminal", "show"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(db.string()), std::string::npos) << r.err;
  EXPECT_EQ(fs::file_size(db), 0u);
}

// 12. One rule for field names: what terminal set accepts, a profile accepts.
TEST_F(Hardening, TerminalSetRefusesFieldNamesAProfileWouldRefuse) {
  json profile = *ce::sim::BuiltinProfile("thor-vm1");
  profile["name"] = "with-extra";
  profile["hardware"]["extra"] = nullptr;
  std::ofstream(root() / "extra.json") << profile.dump();
  const fs::path other = root() / "other";
  const auto host = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", other.string(), "--profile", (root() / "extra.json").string()});
    return RunHost(args, root());
  };
  ASSERT_EQ(host({"terminal", "show"}).status, 0);
  for (const char* value : {R"({"a.b": 1})", R"({"": {"": 5}})", R"({"ok": {"x.y": true}})"}) {
    SCOPED_TRACE(value);
    const HostRun r = host({"terminal", "set", "extra", value});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("no dots"), std::string::npos) << r.err;
  }
  EXPECT_EQ(host({"terminal", "set", "extra", R"({"fine": {"name": 1}})"}).status, 0);
  // A profile made from what terminal set accepted is itself accepted.
  json again = profile;
  again["name"] = "again";
  std::ifstream in(other / "hardware.json");
  again["hardware"] = json::parse(in);
  std::ofstream(root() / "again.json") << again.dump();
  EXPECT_EQ(RunHost({"--terminal", (root() / "again").string(), "--profile", (root() / "again.json").string(),
                     "terminal", "show"},
                    root())
                .status,
            0);
}

// 13. Profiles have documented limits.
TEST_F(Hardening, ProfilesBeyondTheLimitsAreRefused) {
  json many = {{"name", "many"}, {"hardware", json::object()}, {"files", json::object()}};
  for (size_t i = 0; i <= ce::sim::kMaxProfileEntries; ++i) many["files"]["\\f" + std::to_string(i)] = "";
  std::ofstream(root() / "many.json") << many.dump();
  HostRun r = RunHost(
      {"--terminal", (root() / "m").string(), "--profile", (root() / "many.json").string(), "props"}, root());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("limit"), std::string::npos) << r.err;

  {
    std::ofstream big(root() / "big.json");
    big << R"({"name": "big", "hardware": {}, "description": ")";
    big << std::string(ce::sim::kMaxProfileFileBytes, 'x') << "\"}";
  }
  r = RunHost({"--terminal", (root() / "b").string(), "--profile", (root() / "big.json").string(), "props"},
              root());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("limit"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(root() / "m"));
  EXPECT_FALSE(fs::exists(root() / "b"));
}

// 14. Messages say what is wrong, once, in printable text.
TEST_F(Hardening, MessagesSayWhatIsWrong) {
  // The registry's path once, not twice.
  std::ofstream(dir() / "registry.db", std::ios::trunc) << std::string(4096, 'x');
  HostRun r = Host({"terminal", "show"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(CountOf(r.err, "registry.db"), 1u) << r.err;

  // A profile that is a folder or a FIFO (which must not hang the run).
  fs::create_directories(root() / "profdir");
  ASSERT_EQ(::mkfifo((root() / "fifo").c_str(), 0644), 0);
  r = RunHost({"--terminal", (root() / "n1").string(), "--profile", (root() / "profdir").string(), "props"},
              root());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("is a folder"), std::string::npos) << r.err;
  r = RunHost({"--terminal", (root() / "n2").string(), "--profile", (root() / "fifo").string(), "props"},
              root());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;

  // \a is a file, so \a\b cannot be made: the message blames \a.
  std::ofstream(root() / "ab.json")
      << R"({"name": "ab", "hardware": {}, "files": {"\\a": "x", "\\a\\b": "y"}})";
  r = RunHost({"--terminal", (root() / "n3").string(), "--profile", (root() / "ab.json").string(), "props"},
              root());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(R"("\a" is a file, not a folder)"), std::string::npos) << r.err;

  // Control characters in names are escaped.
  r = RunHost({"--terminal", (root() / "n4").string(), "prop", "get", "BAD\x1b[2JNAME\n"}, root());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("BAD\\x1B[2JNAME\\x0A"), std::string::npos) << r.err;

  // --profile for an existing terminal of another profile is ignored, and said so.
  r = RunHost({"--terminal", (root() / "n4").string(), "--profile", "mc9190", "terminal", "show"}, root());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("ignored"), std::string::npos) << r.err;
  r = RunHost({"--terminal", (root() / "n4").string(), "--profile", "thor-vm1", "terminal", "show"}, root());
  EXPECT_EQ(r.err, "");
}

// Root reads and writes every folder: permission tests run qelhost as nobody
// then (when nobody can run it from where it was built); "" when not needed.
std::optional<std::string> UnprivilegedPrefix() {
  const std::string prefix = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  if (!prefix.empty() && std::system((prefix + "test -x " + Quoted(qeltest::HostPath())).c_str()) != 0)
    return std::nullopt;
  return prefix;
}

// 14. A folder that cannot be read is "permission denied", not "not a terminal";
// one that cannot be written, where the lock file is missing, too.
TEST_F(Hardening, UnreadableOrUnwritableTerminalFolderSaysPermissionDenied) {
  const auto prefix = UnprivilegedPrefix();
  if (!prefix) GTEST_SKIP() << "nobody cannot run " << qeltest::HostPath();
  fs::permissions(root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);  // the registry's log files exist
  fs::remove(dir() / "hardware.lock");
  if (::geteuid() == 0) {
    ASSERT_EQ(std::system(("chown -R 65534:65534 " + Quoted(dir().string())).c_str()), 0);
  }
  const struct {
    fs::perms mode;
    const char* verb;
  } cases[] = {{fs::perms::none, "terminal show"},
               {fs::perms::owner_read | fs::perms::owner_exec, "terminal set oem_info X"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.verb);
    fs::permissions(dir(), c.mode);
    const std::string command = *prefix + Quoted(qeltest::HostPath()) + " --terminal " +
                                Quoted(dir().string()) + " " + c.verb + " 2>" +
                                Quoted((root() / "err").string());
    const int status = std::system(("env -u QEL_TERMINAL " + command).c_str());
    fs::permissions(dir(), fs::perms::owner_all);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(qeltest::Contents(root() / "err").find("Permission denied"), std::string::npos)
        << qeltest::Contents(root() / "err");
  }
}

// A control character in anything echoed (a field name, a path, a command
// line, a file name) is shown escaped, never sent to the terminal raw; text
// that is not UTF-8 is refused rather than silently changed.
TEST_F(Hardening, ControlCharactersAreEscapedAndBadTextRefused) {
  json hw = HardwareFile();
  hw["eq = 5\nfake_line"] = 2;
  hw["bell\x07"
     "esc\x1b[31m"] = 1;
  WriteHardware(hw);
  const fs::path script = root() / "bad.txt";
  std::ofstream(script) << "# a script\nPXS W %REG HKEY_LOCAL_MACHINE\\Software\\Demo N \xff\xfe S\n";
  // A value that would retitle the terminal window were it printed raw.
  ASSERT_EQ(Host({"prop", "set", "SYS_ID_NAME",
                  "a\x1b]0;pwned\x07"
                  "b"})
                .status,
            0);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string shows;  // in stdout and stderr together
  } cases[] = {
      {{"terminal", "show"}, 0, "eq = 5\\x0Afake_line = 2"},
      {{"terminal", "show"}, 0, "bell\\x07esc\\x1B[31m = 1"},
      {{"prop", "get", "SYS_ID_NAME"}, 0, "a\\x1B]0;pwned\\x07b  (String)"},
      {{"props"}, 0, "a\\x1B]0;pwned\\x07b  (String)"},
      {{"file-info", "\\\x1b[31mX"}, 1, "\\x1B[31mX: cannot be opened"},
      {{"run", "PXS R %REG HKEY_LOCAL_MACHINE\\Software\\X\x1b[2J N $v $t"}, 1, "X\\x1B[2J N $v $t"},
      {{"script", "/nonexist\x1b[2J"}, 2, "/nonexist\\x1B[2J: no such file"},
      {{"run", "PXS W %REG HKEY_LOCAL_MACHINE\\Software\\Demo N \xff\xfe S"}, 2, "not valid UTF-8"},
      {{"script", script.string()}, 2, "not valid UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(qeltest::Quoted(Line(c.args)));
    const HostRun r = Host(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    const std::string both = r.out + r.err;
    EXPECT_NE(both.find(c.shows), std::string::npos) << both;
    EXPECT_EQ(
        std::count_if(both.begin(), both.end(), [](char ch) { return ch != '\n' && uint8_t(ch) < 0x20; }), 0)
        << both;
  }
  // Nothing of the refused text reached the registry.
  EXPECT_EQ(Host({"run", "PXS R %REG HKEY_LOCAL_MACHINE\\Software\\Demo N $v $t"}).out.find("\xef\xbf\xbd"),
            std::string::npos);
}

// Small strictnesses: one spelling for an index and a number, errors blamed
// on what caused them, a boot time to come read as no up-time yet.
TEST_F(Hardening, SmallRulesHold) {
  std::ofstream(root() / "afile") << "a file";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;  // in stderr
  } cases[] = {
      {{"terminal", "set", "modules.01", "Z1"}, 2, "no field 'modules.01'"},
      {{"terminal", "set", "power.battery_life_percent", " 5"}, 2, "must be"},
      {{"terminal", "set", "power.battery_life_percent", "5 "}, 2, "must be"},
      {{"terminal", "set", "power.battery_life_percent", "5"}, 0, ""},
      {{"--terminal", (root() / "afile" / "sub").string(), "terminal", "show"},
       2,
       "qelhost: " + root().string()},
      {{"--bogus"}, 2, "--bogus"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Line(c.args));
    const HostRun r = c.args[0].starts_with("--") ? RunHost(c.args, root()) : Host(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  const auto future = std::chrono::duration_cast<std::chrono::milliseconds>(
      (std::chrono::system_clock::now() + std::chrono::hours(24 * 365)).time_since_epoch());
  ASSERT_EQ(Host({"terminal", "set", "kernel.boot_time_unix_ms", std::to_string(future.count())}).status, 0);
  const std::string upTime = Host({"--json", "prop", "get", "SYS_DEVICE_UP_TIME"}).out;
  EXPECT_NE(upTime.find("\"text\": \"0\""), std::string::npos) << upTime;
}

// The command line is strict about Bool and TriState too: whole words only.
TEST_F(Hardening, BoolAndTriStateTakeWholeWordsOnly) {
  const struct {
    const char* kind;
    const char* text;
    int status;  // 2 refused; 0 well formed (the setter then decides)
  } cases[] = {
      {"Bool", "18446744073709551616", 2},
      {"Bool", "nan", 2},
      {"Bool", "1e308", 2},
      {"Bool", "yesterday", 2},
      {"Bool", "Trueish", 2},
      {"Bool", "true", 0},
      {"Bool", "0", 0},
      {"Bool", " No ", 0},
      {"TriState", "x", 2},
      {"TriState", "xyz", 2},
      {"TriState", "unknown", 0},
      {"TriState", "yes", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.text);
    const HostRun r = Host({"prop", "set", "SYS_ID_NAME", c.text, "--kind", c.kind});
    EXPECT_EQ(r.status == 2, c.status == 2) << r.err;
  }
}

// terminal set keeps hardware.json a file of its own: a link is refused, and
// the file keeps its mode (and owner, where this process may give it).
TEST_F(Hardening, TerminalSetRefusesALinkAndKeepsModeAndOwner) {
  const fs::path file = dir() / "hardware.json";
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const bool isRoot = ::geteuid() == 0;
  if (isRoot) {
    ASSERT_EQ(::chown(file.c_str(), 4321, 4321), 0);
  }
  ASSERT_EQ(Host({"terminal", "set", "power.battery_life_percent", "40"}).status, 0);
  struct ::stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (isRoot) {
    EXPECT_EQ(st.st_uid, 4321u);
  }

  fs::rename(file, root() / "real.json");
  fs::create_symlink(root() / "real.json", file);
  const HostRun r = Host({"terminal", "set", "power.battery_life_percent", "41"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("symbolic link"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_symlink(file));
}

// Every state file of a terminal is refused when it is a link or
// anything but a regular file, and the message names the file and the cause.
constexpr char kNotRegular[] = "; a terminal's state files must be regular files";

TEST_F(Hardening, AnEventChannelThatIsALinkIsNotWrittenThrough) {
  std::ofstream(root() / "victim.txt") << "mine\n";
  fs::remove(dir() / "events.log");
  fs::create_symlink("../victim.txt", dir() / "events.log");
  const HostRun r = Host({"terminal", "suspend"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find((dir() / "events.log").string() + ": is a symbolic link" + kNotRegular),
            std::string::npos)
      << r.err;
  EXPECT_EQ(qeltest::Contents(root() / "victim.txt"), "mine\n");
}

TEST_F(Hardening, AnEventChannelThatIsAFifoIsRefusedAtOnce) {
  fs::remove(dir() / "events.log");
  ASSERT_EQ(::mkfifo((dir() / "events.log").c_str(), 0644), 0);
  HostOptions o;
  o.prefix = "timeout -s KILL 20 ";
  const HostRun r = Host({"terminal", "suspend"}, o);
  EXPECT_NE(r.status, 137) << "hung";
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find((dir() / "events.log").string() + ": is a FIFO" + kNotRegular), std::string::npos)
      << r.err;
}

TEST_F(Hardening, ANotificationsLockThatIsALinkMakesNothing) {
  fs::create_symlink("../made-through-a-link", dir() / "notifications.lock");
  const HostRun r = Host({"props"});
  EXPECT_FALSE(fs::exists(root() / "made-through-a-link"));
  EXPECT_NE(r.err.find((dir() / "notifications.lock").string() + ": is a symbolic link" + kNotRegular),
            std::string::npos)
      << r.err;
}

// 13. A link in place of fs/ or of the registry's log is named as the cause.
TEST_F(Hardening, AFileSystemFolderThatIsALinkIsNamedAsTheCause) {
  fs::rename(dir() / "fs", root() / "real-fs");
  fs::create_symlink(root() / "real-fs", dir() / "fs");
  const HostRun r = Host({"terminal", "show"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find((dir() / "fs").string() + ": is a symbolic link"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("holds no"), std::string::npos) << r.err;
}

TEST_F(Hardening, ARegistryLogThatIsALinkIsNamedAsTheCause) {
  fs::remove(dir() / "registry.db-wal");
  std::ofstream(root() / "wal") << "";
  fs::create_symlink(root() / "wal", dir() / "registry.db-wal");
  const HostRun r = Host({"terminal", "show"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find((dir() / "registry.db-wal").string() + ": is a symbolic link" + kNotRegular),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("unable to open database file"), std::string::npos) << r.err;
}

// 9. The temporaries of killed writers of notifications.json are removed
// when the terminal is opened, those of earlier builds included.
TEST_F(Hardening, TemporariesOfKilledNotificationWritersAreRemoved) {
  const std::string dead = std::to_string(DeadPid());
  const std::vector<std::string> left = {"notifications.json.a1B2c3", "notifications.json.ZZZZZZ",
                                         ".notifications.json." + dead + ".q9W8e7"};
  for (const auto& name : left) std::ofstream(dir() / name) << "{\"entries\": [";
  std::ofstream(dir() / "notifications.json.mine") << "kept";
  ASSERT_EQ(Host({"terminal", "show"}).status, 0);
  for (const auto& name : left) EXPECT_FALSE(fs::exists(dir() / name)) << name;
  EXPECT_TRUE(fs::exists(dir() / "notifications.json.mine"));
}

}  // namespace
