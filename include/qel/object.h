// The shape of every service object: its interface first, the counted part
// second, one count for both, and GetInterface answering exactly one GUID.
#pragma once

#include "qel/guid.h"
#include "qel/refcounted.h"

namespace qel {

template <class Interface, const GUID& kIid>
class CQelObject : public Interface, public CQelRefCounted {
 public:
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }

  bool GetInterface(GUID iid, void** out) override {
    if (out == nullptr || iid != kIid) return false;
    *out = static_cast<Interface*>(this);
    AddRef();
    return true;
  }

  static const GUID& Iid() { return kIid; }
};

// Drops a reference to anything with Release, and clears the pointer.
template <class T>
void ReleaseAndClear(T*& p) {
  if (p) {
    T* doomed = p;
    p = nullptr;
    doomed->Release();
  }
}

}  // namespace qel
