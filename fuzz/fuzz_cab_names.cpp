// Cabinet member names, as raw bytes, through the terminal's installer: the
// input is up to 8 lines, each a flags byte (bit 0: the name is flagged UTF-8)
// and the name's bytes. The cabinet of those members (stored, one folder,
// each member's content its number) is installed as \Temp\t.cab. Whatever the
// names, the installer writes nothing outside \Program Files\t\ and leaves no
// staging folder; an install that succeeds holds every member there, one file
// each, and one that fails changes nothing.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "ce/sim/control.h"
#include "fuzz_scratch.h"
#include "programs.h"

namespace {

namespace fs = std::filesystem;

void U16(std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }
void U32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }

uint32_t Checksum(const std::string& bytes, uint32_t sum) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  for (; i + 4 <= bytes.size(); i += 4)
    sum ^= uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 | uint32_t(p[i + 3]) << 24;
  uint32_t tail = 0;
  for (; i < bytes.size(); ++i) tail = tail << 8 | p[i];
  return sum ^ tail;
}

struct Member {
  std::string name;
  uint16_t attributes;
};

std::string Cabinet(const std::vector<Member>& members) {
  std::string content, files;
  for (size_t i = 0; i < members.size(); ++i) {
    const std::string data = std::to_string(i);
    U32(files, uint32_t(data.size()));
    U32(files, uint32_t(content.size()));
    U16(files, 0);
    U16(files, (40 << 9) | (1 << 5) | 1);
    U16(files, 0);
    U16(files, members[i].attributes);
    files += members[i].name;
    files += '\0';
    content += data;
  }
  std::string sizes;
  U16(sizes, uint16_t(content.size()));
  U16(sizes, uint16_t(content.size()));
  std::string block;
  U32(block, Checksum(sizes, Checksum(content, 0)));
  block += sizes + content;
  const uint32_t filesAt = 44, dataAt = filesAt + uint32_t(files.size());
  std::string cab = "MSCF";
  for (uint32_t v : {0u, dataAt + uint32_t(block.size()), 0u, filesAt, 0u}) U32(cab, v);
  cab += "\3\1";
  for (uint16_t v : {uint16_t(1), uint16_t(members.size()), uint16_t(0), uint16_t(0), uint16_t(0)})
    U16(cab, v);
  U32(cab, dataAt);
  U16(cab, 1);
  U16(cab, 0);
  return cab + files + block;
}

// Every entry below root, "/" after a folder's name.
std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> all;
  for (const auto& e : fs::recursive_directory_iterator(root))
    all.insert(fs::relative(e.path(), root).string() + (e.is_directory() && !e.is_symlink() ? "/" : ""));
  return all;
}

struct Fixture {
  fs::path dir = qelfuzz::Scratch() / "t";
  fs::path fsRoot = dir / "fs";
  std::set<std::string> pristine;
  Fixture() {
    std::string error;
    if (!ce::sim::CreateTerminal(dir, *ce::sim::BuiltinProfile("thor-vm1"), &error) ||
        !ce::sim::UseTerminal(dir, &error))
      abort();
    fs::create_directories(fsRoot / "Temp");
    std::ofstream(fsRoot / "Temp" / "t.cab") << "";
    pristine = Listing(fsRoot);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  std::vector<Member> members;
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (size_t start = 0; start < input.size() && members.size() < 8;) {
    const size_t end = std::min(input.find('\n', start), input.size());
    const std::string line = input.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    std::string name = line.substr(1);
    if (name.find('\0') != std::string::npos) name.resize(name.find('\0'));
    members.push_back({name, uint16_t(line[0] & 1 ? 0x80 : 0)});
  }
  if (members.empty()) return 0;
  std::error_code ec;
  fs::remove_all(fixture.fsRoot / "Program Files" / "t", ec);
  std::ofstream(fixture.fsRoot / "Temp" / "t.cab", std::ios::binary | std::ios::trunc) << Cabinet(members);
  const ce::DWORD result = ce::sim::WceloadMain(u"/delete 0 /noui \"\\Temp\\t.cab\"", "");

  std::set<std::string> installed;
  for (const std::string& path : Listing(fixture.fsRoot)) {
    if (fixture.pristine.count(path)) continue;
    if (!path.starts_with("Program Files/t/")) abort();  // outside the destination, or a staging folder left
    if (path.back() != '/') installed.insert(path);
  }
  if (result != 0 && !installed.empty()) abort();  // a failed install changed something
  if (result == 0) {
    // One file per member, each holding a member's number.
    if (installed.size() != members.size()) abort();
    std::set<std::string> contents;
    for (const std::string& path : installed) {
      std::ifstream in(fixture.fsRoot / path, std::ios::binary);
      contents.insert(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    for (size_t i = 0; i < members.size(); ++i)
      if (!contents.count(std::to_string(i))) abort();
  }
  return 0;
}
