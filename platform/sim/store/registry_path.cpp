#include "registry_path.h"

#include "ce/error.h"

namespace ce::sim {

DWORD SplitPath(std::u16string_view path, KeyPath* names) {
  names->clear();
  if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) return ERROR_SUCCESS;
  size_t start = 0;
  while (true) {
    const size_t end = path.find(u'\\', start);
    const std::u16string_view name = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (name.empty() || name.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    names->push_back(name);
    if (end == std::u16string_view::npos) return ERROR_SUCCESS;
    start = end + 1;
  }
}

}  // namespace ce::sim
