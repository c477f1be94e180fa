// The C runtime's share of the test host: entry point aside, what the
// compiler's code and the host's own code call.
#include "runtime.h"

// The new and delete of every host object: the process heap.
void* operator new(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

extern "C" {
// The linker wants it wherever floating point is used.
int _fltused = 0;

// A call to a pure virtual function: the object is broken; say so and stop.
int _purecall() {
  msvchost::out << "msvc-host: pure virtual function called\n";
  ExitProcess(3);
}

// The compiler turns loops and copies into these.
void* memset(void* dest, int c, size_t n) {
  auto* d = static_cast<volatile unsigned char*>(dest);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(c);
  return dest;
}
void* memcpy(void* dest, const void* src, size_t n) {
  auto* d = static_cast<volatile unsigned char*>(dest);
  const auto* s = static_cast<const unsigned char*>(src);
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
  return dest;
}
int memcmp(const void* a, const void* b, size_t n) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  return 0;
}
}

namespace msvchost {

Out out;

namespace {
constexpr uint32_t kStdOutput = uint32_t(-11);

void Write(const char* data, uint32_t size) {
  uint32_t written = 0;
  WriteFile(GetStdHandle(kStdOutput), data, size, &written, nullptr);
}
}  // namespace

Out& Out::operator<<(const char* text) {
  uint32_t n = 0;
  while (text[n]) ++n;
  Write(text, n);
  return *this;
}

Out& Out::Chars(const char16_t* text, uint32_t length) {
  char buffer[256];
  uint32_t used = 0;
  for (uint32_t i = 0; i < length; ++i) {
    buffer[used++] = (text[i] >= 0x20 && text[i] < 0x7F) || text[i] == u'\n' ? char(text[i]) : '?';
    if (used == sizeof buffer) Write(buffer, used), used = 0;
  }
  Write(buffer, used);
  return *this;
}

Out& Out::operator<<(const char16_t* text) { return text ? Chars(text, Length(text)) : *this << "(null)"; }

Out& Out::operator<<(uint64_t n) {
  char digits[24];
  int at = sizeof digits;
  do digits[--at] = char('0' + n % 10);
  while (n /= 10);
  Write(digits + at, uint32_t(sizeof digits - at));
  return *this;
}

Out& Out::operator<<(int64_t n) {
  if (n < 0) return *this << "-" << (uint64_t(0) - uint64_t(n));
  return *this << uint64_t(n);
}

Out& Out::Hex(uint64_t n) {
  char digits[16];
  for (int i = 15; i >= 0; --i, n >>= 4) digits[i] = "0123456789ABCDEF"[n & 15];
  Write(digits, 16);
  return *this;
}

Out& Out::operator<<(double d) {
  if (d != d) return *this << "nan";
  if (d < 0) *this << "-", d = -d;
  if (d >= 1e18) return *this << "(large)";
  const uint64_t whole = uint64_t(d);
  const uint64_t fraction = uint64_t((d - double(whole)) * 1e6 + 0.5);
  *this << whole << ".";
  char digits[6];
  uint64_t f = fraction >= 1000000 ? 999999 : fraction;
  for (int i = 5; i >= 0; --i, f /= 10) digits[i] = char('0' + f % 10);
  Write(digits, 6);
  return *this;
}

uint32_t Length(const char16_t* s) {
  uint32_t n = 0;
  while (s && s[n]) ++n;
  return n;
}

bool Text::Assign(const char16_t* s, uint32_t length) {
  auto* fresh = new char16_t[length + 1];
  if (!fresh) return false;
  for (uint32_t i = 0; i < length; ++i) fresh[i] = s[i];
  fresh[length] = 0;
  delete[] chars_;
  chars_ = fresh;
  length_ = length;
  return true;
}

bool Text::AssignZ(const char16_t* s) { return s && Assign(s, Length(s)); }

bool Text::Equals(const char16_t* s) const {
  const uint32_t n = Length(s);
  if (n != length_) return false;
  for (uint32_t i = 0; i < n; ++i)
    if (chars_[i] != s[i]) return false;
  return true;
}

}  // namespace msvchost
