// Slot numbers of virtual member functions, for tests that pin an interface's
// binary layout.
//
// In the Itanium C++ ABI (g++ and clang on x86 and x86-64) a pointer to a
// virtual member function holds 1 + the byte offset of its entry in the table,
// that is 1 + slot * sizeof(void*), in its first word. The ARM variant of the
// ABI keeps the plain offset there and marks a virtual function in the low bit
// of the second word (the this-adjustment doubled).
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

// The slot of a virtual member function, or size_t(-1) for a non-virtual one.
template <class F>
size_t SlotOf(F pmf) {
  static_assert(std::is_member_function_pointer_v<F>, "SlotOf takes &Class::Function");
  static_assert(sizeof(F) == 2 * sizeof(ptrdiff_t), "an Itanium-ABI member function pointer");
  ptrdiff_t words[2];
  std::memcpy(words, &pmf, sizeof words);
#if defined(__arm__) || defined(__aarch64__)
  if ((words[1] & 1) == 0) return size_t(-1);
  return size_t(words[0]) / sizeof(void*);
#else
  if ((words[0] & 1) == 0) return size_t(-1);
  return size_t(words[0] - 1) / sizeof(void*);
#endif
}
