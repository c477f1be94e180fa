// The terminal information service's own operations on scripted terminals:
// identity texts, the vendor variant, the operating system, the folders, the
// manufacturer and model rules, and camera control.
#include "terminal/terminal_service.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ce/com.h"
#include "ce/files.h"
#include "ce/registry.h"
#include "ceutil/text.h"
#include "qel/host.h"
#include "qelcommon/ref.h"
#include "test_terminal.h"

namespace {

using ce::sim::Json;
using qel::Ref;

Ref<IQelTerminalService> Service() { return Ref<IQelTerminalService>::Adopt(qel::NewTerminalService()); }

std::u16string Text(bool (IQelTerminalService::*op)(char16_t*, uint32_t), IQelTerminalService* s,
                    bool* ok = nullptr, uint32_t capacity = 128) {
  std::u16string buffer(capacity, u'\0');
  const bool r = (s->*op)(buffer.data(), capacity);
  if (ok) *ok = r;
  return r ? std::u16string(buffer.c_str()) : u"<false>";
}

TEST(TerminalService, IdentNameIsWrittenAsRegSzWithItsTerminator) {
  qeltest::TestTerminal terminal;
  auto s = Service();
  ASSERT_TRUE(s->SetIdentName(u"abcdef", 3));  // only the length given counts
  ce::RegKey key;
  ASSERT_EQ(ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Ident", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  ce::DWORD type = 0, size = 0;
  ASSERT_EQ(ce::RegQueryValueExW(key.get(), u"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, ce::DWORD(REG_SZ));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(Text(&IQelTerminalService::GetIdentName, s.get()), u"abc");
  ASSERT_TRUE(s->SetIdentDescription(u"Forklift 7", 10));
  EXPECT_EQ(Text(&IQelTerminalService::GetIdentDescription, s.get()), u"Forklift 7");
  // The read is cut to the capacity the getter passes (in bytes: twice the characters).
  bool ok = true;
  Text(&IQelTerminalService::GetIdentDescription, s.get(), &ok, 4);
  EXPECT_FALSE(ok);
}

TEST(TerminalService, AlwaysFailingSlotsAndTheBaseClass) {
  qeltest::TestTerminal terminal;
  auto s = Service();
  bool ok = true;
  Text(&IQelTerminalService::GetDeviceDate, s.get(), &ok);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(s->Reserved41(1, 2));
  EXPECT_FALSE(s->Reserved42(0, 0));
  auto base = Ref<IQelTerminalService>::Adopt(new qel::CQelTerminalService);
  Text(&IQelTerminalService::GetEsn, base.get(), &ok);
  EXPECT_FALSE(ok);
  Text(&IQelTerminalService::GetFirmwareVersion, base.get(), &ok);
  EXPECT_FALSE(ok);
  base->Reboot(false);
  EXPECT_EQ(terminal.Hardware("lxe.boots"), 0);
}

TEST(TerminalService, VendorVariantAsksTheLxeLibrary) {
  qeltest::TestTerminal terminal;
  auto s = Service();
  EXPECT_EQ(Text(&IQelTerminalService::GetEsn, s.get()), u"VM1C12345678");
  EXPECT_EQ(Text(&IQelTerminalService::GetFirmwareVersion, s.get()), u"1.36.2.0");
  const std::pair<const char*, const char16_t*> oal[] = {
      {"A B C", u"B"}, {"A  B", u""}, {"OneSpace only", u"<false>"}, {"none", u"<false>"}, {"", u"<false>"}};
  for (const auto& [text, version] : oal) {
    terminal.Set("lxe.oal_version", text);
    EXPECT_EQ(Text(&IQelTerminalService::GetFirmwareVersion, s.get()), version) << text;
  }
  // Counted by a terminal that takes the request and stays up (a reboot would end this test).
  terminal.Set("hal.reboot_ignored", true);
  s->Reboot(false);
  s->Reboot(true);
  s->Reboot(true);
  EXPECT_EQ(terminal.Hardware("lxe.boots"), 1);
  EXPECT_EQ(terminal.Hardware("lxe.clear_boots"), 2);
  EXPECT_EQ(Text(&IQelTerminalService::GetEsn, s.get(), nullptr, 5), u"VM1C");  // cut to fit
}

TEST(TerminalService, OsTypeAndVersion) {
  qeltest::TestTerminal terminal;
  auto s = Service();
  const struct {
    const char* type;
    uint32_t major, minor, build;
    const char16_t* osType;
    const char16_t* version;
  } cases[] = {
      {"CEPC", 6, 0, 3122, u"WindowsCE", u"CE60"},     {"CEPC", 5, 2, 1, u"WindowsCE", u"CE50"},
      {"PocketPC", 5, 2, 1, u"PocketPC", u"WM6"},      {"pocketpc", 5, 1, 1, u"pocketpc", u"WM5"},
      {"SmartPhone", 4, 20, 1, u"SmartPhone", u"WM3"}, {"PocketPC", 6, 0, 1000, u"PocketPC", u"6.0.1000"},
      {"PocketPC", 3, 0, 1, u"PocketPC", u"WM3"},      {"Jupiter", 5, 2, 1, u"WindowsCE", u"CE50"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.major) + "." + std::to_string(c.minor));
    terminal.Set("platform_type", c.type);
    terminal.Set("os.major", c.major);
    terminal.Set("os.minor", c.minor);
    terminal.Set("os.build", c.build);
    EXPECT_EQ(Text(&IQelTerminalService::GetOsType, s.get()), c.osType);
    EXPECT_EQ(Text(&IQelTerminalService::GetOsVersion, s.get()), c.version);
  }
}

// A dictionary that keeps what it is given.
class Folders final : public qel::CQelObject<IQelDictionary, qel::IID_QELTERMINALSERVICE> {
 public:
  bool Add(IQelText* key, IQelText* value) override {
    entries[ceutil::ToUtf8({key->Chars(), key->Length()})] =
        ceutil::ToUtf8({value->Chars(), value->Length()});
    return true;
  }
  std::map<std::string, std::string> entries;
};

TEST(TerminalService, StorageFolders) {
  Json profile = *ce::sim::BuiltinProfile("thor-vm1");
  profile["folders"].push_back("\\Flash Disk");
  profile["folders"].push_back("\\RAM Disk");
  qeltest::TestTerminal terminal(profile);
  auto s = Service();
  auto folders = Ref<Folders>::Adopt(new Folders);
  EXPECT_TRUE(s->GetStorageFolders(folders.get()));
  // "IA32" names no manufacturer: the first mounted store of the root.
  EXPECT_EQ(folders->entries,
            (std::map<std::string, std::string>{
                {"FLASH", "\\Storage Card"}, {"RAM", "\\My Documents"}, {"SD", "\\Storage Card"}}));
  EXPECT_TRUE(s->GetStorageFolders(nullptr));
  terminal.Set("oem_info", "LXE_MX7");
  EXPECT_EQ(Text(&IQelTerminalService::GetFlashFolder, s.get()), u"\\System");

  // "\System" an ordinary folder: the first mounted store of the root instead.
  terminal.Set("storage.mounted", Json::array({"Storage Card"}));
  EXPECT_EQ(Text(&IQelTerminalService::GetFlashFolder, s.get()), u"\\Storage Card");
  EXPECT_FALSE(s->IsStorageVolume(u"\\System"));
  EXPECT_TRUE(s->IsStorageVolume(u"\\Storage Card"));
  // No store at all: no flash folder; the card profile still names an existing folder.
  terminal.Set("storage.mounted", Json::array());
  bool ok = true;
  Text(&IQelTerminalService::GetFlashFolder, s.get(), &ok);
  EXPECT_FALSE(ok);
  // A Psion with its RAM disk mounted; a Honeywell 6100 uses its program files.
  terminal.Set("storage.mounted", Json::array({"RAM Disk", "Flash Disk"}));
  terminal.Set("oem_info", "Psion Teklogix 7535");
  EXPECT_EQ(Text(&IQelTerminalService::GetRamFolder, s.get()), u"\\RAM Disk");
  EXPECT_EQ(Text(&IQelTerminalService::GetFlashFolder, s.get()), u"\\Flash Disk");
  terminal.Set("oem_info", "Honeywell");
  terminal.Set("hal.vendor.model_number", 6100);
  EXPECT_EQ(Text(&IQelTerminalService::GetFlashFolder, s.get()), u"\\Program Files");
  terminal.Set("hal.vendor.model_number", 7800);  // not one of the four: the HON candidates, then the search
  EXPECT_EQ(Text(&IQelTerminalService::GetFlashFolder, s.get()), u"\\Flash Disk");
}

TEST(TerminalService, CardProfilesAreTriedInOrder) {
  Json profile = *ce::sim::BuiltinProfile("thor-vm1");
  profile["registry"]["HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMMC"] = {
      {"Folder", "Missing Card"}};
  profile["registry"]["HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\MMC"] = {{"Folder", "Temp"}};
  profile["registry"].erase("HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory");
  qeltest::TestTerminal terminal(profile);
  EXPECT_EQ(Text(&IQelTerminalService::GetCardFolder, Service().get()), u"\\Temp");
}

TEST(TerminalService, ManufacturerAndModel) {
  Json profile = *ce::sim::BuiltinProfile("thor-vm1");
  profile["hardware"]["modules"].push_back("itc50.dll");
  profile["hardware"]["intermec"] = {{"device_type", 14}};
  qeltest::TestTerminal terminal(profile);
  auto s = Service();
  const struct {
    const char* oem;
    const char16_t* manufacturer;
    const char16_t* model;
  } cases[] = {
      {"", u"UNK", u""},
      {"Symbol MC3090", u"MOT", u"Symbol MC3090"},
      {"Hand Held Products Dolphin", u"HON", u"<false>"},  // no vendor code answers
      {"Intermec CK32 with more", u"IMC", u"Intermec CK32"},
      {"HANDHELD PRODUCTS", u"UNK",
       u"<false>"},  // Honeywell by the model rule, unknown to the manufacturer rules
      {"Psion Teklogix 7535", u"PSI", u"Psion Teklogix 7535"},
      {"F&S Elektronik", u"IND", u"F&S Elektronik"},
      {"Pegaso", u"DTL_PSC", u"Pegaso"},
      {"LXE MX8 Motorola", u"MOT",
       u"LXE MX8 Motorola"},  // the first rule in the list wins, not the first in the text
  };
  for (const auto& c : cases) {
    terminal.Set("oem_info", c.oem);
    EXPECT_EQ(Text(&IQelTerminalService::GetManufacturer, s.get()), c.manufacturer) << c.oem;
    EXPECT_EQ(Text(&IQelTerminalService::GetDeviceModel, s.get()), c.model) << c.oem;
  }
  terminal.Set("oem_info", "Intermec CK32 with more");
  terminal.Set("os.major", 5);
  EXPECT_EQ(Text(&IQelTerminalService::GetPlatform, s.get()), u"IMC_CK32_CE50");
  terminal.Set("oem_info", "Some Unknown Terminal");
  EXPECT_EQ(Text(&IQelTerminalService::GetPlatform, s.get()), u"Some Unknown Terminal");
}

TEST(TerminalService, ThorNeedsItsLibraryAndImage) {
  qeltest::TestTerminal terminal;
  auto s = Service();
  EXPECT_EQ(Text(&IQelTerminalService::GetPlatform, s.get()), u"HON_THORVM_CE60");
  ce::RegKey key;
  ASSERT_EQ(ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\LXE\\Version", 0, KEY_WRITE, key.put()),
            ERROR_SUCCESS);
  const char16_t vm3[] = u"VM3 WEC6";
  ASSERT_EQ(ce::RegSetValueExW(key.get(), u"Honeywell Image", 0, REG_SZ,
                               reinterpret_cast<const ce::BYTE*>(vm3), sizeof vm3),
            ERROR_SUCCESS);
  bool ok = true;
  Text(&IQelTerminalService::GetPlatform, s.get(), &ok);
  EXPECT_FALSE(ok);
  const char16_t vm2[] = u"VM2";
  ASSERT_EQ(ce::RegSetValueExW(key.get(), u"Honeywell Image", 0, REG_SZ,
                               reinterpret_cast<const ce::BYTE*>(vm2), sizeof vm2),
            ERROR_SUCCESS);
  EXPECT_EQ(Text(&IQelTerminalService::GetPlatform, s.get()), u"HON_THORVM_CE60");
  ASSERT_TRUE(ce::DeleteFileW(u"\\Windows\\vm1ceapi.dll"));
  Text(&IQelTerminalService::GetPlatform, s.get(), &ok);
  EXPECT_FALSE(ok);
}

// A camera whose flash and focus ranges the test sets; records what is set.
class Camera final : public ce::IAMCameraControl {
 public:
  ce::HRESULT QueryInterface(const ce::GUID&, void**) override { return E_FAIL; }
  ce::DWORD AddRef() override { return 1; }
  ce::DWORD Release() override { return 1; }
  ce::HRESULT GetRange(ce::LONG p, ce::LONG* min, ce::LONG* max, ce::LONG* step, ce::LONG* def,
                       ce::LONG* caps) override {
    if (!ranges.count(p)) return E_FAIL;
    *min = ranges[p][0], *max = ranges[p][1], *step = ranges[p][2], *def = 0, *caps = 2;
    return S_OK;
  }
  ce::HRESULT Set(ce::LONG p, ce::LONG v, ce::LONG flags) override {
    sets.push_back({p, v, flags});
    values[p] = v;
    return S_OK;
  }
  ce::HRESULT Get(ce::LONG p, ce::LONG* v, ce::LONG* flags) override {
    if (!values.count(p)) return E_FAIL;
    *v = values[p], *flags = 2;
    return S_OK;
  }
  std::map<ce::LONG, std::vector<ce::LONG>> ranges;
  std::map<ce::LONG, ce::LONG> values;
  std::vector<std::vector<ce::LONG>> sets;
};

TEST(TerminalService, CameraControl) {
  qeltest::TestTerminal terminal;
  auto s = Service();
  Camera camera;
  EXPECT_EQ(s->GetFlashState(nullptr), 3u);
  EXPECT_EQ(s->GetFlashState(&camera), 3u);
  EXPECT_EQ(s->GetFocusState(&camera), 2u);
  camera.ranges[ce::CameraControl_Flash] = {0, 2, 1};
  camera.ranges[ce::CameraControl_Focus] = {10, 90, 5};
  for (uint32_t mode : {0u, 1u, 2u}) EXPECT_TRUE(s->SetFlashMode(&camera, mode));
  EXPECT_FALSE(s->SetFlashMode(&camera, 3));
  EXPECT_EQ(camera.sets, (std::vector<std::vector<ce::LONG>>{{7, 0, 2}, {7, 2, 2}, {7, 1, 2}}));
  EXPECT_EQ(s->GetFlashState(&camera), 1u);  // 1 differs from the minimum
  s->SetFlashMode(&camera, 0);
  EXPECT_EQ(s->GetFlashState(&camera), 0u);
  camera.sets.clear();
  s->SetFocus(&camera, true);  // not a Honeywell: the range's maximum
  s->SetFocus(&camera, false);
  terminal.Set("oem_info", "Honeywell 70e");
  s->SetFocus(&camera, true);
  EXPECT_EQ(camera.sets, (std::vector<std::vector<ce::LONG>>{{6, 90, 2}, {6, 0, 2}, {6, 1, 2}}));
  EXPECT_EQ(s->GetFocusState(&camera), 1u);  // 1 differs from the stepping delta 5
  camera.values[6] = 5;
  EXPECT_EQ(s->GetFocusState(&camera), 0u);
}

}  // namespace
