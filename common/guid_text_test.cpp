#include "qelcommon/guid_text.h"

#include <gtest/gtest.h>

namespace {

TEST(Guid, PrintsUpperCaseInRegistryForm) {
  const struct {
    GUID guid;
    const char* text;
  } cases[] = {
      {qel::MakeGuid("{52ED0073-98DE-43DD-A729-74BD01AB81CC}"), "{52ED0073-98DE-43DD-A729-74BD01AB81CC}"},
      {qel::MakeGuid("{0000000a-000b-000c-0d0e-0f1011121314}"), "{0000000A-000B-000C-0D0E-0F1011121314}"},
      {GUID{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
       "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
      {GUID{}, "{00000000-0000-0000-0000-000000000000}"},
  };
  for (const auto& c : cases) EXPECT_EQ(qel::ToString(c.guid), c.text);
}

}  // namespace
