#include "hardware_schema.h"

#include <gtest/gtest.h>

#include <string>

#include "hardware_state.h"

namespace ce::sim {
namespace {

TEST(HardwareSchema, WildcardsMatchOneNameAndEveryPrefixIsAGroup) {
  const struct {
    const char* path;
    const char* rule;  // the declared path it falls under, or null
    bool group;
  } rows[] = {
      {"power.battery_life_percent", "power.battery_life_percent", false},
      {"storage.volumes.Storage Card.total", "storage.volumes.*.total", false},
      {"storage.volumes.SD", nullptr, true},
      {"storage.volumes", nullptr, true},
      {"power", nullptr, true},
      {"storage.volumes.SD.total.more", nullptr, false},
      {"storage.volumes.total", nullptr, true},  // a volume may be called anything
      {"power.battery", nullptr, false},         // a name's prefix is no name
      {"vendor.extra", nullptr, false},
      {"memory.cache", "memory.*", false},  // every member of the group has its type
      {"storage.volumes.SD.label", "storage.volumes.*.*", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    const hw::FieldRule* rule = hw::RuleFor(row.path);
    EXPECT_EQ(rule ? std::string(rule->path) : "", row.rule ? row.rule : "");
    EXPECT_EQ(hw::IsGroup(row.path), row.group);
  }
}

TEST(HardwareSchema, StateOfTheWrongTypeIsRefusedNamingTheField) {
  const struct {
    const char* state;
    const char* mentions;  // null: accepted
  } rows[] = {
      {R"({"storage": {"volumes": {"SD": {"total": -1}}}})",
       "\"storage.volumes.SD.total\" must be a whole number from 0"},
      {R"({"storage": {"volumes": {"SD": 3}}})", "\"storage.volumes.SD\" must be a group"},
      {R"({"power": {"driver_ok": 1}})", "\"power.driver_ok\" must be true or false"},
      {R"({"memory": {"extra": "x"}})", "\"memory.extra\" must be a whole number from 0 to 4294967295"},
      {R"({"display": {"dpi": "high"}})", "\"display.dpi\" must be a whole number"},
      {R"({"storage": {"root": {"extra": -1}}})", "\"storage.root.extra\" must be a whole number from 0"},
      {R"({"power": {"battery_current": -5}, "vendor": {"extra": [1]}})",
       nullptr},  // undeclared fields keep their own
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.state);
    std::string error;
    EXPECT_EQ(CheckHardware(nlohmann::json::parse(row.state), &error), row.mentions == nullptr);
    if (row.mentions) {
      EXPECT_NE(error.find(row.mentions), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace ce::sim
