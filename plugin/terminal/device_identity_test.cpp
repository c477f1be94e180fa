// Serial numbers: the CRC and the SSN's worked example, and the three sources
// of the USN and of the raw identifier, each reached by taking the ones before
// it away.
#include "terminal/device_identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ceutil/text.h"
#include "test_terminal.h"

namespace {

TEST(Ssn, CrcAndWorkedExample) {
  EXPECT_EQ(qel::SsnCrc("abc"), 0xA8EE);
  EXPECT_EQ(qel::SsnCrc(""), 0x5FFE);
  qeltest::TestTerminal terminal;  // text conversion is the system's
  EXPECT_EQ(qel::ShortSerialNumber(u"0123456789ABCDEF0123456789ABCDEF01234567"), u"873319786149384644");
}

TEST(Ssn, IsSixteenDigitsAndTheirCheckValue) {
  qeltest::TestTerminal terminal;
  for (const char16_t* usn :
       {u"", u"A", u"3F2A9C41D07E55B18C6342AF0B9D1E7724C58A10", u"CK3-0815-",
        u"00000000000000000000000000000000000000000000000000000000000000000000000000"}) {
    const std::u16string ssn = qel::ShortSerialNumber(usn);
    ASSERT_EQ(ssn.size(), 18u) << ceutil::ToUtf8(usn);
    const std::string digits = ceutil::ToUtf8(ssn);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(std::stoull(digits.substr(0, 16)) % 97, std::stoull(digits.substr(16))) << digits;
  }
}

struct UsnCase {
  const char* what;
  std::vector<std::pair<const char*, ce::sim::Json>> hardware;
  const char16_t* usn;  // null: no source answers
  std::vector<uint8_t> deviceId;
};

class Usn : public ::testing::TestWithParam<UsnCase> {};

TEST_P(Usn, TakesTheFirstSourceThatAnswers) {
  qeltest::TestTerminal terminal;
  for (const auto& [key, value] : GetParam().hardware) terminal.Set(key, value);
  std::u16string usn;
  const bool ok = qel::UniqueSerialNumber(&usn);
  ASSERT_EQ(ok, GetParam().usn != nullptr);
  if (ok) {
    EXPECT_EQ(usn, GetParam().usn);
  }
  uint8_t id[64];
  uint32_t size = sizeof id;
  ASSERT_EQ(qel::DeviceIdBytes(id, &size), ok);
  if (ok) {
    EXPECT_EQ(std::vector<uint8_t>(id, id + size), GetParam().deviceId);
  }
}

const char kNonUnique[] = "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709";
const char kUuid[] = "41AC9D3F7E0DB155AF42638C771E9D0B";

INSTANTIATE_TEST_SUITE_P(
    Sources, Usn,
    ::testing::Values(UsnCase{"unique_id",
                              {},
                              u"3F2A9C41D07E55B18C6342AF0B9D1E7724C58A10",
                              {0x3F, 0x2A, 0x9C, 0x41, 0xD0, 0x7E, 0x55, 0xB1, 0x8C, 0x63,
                               0x42, 0xAF, 0x0B, 0x9D, 0x1E, 0x77, 0x24, 0xC5, 0x8A, 0x10}},
                      // The non-unique value counts as missing: the UUID, its numbers read little-endian.
                      UsnCase{"non_unique_falls_to_uuid",
                              {{"identity.unique_id", kNonUnique}},
                              u"3F9DAC410D7E55B1AF42638C771E9D0B",
                              {0x41, 0xAC, 0x9D, 0x3F, 0x7E, 0x0D, 0xB1, 0x55, 0xAF, 0x42, 0x63, 0x8C, 0x77,
                               0x1E, 0x9D, 0x0B}},
                      // A blank UUID falls through to the DEVICE_ID record; with the preset ID
                      // first nothing follows the "-" (the running position is past it).
                      UsnCase{"blank_uuid_preset_first",
                              {{"identity.unique_id", ""},
                               {"hal.uuid", "00000000000000000000000000000000"},
                               {"hal.device_id.preset_id", "0102"},
                               {"hal.device_id.platform_id", "41424300"}},
                              u"ABC-",
                              {0x01, 0x02}},
                      // The platform ID first: the position starts at its end (less one for
                      // the zero byte), so preset bytes follow while it stays below the preset's end.
                      UsnCase{"platform_first",
                              {{"identity.unique_id", ""},
                               {"hal.uuid", ""},
                               {"hal.device_id.preset_first", false},
                               {"hal.device_id.preset_id", "58595A"},
                               {"hal.device_id.platform_id", "41424300"}},
                              u"ABC-XYZ",
                              {0x58, 0x59, 0x5A}},
                      // A platform ID that is a GUID's text becomes its 16 bytes ahead of the preset ID.
                      UsnCase{"platform_id_guid",
                              {{"identity.unique_id", ""},
                               {"hal.uuid", ""},
                               {"hal.device_id.preset_id", "07"},
                               {"hal.device_id.platform_id",
                                "30313032303330342D303530362D303730382D303930412D304230433044304530463130"}},
                              u"01020304-0506-0708-090A-0B0C0D0E0F10-",
                              {0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
                               0x0E, 0x0F, 0x10, 0x07}},
                      UsnCase{
                          "nothing_answers",
                          {{"identity.unique_id", ""}, {"hal.uuid", ""}, {"hal.device_id.supported", false}},
                          nullptr,
                          {}}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
