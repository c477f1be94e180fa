#include "qelcommon/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>

#include "ce/text.h"
#include "qel/service.h"

namespace {

// Characters that read as yes or no (GetBool, GetTriState, first character of a text).
enum class Answer { kYes, kNo, kOther };

Answer AnswerOf(char c) {
  if (c == 0) return Answer::kOther;
  if (std::strchr("1EeTtYy", c) != nullptr) return Answer::kYes;
  if (std::strchr("0DdFfNn", c) != nullptr) return Answer::kNo;
  return Answer::kOther;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

const char16_t* SkipSpaces(const char16_t* p) {
  while (*p == u' ') ++p;
  return p;
}

// GetInt32 of a text: never fails. Accumulation stops once the value has
// reached 214748365; what it accumulated is taken modulo 2^32, as the 32-bit
// arithmetic of the contract does ("2147483648" reads as -2147483648).
int32_t ParseInt32(const char16_t* p) {
  p = SkipSpaces(p);
  const bool negative = *p == u'-';
  if (*p == u'+' || *p == u'-') p = SkipSpaces(p + 1);
  uint32_t v = 0;
  for (; IsDigit(*p) && v < 214748365u; ++p) v = v * 10 + uint32_t(*p - u'0');
  return int32_t(negative ? 0u - v : v);
}

// GetUInt32 of a text: no sign; fails only when the digits do not fit.
bool ParseUInt32(const char16_t* p, uint32_t* out) {
  p = SkipSpaces(p);
  uint32_t v = 0;
  for (; IsDigit(*p) && v < 429496730u; ++p) {
    const uint32_t digit = uint32_t(*p - u'0');
    if (v > (0xFFFFFFFFu - digit) / 10) break;  // the next step would overflow
    v = v * 10 + digit;
  }
  // Digits left over: the number does not fit. Whatever else follows (the
  // contract skips spaces there) is ignored, as for GetInt32.
  if (IsDigit(*p)) return false;
  *out = v;
  return true;
}

// GetInt64 of a text: like GetInt32 of a text (never fails), but saturates at
// the 64-bit limits instead of stopping early.
int64_t ParseInt64(const char16_t* p) {
  p = SkipSpaces(p);
  const bool negative = *p == u'-';
  if (*p == u'+' || *p == u'-') p = SkipSpaces(p + 1);
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t v = 0;
  for (; IsDigit(*p); ++p) {
    const uint64_t digit = uint64_t(*p - u'0');
    if (v > (limit - digit) / 10) {
      v = limit;
      break;
    }
    v = v * 10 + digit;
  }
  return int64_t(negative ? 0 - v : v);
}

// GetUInt64 of a text: spaces, an optional "+", at least one digit, no
// overflow; the rest of the text is ignored.
bool ParseUInt64(const char16_t* p, uint64_t* out) {
  p = SkipSpaces(p);
  if (*p == u'+') ++p;
  if (!IsDigit(*p)) return false;
  uint64_t v = 0;
  for (; IsDigit(*p); ++p) {
    const uint64_t digit = uint64_t(*p - u'0');
    if (v > (~uint64_t{0} - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *out = v;
  return true;
}

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// GetDouble of a text: shorter than 23 characters; the first comma becomes a
// point unless a point comes first; then read as sscanf("%lg") would read one
// number from it. Only decimal notation counts as a number (no "inf", "nan"
// or hexadecimal, as the device's C library reads it); trailing text after
// the number is ignored; a value out of the double range fails.
bool ParseDouble(const char16_t* chars, uint32_t length, double* out) {
  constexpr uint32_t kLimit = 23;
  if (length >= kLimit) return false;
  char text[kLimit];
  for (uint32_t i = 0; i < length; ++i)
    text[i] = chars[i] != 0 && chars[i] < 0x80 ? char(chars[i]) : '\x7F';  // \x7F ends a number
  char* const end = text + length;
  char* const point = std::find(text, end, '.');
  char* const comma = std::find(text, end, ',');
  if (comma < point) *comma = '.';

  const char* p = text;
  while (p < end && IsScanSpace(*p)) ++p;
  const char* digits = p;  // after the sign
  if (p < end && *p == '+')
    digits = ++p;  // from_chars takes a "-" only
  else if (p < end && *p == '-')
    digits = p + 1;
  const bool decimal = digits < end && (*digits == '.' || (*digits >= '0' && *digits <= '9'));
  if (!decimal) return false;
  double v;
  const auto result = std::from_chars(p, static_cast<const char*>(end), v, std::chars_format::general);
  if (result.ec != std::errc()) return false;
  *out = v;
  return true;
}

// Rounds half up: 0.5 added, then rounded down (2.5 -> 3, -2.5 -> -2).
double RoundHalfUp(double d) { return std::floor(d + 0.5); }

// Widens ASCII text into the work buffer.
uint32_t Widen(const char* first, const char* last, char16_t* out) {
  uint32_t n = 0;
  for (; first != last; ++first) out[n++] = char16_t(static_cast<unsigned char>(*first));
  return n;
}

// At most 17 digits: a plain loop, cheaper than a call to memmove for so few.
char* CopyDigits(const char* first, const char* last, char* out) {
  while (first != last) *out++ = *first++;
  return out;
}

// "%.15lg" the fast way, from the shortest digits S that read back as `d`
// (of those, the closest to `d`):
//  - S with at most 15 digits: they are exactly the digits "%.15lg" prints,
//    since S lies within half an ulp of `d`, and for a normal double that is
//    less than half a unit of the 15th digit;
//  - S with 16 or 17 digits: rounding S to 15 digits rounds `d` the same way,
//    unless S is the tie itself (15 digits and a 5). A tie that reads back as
//    `d` would have made S 16 digits at most, and S is then the tie or closer
//    to `d` than the tie, on the same side of it.
// Returns null for the tie and for numbers that are not finite or normal: the
// caller then formats exactly. Lays the digits out as "%g" does with precision
// 15: fixed notation for exponents -4..14, else d.ddde+XX, trailing zeros
// dropped.
char* FormatShortG15(double d, char* out) {
  if (d != 0.0 && !std::isnormal(d)) return nullptr;
  char sci[32];  // "-d.dddddddddddddddde-XXX"
  const char* const end = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific).ptr;
  const char* p = sci;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[17];
  int n = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  int exponent = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent);

  if (n > 15) {
    const int dropped = (digits[15] - '0') * 10 + (n > 16 ? digits[16] - '0' : 0);
    if (dropped == 50) return nullptr;  // the tie: how it rounds depends on `d`
    n = 15;
    if (dropped > 50) {  // round up, carrying through nines
      int i = 14;
      for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
      if (i >= 0) {
        ++digits[i];
      } else {
        digits[0] = '1';
        ++exponent;
      }
    }
    while (n > 1 && digits[n - 1] == '0') --n;
  }

  char* o = out;
  if (negative) *o++ = '-';
  if (exponent < -4 || exponent >= 15) {
    *o++ = digits[0];
    if (n > 1) {
      *o++ = '.';
      o = CopyDigits(digits + 1, digits + n, o);
    }
    *o++ = 'e';
    *o++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) *o++ = '0';  // at least two exponent digits
    return std::to_chars(o, o + 4, magnitude).ptr;
  }
  if (exponent < 0) {
    *o++ = '0';
    *o++ = '.';
    o = std::fill_n(o, -exponent - 1, '0');
    return CopyDigits(digits, digits + n, o);
  }
  const int whole = exponent + 1;  // digits before the point
  if (n <= whole) {
    o = CopyDigits(digits, digits + n, o);
    return std::fill_n(o, whole - n, '0');
  }
  o = CopyDigits(digits, digits + whole, o);
  *o++ = '.';
  return CopyDigits(digits + whole, digits + n, o);
}

// "%.15lg"; when that gives "e-N" with N at most 6, "%.*lf" with precision N.
uint32_t FormatDouble(double d, char16_t* out) {
  char text[64];
  char* end = FormatShortG15(d, text);
  if (end == nullptr) end = std::to_chars(text, text + sizeof text, d, std::chars_format::general, 15).ptr;
  const char* const e = std::find(text, end, 'e');
  if (e != end && e[1] == '-') {
    int exponent = 0;
    std::from_chars(e + 2, end, exponent);
    // Rounds the exact value, not the printed digits.
    if (exponent <= 6)
      end = std::to_chars(text, text + sizeof text, d, std::chars_format::fixed, exponent).ptr;
  }
  return Widen(text, end, out);
}

template <class T>
uint32_t FormatInteger(T v, char16_t* out) {
  char text[24];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return Widen(text, r.ptr, out);
}

uint32_t FormatAscii(const char* s, char16_t* out) { return Widen(s, s + std::strlen(s), out); }

// 2^63 and 2^64 as doubles. The contract fails only values above them; the
// bounds themselves fail too here, since neither fits the integer.
constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo64 = 18446744073709551616.0;

int64_t Join(uint32_t low, uint32_t high) { return int64_t((uint64_t{high} << 32) | low); }

}  // namespace

CQelValue::~CQelValue() { ReleaseObject(); }

void CQelValue::ReleaseObject() {
  if (kind_ == QelKind::Object && payload_.obj != nullptr) payload_.obj->Release();
  payload_.u64 = 0;
}

void CQelValue::Reset() {
  ReleaseObject();
  kind_ = QelKind::Null;
  text_.Clear();
}

void CQelValue::Convert(QelKind kind, Payload payload) {
  if (kind_ == QelKind::Object && kind != QelKind::Object) ReleaseObject();
  payload_ = payload;
  kind_ = kind;
}

int32_t CQelValue::IsEmpty() {
  return kind_ == QelKind::Null || (kind_ == QelKind::String && text_.Length() == 0) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Conversions

uint32_t CQelValue::Format(char16_t (&work)[kWorkChars]) const {
  switch (kind_) {
    case QelKind::Char: {
      // One byte of the ANSI code page; the NUL character gives the empty text.
      if (payload_.c == 0) return 0;
      return uint32_t(ce::MultiByteToWideChar(CP_ACP, 0, &payload_.c, 1, work, kWorkChars));
    }
    case QelKind::Bool:
      return FormatAscii(payload_.b ? "Y" : "N", work);
    case QelKind::TriState:
      return FormatAscii(payload_.tri == kTriYes ? "Y" : payload_.tri == kTriNo ? "N" : "X", work);
    case QelKind::Double:
      return FormatDouble(payload_.d, work);
    case QelKind::Int32:
      return FormatInteger(payload_.i32, work);
    case QelKind::UInt32:
      return FormatInteger(payload_.u32, work);
    case QelKind::Int64:
      return FormatInteger(payload_.i64, work);
    case QelKind::UInt64:
      return FormatInteger(payload_.u64, work);
    // IQelService has no operation that renders an object, so every
    // object reads as "Object".
    case QelKind::Object:
      return FormatAscii("Object", work);
    default:
      return 0;  // Null (and String, which the callers never format)
  }
}

bool CQelValue::ReadChar(char* out) const {
  switch (kind_) {
    case QelKind::Char:
      *out = payload_.c;
      return true;
    case QelKind::Bool:
      *out = payload_.b ? 'Y' : 'N';
      return true;
    case QelKind::TriState:
      *out = payload_.tri == kTriYes ? 'Y' : payload_.tri == kTriNo ? 'N' : 'X';
      return true;
    case QelKind::String:
      // The first character in the ANSI code page ('?' when it has none).
      return text_.Length() != 0 &&
             ce::WideCharToMultiByte(CP_ACP, 0, text_.Chars(), 1, out, 1, nullptr, nullptr) == 1;
    // The object's character (left to the implementer): 'O', the first
    // character of its text "Object".
    case QelKind::Object:
      *out = 'O';
      return true;
    case QelKind::Double:
    case QelKind::Int32:
    case QelKind::UInt32:
    case QelKind::Int64:
    case QelKind::UInt64: {
      char16_t work[kWorkChars];
      if (Format(work) == 0) return false;
      *out = char(work[0]);  // digits, signs and letters of a number: all ASCII
      return true;
    }
    default:
      return false;  // Null: its text is empty
  }
}

bool CQelValue::ReadBool(bool* out) const {
  switch (kind_) {
    case QelKind::Bool:
      *out = payload_.b;
      return true;
    case QelKind::Int32:
      *out = payload_.i32 != 0;
      return true;
    case QelKind::UInt32:
      *out = payload_.u32 != 0;
      return true;
    case QelKind::Int64:
      *out = payload_.i64 != 0;
      return true;
    case QelKind::UInt64:
      *out = payload_.u64 != 0;
      return true;
    case QelKind::Double:
      *out = payload_.d != 0.0;
      return true;
    case QelKind::TriState:
      if (payload_.tri != kTriYes && payload_.tri != kTriNo) return false;
      *out = payload_.tri == kTriYes;
      return true;
    case QelKind::String:
    case QelKind::Char: {
      char c;
      if (!ReadChar(&c)) return false;
      const Answer a = AnswerOf(c);
      if (a == Answer::kOther) return false;
      *out = a == Answer::kYes;
      return true;
    }
    default:
      return false;  // Null, Object
  }
}

int32_t CQelValue::ReadTriState() const {
  switch (kind_) {
    case QelKind::TriState:
      return payload_.tri;
    case QelKind::Bool:
      return payload_.b ? kTriYes : kTriNo;
    case QelKind::Int32:
      return payload_.i32 != 0 ? kTriYes : kTriNo;
    case QelKind::UInt32:
      return payload_.u32 != 0 ? kTriYes : kTriNo;
    case QelKind::Int64:
      return payload_.i64 != 0 ? kTriYes : kTriNo;
    case QelKind::UInt64:
      return payload_.u64 != 0 ? kTriYes : kTriNo;
    case QelKind::Double:
      return payload_.d != 0.0 ? kTriYes : kTriNo;
    case QelKind::String:
    case QelKind::Char: {
      char c;
      if (!ReadChar(&c)) return kTriUnknown;  // an empty text
      const Answer a = AnswerOf(c);
      return a == Answer::kYes ? kTriYes : a == Answer::kNo ? kTriNo : kTriUnknown;
    }
    default:
      return kTriUnknown;  // Null, Object
  }
}

// Char, Bool and TriState read the same way for every number getter.
bool CQelValue::ReadSmall(int32_t* out) const {
  switch (kind_) {
    case QelKind::Char:
      *out = static_cast<unsigned char>(payload_.c);
      return true;
    case QelKind::Bool:
      *out = payload_.b ? 1 : 0;
      return true;
    case QelKind::TriState:
      if (payload_.tri != kTriYes && payload_.tri != kTriNo) return false;
      *out = payload_.tri == kTriYes ? 1 : 0;
      return true;
    default:
      return false;  // Null, Object
  }
}

bool CQelValue::ReadDouble(double* out) const {
  switch (kind_) {
    case QelKind::Double:
      *out = payload_.d;
      return true;
    case QelKind::Int32:
      *out = payload_.i32;
      return true;
    case QelKind::UInt32:
      *out = payload_.u32;
      return true;
    case QelKind::Int64:
      *out = double(payload_.i64);
      return true;
    case QelKind::UInt64:
      *out = double(payload_.u64);
      return true;
    case QelKind::String:
      return ParseDouble(text_.Chars(), text_.Length(), out);
    default: {
      int32_t v;
      if (!ReadSmall(&v)) return false;
      *out = v;
      return true;
    }
  }
}

// NaN fails every range check below: the comparisons are written so that it does.
bool CQelValue::ReadInt32(int32_t* out) const {
  switch (kind_) {
    case QelKind::Int32:
      *out = payload_.i32;
      return true;
    case QelKind::UInt32:
      if (payload_.u32 > 0x7FFFFFFFu) return false;
      *out = int32_t(payload_.u32);
      return true;
    case QelKind::Int64:
      if (payload_.i64 < INT32_MIN || payload_.i64 > INT32_MAX) return false;
      *out = int32_t(payload_.i64);
      return true;
    case QelKind::UInt64:
      if (payload_.u64 > uint64_t{INT32_MAX}) return false;
      *out = int32_t(payload_.u64);
      return true;
    case QelKind::Double:
      if (!(payload_.d >= -2147483648.0 && payload_.d <= 2147483647.0)) return false;
      *out = int32_t(RoundHalfUp(payload_.d));
      return true;
    case QelKind::String:
      *out = ParseInt32(text_.Chars());
      return true;
    default:
      return ReadSmall(out);
  }
}

bool CQelValue::ReadUInt32(uint32_t* out) const {
  switch (kind_) {
    case QelKind::UInt32:
      *out = payload_.u32;
      return true;
    case QelKind::Int32:
      if (payload_.i32 < 0) return false;
      *out = uint32_t(payload_.i32);
      return true;
    case QelKind::Int64:  // negative, or a nonzero high word
      if (payload_.i64 < 0 || payload_.i64 > int64_t{UINT32_MAX}) return false;
      *out = uint32_t(payload_.i64);
      return true;
    case QelKind::UInt64:
      if (payload_.u64 > UINT32_MAX) return false;
      *out = uint32_t(payload_.u64);
      return true;
    case QelKind::Double:
      if (!(payload_.d >= 0.0 && payload_.d <= 4294967295.0)) return false;
      *out = uint32_t(RoundHalfUp(payload_.d));
      return true;
    case QelKind::String:
      return ParseUInt32(text_.Chars(), out);
    default: {
      int32_t v;
      if (!ReadSmall(&v)) return false;
      *out = uint32_t(v);
      return true;
    }
  }
}

bool CQelValue::ReadInt64(int64_t* out) const {
  switch (kind_) {
    case QelKind::Int64:
      *out = payload_.i64;
      return true;
    case QelKind::Int32:
      *out = payload_.i32;
      return true;
    case QelKind::UInt32:
      *out = payload_.u32;
      return true;
    case QelKind::UInt64:
      if (payload_.u64 > uint64_t{INT64_MAX}) return false;
      *out = int64_t(payload_.u64);
      return true;
    case QelKind::Double:
      if (!(payload_.d >= -kTwo63 && payload_.d < kTwo63)) return false;
      *out = int64_t(RoundHalfUp(payload_.d));
      return true;
    case QelKind::String:
      *out = ParseInt64(text_.Chars());
      return true;
    default: {
      int32_t v;
      if (!ReadSmall(&v)) return false;
      *out = v;
      return true;
    }
  }
}

bool CQelValue::ReadUInt64(uint64_t* out) const {
  switch (kind_) {
    case QelKind::UInt64:
      *out = payload_.u64;
      return true;
    case QelKind::UInt32:
      *out = payload_.u32;
      return true;
    case QelKind::Int32:
      if (payload_.i32 < 0) return false;
      *out = uint64_t(payload_.i32);
      return true;
    case QelKind::Int64:
      if (payload_.i64 < 0) return false;
      *out = uint64_t(payload_.i64);
      return true;
    case QelKind::Double:
      if (!(payload_.d >= 0.0 && payload_.d < kTwo64)) return false;
      *out = uint64_t(RoundHalfUp(payload_.d));
      return true;
    case QelKind::String:
      return ParseUInt64(text_.Chars(), out);
    default: {
      int32_t v;
      if (!ReadSmall(&v)) return false;
      *out = uint64_t(v);
      return true;
    }
  }
}

// ---------------------------------------------------------------------------
// Getters: read, then commit the kind that was read.

bool CQelValue::GetString(IQelText** out) {
  if (out == nullptr) return false;
  if (kind_ != QelKind::String) {
    char16_t work[kWorkChars];
    const uint32_t length = Format(work);
    if (!text_.Assign(work, length)) return false;  // locked: the value stays as it was
    Convert(QelKind::String, Payload{.u64 = 0});
  }
  *out = &text_;
  return true;
}

bool CQelValue::GetChar(char* out) {
  char c;
  if (out == nullptr || !ReadChar(&c)) return false;
  Convert(QelKind::Char, Payload{.c = c});
  *out = c;
  return true;
}

bool CQelValue::GetBool(bool* out) {
  bool b;
  if (out == nullptr || !ReadBool(&b)) return false;
  Convert(QelKind::Bool, Payload{.b = b});
  *out = b;
  return true;
}

bool CQelValue::GetTriState(int32_t* out) {
  if (out == nullptr) return false;
  const int32_t tri = ReadTriState();
  Convert(QelKind::TriState, Payload{.tri = tri});
  *out = tri;
  return true;
}

bool CQelValue::GetDouble(double* out) {
  double d;
  if (out == nullptr || !ReadDouble(&d)) return false;
  Convert(QelKind::Double, Payload{.d = d});
  *out = d;
  return true;
}

bool CQelValue::GetInt32(int32_t* out) {
  int32_t v;
  if (out == nullptr || !ReadInt32(&v)) return false;
  Convert(QelKind::Int32, Payload{.i32 = v});
  *out = v;
  return true;
}

bool CQelValue::GetUInt32(uint32_t* out) {
  uint32_t v;
  if (out == nullptr || !ReadUInt32(&v)) return false;
  Convert(QelKind::UInt32, Payload{.u32 = v});
  *out = v;
  return true;
}

bool CQelValue::GetInt64(int64_t* out) {
  int64_t v;
  if (out == nullptr || !ReadInt64(&v)) return false;
  Convert(QelKind::Int64, Payload{.i64 = v});
  *out = v;
  return true;
}

bool CQelValue::GetUInt64(uint64_t* out) {
  uint64_t v;
  if (out == nullptr || !ReadUInt64(&v)) return false;
  Convert(QelKind::UInt64, Payload{.u64 = v});
  *out = v;
  return true;
}

bool CQelValue::GetObject(IQelService** inout) {
  if (inout == nullptr || *inout != nullptr || kind_ != QelKind::Object) return false;
  payload_.obj->AddRef();
  *inout = payload_.obj;
  return true;
}

// ---------------------------------------------------------------------------
// Setters: clear, then store.

bool CQelValue::SetObject(IQelService** inout) {
  if (inout == nullptr) return false;
  Reset();
  if (*inout != nullptr) {  // take over the caller's reference
    payload_.obj = *inout;
    kind_ = QelKind::Object;
    *inout = nullptr;
  }
  return true;
}

bool CQelValue::Assign(IQelValue* other) {
  const QelKind kind = other != nullptr ? other->GetKind() : QelKind::Null;
  if (kind == QelKind::Null) {
    text_.Clear();  // the kind stays
    return false;
  }
  if (other == this) return true;
  switch (kind) {
    case QelKind::String: {
      IQelText* text = nullptr;
      return other->GetString(&text) && text != nullptr && SetString(text->Chars(), text->Length());
    }
    case QelKind::Char: {
      char v;
      return other->GetChar(&v) && SetChar(v);
    }
    case QelKind::Bool: {
      bool v;
      return other->GetBool(&v) && SetBool(v);
    }
    case QelKind::TriState: {
      int32_t v;
      return other->GetTriState(&v) && SetTriState(v);
    }
    case QelKind::Double: {
      double v;
      return other->GetDouble(&v) && SetDouble(v);
    }
    case QelKind::Int32: {
      int32_t v;
      return other->GetInt32(&v) && SetInt32(v);
    }
    case QelKind::UInt32: {
      uint32_t v;
      return other->GetUInt32(&v) && SetUInt32(v);
    }
    case QelKind::Int64: {
      int64_t v;
      return other->GetInt64(&v) && SetInt64(uint32_t(uint64_t(v)), uint32_t(uint64_t(v) >> 32));
    }
    case QelKind::UInt64: {
      uint64_t v;
      return other->GetUInt64(&v) && SetUInt64(uint32_t(v), uint32_t(v >> 32));
    }
    case QelKind::Object: {
      IQelService* object = nullptr;
      return other->GetObject(&object) && SetObject(&object);
    }
    default:
      return false;  // a kind code this contract does not know
  }
}

bool CQelValue::SetUInt64(uint32_t low, uint32_t high) {
  Reset();
  payload_.u64 = uint64_t(Join(low, high));
  kind_ = QelKind::UInt64;
  return true;
}

bool CQelValue::SetInt64(uint32_t low, uint32_t high) {
  Reset();
  payload_.i64 = Join(low, high);
  kind_ = QelKind::Int64;
  return true;
}

bool CQelValue::SetUInt32(uint32_t v) {
  Reset();
  payload_.u32 = v;
  kind_ = QelKind::UInt32;
  return true;
}

bool CQelValue::SetInt32(int32_t v) {
  Reset();
  payload_.i32 = v;
  kind_ = QelKind::Int32;
  return true;
}

bool CQelValue::SetDouble(double v) {
  Reset();
  payload_.d = v;
  kind_ = QelKind::Double;
  return true;
}

bool CQelValue::SetTriState(int32_t v) {
  Reset();
  payload_.tri = v;
  kind_ = QelKind::TriState;
  return true;
}

bool CQelValue::SetBool(bool v) {
  Reset();
  payload_.b = v;
  kind_ = QelKind::Bool;
  return true;
}

bool CQelValue::SetChar(char v) {
  Reset();
  payload_.c = v;
  kind_ = QelKind::Char;
  return true;
}

bool CQelValue::SetText(IQelText* text) {
  return text != nullptr && SetString(text->Chars(), text->Length());
}

bool CQelValue::SetString(const char16_t* s, uint32_t length) {
  // Arguments that cannot work fail before the value is cleared.
  if ((s == nullptr && length != 0) ||
      (length > CQelTextBuffer::kMaxLength && length != CQelTextBuffer::kUpToNul))
    return false;
  // Text taken from this value's own buffer (its IQelText) must survive the
  // clearing: the buffer's Assign copies overlapping text safely, so only the
  // rest of the value is cleared first.
  const char16_t* const own = text_.Chars();
  const std::less<const char16_t*> before;
  const bool aliased = s != nullptr && !before(s, own) && before(s, own + text_.Capacity());
  if (aliased) {
    ReleaseObject();
    kind_ = QelKind::Null;
  } else {
    Reset();
  }
  if (!text_.Assign(s, length)) return false;  // out of memory: the value stays Null
  kind_ = QelKind::String;
  return true;
}

bool CQelValue::SetStringZ(const char16_t* s) {
  return s != nullptr && SetString(s, CQelTextBuffer::kUpToNul);
}

bool CQelValue::Clear() {
  Reset();
  return true;
}
