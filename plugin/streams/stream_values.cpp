#include "streams/stream_values.h"

namespace qel {

bool ValueEmpty(IQelValue* value) { return !value || value->IsEmpty(); }

std::u16string ValueText(IQelValue* value) {
  IQelText* text = nullptr;
  if (ValueEmpty(value) || !value->GetString(&text) || !text || !text->Chars()) return {};
  return std::u16string(text->Chars(), text->Length());
}

bool ValueNumber(IQelValue* value, uint32_t otherwise, uint32_t* out) {
  if (ValueEmpty(value)) {
    *out = otherwise;
    return true;
  }
  return value->GetUInt32(out);
}

}  // namespace qel
