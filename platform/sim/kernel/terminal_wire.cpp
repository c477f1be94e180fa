#include "terminal_wire.h"

#include <sys/stat.h>
#include <unistd.h>

namespace ce::sim::wire {

uint32_t NameSlot(std::u16string_view name) {
  uint32_t h = 2166136261u;  // FNV-1a over the code units
  for (char16_t u : name) {
    h = (h ^ (u & 0xFF)) * 16777619u;
    h = (h ^ (u >> 8)) * 16777619u;
  }
  // The low bits of FNV alone depend on the low bits only: mix the high ones in.
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  return h % kNameSlots;
}

std::string SocketName(const std::filesystem::path& dir) {
  struct ::stat st {};
  if (::stat(dir.c_str(), &st) != 0) return {};
  // A leading NUL puts the name in the abstract namespace: no file to clean up.
  // Each user has a server of their own: one serves only its own user's processes.
  // Builds that speak another wire never meet: a folder's inode is reused
  // once it is removed, and a server lingers a while after its last process.
  return std::string(1, '\0') + "qel-terminal/" + std::to_string(kWireVersion) + "." +
         std::to_string(sizeof(Request)) + "/" + std::to_string(::getuid()) + "/" +
         std::to_string(st.st_dev) + "/" + std::to_string(st.st_ino);
}

}  // namespace ce::sim::wire
