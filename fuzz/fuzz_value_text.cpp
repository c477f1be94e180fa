// CQelValue's conversions from text: a String value (UTF-16 from the input)
// read as every kind, then assigned and read as text again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qelcommon/value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
  for (int kind = 0; kind < 9; ++kind) {
    CQelValue v;
    if (!v.SetString(text.data(), uint32_t(text.size()))) abort();
    char c;
    bool b;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    double d;
    switch (kind) {
      case 0:
        v.GetChar(&c);
        break;
      case 1:
        v.GetBool(&b);
        break;
      case 2:
        v.GetTriState(&i32);
        break;
      case 3:
        v.GetDouble(&d);
        break;
      case 4:
        v.GetInt32(&i32);
        break;
      case 5:
        v.GetUInt32(&u32);
        break;
      case 6:
        v.GetInt64(&i64);
        break;
      case 7:
        v.GetUInt64(&u64);
        break;
      default:
        break;
    }
    CQelValue copy;
    if (!copy.Assign(&v)) abort();
    IQelText* shown = nullptr;
    if (copy.GetString(&shown) && shown && shown->Length() > 0 && shown->Chars() == nullptr) abort();
    (void)copy.IsEmpty();
  }
  return 0;
}
