// The %-code formatting language of CQelDateTime. Text is produced piece by
// piece (a code's text or one character): into the caller's buffer, where
// writing stops before the first piece that would not leave room for the
// terminator, or into a local-heap block of 64 characters that grows by 16.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "ce/memory.h"
#include "foundation/date_time.h"

namespace qel {
namespace {

constexpr uint32_t kFirstBlock = 64;
constexpr uint32_t kBlockGrowth = 16;

class Output {
 public:
  Output(char16_t* buffer, uint32_t capacity)
      : chars_(buffer), capacity_(capacity), owned_(buffer == nullptr) {
    if (owned_) {
      chars_ = static_cast<char16_t*>(ce::LocalAlloc(LMEM_FIXED, kFirstBlock * sizeof(char16_t)));
      capacity_ = chars_ ? kFirstBlock : 0;
    }
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    if (owned_ && chars_) ce::LocalFree(chars_);
  }

  bool ok() const { return chars_ != nullptr; }

  // False once a piece did not fit (caller's buffer) or memory ran out.
  bool Put(const char16_t* piece, size_t length) {
    if (stopped_) return false;
    if (size_ + length + 1 > capacity_ && !(owned_ && Grow(size_ + length + 1))) {
      stopped_ = true;
      return false;
    }
    std::memcpy(chars_ + size_, piece, length * sizeof(char16_t));
    size_ += uint32_t(length);
    return true;
  }
  bool Put(std::u16string_view piece) { return Put(piece.data(), piece.size()); }
  bool Put(char16_t c) { return Put(&c, 1); }

  // The terminated text; a new block is handed over. Null when memory ran
  // out; the caller's buffer as it was when it has no room at all.
  char16_t* Finish() {
    if (!chars_ || capacity_ == 0) return chars_;
    if (owned_ && failed_) return nullptr;
    chars_[size_] = 0;
    char16_t* text = chars_;
    if (owned_) chars_ = nullptr;
    return text;
  }

 private:
  bool Grow(size_t needed) {
    uint32_t capacity = capacity_;
    while (capacity < needed) capacity += kBlockGrowth;
    void* moved = ce::LocalReAlloc(chars_, capacity * sizeof(char16_t), LMEM_MOVEABLE);
    if (!moved) {
      failed_ = true;
      return false;
    }
    chars_ = static_cast<char16_t*>(moved);
    capacity_ = capacity;
    return true;
  }

  char16_t* chars_;
  uint32_t capacity_;
  uint32_t size_ = 0;
  const bool owned_;
  bool stopped_ = false;
  bool failed_ = false;
};

// Decimal digits of value, at least `width` of them.
size_t Digits(uint32_t value, size_t width, char16_t (&out)[16]) {
  char16_t reversed[16];
  size_t n = 0;
  do {
    reversed[n++] = char16_t(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < width) reversed[n++] = u'0';
  for (size_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
  return n;
}

size_t TextLength(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool ContainsUtc(const char16_t* format, size_t length) {
  return std::u16string_view(format, length).find(u"UTC") != std::u16string_view::npos;
}

}  // namespace

// Renders one value; validity is asked once and kept for the whole format.
class DateFormatter {
 public:
  DateFormatter(CQelDateTime& value, Output& out) : v_(value), f_(value.f_), out_(out) {}

  void Date() {
    if (Number(f_.year, 4)) Number2(f_.month, f_.day);
  }

  // Writes the format; stops at the first piece that does not fit.
  void Walk(const char16_t* format, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      const char16_t c = format[i];
      if (c == u'%' && i + 1 < length) {
        if (Code(format[i + 1])) {
          if (stop_) return;
          ++i;
          continue;
        }
      }
      if (!out_.Put(c)) return;
    }
  }

 private:
  // Appends a code's text; false when `code` is no code.
  bool Code(char16_t code) {
    switch (code) {
      case u'Y':
        return Piece(Number(f_.year, 4));
      case u'y':
        return Piece(Number(f_.year % 100, 2));
      case u'M':
        return Piece(Number(f_.month, 2));
      case u'm':
        return Piece(Number(f_.month, 1));
      case u'D':
        return Piece(Number(f_.day, 2));
      case u'd':
        return Piece(Number(f_.day, 1));
      case u'H':
        return Piece(Number(f_.hour, 2));
      case u'h':
        return Piece(Number(f_.hour, 1));
      case u'G':
        return Piece(Number(Hour12(), 2));
      case u'g':
        return Piece(Number(Hour12(), 1));
      case u'N':
        return Piece(Number(f_.minute, 2));
      case u'n':
        return Piece(Number(f_.minute, 1));
      case u'S':
        return Piece(Number(f_.second, 2));
      case u's':
        return Piece(Number(f_.second, 1));
      case u'L':
        return Piece(Number(f_.millisecond, 3));
      case u'l':
        return Piece(Number(f_.millisecond, 1));
      case u'C':
        return Piece(Number(Valid() ? DayOfYear(f_.year, f_.month, f_.day) : 999, 3));
      case u'c':
        return Piece(Number(Valid() ? DayOfYear(f_.year, f_.month, f_.day) : 999, 1));
      case u'W':
        return Piece(Number(Valid() ? IsoWeek(f_.year, f_.month, f_.day) : 99, 1));
      case u'w':
        return Piece(Number(Weekday(), 1));
      case u'q':
        return Piece(Number((f_.month + 2) / 3, 1));
      case u'P':
        return Piece(out_.Put(f_.hour >= 12 ? u"PM" : u"AM"));
      case u'p':
        return Piece(out_.Put(f_.hour >= 12 ? u"pm" : u"am"));
      case u'A':
        return Piece(out_.Put(DayName(Weekday(), v_.language_)));
      case u'a':
        return Piece(out_.Put(Cut(DayName(Weekday(), v_.language_))));
      case u'B':
        return Piece(out_.Put(MonthName(f_.month, v_.language_)));
      case u'b':
        return Piece(out_.Put(Cut(MonthName(f_.month, v_.language_))));
      case u'/':
        return Piece(out_.Put(v_.dateSeparator_));
      case u':':
        return Piece(out_.Put(v_.timeSeparator_));
      case u'%':
        return Piece(out_.Put(u'%'));
      default:
        return false;
    }
  }

  bool Piece(bool written) {
    stop_ = !written;
    return true;
  }

  bool Number(uint32_t value, size_t width) {
    char16_t digits[16];
    return out_.Put(digits, Digits(value, width, digits));
  }
  bool Number2(uint32_t a, uint32_t b) { return Number(a, 2) && Number(b, 2); }

  bool Valid() {
    if (valid_ < 0) valid_ = v_.IsValid() ? 1 : 0;
    return valid_ == 1;
  }
  uint32_t Hour12() {
    if (!Valid()) return 99;
    return f_.hour == 0 || f_.hour == 12 ? 12 : f_.hour % 12;
  }
  uint32_t Weekday() { return Valid() ? DayOfWeek(f_.year, f_.month, f_.day) : 9; }

  // The first three characters; "?" stays whole.
  static std::u16string Cut(std::u16string name) {
    if (name != u"?" && name.size() > 3) name.resize(3);
    return name;
  }

  CQelDateTime& v_;
  const QelDateTimeFields& f_;
  Output& out_;
  int valid_ = -1;
  bool stop_ = false;
};

char16_t* CQelDateTime::Format(const char16_t* format, int32_t length, char16_t* buffer, uint32_t capacity) {
  size_t size = 0;
  if (format) size = length < 0 ? TextLength(format) : size_t(length);
  std::u16string_view standard;
  if (format && size == 4 && format[0] == u'%' && format[1] == u'#' && IsDigit(format[2]) &&
      IsDigit(format[3])) {
    standard = StandardFormat(uint32_t((format[2] - u'0') * 10 + (format[3] - u'0')));
    format = standard.data();
    size = standard.size();
  }
  if (format && ContainsUtc(format, size)) ConvertToUtc();
  if (!format && storedFormat_) {
    format = storedFormat_.get();
    size = TextLength(format);
  }

  Output out(buffer, capacity);
  if (!out.ok()) return nullptr;
  DateFormatter formatter(*this, out);
  if (format)
    formatter.Walk(format, size);
  else
    formatter.Date();  // year, month and day: 20240131
  return out.Finish();
}

}  // namespace qel
