// ICD's actions and options text, and CCK's branch on the WLAN adapter.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "command_doubles.h"
#include "commands/commands.h"
#include "core/module_slots.h"
#include "qel/cradle.h"
#include "qel/guids.h"
#include "qel/object.h"
#include "qel/wlan.h"
#include "qelcommon/ref.h"

namespace {

using E = qeltest::CommandArgs::Entry;

// Records each call as text and answers as told.
class Cradle final : public qel::CQelObject<IQelCradleService, qel::IID_QELCRADLESERVICE> {
 public:
  bool Unlock(uint32_t time, uint32_t first, uint32_t second, bool flag) override {
    return Record("Unlock", time, first, second, flag);
  }
  bool BlinkLed(uint32_t count, uint32_t on, uint32_t off, bool flag) override {
    return Record("BlinkLed", count, on, off, flag);
  }
  bool SetFastCharge(bool on) override {
    calls.push_back(std::string("SetFastCharge ") + (on ? "true" : "false"));
    return answer;
  }
  std::vector<std::string> calls;
  bool answer = false;

 private:
  bool Record(const char* op, uint32_t a, uint32_t b, uint32_t c, bool flag) {
    calls.push_back(std::string(op) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
                    std::to_string(c) + " " + (flag ? "true" : "false"));
    return answer;
  }
};

class Wlan final : public qel::CQelObject<IQelWlanService, qel::IID_QELWLANSERVICE> {
 public:
  int32_t GetSignalLevel() override { return -1; }
  bool IsConnected(bool* connected) override {
    if (answers) *connected = connected_;
    return answers;
  }
  const char16_t* GetAdapterName() override { return nullptr; }
  bool GetSsid(char16_t*, uint32_t) override { return false; }
  bool GetRssi(int16_t*) override { return false; }
  bool Open() override { return false; }
  bool Close() override { return false; }
  bool GetBssid(char16_t*, uint32_t) override { return false; }
  bool answers = true, connected_ = false;
};

struct Outcome {
  std::vector<std::string> calls;
  std::vector<int32_t> bad;
  int missing = 0;
  std::vector<std::optional<std::u16string>> texts;
};

class DeviceCommands : public ::testing::Test {
 protected:
  void TearDown() override {
    qel::ReleaseSlot(qel::Slot::Cradle);
    qel::ReleaseSlot(qel::Slot::Wlan);
  }
  Outcome Icd(std::vector<E> afterCode) {
    qeltest::CommandContext context;
    context.services = {{qel::IID_QELCRADLESERVICE, cradle.get()}};
    qeltest::CommandReply reply;
    afterCode.insert(afterCode.begin(), "ICD");
    qeltest::CommandArgs args(afterCode);
    cradle->calls.clear();
    qel::Icd(&context, &args, &reply);
    return {cradle->calls, reply.bad, reply.missing, context.texts};
  }
  qel::Ref<Cradle> cradle = qel::Ref<Cradle>::Adopt(new Cradle);
};

TEST_F(DeviceCommands, IcdReadsItsActionTimesAndOptions) {
  const struct {
    std::vector<E> args;
    std::string call;  // empty: none
    std::vector<int32_t> bad;
  } cases[] = {
      {{"unlock"}, "Unlock 15 500 500 false", {}},
      {{"UnLock", "9"}, "", {2}},
      {{"UNLOCK", "31"}, "", {2}},
      {{"UNLOCK", "10"}, "Unlock 10 500 500 false", {}},
      {{"UNLOCK", "30", "1;2;y"}, "Unlock 30 1 2 true", {}},
      {{"UNLOCK", "20", " 42 ;x7"}, "Unlock 20 42 0 false", {}},  // digits stop at the first other character
      {{"UNLOCK", "20", "7"}, "Unlock 20 7 500 false", {}},
      {{"UNLOCK", "20", "\t5\t;\t"}, "Unlock 20 5 0 false", {}},  // one field: the others keep their defaults
      {{"UNLOCK", "20", "99999999999;;e;0"}, "Unlock 20 4294967295 0 true", {}},
      {{"BLINK", "3", ";1500"}, "BlinkLed 3 0 1500 false", {}},
      {{"blink", E{}, "100;200;Y"}, "BlinkLed 5 100 200 true", {}},
      {{"BLINK", "-2"}, "BlinkLed 4294967294 2000 1000 false", {}},
      {{"BLINK", "1", "1;2;?"}, "BlinkLed 1 1 2 false", {}},  // another letter keeps the default
      {{"BLINK", "1", "1;2;d"}, "BlinkLed 1 1 2 false", {}},
      {{"FastCharge", "Y"}, "SetFastCharge true", {}},
      {{"FASTCHARGE", "off"}, "SetFastCharge false", {}},
      {{"LOCK"}, "", {1}},
      {{E{}}, "", {1}},
  };
  for (const auto& c : cases) {
    const Outcome o = Icd(c.args);
    const std::vector<std::string> calls = c.call.empty() ? std::vector<std::string>{} : std::vector{c.call};
    EXPECT_EQ(o.calls, calls) << c.call;
    EXPECT_EQ(o.bad, c.bad) << c.call;
  }
}

TEST_F(DeviceCommands, IcdReportsEachRefusalWithItsText) {
  const struct {
    std::vector<E> args;
    const char16_t* text;
  } cases[] = {
      {{"UNLOCK"}, u"Cradle Unlock Failed"},
      {{"BLINK"}, u"Cradle Led Blink Failed"},
      {{"FASTCHARGE", "1"}, u"Set Fast Charge State Failed"},
  };
  for (const auto& c : cases) {
    const Outcome o = Icd(c.args);
    ASSERT_EQ(o.texts.size(), 1u) << std::string(c.args[0].value());
    EXPECT_EQ(o.texts[0], std::u16string(c.text));
  }
  cradle->answer = true;
  EXPECT_TRUE(Icd({"UNLOCK"}).texts.empty());

  const Outcome missing = Icd({"FASTCHARGE"});
  EXPECT_EQ(missing.missing, 1);
  EXPECT_TRUE(missing.calls.empty());
}

TEST_F(DeviceCommands, CckBranchesOnTheAdapter) {
  auto wlan = qel::Ref<Wlan>::Adopt(new Wlan);
  const struct {
    bool answers, connected;
    std::u16string target;
  } cases[] = {
      {true, true, u"up"},
      {true, false, u"down"},
      {false, true, u"down"},  // a query that fails counts as not connected
  };
  for (const auto& c : cases) {
    wlan->answers = c.answers;
    wlan->connected_ = c.connected;
    qeltest::CommandContext context;
    context.services = {{qel::IID_QELWLANSERVICE, wlan.get()}};
    qeltest::CommandReply reply;
    qeltest::CommandArgs args({"CCK", "ignored", "up", "down"});
    context.labels = {c.target};
    qel::Cck(&context, &args, &reply);
    EXPECT_EQ(context.branches, std::vector{c.target});
    EXPECT_TRUE(reply.bad.empty());

    context.labels.clear();  // the host takes no such label
    qel::Cck(&context, &args, &reply);
    EXPECT_EQ(reply.bad, std::vector<int32_t>{c.target == u"up" ? 2 : 3});
  }
}

// ILD needs an argument and does nothing with it; SWP always fails with its text.
TEST_F(DeviceCommands, PlaceholdersTakeTheirArgumentsOrSayTheyCannot) {
  const struct {
    void (*handler)(ICommandContext*, ICommandArguments*, ICommandReply*);
    std::vector<E> args;
    int missing;
    std::vector<std::optional<std::u16string>> texts;
  } cases[] = {
      {qel::Ild, {"ILD", "1"}, 0, {}},
      {qel::Ild, {"ILD", "1", "on", "x"}, 0, {}},
      {qel::Ild, {"ILD"}, 1, {}},
      {qel::Swp, {"SWP"}, 0, {u"Not implemented on this platform"}},
      {qel::Swp, {"SWP", "a", "b"}, 0, {u"Not implemented on this platform"}},
  };
  for (const auto& c : cases) {
    qeltest::CommandContext context;  // no services at all: neither needs one
    qeltest::CommandReply reply;
    qeltest::CommandArgs args(c.args);
    c.handler(&context, &args, &reply);
    EXPECT_EQ(reply.missing, c.missing) << c.args.size();
    EXPECT_EQ(context.texts, c.texts) << c.args.size();
    EXPECT_TRUE(reply.failures.empty() && reply.bad.empty());
  }
}

TEST_F(DeviceCommands, MissingServicesFailWithTheirNames) {
  qeltest::CommandContext context;
  const struct {
    void (*handler)(ICommandContext*, ICommandArguments*, ICommandReply*);
    const char16_t* text;
  } cases[] = {
      {qel::Icd, u"QelService IID_QELCRADLESERVICE not found."},
      {qel::Cck, u"QelService IID_QELWLANSERVICE not found."},
  };
  for (const auto& c : cases) {
    qeltest::CommandReply reply;
    qeltest::CommandArgs args({"X", "UNLOCK"});
    c.handler(&context, &args, &reply);
    EXPECT_EQ(reply.failures, std::vector<std::u16string>{c.text});
  }
}

}  // namespace
