// The model table: 109 entries in the order they are tried, kept as one run of
// wide strings. Each entry is its strings (pattern, manufacturer code, model
// name, model number and, in two entries, an extra field), each ended by a
// NUL, closed by an empty string; one more empty string closes the table.
#include "terminal/model_table.h"

#include <mutex>
#include <vector>

#include "ceutil/text.h"
#include "terminal/wildcard.h"

namespace qel {
namespace {

// u"\0" stays its own literal, so a number after it cannot join the escape.
#define QEL_MODEL(pattern, code, model, number) \
  pattern u"\0" code u"\0" model u"\0" number u"\0" u"\0"
#define QEL_MODEL_EXTRA(pattern, code, model, number, extra) \
  pattern u"\0" code u"\0" model u"\0" number u"\0" extra u"\0" u"\0"

constexpr char16_t kModelTable[] =
    QEL_MODEL(u"*MC1000*", u"MOT", u"MC1000", u"001")
    QEL_MODEL(u"*MC3000*", u"MOT", u"MC3000", u"002")
    QEL_MODEL(u"*MC3090*", u"MOT", u"MC3090", u"003")
    QEL_MODEL(u"*MC3100*", u"MOT", u"MC3100", u"004")
    QEL_MODEL(u"*MC3190*", u"MOT", u"MC3190", u"004")
    QEL_MODEL(u"*MC9000*", u"MOT", u"MC9000", u"005")
    QEL_MODEL(u"*MC9090*", u"MOT", u"MC9090", u"006")
    QEL_MODEL(u"*MC9190*", u"MOT", u"MC9190", u"006")
    QEL_MODEL(u"*WT4070*", u"MOT", u"WT4070", u"007")
    QEL_MODEL(u"*WT4090*", u"MOT", u"WT4090", u"008")
    QEL_MODEL(u"*MC35*", u"MOT", u"MC35", u"009")
    QEL_MODEL(u"*MC50*", u"MOT", u"MC50", u"010")
    QEL_MODEL(u"*MC55A*", u"MOT", u"MC55A", u"011")
    QEL_MODEL(u"*MC55N*", u"MOT", u"MC55N", u"011")
    QEL_MODEL(u"*MC55*", u"MOT", u"MC55", u"011")
    QEL_MODEL(u"*MC70*", u"MOT", u"MC7090", u"012")
    QEL_MODEL(u"*MC75A*", u"MOT", u"MC75A", u"013")
    QEL_MODEL(u"*MC75*", u"MOT", u"MC75", u"013")
    QEL_MODEL(u"*MC95*", u"MOT", u"MC9500", u"015")
    QEL_MODEL_EXTRA(u"*MT2070*", u"MOT", u"MT2070", u"016", u"_27_")
    QEL_MODEL_EXTRA(u"*MT2090*", u"MOT", u"MT2090", u"017", u"_27_")
    QEL_MODEL(u"*MK500*", u"MOT", u"MK500", u"018")
    QEL_MODEL(u"*MK4000*", u"MOT", u"MK4000", u"019")
    QEL_MODEL(u"*ES400*", u"MOT", u"ES400", u"020")
    QEL_MODEL(u"*MC65*", u"MOT", u"MC65", u"021")
    QEL_MODEL(u"*MC21*", u"MOT", u"MC2100", u"022")
    QEL_MODEL(u"*WT41N0*", u"MOT", u"WT41N0", u"023")
    QEL_MODEL(u"*MC92N0*", u"MOT", u"MC92N0", u"024")
    QEL_MODEL(u"*VC70N0*", u"MOT", u"VC70N0", u"025")
    QEL_MODEL(u"*MC32N0*", u"MOT", u"MC32N0", u"026")
    QEL_MODEL(u"*Motorola 7528*", u"MOT", u"7528", u"027")
    QEL_MODEL(u"*MC67*", u"MOT", u"MC67", u"028")
    QEL_MODEL(u"*MC45*", u"MOT", u"MC45", u"029")
    QEL_MODEL(u"*MK3100*", u"MOT", u"MK3100", u"030")
    QEL_MODEL(u"*MC17*", u"MOT", u"MC17", u"031")
    QEL_MODEL(u"*MC18*", u"MOT", u"MC18", u"032")
    QEL_MODEL(u"*Psion Teklogix 7535*", u"PSI", u"7535", u"101")
    QEL_MODEL(u"*Psion Teklogix 8515*", u"PSI", u"8515", u"102")
    QEL_MODEL(u"*Psion Teklogix 7527C*", u"PSI", u"7527", u"103")
    QEL_MODEL(u"*Psion Teklogix PX750", u"PSI", u"PX750", u"104")
    QEL_MODEL(u"*Psion 7545XA*", u"PSI", u"7545XA", u"105")
    QEL_MODEL(u"*Psion 8516*", u"PSI", u"8516", u"106")
    QEL_MODEL(u"*Psion 7515*", u"PSI", u"EP10", u"107")
    QEL_MODEL(u"LXE_HX2", u"LXE", u"HX2", u"201")
    QEL_MODEL(u"LXE_HX3", u"LXE", u"HX3", u"202")
    QEL_MODEL(u"LXE_MX7", u"LXE", u"MX7", u"203")
    QEL_MODEL(u"LXE_MX8", u"LXE", u"MX8", u"204")
    QEL_MODEL(u"LXE_MX7T", u"LXE", u"MX7T", u"205")
    QEL_MODEL(u"*CK3", u"IMC", u"CK3", u"301")
    QEL_MODEL(u"Intermec CX", u"IMC", u"CK31", u"302")
    QEL_MODEL(u"Intermec 751*", u"IMC", u"751", u"303")
    QEL_MODEL(u"Intermec CK32*", u"IMC", u"CK32", u"304")
    QEL_MODEL(u"Intermec CN30*", u"IMC", u"CN30", u"305")
    QEL_MODEL(u"Intermec CN3*", u"IMC", u"CN3", u"306")
    QEL_MODEL(u"Intermec CN2*", u"IMC", u"CN2", u"307")
    QEL_MODEL(u"Intermec CV30*", u"IMC", u"CV30", u"308")
    QEL_MODEL(u"Intermec CK60*", u"IMC", u"CK60", u"309")
    QEL_MODEL(u"Intermec CK61*", u"IMC", u"CK61", u"310")
    QEL_MODEL(u"Intermec 730*", u"IMC", u"730", u"311")
    QEL_MODEL(u"Intermec 7?1*", u"IMC", u"7x1", u"312")
    QEL_MODEL(u"Intermec 7*", u"IMC", u"7xx", u"313")
    QEL_MODEL(u"Intermec CK60*", u"IMC", u"CK60", u"314")
    QEL_MODEL(u"Intermec CK30*", u"IMC", u"CK30", u"315")
    QEL_MODEL(u"Intermec CN50*", u"IMC", u"CN50", u"316")
    QEL_MODEL(u"Intermec CN4*", u"IMC", u"CN4", u"317")
    QEL_MODEL(u"*CK70", u"IMC", u"CK70", u"318")
    QEL_MODEL(u"Intermec CS40*", u"IMC", u"CS40", u"319")
    QEL_MODEL(u"*CK71", u"IMC", u"CK71", u"320")
    QEL_MODEL(u"*CN70*", u"IMC", u"CN70", u"321")
    QEL_MODEL(u"*CN51*", u"IMC", u"CN51", u"322")
    QEL_MODEL(u"*CK3R", u"IMC", u"CK3R", u"323")
    QEL_MODEL(u"*CK3X", u"IMC", u"CK3X", u"324")
    QEL_MODEL(u"Datalogic Memor", u"DTL", u"MEMOR", u"401")
    QEL_MODEL(u"Datalogic Skorpio", u"DTL", u"SKORPIO", u"402")
    QEL_MODEL(u"Pegaso", u"DTL", u"PEGASO", u"403")
    QEL_MODEL(u"Falcon", u"DTL", u"FALCON", u"404")
    QEL_MODEL(u"Datalogic Elf", u"DTL", u"ELF", u"405")
    QEL_MODEL(u"Datalogic FalconX3", u"DTL", u"FALCONX3", u"406")
    QEL_MODEL(u"Datalogic Rhino", u"DTL", u"RHINO", u"407")
    QEL_MODEL(u"Datalogic SkorpioX3", u"DTL", u"SKORPIOX3", u"408")
    QEL_MODEL(u"Datalogic Memor X3", u"DTL", u"MEMORX3", u"409")
    QEL_MODEL(u"Datalogic Lynx", u"DTL", u"LYNX", u"410")
    QEL_MODEL(u"Datalogic Joya X2", u"DTL", u"JOYAX2", u"411")
    QEL_MODEL(u"Datalogic FalconX3 Plus", u"DTL", u"FALCONX3PLUS", u"412")
    QEL_MODEL(u"Datalogic SkorpioX4", u"DTL", u"SKORPIOX4", u"413")
    QEL_MODEL(u"Honeywell 6100", u"HHP", u"6100", u"501")
    QEL_MODEL(u"Honeywell 6500", u"HHP", u"6500", u"502")
    QEL_MODEL(u"Honeywell 7600", u"HHP", u"7600", u"503")
    QEL_MODEL(u"Honeywell 7850", u"HHP", u"7850", u"504")
    QEL_MODEL(u"Honeywell 7900", u"HHP", u"7900", u"505")
    QEL_MODEL(u"Honeywell 9500", u"HHP", u"9500", u"506")
    QEL_MODEL(u"Honeywell 9550", u"HHP", u"9550", u"507")
    QEL_MODEL(u"Honeywell 9700", u"HHP", u"9700", u"508")
    QEL_MODEL(u"Honeywell 9900", u"HHP", u"9900", u"509")
    QEL_MODEL(u"Honeywell 99EX", u"HHP", u"99EX", u"510")
    QEL_MODEL(u"Honeywell 6000", u"HHP", u"6000", u"511")
    QEL_MODEL(u"Honeywell 7800", u"HON", u"7800", u"512")
    QEL_MODEL(u"Honeywell 70e*", u"HON", u"70E", u"513")
    QEL_MODEL(u"Honeywell 6000", u"HHP", u"6000", u"514")
    QEL_MODEL(u"Honeywell D6000", u"HHP", u"6000", u"514")
    QEL_MODEL(u"Honeywell 60s*", u"HON", u"60S", u"515")
    QEL_MODEL(u"Honeywell 6110", u"HON", u"6110", u"516")
    QEL_MODEL(u"Honeywell CV31*", u"HON", u"CV31", u"517")
    QEL_MODEL(u"Honeywell 6510", u"HON", u"6510", u"518")
    QEL_MODEL(u"Honeywell CK75", u"HON", u"CK75", u"519")
    QEL_MODEL(u"IA32", u"HON", u"THOR", u"519")
    QEL_MODEL(u"PA600*", u"UTC", u"PA600", u"601")
    QEL_MODEL(u"PA692*", u"UTC", u"PA692", u"602")
    QEL_MODEL(u"F&S ELEKTRONIK*", u"IND", u"QUADRINO", u"701")
    u"\0";

#undef QEL_MODEL
#undef QEL_MODEL_EXTRA

struct Parsed {
  std::vector<ModelEntry> entries;
  std::vector<std::u16string> foldedPatterns;
};

const Parsed& Table() {
  static const Parsed parsed = [] {
    Parsed p;
    const char16_t* at = kModelTable;
    while (*at) {
      std::u16string_view fields[3];
      size_t count = 0;
      while (*at) {  // the entry's strings, up to its empty string
        const std::u16string_view s(at);
        if (count < 3) fields[count] = s;
        ++count;
        at += s.size() + 1;
      }
      ++at;
      p.entries.push_back({fields[0], fields[1], fields[2]});
      p.foldedPatterns.push_back(ceutil::ToUpper(fields[0]));
    }
    return p;
  }();
  return parsed;
}

}  // namespace

std::span<const ModelEntry> ModelEntries() { return Table().entries; }

const ModelEntry* FindModelEntry(std::u16string_view text) {
  const Parsed& t = Table();
  const std::u16string folded = ceutil::ToUpper(text);
  for (size_t i = 0; i < t.entries.size(); ++i)
    if (WildcardMatchFolded(t.foldedPatterns[i], folded)) return &t.entries[i];
  return nullptr;
}

}  // namespace qel
