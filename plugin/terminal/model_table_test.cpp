// Every row of the model table, reached through the terminal as a host would
// reach it: an OEM text (and, for makers whose libraries or I/O controls name
// the model, their answers) gives the row, its code and model, and the
// platform string. Expected values are the table's own, written out here.
#include "terminal/model_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ceutil/text.h"
#include "terminal/identification.h"
#include "terminal/platform_string.h"
#include "test_terminal.h"

namespace {

using ce::sim::Json;

struct Row {
  size_t number;  // 1-based, as the table counts
  std::u16string oem;
  std::vector<std::pair<std::string, Json>> setup;
  std::u16string code, model, platform;
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {1, u"MC1000", {}, u"MOT", u"MC1000", u"MOT_MC1000_CE60"},
      {2, u"MC3000", {}, u"MOT", u"MC3000", u"MOT_MC3000_CE60"},
      {3, u"MC3090", {}, u"MOT", u"MC3090", u"MOT_MC3090_CE60"},
      {4, u"MC3100", {}, u"MOT", u"MC3100", u"MOT_MC3100_CE60"},
      {5, u"MC3190", {}, u"MOT", u"MC3190", u"MOT_MC3190_CE60"},
      {6, u"MC9000", {}, u"MOT", u"MC9000", u"MOT_MC9000_CE60"},
      {7, u"MC9090", {}, u"MOT", u"MC9090", u"MOT_MC9090_CE60"},
      {8, u"MC9190", {}, u"MOT", u"MC9190", u"MOT_MC9190_CE60"},
      {9, u"WT4070", {}, u"MOT", u"WT4070", u"MOT_WT4070_CE60"},
      {10, u"WT4090", {}, u"MOT", u"WT4090", u"MOT_WT4090_CE60"},
      {11, u"MC35", {}, u"MOT", u"MC35", u"MOT_MC35_CE60"},
      {12, u"MC50", {}, u"MOT", u"MC50", u"MOT_MC50_CE60"},
      {13, u"MC55A", {}, u"MOT", u"MC55A", u"MOT_MC55A_CE60"},
      {14, u"MC55N", {}, u"MOT", u"MC55N", u"MOT_MC55N_CE60"},
      {15, u"MC55", {}, u"MOT", u"MC55", u"MOT_MC55_CE60"},
      {16, u"MC70", {}, u"MOT", u"MC7090", u"MOT_MC7090_CE60"},
      {17, u"MC75A", {}, u"MOT", u"MC75A", u"MOT_MC75A_CE60"},
      {18, u"MC75", {}, u"MOT", u"MC75", u"MOT_MC75_CE60"},
      {19, u"MC95", {}, u"MOT", u"MC9500", u"MOT_MC9500_CE60"},
      {20, u"MT2070", {}, u"MOT", u"MT2070", u"MOT_MT2070_CE60"},
      {21, u"MT2090", {}, u"MOT", u"MT2090", u"MOT_MT2090_CE60"},
      {22, u"MK500", {}, u"MOT", u"MK500", u"MOT_MK500_CE60"},
      {23, u"MK4000", {}, u"MOT", u"MK4000", u"MOT_MK4000_CE60"},
      {24, u"ES400", {}, u"MOT", u"ES400", u"MOT_ES400_CE60"},
      {25, u"MC65", {}, u"MOT", u"MC65", u"MOT_MC65_CE60"},
      {26, u"MC21", {}, u"MOT", u"MC2100", u"MOT_MC2100_CE60"},
      {27, u"WT41N0", {}, u"MOT", u"WT41N0", u"MOT_WT41N0_CE60"},
      {28, u"MC92N0", {}, u"MOT", u"MC92N0", u"MOT_MC92N0_CE60"},
      {29, u"VC70N0", {}, u"MOT", u"VC70N0", u"MOT_VC70N0_CE60"},
      {30, u"MC32N0", {}, u"MOT", u"MC32N0", u"MOT_MC32N0_CE60"},
      {31, u"Motorola 7528", {}, u"MOT", u"7528", u"MOT_7528_CE60"},
      {32, u"MC67", {}, u"MOT", u"MC67", u"MOT_MC67_CE60"},
      {33, u"MC45", {}, u"MOT", u"MC45", u"MOT_MC45_CE60"},
      {34, u"MK3100", {}, u"MOT", u"MK3100", u"MOT_MK3100_CE60"},
      {35, u"MC17", {}, u"MOT", u"MC17", u"MOT_MC17_CE60"},
      {36, u"MC18", {}, u"MOT", u"MC18", u"MOT_MC18_CE60"},
      {37, u"Psion Teklogix 7535", {}, u"PSI", u"7535", u"PSI_7535_CE60"},
      {38, u"Psion Teklogix 8515", {}, u"PSI", u"8515", u"PSI_8515_CE60"},
      {39, u"Psion Teklogix 7527C", {}, u"PSI", u"7527", u"PSI_7527_CE60"},
      {40, u"Psion Teklogix PX750", {}, u"PSI", u"PX750", u"PSI_PX750_CE60"},
      {41, u"Psion 7545XA", {}, u"PSI", u"7545XA", u"PSI_7545XA_CE60"},
      {42, u"Psion 8516", {}, u"PSI", u"8516", u"PSI_8516_CE60"},
      {43, u"Psion 7515", {}, u"PSI", u"EP10", u"PSI_EP10_CE60"},
      {44, u"LXE_HX2", {}, u"LXE", u"HX2", u"LXE_HX2_CE60"},
      {45, u"LXE_HX3", {}, u"LXE", u"HX3", u"LXE_HX3_CE60"},
      {46, u"LXE_MX7", {}, u"LXE", u"MX7", u"LXE_MX7_CE60"},
      {47, u"LXE_MX8", {}, u"LXE", u"MX8", u"LXE_MX8_CE60"},
      {48, u"LXE_MX7T", {}, u"LXE", u"MX7T", u"LXE_MX7T_CE60"},
      {49, u"CK3", {}, u"IMC", u"CK3", u"IMC_CK3_CE60"},
      {50, u"Intermec CX", {}, u"IMC", u"CK31", u"IMC_CK31_CE60"},
      {51, u"Intermec 751", {}, u"IMC", u"751", u"IMC_751_CE60"},
      {52, u"Intermec CK32", {}, u"IMC", u"CK32", u"IMC_CK32_CE60"},
      {53, u"Intermec CN30", {}, u"IMC", u"CN30", u"IMC_CN30_CE60"},
      {54, u"Intermec CN3", {}, u"IMC", u"CN3", u"IMC_CN3_CE60"},
      {55, u"Intermec CN2", {}, u"IMC", u"CN2", u"IMC_CN2_CE60"},
      {56, u"Intermec CV30", {}, u"IMC", u"CV30", u"IMC_CV30_CE60"},
      {57, u"Intermec CK60", {}, u"IMC", u"CK60", u"IMC_CK60_CE60"},
      {58, u"Intermec CK61", {}, u"IMC", u"CK61", u"IMC_CK61_CE60"},
      {59, u"Intermec 730", {}, u"IMC", u"730", u"IMC_730_CE60"},
      {60, u"Intermec 701", {}, u"IMC", u"7x1", u"IMC_7x1_CE60"},
      {61, u"Intermec 7", {}, u"IMC", u"7xx", u"IMC_7xx_CE60"},
      {63, u"Intermec CK30", {}, u"IMC", u"CK30", u"IMC_CK30_CE60"},
      {64, u"Intermec CN50", {}, u"IMC", u"CN50", u"IMC_CN50_CE60"},
      {65, u"Intermec CN4", {}, u"IMC", u"CN4", u"IMC_CN4_CE60"},
      {66, u"CK70", {}, u"IMC", u"CK70", u"IMC_CK70_CE60"},
      {67, u"Intermec CS40", {}, u"IMC", u"CS40", u"IMC_CS40_CE60"},
      {68, u"CK71", {}, u"IMC", u"CK71", u"IMC_CK71_CE60"},
      {69, u"CN70", {}, u"IMC", u"CN70", u"IMC_CN70_CE60"},
      {70, u"CN51", {}, u"IMC", u"CN51", u"IMC_CN51_CE60"},
      {71, u"CK3R", {}, u"IMC", u"CK3R", u"IMC_CK3R_CE60"},
      {72, u"CK3X", {}, u"IMC", u"CK3X", u"IMC_CK3X_CE60"},
      {73, u"Datalogic", {{"hal.device_id.preset_id", "4D00A401"}}, u"DTL", u"MEMOR", u"DTL_MEMOR_CE60"},
      {74, u"Datalogic", {{"hal.device_id.preset_id", "5300F401"}}, u"DTL", u"SKORPIO", u"DTL_SKORPIO_CE60"},
      {75, u"Pegaso", {}, u"DTL", u"PEGASO", u"DTL_PEGASO_CE60"},
      {76, u"Falcon", {}, u"DTL", u"FALCON", u"DTL_FALCON_CE60"},
      {77, u"Datalogic", {{"datalogic.model", 6}}, u"DTL", u"ELF", u"DTL_ELF_CE60"},
      {78, u"Datalogic", {{"datalogic.model", 7}}, u"DTL", u"FALCONX3", u"DTL_FALCONX3_CE60"},
      {79, u"Datalogic", {{"datalogic.model", 133}}, u"DTL", u"RHINO", u"DTL_RHINO_CE60"},
      {80, u"Datalogic", {{"datalogic.model", 10}}, u"DTL", u"SKORPIOX3", u"DTL_SKORPIOX3_CE60"},
      {81, u"Datalogic", {{"datalogic.model", 14}}, u"DTL", u"MEMORX3", u"DTL_MEMORX3_CE60"},
      {82, u"Datalogic", {{"datalogic.model", 8}}, u"DTL", u"LYNX", u"DTL_LYNX_CE60"},
      {83, u"Datalogic Joya X2", {{"datalogic.model", 9}}, u"DTL", u"JOYAX2", u"DTL_JOYAX2_CE60"},
      {84, u"Datalogic", {{"datalogic.model", 13}}, u"DTL", u"FALCONX3PLUS", u"DTL_FALCONX3PLUS_CE60"},
      {85,
       u"Datalogic",
       {{"datalogic.name", "Datalogic SkorpioX4"}},
       u"DTL",
       u"SKORPIOX4",
       u"DTL_SKORPIOX4_CE60"},
      {86, u"Honeywell", {{"hal.vendor.model_number", 6100}}, u"HHP", u"6100", u"HHP_6100_CE60"},
      {87, u"Honeywell", {{"hal.vendor.model_number", 6500}}, u"HHP", u"6500", u"HHP_6500_CE60"},
      {88, u"Honeywell", {{"hal.vendor.model_number", 7600}}, u"HHP", u"7600", u"HHP_7600_CE60"},
      {89, u"Honeywell", {{"hal.vendor.model_number", 7850}}, u"HHP", u"7850", u"HHP_7850_CE60"},
      {90, u"Honeywell", {{"hal.vendor.model_number", 7900}}, u"HHP", u"7900", u"HHP_7900_CE60"},
      {91, u"Honeywell", {{"hal.vendor.model_number", 9500}}, u"HHP", u"9500", u"HHP_9500_CE60"},
      {92, u"Honeywell", {{"hal.vendor.model_number", 9550}}, u"HHP", u"9550", u"HHP_9550_CE60"},
      {93, u"Honeywell", {{"hal.vendor.model_number", 9700}}, u"HHP", u"9700", u"HHP_9700_CE60"},
      {94, u"Honeywell", {{"hal.vendor.model_number", 9900}}, u"HHP", u"9900", u"HHP_9900_CE60"},
      {95, u"Honeywell Dolphin", {{"hal.vendor.model_text", "99EX"}}, u"HHP", u"99EX", u"HHP_99EX_CE60"},
      {96, u"Honeywell", {{"hal.vendor.model_number", 6000}}, u"HHP", u"6000", u"HHP_6000_CE60"},
      {97, u"Honeywell", {{"hal.vendor.model_text", "7800"}}, u"HON", u"7800", u"HON_7800_CE60"},
      {98, u"Honeywell", {{"hal.vendor.model_text", "70e-XYZ"}}, u"HON", u"70E", u"HON_70E_CE60"},
      {101, u"HHP Dolphin", {{"hal.vendor.model_text", "60s-B"}}, u"HON", u"60S", u"HON_60S_CE60"},
      {102, u"Honeywell", {{"hal.vendor.model_text", "6110"}}, u"HON", u"6110", u"HON_6110_CE60"},
      {103, u"Honeywell CV31", {{"intermec.device_type", 27}}, u"HON", u"CV31", u"HON_CV31_CE60"},
      {104, u"Hand Held Products", {{"hal.vendor.model_text", "6510"}}, u"HON", u"6510", u"HON_6510_CE60"},
      {105, u"Honeywell CK75", {{"intermec.device_type", 30}}, u"HON", u"CK75", u"HON_CK75_CE60"},
      {106, u"IA32", {}, u"HON", u"THOR", u"HON_THORVM_CE60"},
      {107,
       u"Unitech",
       {{"hal.device_id.platform_id", "5000410036003000300042000000"}},
       u"UTC",
       u"PA600",
       u"UTC_PA600_CE60"},
      {108,
       u"unitech",
       {{"hal.device_id.platform_id", "500041003600390032002D00470053000000"}},
       u"UTC",
       u"PA692",
       u"UTC_PA692_CE60"},
      {109, u"F&S ELEKTRONIK", {}, u"IND", u"QUADRINO", u"IND_QUADRINO_CE60"},
  };
  return rows;
}

// The default terminal (CE 6.0, a Thor's files and registry) with every
// maker's library present and answering nothing until a row says so.
Json IdentificationProfile() {
  Json p = *ce::sim::BuiltinProfile("thor-vm1");
  for (const char* lib : {"DeviceApi.dll", "dl_api.dll", "itc50.dll"})
    p["hardware"]["modules"].push_back(lib);
  p["hardware"]["datalogic"] = {{"model", 0}, {"name", ""}};
  p["hardware"]["intermec"] = {{"device_type", 0}};
  return p;
}

size_t RowOf(const qel::ModelEntry* e) {
  const auto all = qel::ModelEntries();
  return e ? size_t(e - all.data()) + 1 : 0;
}

TEST(ModelTable, HoldsTheEntriesInOrder) {
  ASSERT_EQ(qel::ModelEntries().size(), 109u);
  EXPECT_EQ(qel::ModelEntries().front().pattern, u"*MC1000*");
  EXPECT_EQ(qel::ModelEntries().back().model, u"QUADRINO");
}

TEST(ModelTable, EveryRowIsReachedWithItsCodeModelAndPlatform) {
  const Json profile = IdentificationProfile();
  qeltest::TestTerminal terminal(profile);
  std::map<std::string, Json> changed;  // what the last row set, to put back
  for (const Row& row : Rows()) {
    SCOPED_TRACE("row " + std::to_string(row.number) + ": " + ceutil::ToUtf8(row.oem));
    for (const auto& [key, value] : changed) terminal.Set(key, value);
    changed.clear();
    terminal.Set("oem_info", ceutil::ToUtf8(row.oem));
    for (const auto& [key, value] : row.setup) {
      std::string pointer = "/" + key;
      for (char& c : pointer)
        if (c == '.') c = '/';
      changed[key] = profile["hardware"].at(Json::json_pointer(pointer));
      terminal.Set(key, value);
    }
    const qel::ModelEntry* entry = qel::FindModelKey();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(RowOf(entry), row.number);
    EXPECT_EQ(entry->code, row.code);
    EXPECT_EQ(entry->model, row.model);
    char16_t platform[127] = {};
    ASSERT_TRUE(qel::PlatformString(platform, 127));
    EXPECT_EQ(std::u16string(platform), row.platform);
  }
  std::set<size_t> reached;
  for (const Row& row : Rows()) reached.insert(row.number);
  EXPECT_EQ(reached.size(), 106u);  // all but the three shadowed rows below
}

// Rows 62 and 99 repeat an earlier pattern; row 100's text always passes the
// Honeywell step, which turns any D6000 into "Honeywell 6000" (row 96).
TEST(ModelTable, ShadowedRowsAreNeverChosen) {
  const auto all = qel::ModelEntries();
  EXPECT_EQ(RowOf(qel::FindModelEntry(all[61].pattern.substr(0, all[61].pattern.size() - 1))), 57u);
  EXPECT_EQ(RowOf(qel::FindModelEntry(all[98].pattern)), 96u);
  EXPECT_EQ(all[61].pattern, all[56].pattern);
  EXPECT_EQ(all[98].pattern, all[95].pattern);
  qeltest::TestTerminal terminal(IdentificationProfile());
  for (const char* oem : {"Honeywell D6000", "honeywell d6000", "HONEYWELL D6000"}) {
    terminal.Set("oem_info", oem);
    EXPECT_EQ(RowOf(qel::FindModelKey()), 96u) << oem;
  }
}

}  // namespace
