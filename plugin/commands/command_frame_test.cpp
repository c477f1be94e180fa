// The service lookup every handler shares: the module slot first, the
// command's context only when the slot is empty, and the exact report when
// the host has no such service.
#include "commands/command_frame.h"

#include <gtest/gtest.h>

#include "qel/guids.h"
#include "qel/object.h"

namespace {

using qel::Slot;

class Context final : public ICommandContext {
 public:
  void SetResult(int32_t, const char16_t*) override {}
  IQelService* QueryService(GUID) override {
    ++queries;
    return provider;
  }
  int32_t WaitTime() override { return -1; }
  int32_t Branch(IQelText*) override { return 1; }
  IQelService* provider = nullptr;
  int queries = 0;
};

class Reply final : public ICommandReply {
 public:
  void Fail(const char16_t* text) override { failures.emplace_back(text); }
  void BadArgument(int32_t) override {}
  void MissingArguments() override {}
  std::vector<std::u16string> failures;
};

// Answers the file location GUID only when told to.
class Provider final : public qel::CQelObject<IQelService, qel::IID_QELFILELOCATION> {
 public:
  explicit Provider(bool answers) : answers_(answers) {}
  bool GetInterface(GUID iid, void** out) override { return answers_ && CQelObject::GetInterface(iid, out); }

 private:
  bool answers_;
};

TEST(RequireService, ReportsTheMissingServiceByName) {
  for (const bool providerGiven : {false, true}) {
    Provider refusing(false);
    Context context;
    context.provider = providerGiven ? &refusing : nullptr;
    Reply reply;
    EXPECT_EQ(qel::RequireService(Slot::FileLocation, &context, &reply), nullptr);
    EXPECT_EQ(reply.failures, std::vector<std::u16string>{u"QelService IID_QELFILELOCATION not found."});
    EXPECT_EQ(refusing.RefCount(), 1);
  }
}

TEST(RequireService, KeepsWhatItFoundForLaterCommands) {
  auto* provider = new Provider(true);
  Context context;
  context.provider = provider;
  Reply reply;
  void* first = qel::RequireService(Slot::FileLocation, &context, &reply);
  EXPECT_EQ(first, static_cast<IQelService*>(provider));
  EXPECT_EQ(qel::RequireService(Slot::FileLocation, &context, &reply), first);
  EXPECT_EQ(context.queries, 1) << "the second command does not ask the host again";
  EXPECT_TRUE(reply.failures.empty());
  EXPECT_EQ(provider->RefCount(), 2);  // ours and the slot's
  qel::ReleaseSlot(Slot::FileLocation);
  EXPECT_EQ(provider->Release(), 0);
}

}  // namespace
