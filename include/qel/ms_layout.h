// The contract's interfaces have Microsoft's object layout on Windows, where
// the module's peers are built by Microsoft's compiler. A compiler that lays
// objects out the Itanium way there (mingw-w64's g++) gets the two places
// where the layouts differ spelled out:
// - a virtual destructor is one slot, the scalar deleting destructor
//   (void* (unsigned int flags); bit 0 frees the memory), not two;
// - a virtual base is reached through a virtual-base table (vbptr), whose
//   entry 1 is the offset from the vbptr to the virtual base.
// A compiler that has Microsoft's layout (_MSC_VER) and every other platform
// use the language's own destructors and virtual inheritance.
#pragma once

#if defined(_WIN32) && !defined(_MSC_VER)
#define QEL_EXPLICIT_MS_LAYOUT 1
#else
#define QEL_EXPLICIT_MS_LAYOUT 0
#endif

#if QEL_EXPLICIT_MS_LAYOUT
// Declared where Microsoft's compiler would put the class's virtual
// destructor; the class's C++ destructor must be virtual and declared after
// every contract slot, so its two Itanium entries come after them. Through the
// virtual destructor, the dynamic type's destructor runs and the whole object
// is freed once, whichever base's table the call came through.
#define QEL_SCALAR_DELETING_DESTRUCTOR(Class)                  \
  virtual void* ScalarDeletingDestructor(unsigned int flags) { \
    if (flags & 1u)                                            \
      delete this;                                             \
    else                                                       \
      this->~Class();                                          \
    return this;                                               \
  }
#else
#define QEL_SCALAR_DELETING_DESTRUCTOR(Class)
#endif
