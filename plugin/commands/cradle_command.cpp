// ICD: unlocks the vehicle cradle, blinks its LED or switches fast charging.
#include <algorithm>
#include <array>
#include <cstdint>

#include "ceutil/text.h"
#include "commands/command_frame.h"
#include "commands/commands.h"
#include "qel/cradle.h"

namespace qel {
namespace {

// What the options text of UNLOCK and BLINK sets: two timing values and a flag.
struct Options {
  uint32_t first, second;
  bool flag;
};

// Unsigned decimal: blanks (spaces, tabs) around it are skipped, reading stops at the first
// character that is not a digit, and an empty field is 0. Too large a number
// stays at the largest.
uint32_t NumberField(std::u16string_view field) {
  const size_t start = field.find_first_not_of(u" \t");
  if (start == std::u16string_view::npos) return 0;
  uint64_t value = 0;
  for (const char16_t c : field.substr(start)) {
    if (c < u'0' || c > u'9') break;
    value = std::min<uint64_t>(value * 10 + uint64_t(c - u'0'), UINT32_MAX);
  }
  return uint32_t(value);
}

// Judged by the first character alone; any other leaves the flag as it was.
void FlagField(std::u16string_view field, bool* flag) {
  if (field.empty()) return;
  switch (field[0]) {
    case u'1':
    case u'E':
    case u'e':
    case u'T':
    case u't':
    case u'Y':
    case u'y':
      *flag = true;
      break;
    case u'0':
    case u'D':
    case u'd':
    case u'F':
    case u'f':
    case u'N':
    case u'n':
      *flag = false;
      break;
    default:
      break;
  }
}

// Up to three fields separated by ";"; a field that is not there keeps its default.
void ReadOptions(ICommandArguments* args, Options* options) {
  if (args->IsEmpty(3)) return;
  std::u16string_view text = TextOf(args->GetText(3, nullptr, -1));
  std::array<std::u16string_view, 3> fields;
  size_t present = 0;
  while (present < fields.size()) {
    const size_t end = text.find(u';');
    fields[present++] = text.substr(0, end);
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (present > 0) options->first = NumberField(fields[0]);
  if (present > 1) options->second = NumberField(fields[1]);
  if (present > 2) FlagField(fields[2], &options->flag);
}

}  // namespace

void Icd(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  auto* cradle = Require<IQelCradleService>(Slot::Cradle, context, reply);
  if (!cradle) return;

  const std::u16string_view action = TextOf(args->GetText(1, nullptr, -1));
  if (ceutil::EqualNoCase(action, u"UNLOCK")) {
    const int32_t time = args->GetInt(2, 15);
    if (time < 10 || time > 30) {
      reply->BadArgument(2);
      return;
    }
    Options o{500, 500, false};
    ReadOptions(args, &o);
    if (!cradle->Unlock(uint32_t(time), o.first, o.second, o.flag))
      context->SetResult(1, u"Cradle Unlock Failed");
  } else if (ceutil::EqualNoCase(action, u"BLINK")) {
    const int32_t count = args->GetInt(2, 5);
    Options o{2000, 1000, false};
    ReadOptions(args, &o);
    if (!cradle->BlinkLed(uint32_t(count), o.first, o.second, o.flag))
      context->SetResult(1, u"Cradle Led Blink Failed");
  } else if (ceutil::EqualNoCase(action, u"FASTCHARGE")) {
    if (args->Count() < 3) {  // no argument 2
      reply->MissingArguments();
      return;
    }
    if (!cradle->SetFastCharge(args->GetBool(2, false)))
      context->SetResult(1, u"Set Fast Charge State Failed");
  } else {
    reply->BadArgument(1);
  }
}

}  // namespace qel
