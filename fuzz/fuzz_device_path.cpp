// Device paths (UTF-16 from the input's byte pairs) resolved on a small fs/
// that holds a link leading outside: a path that resolves names a folder
// inside the root, never outside it. Also the find pattern matcher.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ce/error.h"
#include "device/name_pattern.h"
#include "device_path.h"
#include "fuzz_scratch.h"

namespace {

namespace fs = std::filesystem;

struct Fixture {
  fs::path root = qelfuzz::Scratch() / "fs";
  std::string rootReal;
  Fixture() {
    fs::create_directories(root / "Windows" / "Sub");
    fs::create_directories(root / "docs");
    fs::create_directories(qelfuzz::Scratch() / "outside");
    std::ofstream(root / "Windows" / "Wceload.exe") << "x";
    std::ofstream(root / "docs" / "A.txt") << "a";
    std::ofstream(root / "docs" / "a.TXT") << "b";
    fs::create_directory_symlink(qelfuzz::Scratch() / "outside", root / "out");
    fs::create_directory_symlink(root / "docs", root / "Loop");
    rootReal = fs::canonical(root).string();
  }
};

std::string HostFolderOf(int fd) {
  std::error_code ec;
  return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  std::u16string path(size / 2, u'\0');
  for (size_t i = 0; i < path.size(); ++i) path[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
  for (const auto mode : {ce::sim::Resolve::kName, ce::sim::Resolve::kPattern}) {
    ce::sim::ResolvedPath rp;
    if (ce::sim::ResolveDevicePath(fixture.root, path, mode, &rp) != ERROR_SUCCESS) continue;
    const std::string folder = HostFolderOf(rp.folder.get());
    if (folder.compare(0, fixture.rootReal.size(), fixture.rootReal) != 0) {
      fprintf(stderr, "resolved outside the root: %s\n", folder.c_str());
      abort();
    }
    if (mode == ce::sim::Resolve::kName && rp.exists && (S_ISLNK(rp.st.st_mode))) abort();
  }
  // The pattern matcher on the two halves.
  const size_t half = path.size() / 2;
  (void)device_text::MatchesPattern(std::u16string_view(path).substr(0, half),
                                    std::u16string_view(path).substr(half));
  return 0;
}
