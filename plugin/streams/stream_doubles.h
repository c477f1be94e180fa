// For the streams' tests: streams as a host gets them: from the module's factories by type name, with
// values made from text, destroyed through Destroy.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qel/stream.h"
#include "qelcommon/value.h"
#include "streams/stream_types.h"

namespace qeltest {

struct DestroyStream {
  void operator()(IQelStream* s) const { s->Destroy(); }
};
using StreamPtr = std::unique_ptr<IQelStream, DestroyStream>;

// The first stream a factory makes for the type, in the order Register adds them.
inline StreamPtr MakeStream(const char16_t* type) {
  IQelStream* out = nullptr;
  for (const qel::StreamType& t : qel::StreamTypes()) {
    t.factory(type, &out);
    if (out) break;
  }
  return StreamPtr(out);
}

// Configure with text values; an entry of nullptr stands for a missing value.
inline bool Configure(IQelStream* stream, const std::vector<const char16_t*>& texts) {
  std::vector<std::unique_ptr<CQelValue>> values;
  std::vector<IQelValue*> pointers;
  for (const char16_t* t : texts) {
    if (!t) {
      pointers.push_back(nullptr);
      continue;
    }
    values.push_back(std::make_unique<CQelValue>());
    values.back()->SetStringZ(t);
    pointers.push_back(values.back().get());
  }
  return stream->Configure(int32_t(pointers.size()), pointers.data());
}

// What one Read gave, as text; nothing on a time-out, an end or a failure.
inline std::string ReadSome(IQelStream* s, uint32_t count, uint32_t timeoutMs = 0) {
  std::string out(count, '\0');
  const int32_t n = s->Read(out.data(), count, timeoutMs);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

// The text of GetAddress, or "(null)".
inline std::u16string AddressOf(IQelStream* stream) {
  std::unique_ptr<IQelValue> value(stream->GetAddress());
  IQelText* text = nullptr;
  if (!value || !value->GetString(&text) || !text) return u"(null)";
  return std::u16string(text->Chars(), text->Length());
}

}  // namespace qeltest
