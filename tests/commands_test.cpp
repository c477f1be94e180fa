// PXS, SXC and the "*.cab" file handler end to end: the real module loaded by
// the host, its commands run through the host's command runner on a fresh
// terminal, and the outcome checked in the terminal's registry and files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/process.h"
#include "ce/registry.h"
#include "ce/sync.h"
#include "ce/system.h"
#include "ceutil/text.h"
#include "command_runner.h"
#include "plugin_host.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using qelhost::CommandOutcome;
using qelhost::CommandReport;
using Kind = CommandReport::Kind;

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.Load(QEL_MODULE_PATH, &error)) << error;
    host.Start();
  }

  CommandOutcome Run(const std::string& line) {
    std::string error;
    qelhost::CommandRunner runner(host.registrar(), host.registry());
    auto outcome = runner.Run(line, &error);
    EXPECT_TRUE(outcome) << line << ": " << error;
    return outcome ? *outcome : CommandOutcome{};
  }

  // The reports in a compact form: "SetResult 1 The key is not valid", "BadArgument 4", ...
  static std::vector<std::string> Reports(const CommandOutcome& o) {
    std::vector<std::string> all;
    for (const CommandReport& r : o.reports) switch (r.kind) {
        case Kind::SetResult:
          all.push_back("SetResult " + std::to_string(r.result) +
                        (r.text ? " " + ceutil::ToUtf8(*r.text) : ""));
          break;
        case Kind::Fail:
          all.push_back("Fail " + ceutil::ToUtf8(r.text.value_or(u"")));
          break;
        case Kind::BadArgument:
          all.push_back("BadArgument " + std::to_string(r.argument));
          break;
        case Kind::MissingArguments:
          all.push_back("MissingArguments");
          break;
      }
    return all;
  }

  static std::string Text(const CommandOutcome& o, const std::string& variable) {
    const auto it = o.variables.find(variable);
    if (it == o.variables.end()) return "<not named>";
    if (const auto* t = std::get_if<std::u16string>(&it->second)) return ceutil::ToUtf8(*t);
    if (const auto* i = std::get_if<int32_t>(&it->second)) return "int " + std::to_string(*i);
    if (const auto* b = std::get_if<std::vector<uint8_t>>(&it->second)) {
      std::string hex = "bytes";
      for (const uint8_t byte : *b) hex += " " + std::to_string(byte);
      return hex;
    }
    return "<unset>";
  }

  // A registry value as type and raw bytes; type 0 when missing.
  static std::pair<ce::DWORD, std::string> RegValue(ce::HKEY root, const char16_t* key,
                                                    const char16_t* name) {
    ce::RegKey k;
    if (ce::RegOpenKeyExW(root, key, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return {0, ""};
    ce::DWORD type = 0, size = 0;
    if (ce::RegQueryValueExW(k.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {0, ""};
    std::string data(size, '\0');
    ce::RegQueryValueExW(k.get(), name, nullptr, &type, reinterpret_cast<ce::BYTE*>(data.data()), &size);
    return {type, data};
  }
  static bool KeyExists(ce::HKEY root, const char16_t* key) {
    ce::RegKey k;
    return ce::RegOpenKeyExW(root, key, 0, KEY_READ, k.put()) == ERROR_SUCCESS;
  }
  static std::string Wide(std::u16string_view s) {  // UTF-16 bytes with the terminating zero
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2) + std::string(2, '\0');
  }
  static std::string Dword(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

  fs::path Fs(const std::string& relative) const { return terminal.dir() / "fs" / relative; }

  qeltest::TestTerminal terminal;
  qelhost::PluginHost host;
};

TEST_F(Commands, TheBuiltOnesAreRegisteredWithTheirHandlersAndTheCabHandlerToo) {
  std::vector<std::string> codes;
  for (const qelhost::RegisteredCommand& c : host.registrar().commands())
    codes.push_back(ceutil::ToUtf8(c.code));
  EXPECT_EQ(codes, (std::vector<std::string>{"IBP", "IPS", "DBL", "CCK", "SVR", "SPR", "SXC", "BRP", "BSP",
                                             "PXS", "ICD", "ILD", "SRB", "SWP", "PGT"}));
  const auto handlers = host.registry().fileHandlers().handlers.Snapshot();
  ASSERT_EQ(handlers.size(), 1u);
  EXPECT_EQ(handlers[0].pattern, u"*.cab");
  EXPECT_EQ(handlers[0].last, 0);
}

TEST_F(Commands, PxsFrameAndRegistryStoreFailures) {
  struct Row {
    std::string line;
    std::vector<std::string> reports;
  };
  const Row rows[] = {
      {"PXS", {"BadArgument 1"}},
      {"PXS X %REG HKEY_LOCAL_MACHINE\\A N V S", {"BadArgument 1"}},
      {"PXS W %REG HKEY_LOCAL_MACHINE\\A N", {"MissingArguments"}},
      {"PXS r %REG HKEY_LOCAL_MACHINE\\A N", {"MissingArguments"}},
      {"PXS W %REG \"\" N V S", {"BadArgument 3"}},
      {"PXS W %REG HKEY_LOCAL_MACHINE N V S", {"SetResult 1 The key is not valid"}},
      {"PXS W %REG HKEY_NOWHERE\\A N V S", {"SetResult 1 The key is not valid"}},
      {"PXS W %REG HKEY_LOCAL_MACHINE\\A \"\" V S N2 V S", {"BadArgument 4"}},
      {"PXS W %REG HKEY_LOCAL_MACHINE\\A N V s", {"SetResult 1 The type is not valid"}},
      {"PXS W %REG HKEY_LOCAL_MACHINE\\A N V X", {"SetResult 1 The type is not valid"}},
      {"PXS W %REG HKEY_LOCAL_MACHINE\\A N -1 D", {"SetResult 1 The type is not valid"}},
      {"PXS W %REG HKEY_LOCAL_MACHINE\\A N abc D", {"SetResult 1 The type is not valid"}},
      // A failing group does not stop the next one; each failure reports again.
      {"PXS W %REG HKEY_LOCAL_MACHINE\\A N V X M 1 D O V Q",
       {"SetResult 1 The type is not valid", "SetResult 1 The type is not valid"}},
      {"PXS R %REG HKEY_LOCAL_MACHINE\\A \"\" $v $t", {"BadArgument 4"}},
      {"PXS R %REG HKEY_LOCAL_MACHINE\\A N notavariable $t", {"BadArgument 5"}},
      {"PXS R %REG HKEY_LOCAL_MACHINE\\A Missing $v $t", {"SetResult 1 The value is not valid"}},
  };
  for (const Row& row : rows) EXPECT_EQ(Reports(Run(row.line)), row.reports) << row.line;
  EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, u"A", u"M").first, ce::DWORD(REG_DWORD))
      << "the group after a failure";
}

TEST_F(Commands, PxsRegistryWritesEachTypeAndReadsItBack) {
  struct Row {
    std::string value, letter;
    ce::DWORD type;
    std::string bytes;
    std::string readBack, typeBack;
  };
  const Row rows[] = {
      {"text", "S", REG_SZ, Wide(u"text"), "text", "S"},
      {"%WINDIR%", "E", REG_EXPAND_SZ, Wide(u"%WINDIR%"), "%WINDIR%", "E"},
      {"one", "M", REG_MULTI_SZ, Wide(u"one"), "one", "M"},
      {"42", "D", REG_DWORD, Dword(42), "int 42", "D"},
      {"5", "?", REG_DWORD, Dword(5), "int 5", "D"},
      {"abc", "?", REG_SZ, Wide(u"abc"), "abc", "S"},
      {"-1", "?", REG_SZ, Wide(u"-1"), "-1", "S"},
      {"\"\"", "S", REG_SZ, Wide(u""), "", "S"},
      {"Grüße", "S", REG_SZ, Wide(u"Grüße"), "Grüße", "S"},
      // Read back as exactly the bytes stored, not their count taken as characters.
      {"abc", "B", REG_BINARY, Wide(u"abc"), "bytes 97 0 98 0 99 0 0 0", "B"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value + " " + row.letter);
    EXPECT_EQ(Reports(Run("PXS W %REG hkey_local_machine\\Software\\Demo N " + row.value + " " + row.letter)),
              std::vector<std::string>{});
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, u"Software\\Demo", u"N"), std::make_pair(row.type, row.bytes));
    const CommandOutcome read = Run("PXS G %REG HKEY_LOCAL_MACHINE\\Software\\Demo N $v $t");
    EXPECT_EQ(Reports(read), std::vector<std::string>{});
    EXPECT_EQ(Text(read, "v"), row.readBack);
    EXPECT_EQ(Text(read, "t"), row.typeBack);
  }
  // Without a type argument the type is "?"; without a type variable only the value is read.
  EXPECT_TRUE(Reports(Run("PXS W %REG HKEY_CURRENT_USER\\T N 7 ? N2 x")).empty());
  EXPECT_EQ(RegValue(HKEY_CURRENT_USER, u"T", u"N"), std::make_pair(ce::DWORD(REG_DWORD), Dword(7)));
  EXPECT_EQ(RegValue(HKEY_CURRENT_USER, u"T", u"N2").first, 0u) << "the last group lacks its type argument";
  EXPECT_EQ(Text(Run("PXS R %REG HKEY_CURRENT_USER\\T N $v"), "v"), "<unset>") << "6 entries read no group";
  EXPECT_EQ(Text(Run("PXS R %REG HKEY_CURRENT_USER\\T N $v x"), "v"), "int 7");
}

TEST_F(Commands, PxsRegistryEdgeCases) {
  // Exactly six entries: the key is made and nothing is written.
  EXPECT_TRUE(Reports(Run("PXS W %REG HKEY_USERS\\Six N V")).empty());
  EXPECT_TRUE(KeyExists(HKEY_USERS, u"Six"));
  EXPECT_EQ(RegValue(HKEY_USERS, u"Six", u"N").first, 0u);
  // Reading a missing value still makes the key and serves the next group.
  ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Fresh"));
  const CommandOutcome r = Run("PXS R %REG HKEY_CLASSES_ROOT\\Fresh Missing $a $b Missing2 $c $d");
  EXPECT_EQ(Reports(r), (std::vector<std::string>{"SetResult 1 The value is not valid",
                                                  "SetResult 1 The value is not valid"}));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Fresh"));
  EXPECT_EQ(Text(r, "a"), "<unset>");
  // A string stored with no bytes reads as the empty text; a stored type without a letter is refused.
  {
    ce::RegKey k;
    ce::DWORD disposition = 0;
    ASSERT_EQ(ce::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Odd", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(),
                                  &disposition),
              ERROR_SUCCESS);
    ce::RegSetValueExW(k.get(), u"Empty", 0, REG_SZ, nullptr, 0);
    const uint64_t q = 1;
    ce::RegSetValueExW(k.get(), u"Q", 0, REG_QWORD, reinterpret_cast<const ce::BYTE*>(&q), 8);
    const ce::BYTE bin[3] = {0x41, 0x00, 0x42};
    ce::RegSetValueExW(k.get(), u"Bin", 0, REG_BINARY, bin, 3);
  }
  const CommandOutcome odd = Run("PXS R %REG HKEY_LOCAL_MACHINE\\Odd Empty $e $et Q $q $qt Bin $b $bt");
  EXPECT_EQ(Reports(odd), std::vector<std::string>{"SetResult 1 The type is not valid"});
  EXPECT_EQ(Text(odd, "e"), "");
  EXPECT_EQ(Text(odd, "et"), "S");
  EXPECT_EQ(Text(odd, "q"), "<unset>");
  EXPECT_EQ(Text(odd, "qt"), "<unset>");
  EXPECT_EQ(Text(odd, "b"), "bytes 65 0 66");
  EXPECT_EQ(Text(odd, "bt"), "B");
  // "B" written from text stores the text's characters and one zero.
  EXPECT_TRUE(Reports(Run("PXS W %REG HKEY_LOCAL_MACHINE\\Odd B2 hi B")).empty());
  EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, u"Odd", u"B2"), std::make_pair(ce::DWORD(REG_BINARY), Wide(u"hi")));
}

TEST_F(Commands, PxsHostSettings) {
  EXPECT_TRUE(Reports(Run("PXS W %QEL Agent Server example.org x Port 8080 x")).empty());
  // Kept in the terminal's registry, where another run of the host finds them.
  EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, u"Software\\Qel\\Settings\\Agent", u"Server"),
            std::make_pair(ce::DWORD(REG_SZ), Wide(u"example.org")));
  const CommandOutcome r = Run("PXS R %QEL Agent Server $s x Missing $m x Port $p x");
  EXPECT_EQ(Reports(r), std::vector<std::string>{"SetResult 1"});
  EXPECT_EQ(Text(r, "s"), "example.org");
  EXPECT_EQ(Text(r, "p"), "8080");
  EXPECT_EQ(Text(r, "m"), "<unset>");
  EXPECT_EQ(Reports(Run("PXS W %QEL Agent \"\" v x")), std::vector<std::string>{"SetResult 1"});
  // The store names match exactly: "%qel" is a file.
  EXPECT_TRUE(Reports(Run("PXS W %qel Agent N V x")).empty());
  EXPECT_TRUE(fs::exists(Fs("Program Files/Qel/%qel")));
}

TEST_F(Commands, PxsSettingsFile) {
  // Writing makes the file and its folder; a name written twice keeps the second value.
  EXPECT_TRUE(Reports(Run("PXS W \\Data\\New\\app.ini Main b 2 x a 1 x b 3 x")).empty());
  EXPECT_TRUE(Reports(Run("PXS W \\Data\\New\\app.ini Other k Grüße x")).empty());
  EXPECT_EQ(qeltest::Contents(Fs("Data/New/app.ini")),
            "[Main]\r\nb=3\r\na=1\r\n\r\n\r\n[Other]\r\nk=Gr\xFC\xDF"
            "e\r\n");
  // "*" lists the section in file order; a missing name is served empty and fails the command.
  const CommandOutcome r = Run("PXS R \\Data\\New\\app.ini Main * $all x missing $m x a $a x");
  EXPECT_EQ(Reports(r), std::vector<std::string>{"SetResult 1"});
  EXPECT_EQ(Text(r, "all"), "b=3\r\na=1\r\n");
  EXPECT_EQ(Text(r, "m"), "");
  EXPECT_EQ(Text(r, "a"), "1");
  EXPECT_EQ(Text(Run("PXS R \\Data\\New\\app.ini Other k $k x"), "k"), "Grüße");

  struct Row {
    std::string line;
    std::vector<std::string> reports;
  };
  const Row rows[] = {
      {"PXS R \\Data\\none.ini Main a $a x", {"SetResult 1 File not found"}},
      {"PXS R \\Data\\New\\app.ini \"\" a $a x", {"SetResult 1"}},
      {"PXS R \\Data\\New\\app.ini Nowhere * $all x", {"SetResult 1"}},
      {"PXS R \\Data\\New\\app.ini Main a notavariable x", {"SetResult 1"}},
      {"PXS W \\Data\\New\\app.ini \"\" a 1 x", {"SetResult 1"}},
      {"PXS W bad|name.ini Main a 1 x", {"BadArgument 2"}},
      {"PXS R bad|name.ini Main a $a x", {"BadArgument 2"}},
      // The folder cannot be made where a file stands.
      {"PXS W \\Data\\New\\app.ini\\x.ini Main a 1 x", {"SetResult 1 Cannot create destination directory"}},
  };
  for (const Row& row : rows) EXPECT_EQ(Reports(Run(row.line)), row.reports) << row.line;
}

// A name or value that the file would not give back as written is refused
// with a failure and changes nothing; the command's other groups are written.
TEST_F(Commands, PxsSettingsFileRefusesWhatWouldNotReadBack) {
  ASSERT_TRUE(Reports(Run("PXS W \\Data\\s.ini Main k v x")).empty());
  const std::string before = qeltest::Contents(Fs("Data/s.ini"));
  ASSERT_EQ(before, "[Main]\r\nk=v\r\n");
  const std::string rows[] = {
      "PXS W \\Data\\s.ini Main k \"v\r\n[Evil]\r\nx=1\" x",  // a value of several lines
      "PXS W \\Data\\s.ini Main k \"v\rx\" x",
      "PXS W \\Data\\s.ini Main \"a=b\" 1 x",  // "=" ends a name
      "PXS W \\Data\\s.ini Main \"a\nb\" 1 x",
      "PXS W \\Data\\s.ini Main \" k\" 1 x",  // blanks around a name or value are trimmed when read
      "PXS W \\Data\\s.ini Main \"k \" 1 x",
      "PXS W \\Data\\s.ini Main k \" 1\" x",
      "PXS W \\Data\\s.ini Main k \"1\t\" x",
      "PXS W \\Data\\s.ini Main \";k\" 1 x",  // a comment line
      "PXS W \\Data\\s.ini Main \"#k\" 1 x",
      "PXS W \\Data\\s.ini Main \"[k]\" 1 x",  // a section line
      "PXS W \\Data\\s.ini Main \"\" 1 x",
      "PXS W \\Data\\s.ini Main k 日本 x",  // no such characters in the ANSI code page
      "PXS W \\Data\\s.ini Main 日本 1 x",
      "PXS W \\Data\\s.ini 日本 k 1 x",
      "PXS W \\Data\\s.ini \"Ma]in\" k 1 x",
      "PXS W \\Data\\s.ini \"[Main\" k 1 x",
      "PXS W \\Data\\s.ini \" Main\" k 1 x",
      "PXS W \\Data\\s.ini \"Main\r\nk=2\" k 1 x",
  };
  for (const std::string& line : rows) {
    EXPECT_EQ(Reports(Run(line)), std::vector<std::string>{"SetResult 1"}) << line;
    EXPECT_EQ(qeltest::Contents(Fs("Data/s.ini")), before) << line;
  }
  EXPECT_EQ(Reports(Run("PXS W \\Data\\s.ini Main \"a=b\" 1 x k2 \"a b\" x")),
            std::vector<std::string>{"SetResult 1"});
  EXPECT_EQ(qeltest::Contents(Fs("Data/s.ini")), "[Main]\r\nk=v\r\nk2=a b\r\n");
}

// A file that cannot be opened for writing fails the command, and keeps its bytes.
TEST_F(Commands, PxsSettingsFileThatCannotBeOpenedForWritingFails) {
  fs::create_directories(Fs("Data/folder.ini"));
  std::ofstream(Fs("Data/locked.ini"), std::ios::binary) << "[M]\r\nk=v\r\n";
  fs::permissions(Fs("Data/locked.ini"),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  for (const char* name : {"folder.ini", "locked.ini"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Reports(Run(std::string("PXS W \\Data\\") + name + " M k w x")),
              std::vector<std::string>{"SetResult 1"});
  }
  EXPECT_EQ(qeltest::Contents(Fs("Data/locked.ini")), "[M]\r\nk=v\r\n");
}

// A file that starts with the UTF-8 mark is read as UTF-8 and written back
// so, mark kept; it holds what the ANSI code page lacks.
TEST_F(Commands, PxsSettingsFileInUtf8WithItsMark) {
  fs::create_directories(Fs("Data"));
  std::ofstream(Fs("Data/u8.ini"), std::ios::binary) << "\xEF\xBB\xBF[M]\r\na=\xC3\xA9\r\n";
  EXPECT_EQ(Text(Run("PXS R \\Data\\u8.ini M a $a x"), "a"), "\u00e9");
  EXPECT_TRUE(Reports(Run("PXS W \\Data\\u8.ini M b 日本 x")).empty());
  EXPECT_TRUE(Reports(Run("PXS W \\Data\\u8.ini Ω k \u00e9 x")).empty());
  EXPECT_EQ(
      qeltest::Contents(Fs("Data/u8.ini")),
      "\xEF\xBB\xBF[M]\r\na=\xC3\xA9\r\nb=\xE6\x97\xA5\xE6\x9C\xAC\r\n\r\n\r\n[\xCE\xA9]\r\nk=\xC3\xA9\r\n");
  const CommandOutcome r = Run("PXS R \\Data\\u8.ini M * $all x");
  EXPECT_TRUE(Reports(r).empty());
  EXPECT_EQ(Text(r, "all"), "a=\u00e9\r\nb=日本\r\n");
  // The mark alone is an empty file in UTF-8, and stays one.
  std::ofstream(Fs("Data/mark.ini"), std::ios::binary) << "\xEF\xBB\xBF";
  EXPECT_TRUE(Reports(Run("PXS W \\Data\\mark.ini M k 日本 x")).empty());
  EXPECT_EQ(qeltest::Contents(Fs("Data/mark.ini")), "\xEF\xBB\xBF[M]\r\nk=\xE6\x97\xA5\xE6\x9C\xAC\r\n");
}

// Lines end in one CR LF however the file ended them, and a file that
// shrinks is cut to its new length.
TEST_F(Commands, PxsSettingsFileShrinksAndEndsLinesInOneCrLf) {
  fs::create_directories(Fs("Data"));
  std::ofstream(Fs("Data/e.ini"), std::ios::binary) << "[Main]\nk=a long value\r\nj=2\n";
  EXPECT_TRUE(Reports(Run("PXS W \\Data\\e.ini Main k short x")).empty());
  EXPECT_EQ(qeltest::Contents(Fs("Data/e.ini")), "[Main]\r\nk=short\r\nj=2\r\n");
}

TEST_F(Commands, SxcFailures) {
  struct Row {
    std::string line;
    std::vector<std::string> reports;
  };
  const Row rows[] = {
      {"SXC bad|name.cab", {"BadArgument 1"}},
      {"SXC \\Temp\\none.cab", {"SetResult 1 File does not exist"}},
      // A path that does not fit the installer's command line starts nothing.
      {"SXC \\" + std::string(250, 'x') + ".cab", {"SetResult 87 The parameter is incorrect.\r\n"}},
  };
  fs::create_directories(Fs(""));
  std::ofstream(Fs(std::string(250, 'x') + ".cab")) << "x";
  for (const Row& row : rows) EXPECT_EQ(Reports(Run(row.line)), row.reports) << row.line;
}

// A cabinet made with the gcab tool from files under `from`.
fs::path MakeCabinet(const fs::path& from, const std::string& name) {
  const fs::path cab = from / name;
  const std::string command =
      "cd '" + from.string() + "' && gcab -c -z '" + name + "' app.txt 'sub/data.bin' >/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return cab;
}

TEST_F(Commands, SxcInstallsACabinetAndRestoresThePolicy) {
  const fs::path work = terminal.root() / "cab";
  fs::create_directories(work / "sub");
  std::ofstream(work / "app.txt") << "hello";
  std::ofstream(work / "sub" / "data.bin", std::ios::binary) << std::string("\0\1\2", 3);
  fs::create_directories(Fs("Temp"));
  fs::copy_file(MakeCabinet(work, "app.cab"), Fs("Temp/app.cab"));
  EXPECT_TRUE(Reports(Run("SXC \\Temp\\app.cab 1 1")).empty());
  EXPECT_EQ(qeltest::Contents(Fs("Program Files/app/app.txt")), "hello");
  EXPECT_EQ(qeltest::Contents(Fs("Program Files/app/sub/data.bin")), std::string("\0\1\2", 3));
  EXPECT_FALSE(fs::exists(Fs("Temp/app.cab"))) << "deleted as asked";
  EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, u"Security\\Policies\\Policies", u"0000101a"),
            std::make_pair(ce::DWORD(REG_DWORD), Dword(0)));

  // Damaged: the installer fails and touches nothing; SXC does not see its exit code.
  std::ofstream(Fs("Temp/bad.cab")) << "MSCF but not really";
  EXPECT_TRUE(Reports(Run("SXC \\Temp\\bad.cab 0 1")).empty());
  EXPECT_FALSE(fs::exists(Fs("Program Files/bad")));
  EXPECT_TRUE(fs::exists(Fs("Temp/bad.cab")));
}

// A file that does not load as an INI file, in the terminal's code page or in
// UTF-8 after its mark (UTF-16 text, a cabinet, bytes after the UTF-8 mark
// that are not UTF-8, text that is not name=value lines), is never written
// over: writing and reading fail with a text, and its bytes stay.
TEST_F(Commands, PxsSettingsFileNeverWritesOverWhatIsNotAnIniFile) {
  const fs::path work = terminal.root() / "cab";
  fs::create_directories(work / "sub");
  std::ofstream(work / "app.txt") << "hello";
  std::ofstream(work / "sub" / "data.bin") << "d";
  fs::create_directories(Fs("Data"));
  const std::string utf16("\xFF\xFE[\0M\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0", 20);
  const std::string utf16NoMark("[\0M\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0", 18);
  const struct {
    std::string name, bytes;
  } files[] = {
      {"utf16.ini", utf16},
      {"utf16nomark.ini", utf16NoMark},
      {"app.cab", qeltest::Contents(MakeCabinet(work, "app.cab"))},
      {"utf8mark.ini",
       "\xEF\xBB\xBF[M]\r\nk=Gr\xFC\xDF"
       "e\r\n"},
      {"prose.ini", "[M]\r\nk=v\r\nthis line is no setting\r\n"},
      {"control.ini", "[M]\r\nk=v\x01w\r\n"},
  };
  const std::vector<std::string> refused{
      "SetResult 1 The file is not an INI file in the terminal's code page or in UTF-8 with its mark"};
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    std::ofstream(Fs("Data/" + f.name), std::ios::binary) << f.bytes;
    EXPECT_EQ(Reports(Run("PXS W \\Data\\" + f.name + " M k w x")), refused);
    EXPECT_EQ(qeltest::Contents(Fs("Data/" + f.name)), f.bytes);
    EXPECT_EQ(Reports(Run("PXS R \\Data\\" + f.name + " M k $k x")), refused);
  }
  // What is one, in Windows-1252 with comments and blank lines, is still written.
  std::ofstream(Fs("Data/ok.ini"), std::ios::binary) << "; note\r\n\r\n[M]\r\nk=Gr\xFC\xDF"
                                                        "e\r\n";
  EXPECT_TRUE(Reports(Run("PXS W \\Data\\ok.ini M j 1 x")).empty());
  EXPECT_EQ(qeltest::Contents(Fs("Data/ok.ini")),
            "; note\r\n\r\n\r\n[M]\r\nk=Gr\xFC\xDF"
            "e\r\nj=1\r\n");
}

// The installer's exit code for a package on the terminal.
ce::DWORD Install(const std::u16string& package) {
  std::u16string line = u"/delete 0 /noui /silent \"" + package + u"\"";
  ce::STARTUPINFOW start{};
  start.cb = sizeof start;
  ce::PROCESS_INFORMATION pi{};
  if (!ce::CreateProcessW(u"\\Windows\\Wceload.exe", line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &start, &pi))
    return ~ce::DWORD(0);
  ce::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  ce::WaitForSingleObject(pi.hProcess, INFINITE);
  ce::DWORD code = ~ce::DWORD(0);
  ce::GetExitCodeProcess(pi.hProcess, &code);
  return code;
}

// A cabinet holding one member the terminal cannot hold installs nothing at
// all, and the installer says why.
TEST_F(Commands, InstallerRefusesACabinetWithAMemberItCannotHold) {
  const fs::path work = terminal.root() / "cab";
  fs::create_directories(work / "sub");
  std::ofstream(work / "app.txt") << "hello";
  fs::create_directories(Fs("Temp"));
  struct Row {
    std::string member;  // written over "sub/data.bin" in the cabinet, byte for byte
    ce::DWORD code;
  };
  const Row rows[] = {
      {"sub/da:a.bin", ERROR_INVALID_NAME},
      {"sub/da*a.bin", ERROR_INVALID_NAME},
      {"sub/da\x01"
       "a.bin",
       ERROR_INVALID_NAME},
      {"sub/../.bin", ERROR_INVALID_DATA},
      {"sub/data.bin", ERROR_SUCCESS},
  };
  std::ofstream(work / "sub" / "data.bin") << "d";
  const std::string made = qeltest::Contents(MakeCabinet(work, "m.cab"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.member);
    fs::remove_all(Fs("Program Files/m"));
    std::string cab = made;
    const size_t at =
        cab.find("sub/data.bin") != std::string::npos ? cab.find("sub/data.bin") : cab.find("sub\\data.bin");
    ASSERT_NE(at, std::string::npos);
    cab.replace(at, row.member.size(), row.member);
    std::ofstream(Fs("Temp/m.cab"), std::ios::binary) << cab;
    EXPECT_EQ(Install(u"\\Temp\\m.cab"), row.code);
    EXPECT_EQ(fs::exists(Fs("Program Files/m/app.txt")), row.code == ERROR_SUCCESS);
  }
  // A member whose path on the terminal would not fit.
  const std::u16string longName(240, u'x');
  std::ofstream(Fs("Temp/" + ceutil::ToUtf8(longName) + ".cab"), std::ios::binary) << made;
  EXPECT_EQ(Install(u"\\Temp\\" + longName + u".cab"), ce::DWORD(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_FALSE(fs::exists(Fs("Program Files/" + ceutil::ToUtf8(longName))));
}

// An uncompressed cabinet written byte by byte: each member's name exactly as
// given (raw bytes) with the attributes given, and its declared size (the
// content's size unless one is given).
struct RawMember {
  std::string name, data;
  uint16_t attributes = 0;
  std::optional<uint32_t> declaredSize;
};
// The cabinet format's checksum of a data block (the data, then its two sizes).
uint32_t CabChecksum(const std::string& bytes, uint32_t sum) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  for (; i + 4 <= bytes.size(); i += 4)
    sum ^= uint32_t(p[i]) | p[i + 1] << 8 | p[i + 2] << 16 | uint32_t(p[i + 3]) << 24;
  uint32_t tail = 0;
  for (; i < bytes.size(); ++i) tail = tail << 8 | p[i];
  return sum ^ tail;
}
std::string RawCabinet(const std::vector<RawMember>& members) {
  auto u16 = [](std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); };
  auto u32 = [](std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
  std::string content, files;
  for (const RawMember& m : members) {
    u32(files, m.declaredSize.value_or(uint32_t(m.data.size())));
    u32(files, uint32_t(content.size()));
    u16(files, 0);                                    // folder 0
    u16(files, ((2020 - 1980) << 9) | (1 << 5) | 1);  // 2020-01-01
    u16(files, 0);
    u16(files, m.attributes);
    files += m.name;
    files += '\0';
    content += m.data;
  }
  std::string blocks;
  uint16_t blockCount = 0;
  for (size_t at = 0; at < content.size() || blockCount == 0; at += 32768, ++blockCount) {
    const std::string piece = content.substr(at, 32768);
    std::string sizes;
    u16(sizes, uint16_t(piece.size()));
    u16(sizes, uint16_t(piece.size()));
    u32(blocks, CabChecksum(sizes, CabChecksum(piece, 0)));
    blocks += sizes + piece;
  }
  const uint32_t headerSize = 36, folderSize = 8;
  const uint32_t filesAt = headerSize + folderSize, dataAt = filesAt + uint32_t(files.size());
  std::string cab = "MSCF";
  u32(cab, 0);
  u32(cab, dataAt + uint32_t(blocks.size()));
  u32(cab, 0);
  u32(cab, filesAt);
  u32(cab, 0);
  cab += '\3';
  cab += '\1';
  u16(cab, 1);
  u16(cab, uint16_t(members.size()));
  u16(cab, 0);
  u16(cab, 0);
  u16(cab, 0);
  u32(cab, dataAt);
  u16(cab, blockCount);
  u16(cab, 0);  // stored
  return cab + files + blocks;
}

class Installer : public Commands {
 protected:
  // The installer's exit code for the cabinet of these members, as \Temp\t.cab.
  ce::DWORD InstallRaw(const std::vector<RawMember>& members) {
    fs::create_directories(Fs("Temp"));
    std::ofstream(Fs("Temp/t.cab"), std::ios::binary | std::ios::trunc) << RawCabinet(members);
    return Install(u"\\Temp\\t.cab");
  }
  // Every entry below \Program Files but the profile's own "Qel" folder, as
  // "path" or "path/" for a folder, with "=content" for a file.
  std::set<std::string> Tree() const {
    std::set<std::string> all;
    if (!fs::exists(Fs("Program Files"))) return all;
    for (const auto& e : fs::recursive_directory_iterator(Fs("Program Files"))) {
      const std::string path = fs::relative(e.path(), Fs("Program Files")).string();
      if (path == "Qel" || path.starts_with("Qel/")) continue;
      all.insert(e.is_directory() ? path + "/" : path + "=" + qeltest::Contents(e.path()));
    }
    return all;
  }
};

TEST_F(Installer, WritesAWellFormedRawCabinet) {
  EXPECT_EQ(InstallRaw({{"d\\e.txt", "E"}, {"f.txt", "F"}}), ce::DWORD(ERROR_SUCCESS));
  EXPECT_EQ(Tree(), (std::set<std::string>{"t/", "t/d/", "t/d/e.txt=E", "t/f.txt=F"}));
  EXPECT_EQ(InstallRaw({{"big.bin", std::string(100000, 'b')}}), ce::DWORD(ERROR_SUCCESS));
  EXPECT_EQ(qeltest::Contents(Fs("Program Files/t/big.bin")), std::string(100000, 'b'));
  fs::remove(Fs("Program Files/t/big.bin"));
  // Installing again replaces the files.
  EXPECT_EQ(InstallRaw({{"d\\e.txt", "E2"}, {"f.txt", "F2"}}), ce::DWORD(ERROR_SUCCESS));
  EXPECT_EQ(Tree(), (std::set<std::string>{"t/", "t/d/", "t/d/e.txt=E2", "t/f.txt=F2"}));
}

// Members that are not a tree the terminal can hold are refused before
// anything is written, in either order.
TEST_F(Installer, RefusesMembersThatDoNotFormATree) {
  const std::vector<std::vector<RawMember>> cabinets = {
      {{"a", "file"}, {"a\\b", "inside"}},
      {{"a\\b", "inside"}, {"a", "file"}},
      {{"a/b", "inside"}, {"ok.txt", "x"}, {"A", "file"}},
      {{"same.txt", "1"}, {"SAME.TXT", "2"}},
      {{"f\\same.txt", "1"}, {"F\\Same.txt", "2"}},
      {{"caf\xC3\xA9.txt", "1", 0x80}, {"CAF\xC3\x89.TXT", "2", 0x80}},
  };
  for (const auto& members : cabinets) {
    SCOPED_TRACE(members.front().name + " " + members.back().name);
    EXPECT_EQ(InstallRaw(members), ce::DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Tree(), std::set<std::string>{});
  }
  // Against what the terminal holds: a folder where a file goes, a file where a folder goes.
  fs::create_directories(Fs("Program Files/t/x"));
  std::ofstream(Fs("Program Files/t/y")) << "old";
  const std::set<std::string> before = Tree();
  EXPECT_EQ(InstallRaw({{"new.txt", "n"}, {"X", "file"}}), ce::DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(InstallRaw({{"new.txt", "n"}, {"y\\z", "inside"}}), ce::DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Tree(), before);
  fs::remove_all(Fs("Program Files"));
  std::ofstream(Fs("Program Files")) << "a file";
  EXPECT_EQ(InstallRaw({{"new.txt", "n"}}), ce::DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(qeltest::Contents(Fs("Program Files")), "a file");
}

// Names of a cabinet without the UTF flag are in the terminal's code page
// (Windows-1252); a name with it must be UTF-8.
TEST_F(Installer, ReadsNamesInTheTerminalsCodePage) {
  EXPECT_EQ(InstallRaw({{"caf\xE9.txt", "acute"}, {"caf\xE8.txt", "grave"}}), ce::DWORD(ERROR_SUCCESS));
  EXPECT_EQ(Tree(), (std::set<std::string>{"t/", "t/caf\xC3\xA9.txt=acute", "t/caf\xC3\xA8.txt=grave"}));
  fs::remove_all(Fs("Program Files"));
  EXPECT_EQ(InstallRaw({{"\xE2\x82\xAC.txt", "utf", 0x80}}), ce::DWORD(ERROR_SUCCESS));
  EXPECT_EQ(Tree(), (std::set<std::string>{"t/", "t/\xE2\x82\xAC.txt=utf"}));
  fs::remove_all(Fs("Program Files"));
  EXPECT_EQ(InstallRaw({{"ok.txt", "x", 0x80}, {"caf\xE9.txt", "not UTF-8", 0x80}}),
            ce::DWORD(ERROR_INVALID_DATA));
  EXPECT_EQ(InstallRaw({{"ok.txt", "x", 0x80}, {"\xC0\xAF.txt", "overlong", 0x80}}),
            ce::DWORD(ERROR_INVALID_DATA));
  // A name of 130 characters is 390 bytes on the host: refused before the member before it is placed.
  EXPECT_EQ(InstallRaw({{"ok.txt", "x"}, {std::string(130, '\x8B'), "long"}}),
            ce::DWORD(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(Tree(), std::set<std::string>{});
}

// A package declaring more content than the terminal's free storage is
// refused before anything is decompressed or written.
TEST_F(Installer, RefusesContentBeyondTheFreeStorage) {
  ce::ULARGE_INTEGER free{};
  ASSERT_TRUE(ce::GetDiskFreeSpaceExW(u"\\Program Files", &free, nullptr, nullptr) ||
              ce::GetDiskFreeSpaceExW(nullptr, &free, nullptr, nullptr));
  ASSERT_LT(free.QuadPart, 0xF0000000u);
  EXPECT_EQ(InstallRaw({{"small.txt", "s"}, {"huge.bin", "h", 0, 0xF0000000u}}), ce::DWORD(ERROR_DISK_FULL));
  EXPECT_EQ(Tree(), std::set<std::string>{});
}

// A cabinet whose content is damaged after its table changes nothing, and
// leaves no staging folder.
TEST_F(Installer, DamagedContentChangesNothing) {
  fs::create_directories(Fs("Program Files/t"));
  fs::create_directories(Fs("Temp"));
  std::ofstream(Fs("Program Files/t/f.txt")) << "old";
  std::string cab = RawCabinet({{"f.txt", "new"}, {"g.txt", std::string(40000, 'g')}});
  cab.resize(cab.size() - 20000);  // the second data block is cut short
  std::ofstream(Fs("Temp/t.cab"), std::ios::binary | std::ios::trunc) << cab;
  EXPECT_NE(Install(u"\\Temp\\t.cab"), ce::DWORD(ERROR_SUCCESS));
  EXPECT_EQ(Tree(), (std::set<std::string>{"t/", "t/f.txt=old"}));
}

TEST_F(Commands, CabHandlerInstallsTheFirstValue) {
  const fs::path work = terminal.root() / "cab";
  fs::create_directories(work / "sub");
  std::ofstream(work / "app.txt") << "handler";
  std::ofstream(work / "sub" / "data.bin") << "d";
  fs::create_directories(Fs("Temp"));
  fs::copy_file(MakeCabinet(work, "h.cab"), Fs("Temp/h.cab"));
  const auto handler = host.registry().fileHandlers().handlers.Snapshot().at(0);
  std::u16string path = u"\\Temp\\h.cab";
  EXPECT_EQ(handler.handler(path.data(), false, nullptr, nullptr), 0);
  EXPECT_EQ(qeltest::Contents(Fs("Program Files/h/app.txt")), "handler");
  EXPECT_TRUE(fs::exists(Fs("Temp/h.cab"))) << "kept";
}

TEST_F(Commands, PolicyValueInAllFourSituations) {
  // Silent SXC on a missing package file is refused before the policy, so run
  // installs of a damaged package and look at the policy afterwards.
  fs::create_directories(Fs("Temp"));
  std::ofstream(Fs("Temp/p.cab")) << "x";
  auto policy = [] { return RegValue(HKEY_LOCAL_MACHINE, u"Security\\Policies\\Policies", u"0000101a"); };
  auto setPolicy = [](const std::string& bytes, ce::DWORD type) {
    ce::RegKey k;
    ce::DWORD d = 0;
    ce::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Security\\Policies\\Policies", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, k.put(), &d);
    ce::RegSetValueExW(k.get(), u"0000101a", 0, type, reinterpret_cast<const ce::BYTE*>(bytes.data()),
                       ce::DWORD(bytes.size()));
  };
  // Held 0: set to 1 for the install, put back to 0.
  EXPECT_TRUE(Reports(Run("SXC \\Temp\\p.cab")).empty());
  EXPECT_EQ(policy(), std::make_pair(ce::DWORD(REG_DWORD), Dword(0)));
  // Held 1 (stored as binary: the type is not checked): nothing is written either way.
  setPolicy(Dword(1), REG_BINARY);
  EXPECT_TRUE(Reports(Run("SXC \\Temp\\p.cab")).empty());
  EXPECT_EQ(policy(), std::make_pair(ce::DWORD(REG_BINARY), Dword(1)));
  // Not silent: the policy is not touched.
  setPolicy(Dword(7), REG_DWORD);
  EXPECT_TRUE(Reports(Run("SXC \\Temp\\p.cab 0")).empty());
  EXPECT_EQ(policy(), std::make_pair(ce::DWORD(REG_DWORD), Dword(7)));
  // Missing key: the install goes ahead, nothing is made.
  ce::RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Security\\Policies");
  EXPECT_TRUE(Reports(Run("SXC \\Temp\\p.cab")).empty());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Security\\Policies\\Policies"));
}

}  // namespace
