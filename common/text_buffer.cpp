#include "qelcommon/text_buffer.h"

#include <cstring>
#include <new>

namespace {

uint32_t Measure(const char16_t* text) {
  uint32_t n = 0;
  while (text[n] != 0 && n <= CQelTextBuffer::kMaxLength) ++n;
  return n;
}

// Resolves kUpToNul; false for null text with a nonzero length.
bool ResolveLength(const char16_t* text, uint32_t& length) {
  if (text == nullptr) return length == 0;
  if (length == CQelTextBuffer::kUpToNul) length = Measure(text);
  return true;
}

}  // namespace

CQelTextBuffer::CQelTextBuffer(uint32_t granule)
    : granule_(granule == 0            ? 1
               : granule > kMaxGranule ? kMaxGranule
                                       : granule) {
  capacity_ = RoundCapacity(0, granule_);
  chars_ = std::make_unique<char16_t[]>(capacity_);  // value-initialised: starts as ""
}

uint32_t CQelTextBuffer::RoundCapacity(uint32_t length, uint32_t granule) {
  return granule - length % granule + length;
}

std::unique_ptr<char16_t[]> CQelTextBuffer::Allocate(uint32_t length, uint32_t* capacity) const {
  *capacity = RoundCapacity(length, granule_);
  return std::unique_ptr<char16_t[]>(new (std::nothrow) char16_t[*capacity]);
}

bool CQelTextBuffer::Clear(uint32_t length) {
  if (locked_ || length > kMaxLength) return false;
  const bool fits = length < capacity_;
  const bool keep = fits && capacity_ <= granule_;
  // A reallocation to the size the array already has would gain nothing.
  if (!keep && RoundCapacity(length, granule_) != capacity_) {
    uint32_t capacity;
    auto fresh = Allocate(length, &capacity);
    if (fresh) {
      chars_ = std::move(fresh);
      capacity_ = capacity;
    } else if (!fits) {
      return false;  // shrinking may fail quietly, growing may not
    }
  }
  length_ = 0;
  chars_[0] = 0;
  return true;
}

char16_t* CQelTextBuffer::Lock() {
  if (locked_) return nullptr;
  locked_ = true;
  return chars_.get();
}

bool CQelTextBuffer::Assign(const char16_t* text, uint32_t length) {
  if (locked_ || !ResolveLength(text, length) || length > kMaxLength) return false;
  if (length < capacity_) {
    if (length != 0) std::memmove(chars_.get(), text, length * sizeof(char16_t));
  } else {
    uint32_t capacity;
    auto fresh = Allocate(length, &capacity);
    if (!fresh) return false;
    std::memcpy(fresh.get(), text, length * sizeof(char16_t));  // text may be in the old array
    chars_ = std::move(fresh);
    capacity_ = capacity;
  }
  length_ = length;
  chars_[length] = 0;
  return true;
}

bool CQelTextBuffer::AssignZ(const char16_t* text) { return text != nullptr && Assign(text, kUpToNul); }

bool CQelTextBuffer::SetLength(uint32_t length) {
  if (locked_ || length >= capacity_) return false;
  length_ = length;
  chars_[length] = 0;
  return true;
}

bool CQelTextBuffer::Append(const char16_t* text, uint32_t length) {
  if (locked_ || !ResolveLength(text, length) || length > kMaxLength - length_) return false;
  const uint32_t total = length_ + length;
  if (total < capacity_) {
    if (length != 0) std::memmove(chars_.get() + length_, text, length * sizeof(char16_t));
  } else {
    uint32_t capacity;
    auto fresh = Allocate(total, &capacity);
    if (!fresh) return false;
    std::memcpy(fresh.get(), chars_.get(), length_ * sizeof(char16_t));
    std::memcpy(fresh.get() + length_, text, length * sizeof(char16_t));
    chars_ = std::move(fresh);
    capacity_ = capacity;
  }
  length_ = total;
  chars_[total] = 0;
  return true;
}
