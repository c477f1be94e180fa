// CQelTextBuffer: a growable, always NUL-terminated wide text that other code
// reads through IQelText and its owner edits in place.
#pragma once

#include <cstdint>
#include <memory>

#include "qel/value.h"

class CQelTextBuffer final : public IQelText {
 public:
  static constexpr uint32_t kDefaultGranule = 64;
  // A length of all ones means "up to the terminating NUL".
  static constexpr uint32_t kUpToNul = 0xFFFFFFFFu;
  // Longest text a buffer holds; longer requests fail instead of overflowing.
  static constexpr uint32_t kMaxLength = 0x3FFFFFFFu;
  static constexpr uint32_t kMaxGranule = 0x10000u;

  // Starts empty with one granule of capacity. The granule is kept within
  // 1..kMaxGranule.
  explicit CQelTextBuffer(uint32_t granule = kDefaultGranule);
  CQelTextBuffer(const CQelTextBuffer&) = delete;
  CQelTextBuffer& operator=(const CQelTextBuffer&) = delete;
  ~CQelTextBuffer() = default;

  // IQelText
  uint32_t Length() const override { return length_; }
  const char16_t* Chars() const override { return chars_.get(); }

  // Capacity counts every character of the array, the NUL's place included, so
  // the longest text that fits is Capacity() - 1.
  uint32_t Capacity() const { return capacity_; }
  uint32_t Granule() const { return granule_; }
  bool IsLocked() const { return locked_; }

  // The capacity for a text of `length` characters (the NUL not counted):
  // granule - (length mod granule) + length. Always above `length`, so there is
  // room for the NUL; a multiple of the granule gets one granule more.
  static uint32_t RoundCapacity(uint32_t length, uint32_t granule);

  // Empties the text and makes room for `length` characters. Keeps the array
  // when `length` fits and the capacity is not above the granule; else
  // reallocates to the rounded capacity (so a grown buffer shrinks back).
  bool Clear(uint32_t length = 0);

  // Hands out the array for writing (Capacity() characters) and sets the lock
  // flag; null when already locked. Unlock, then SetLength to the written length.
  char16_t* Lock();
  void Unlock() { locked_ = false; }

  // Replaces the text with `length` characters of `text` (kUpToNul: up to its
  // NUL). Null text is accepted with a length of 0 only. `text` may point into
  // this buffer.
  bool Assign(const char16_t* text, uint32_t length);
  bool AssignZ(const char16_t* text);
  // Sets the length and writes the NUL after it; fails unless the text and its
  // NUL fit into the capacity. The characters themselves are not touched.
  bool SetLength(uint32_t length);
  // Appends `length` characters of `text` (kUpToNul: up to its NUL); `text` may
  // point into this buffer.
  bool Append(const char16_t* text, uint32_t length);

 private:
  // A fresh array of RoundCapacity(length) characters, or null when memory runs out.
  std::unique_ptr<char16_t[]> Allocate(uint32_t length, uint32_t* capacity) const;

  uint32_t granule_;
  std::unique_ptr<char16_t[]> chars_;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
  bool locked_ = false;
};
