#include "device_names.h"

#include <cstring>

namespace ce::sim {

bool SplitDevicePath(const std::string& path, std::vector<std::string>* parts) {
  parts->clear();
  std::string name;
  auto flush = [&]() -> bool {
    if (name.empty()) return true;
    if (name == "." || name == "..") return false;
    parts->push_back(std::move(name));
    name.clear();
    return true;
  };
  for (unsigned char c : path) {
    if (c == '\\' || c == '/') {
      if (!flush()) return false;
    } else if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) {
      return false;
    } else {
      name += char(c);
    }
  }
  return flush() && !parts->empty();
}

}  // namespace ce::sim
