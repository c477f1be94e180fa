// Any bytes as a PE image: the version resource is read only inside them, and
// a block that is read is walked for the values a caller asks for.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_source.h"
#include "version_block.h"
#include "version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block;
  if (ce::sim::ReadVersionResource(ce::sim::MemoryBytes({data, size}), &block) != 0) return 0;
  ce::sim::VersionValue value;
  for (const char16_t* path :
       {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904b0\\CompanyName"})
    ce::sim::FindVersionValue(block, path, &value);
  return 0;
}
