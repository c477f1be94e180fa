// End to end: the real qelhost and the real module, each run on a fresh
// terminal; the module loaded in-process through the host's own loader; and
// the module's export table read from the file.
#include <elf.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ce/text.h"
#include "expected_properties.h"
#include "plugin_host.h"
#include "test_terminal.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct HostRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs qelhost with its output captured in files under `scratch`, with a state
// home of its own so that nothing outside the test's folder is touched.
HostRun RunHost(const std::vector<std::string>& args, const fs::path& scratch) {
  const std::string outPath = (scratch / "stdout").string(), errPath = (scratch / "stderr").string();
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string_view v(*e);
    if (!v.starts_with("QEL_TERMINAL=") && !v.starts_with("XDG_STATE_HOME=")) env.emplace_back(v);
  }
  env.push_back("XDG_STATE_HOME=" + (scratch / "state").string());
  std::vector<char*> argv{const_cast<char*>(QEL_HOST_PATH)}, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, QEL_HOST_PATH, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  HostRun r;
  if (spawned != 0) {
    ADD_FAILURE() << "posix_spawn " << QEL_HOST_PATH << ": " << std::strerror(spawned);
    return r;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = ReadFile(outPath);
  r.err = ReadFile(errPath);
  return r;
}

// A terminal for qelhost to run on, and a shorthand for --terminal it.
class QelHost : public ::testing::Test {
 protected:
  HostRun Host(std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return RunHost(args, terminal.root());
  }
  static json Parse(const HostRun& r) {
    json j = json::parse(r.out, nullptr, false);
    if (j.is_discarded()) ADD_FAILURE() << "not JSON: " << r.out;
    return j;
  }

  qeltest::TestTerminal terminal;
};

TEST_F(QelHost, PropsListsAllSixtyEightInRegistrationOrder) {
  const HostRun r = Host({"props", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json all = Parse(r);
  ASSERT_TRUE(all.is_array());
  ASSERT_EQ(all.size(), qeltest::kExpectedProperties.size());

  std::map<std::string, json> byName;
  for (size_t i = 0; i < all.size(); ++i) {
    const json& p = all[i];
    SCOPED_TRACE(p.dump());
    EXPECT_EQ(p.value("name", ""), qeltest::kExpectedProperties[i].name) << "entry " << i;
    ASSERT_TRUE(p.contains("ok") && p["ok"].is_boolean());
    std::set<std::string> keys;
    for (const auto& [k, v] : p.items()) keys.insert(k);
    if (p["ok"].get<bool>()) {
      EXPECT_EQ(keys, (std::set<std::string>{"name", "ok", "kind", "text"}));
      EXPECT_TRUE(p["kind"].is_string() && p["text"].is_string());
    } else {
      EXPECT_EQ(keys, (std::set<std::string>{"name", "ok"}));
    }
    byName[p.value("name", "")] = p;
  }
  // What the default terminal's profile reports.
  const std::pair<const char*, json> known[] = {
      {"POWER_BATTERY_LEVEL", {{"kind", "UInt32"}, {"text", "100"}}},
      {"POWER_BATTERY_LIFETIME", {{"kind", "String"}, {"text", "?"}}},
      {"POWER_SOURCE_RT", {{"kind", "UInt32"}, {"text", "1"}}},
      {"SYS_DISK_FREE_SPACE", {{"kind", "UInt64"}, {"text", "201326592"}}},
      {"SYS_MEM_TOTAL", {{"kind", "UInt32"}, {"text", "536870912"}}},
      {"SYS_DROP_COUNT", {{"kind", "UInt32"}, {"text", "0"}}},
  };
  for (const auto& [name, want] : known) {
    const json& got = byName[name];
    EXPECT_EQ(got.value("ok", false), true) << name;
    EXPECT_EQ(got.value("kind", ""), want["kind"]) << name;
    EXPECT_EQ(got.value("text", ""), want["text"]) << name;
  }
}

TEST_F(QelHost, UnknownBatteryPercentReadsAsQuestionMark) {
  ASSERT_EQ(Host({"terminal", "set", "power.battery_life_percent", "255"}).status, 0);
  const HostRun r = Host({"prop", "get", "POWER_BATTERY_LEVEL", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Parse(r), (json{{"name", "POWER_BATTERY_LEVEL"}, {"ok", true}, {"kind", "String"}, {"text", "?"}}));
}

TEST_F(QelHost, TerminalShowIsJsonAndSeesEarlierChanges) {
  ASSERT_EQ(Host({"terminal", "set", "power.battery_life_percent", "42"}).status, 0);
  const HostRun r = Host({"terminal", "show", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json hw = Parse(r);
  ASSERT_TRUE(hw.is_object());
  EXPECT_EQ(hw["power"]["battery_life_percent"], 42);
  EXPECT_EQ(hw["display"]["supported_orientations"], 7);
}

TEST_F(QelHost, ServicesAreTheCradleThenTheDisplay) {
  const HostRun r = Host({"services", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Parse(r), json::parse(R"([
      {"iid": "{8BA03742-1F65-45DA-8AF2-AD19559A3EE2}", "name": "IID_QELCRADLESERVICE"},
      {"iid": "{52ED0073-98DE-43DD-A729-74BD01AB81CC}", "name": "IID_QELDISPLAYSERVICE"}])"));
}

TEST_F(QelHost, ExitStatusSaysWhatWentWrong) {
  const fs::path junk = terminal.root() / "junk";
  fs::create_directory(junk);
  std::ofstream(junk / "notes.txt") << "keep me";
  const std::string root = terminal.root().string();

  struct Case {
    std::vector<std::string> args;  // without --terminal when it starts with it
    int status;
    std::string inError;  // text the error output must contain
  };
  const Case cases[] = {
      {{"prop", "get", "SYS_DROP_COUNT"}, 0, ""},
      {{"prop", "get", "SYS_ESN"}, 1, ""},
      {{"prop", "get", "NO_SUCH_PROPERTY"}, 2, "NO_SUCH_PROPERTY"},
      {{"prop", "set", "SYS_DROP_COUNT", "1"}, 2, "read-only"},
      {{"prop", "set", "SYS_ID_NAME", "x", "--kind", "Wibble"}, 2, "Wibble"},
      {{"prop", "get"}, 2, ""},
      {{"frobnicate"}, 2, ""},
      {{}, 2, ""},
      {{"props", "--no-such-option"}, 2, ""},
      {{"terminal", "set", "power.battery_life_percent", "50"}, 0, ""},
      {{"terminal", "set", "power.no_such_field", "1"}, 2, "power.no_such_field"},
      {{"terminal", "set", "power.battery_life_percent", "abc"}, 2, "power.battery_life_percent"},
      {{"terminal", "set", "power.battery_life_percent", "\"50\""}, 2, "power.battery_life_percent"},
      {{"--terminal", junk.string(), "props"}, 2, junk.string()},
      {{"--terminal", root + "/new", "--profile", "no-such-profile", "props"}, 2, "no-such-profile"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const HostRun r = !c.args.empty() && c.args[0] == "--terminal" ? RunHost(c.args, terminal.root()) : Host(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.inError), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFile(junk / "notes.txt"), "keep me");
  EXPECT_FALSE(fs::exists(terminal.root() / "new"));
  EXPECT_EQ(terminal.Hardware("power.battery_life_percent"), 50);  // the refused sets changed nothing
}

TEST_F(QelHost, ABadProfileLeavesNoTerminalBehind) {
  struct Case {
    const char* file;
    const char* content;  // null: the file does not exist
    bool named;           // the error names the file
  };
  const Case cases[] = {
      {"missing.json", nullptr, true},
      {"broken.json", "{\"name\": \"x\", ", true},
      {"no-hardware.json", R"({"name": "x"})", true},
      {"array.json", "[1, 2]", true},
      // Readable, but a file it asks for would land outside the terminal.
      {"escape.json", R"({"name": "x", "hardware": {}, "files": {"\\..\\..\\outside.txt": "x"}})", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path profile = terminal.root() / c.file;
    if (c.content) std::ofstream(profile) << c.content;
    const fs::path target = terminal.root() / "made";
    const HostRun r = RunHost({"--terminal", target.string(), "--profile", profile.string(), "props"}, terminal.root());
    EXPECT_EQ(r.status, 2) << r.err;
    if (c.named) {
      EXPECT_NE(r.err.find(profile.string()), std::string::npos) << r.err;
    }
    EXPECT_FALSE(r.err.empty());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(terminal.root() / "outside.txt"));
    for (const auto& e : fs::directory_iterator(terminal.root()))
      EXPECT_EQ(e.path().filename().string().find("made"), std::string::npos) << e.path();
  }
}

// Shell completion leaves a slash at the end of a folder's name.
TEST_F(QelHost, ANewTerminalFolderMayEndInASlash) {
  const fs::path fresh = terminal.root() / "fresh";
  const HostRun r = RunHost({"--terminal", fresh.string() + "/", "prop", "get", "SYS_DROP_COUNT"}, terminal.root());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ce::sim::IsTerminal(fresh));
}

// Load, register, unregister and unload, over and over, reading every property
// each time: services must outlive every reference and die before the unload.
TEST(PluginHostInProcess, SurvivesAHundredLoadCycles) {
  qeltest::TestTerminal terminal;
  for (int cycle = 0; cycle < 100; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    qelhost::PluginHost host;
    std::string error;
    ASSERT_TRUE(host.Load(QEL_MODULE_PATH, &error)) << error;
    host.Start();
    ASSERT_TRUE(host.started());
    ASSERT_EQ(host.registrar().properties.size(), 68u);
    ASSERT_EQ(host.registrar().services.size(), 2u);
    for (const auto& p : host.registrar().properties) {
      const qelhost::PropertyReading r = host.Read(p);
      if (p.name == u"SYS_DROP_COUNT") {
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.text, "0");
      }
    }
    if (cycle == 0) {
      for (int i = 0; i < 3; ++i) {
        std::u16string buffer(64, u'#');
        EXPECT_FALSE(host.textExports()[i](buffer.data(), uint32_t(buffer.size())));
        EXPECT_EQ(buffer, std::u16string(64, u'#'));
      }
    }
    host.Shutdown();
    EXPECT_FALSE(host.started());
    EXPECT_TRUE(host.registrar().properties.empty());
  }
}

TEST(PluginHostInProcess, LoadNamesTheFileItCannotUse) {
  qeltest::TestTerminal terminal;
  const fs::path text = terminal.root() / "not-a-module.mpi";
  std::ofstream(text) << "plain text";
  const fs::path library = fs::path(QEL_MODULE_PATH).parent_path() / "libqelce.so";
  const std::pair<fs::path, std::string> cases[] = {
      {terminal.root() / "absent.mpi", "no such module file"},
      {text, "cannot be loaded"},
      {library, "does not export Register"},
  };
  for (const auto& [path, why] : cases) {
    qelhost::PluginHost host;
    std::string error;
    EXPECT_FALSE(host.Load(path, &error)) << path;
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
}

// The names the module defines in its dynamic symbol table.
std::set<std::string> DefinedDynamicSymbols(const fs::path& file, std::set<std::string>* notFunctions) {
  const std::string image = ReadFile(file);
  std::set<std::string> names;
  if (image.size() < sizeof(Elf64_Ehdr) || image.compare(0, SELFMAG, ELFMAG) != 0 || image[EI_CLASS] != ELFCLASS64) {
    ADD_FAILURE() << file << ": not a 64-bit ELF file";
    return names;
  }
  auto at = [&](uint64_t offset, uint64_t size) -> const char* {
    if (offset > image.size() || size > image.size() - offset) return nullptr;
    return image.data() + offset;
  };
  Elf64_Ehdr eh;
  std::memcpy(&eh, image.data(), sizeof eh);
  std::vector<Elf64_Shdr> sections(eh.e_shnum);
  const char* table = at(eh.e_shoff, uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr));
  if (!table || eh.e_shentsize != sizeof(Elf64_Shdr)) {
    ADD_FAILURE() << file << ": bad section table";
    return names;
  }
  std::memcpy(sections.data(), table, sections.size() * sizeof(Elf64_Shdr));
  for (const Elf64_Shdr& s : sections) {
    if (s.sh_type != SHT_DYNSYM || s.sh_link >= sections.size()) continue;
    const Elf64_Shdr& strtab = sections[s.sh_link];
    const char* strings = at(strtab.sh_offset, strtab.sh_size);
    const char* symbols = at(s.sh_offset, s.sh_size);
    if (!strings || !symbols) continue;
    for (uint64_t i = 0; i < s.sh_size / sizeof(Elf64_Sym); ++i) {
      Elf64_Sym sym;
      std::memcpy(&sym, symbols + i * sizeof(Elf64_Sym), sizeof sym);
      const unsigned bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE) ||
          sym.st_name >= strtab.sh_size)
        continue;
      const std::string name(strings + sym.st_name, strnlen(strings + sym.st_name, strtab.sh_size - sym.st_name));
      names.insert(name);
      if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC) notFunctions->insert(name);
    }
  }
  return names;
}

TEST(ModuleFile, ExportsExactlyTheSixEntryPoints) {
  std::set<std::string> notFunctions;
  const auto names = DefinedDynamicSymbols(QEL_MODULE_PATH, &notFunctions);
  EXPECT_EQ(names, (std::set<std::string>{"Register", "RegisterService", "UnRegister", "GetESN", "GetUSN",
                                          "GetQELPlatform"}));
  EXPECT_TRUE(notFunctions.empty()) << ::testing::PrintToString(notFunctions);
}

}  // namespace
