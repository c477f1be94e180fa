// SVR and SPR on real images the build made, placed in a fresh terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "command_doubles.h"
#include "commands/commands.h"
#include "test_terminal.h"

namespace qel {
namespace {

using qeltest::CommandArgs;
using qeltest::CommandContext;
using qeltest::CommandReply;
using qeltest::FileReference;
using qeltest::Variable;
using Texts = std::vector<std::u16string>;

std::string HostImage(const std::string& name) {
  std::ifstream in(std::string(QEL_PE_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class VersionCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    Place("v.dll", HostImage("translations32.dll"));
    Place("none.dll", HostImage("noversion.dll"));
    Place("text.txt", "not a program");
    // The same image with its translation table renamed away.
    std::string untranslated = HostImage("translations32.dll");
    const std::string key("V\0a\0r\0F\0i\0l\0e\0I\0n\0f\0o", 21);
    const size_t at = untranslated.find(key);
    ASSERT_NE(at, std::string::npos);
    untranslated[at] = 'W';
    Place("untranslated.dll", untranslated);
  }
  void Place(const std::string& name, const std::string& bytes) {
    ASSERT_FALSE(bytes.empty()) << name;
    std::ofstream(terminal_.dir() / "fs" / name, std::ios::binary) << bytes;
  }

  // Runs a handler on `count` entries with the file at 1 (unless null) and a
  // variable at each number in `withVariables`; returns what each variable got.
  struct Outcome {
    std::vector<Texts> variables;
    std::vector<int32_t> results;
    std::vector<std::optional<std::u16string>> texts;
    std::vector<int32_t> bad;
    int missing = 0;
  };
  Outcome Run(void (*handler)(ICommandContext*, ICommandArguments*, ICommandReply*),
              std::vector<CommandArgs::Entry> entries, const char16_t* file,
              std::vector<int32_t> withVariables) {
    CommandArgs args(std::move(entries));
    FileReference reference(file ? file : u"");
    if (file) args.files[1] = &reference;
    std::vector<Variable> variables(withVariables.size());
    for (size_t i = 0; i < withVariables.size(); ++i) args.variables[withVariables[i]] = &variables[i];
    CommandContext context;
    CommandReply reply;
    handler(&context, &args, &reply);
    Outcome o{{}, context.results, context.texts, reply.bad, reply.missing};
    for (const Variable& v : variables) o.variables.push_back(v.texts);
    return o;
  }

  qeltest::TestTerminal terminal_;
};

TEST_F(VersionCommands, SvrStoresTheVersionOrQuestionMarks) {
  struct Row {
    const char* what;
    const char16_t* file;
    Texts stored;
  };
  const Row rows[] = {
      {"parts in decimal, no leading zeros", u"\\v.dll", {u"1.2.3.4"}},
      {"the installed module",
       u"\\Program Files\\Qel\\Plugins\\QelHal_HON2.mpi",
       {ceutil::FromUtf8(QEL_PROJECT_VERSION)}},
      {"no version resource", u"\\none.dll", {u"??"}},
      {"no program", u"\\text.txt", {u"??"}},
      {"no file", u"\\missing.dll", {u"??"}},
  };
  for (const Row& row : rows) {
    const Outcome o = Run(Svr, {"SVR", "f", "$v"}, row.file, {2});
    EXPECT_EQ(o.variables[0], row.stored) << row.what;
    EXPECT_TRUE(o.results.empty() && o.bad.empty() && o.missing == 0) << row.what << ": the command succeeds";
  }
}

TEST_F(VersionCommands, SvrArgumentFailures) {
  Outcome o = Run(Svr, {"SVR", "f"}, u"\\v.dll", {2});
  EXPECT_EQ(o.missing, 1);
  EXPECT_TRUE(o.variables[0].empty());

  o = Run(Svr, {"SVR", "f", "$v"}, nullptr, {2});
  EXPECT_EQ(o.results, std::vector<int32_t>{1});
  EXPECT_EQ(o.texts[0], u"Invalid File.");
  EXPECT_TRUE(o.variables[0].empty());

  o = Run(Svr, {"SVR", "f", "v"}, u"\\v.dll", {});
  EXPECT_EQ(o.bad, std::vector<int32_t>{2});
  EXPECT_TRUE(o.results.empty());
}

TEST_F(VersionCommands, SprFailuresEndTheCommand) {
  struct Row {
    const char* what;
    std::vector<CommandArgs::Entry> entries;
    const char16_t* file;
    std::optional<std::u16string> text;  // of SetResult(1, text); none: no result
    int missing;
  };
  const Row rows[] = {
      {"count below 3", {"SPR", "f"}, u"\\v.dll", std::nullopt, 1},
      {"no file", {"SPR", "f", "CompanyName", "$a"}, nullptr, u"Invalid File.", 0},
      {"no version", {"SPR", "f", "CompanyName", "$a"}, u"\\none.dll", u"Can't retrieve file information", 0},
      {"no file there",
       {"SPR", "f", "CompanyName", "$a"},
       u"\\gone.dll",
       u"Can't retrieve file information",
       0},
      {"no translations",
       {"SPR", "f", "CompanyName", "$a"},
       u"\\untranslated.dll",
       u"Failed to retrieve translation information",
       0},
  };
  for (const Row& row : rows) {
    const Outcome o = Run(Spr, row.entries, row.file, {3});
    EXPECT_EQ(o.missing, row.missing) << row.what;
    EXPECT_EQ(o.results, row.text ? std::vector<int32_t>{1} : std::vector<int32_t>{}) << row.what;
    if (row.text) {
      EXPECT_EQ(o.texts[0], row.text) << row.what;
    }
    EXPECT_TRUE(o.variables[0].empty()) << row.what;
  }
}

TEST_F(VersionCommands, SprTriesTranslationsInOrder) {
  // Pairs from 2 on: a name in the first translation, one only in the second
  // (its "?" overwritten), one in neither, a pair without its variable
  // (skipped), and a trailing name without a partner (ignored).
  const Outcome o = Run(Spr,
                        {"SPR", "f", "companyname", "$a", "Comments", "$b", "Nothing", "$c", "ProductName",
                         "x", "ProductName", "$e", "FileVersion"},
                        u"\\v.dll", {3, 5, 7, 11, 13});
  EXPECT_TRUE(o.results.empty() && o.bad.empty() && o.missing == 0);
  EXPECT_EQ(o.variables[0], (Texts{u"Qel Test"}));
  EXPECT_EQ(o.variables[1], (Texts{u"?", u"nur in der zweiten"}));
  EXPECT_EQ(o.variables[2], (Texts{u"?", u"?"}));
  EXPECT_EQ(o.variables[3], (Texts{u"Translations"}));
  EXPECT_TRUE(o.variables[4].empty()) << "entry 13 has no partner";

  const Outcome nameOnly = Run(Spr, {"SPR", "f", "CompanyName"}, u"\\v.dll", {3});
  EXPECT_TRUE(nameOnly.results.empty() && nameOnly.missing == 0);
  EXPECT_TRUE(nameOnly.variables[0].empty()) << "three entries store nothing";
}

}  // namespace
}  // namespace qel
