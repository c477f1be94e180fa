#include "core/file_ref.h"

#include "qel/refcounted.h"

namespace qel {

// g++ at -O3 speculates that the reference is nothing but its abstract
// interface and warns about the offset delete that case would need; the
// object is always a host class whose own destructor runs.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"
void ReleaseFile(IQelFileReference* file) {
  if (file) static_cast<CQelRefCounted*>(file)->Release();
}
#pragma GCC diagnostic pop

}  // namespace qel
