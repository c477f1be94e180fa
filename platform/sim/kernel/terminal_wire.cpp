#include "terminal_wire.h"

#include <sys/stat.h>

namespace ce::sim::wire {

std::string SocketName(const std::filesystem::path& dir) {
  struct ::stat st {};
  if (::stat(dir.c_str(), &st) != 0) return {};
  // A leading NUL puts the name in the abstract namespace: no file to clean up.
  return std::string(1, '\0') + "qel-terminal/" + std::to_string(st.st_dev) + "/" + std::to_string(st.st_ino);
}

}  // namespace ce::sim::wire
