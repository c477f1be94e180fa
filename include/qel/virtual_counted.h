// Host interfaces counted through a virtual CQelRefCounted base. Their own
// operations start at slot 0 of the object's first table; the counted base
// comes later in the object, and Microsoft's layout finds it through the
// virtual-base table that the object's second pointer (the vbptr) points at.
//
// Holders reach the count through Counted(p) alone; implementations derive
// from VirtuallyCounted<Interface>, which builds that table where the
// compiler does not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qel/ms_layout.h"
#include "qel/refcounted.h"

#if QEL_EXPLICIT_MS_LAYOUT
// Microsoft's vbptr: entry 0 of its table is the offset from the vbptr back
// to the start of the object part that holds it, entry 1 the offset to the
// first virtual base.
struct QelVbptr {
  const int32_t* table;

  CQelRefCounted* CountedBase() {
    return reinterpret_cast<CQelRefCounted*>(reinterpret_cast<char*>(this) + table[1]);
  }
};
// What an interface counted through the virtual base derives from.
#define QEL_VIRTUALLY_COUNTED QelVbptr
#else
#define QEL_VIRTUALLY_COUNTED virtual CQelRefCounted
#endif

namespace qel {

// The counted part of an interface counted through the virtual base, or null.
template <class Interface>
CQelRefCounted* Counted(Interface* p) {
  if (!p) return nullptr;
#if QEL_EXPLICIT_MS_LAYOUT
  return static_cast<QelVbptr*>(p)->CountedBase();
#else
  return static_cast<CQelRefCounted*>(p);
#endif
}

#if QEL_EXPLICIT_MS_LAYOUT
// The interface first (its table, then its vbptr), the counted base after it,
// and the table that leads from one to the other.
template <class Interface>
class VirtuallyCounted : public Interface, public CQelRefCounted {
 protected:
  VirtuallyCounted() {
    const char* vbptr = reinterpret_cast<const char*>(static_cast<QelVbptr*>(this));
    const char* start = reinterpret_cast<const char*>(static_cast<Interface*>(this));
    const char* base = reinterpret_cast<const char*>(static_cast<CQelRefCounted*>(this));
    table_[0] = int32_t(start - vbptr);
    table_[1] = int32_t(base - vbptr);
    static_cast<QelVbptr*>(this)->table = table_;
  }

 private:
  int32_t table_[2];
};
#else
// The language's own virtual inheritance does it all.
template <class Interface>
class VirtuallyCounted : public Interface {};
#endif

}  // namespace qel
