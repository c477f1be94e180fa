// Real images the build made with mingw-w64, damaged one field at a time: every
// damage fails with its error, read only inside the file (the sanitizer builds
// check that), and every walk ends.
#include "version_resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ce/error.h"
#include "ce/version.h"
#include "version_block.h"

namespace ce::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Image(const std::string& name) {
  std::ifstream in(std::string(QEL_PE_DIR) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

uint32_t Get32(const Bytes& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, &b.at(at + 3) - 3, 4);
  return v;
}
void Put32(Bytes& b, size_t at, uint32_t v) { std::memcpy(&b.at(at + 3) - 3, &v, 4); }
void Put16(Bytes& b, size_t at, uint16_t v) { std::memcpy(&b.at(at + 1) - 1, &v, 2); }

// Where the test images keep what the damages change (PE32: the optional
// header's directories at 96; one section holds the whole resource tree).
struct Layout {
  size_t lfanew, coff, optional, sections;
  // The tree: the types, RT_VERSION's names, the first name's languages.
  size_t rootDir, namesDir, languagesDir, dataEntry, block;
  uint32_t resourceRva;
  explicit Layout(const Bytes& b) {
    lfanew = Get32(b, 0x3C);
    coff = lfanew + 4;
    optional = coff + 20;
    sections = optional + (b.at(coff + 16) | b.at(coff + 17) << 8);
    resourceRva = Get32(b, optional + 96 + 16);
    size_t resourceAt = 0;
    for (size_t s = sections; s < sections + 40 * b.at(coff + 2); s += 40)
      if (Get32(b, s + 12) == resourceRva) resourceAt = Get32(b, s + 20);
    rootDir = resourceAt;
    namesDir = resourceAt + (Get32(b, rootDir + 16 + 4) & 0x7FFFFFFF);
    languagesDir = resourceAt + (Get32(b, namesDir + 16 + 4) & 0x7FFFFFFF);
    dataEntry = resourceAt + Get32(b, languagesDir + 16 + 4);
    block = resourceAt + (Get32(b, dataEntry) - resourceRva);
  }
};

DWORD Read(const Bytes& bytes, Bytes* block = nullptr) {
  Bytes ignored;
  return ReadVersionResource(MemoryBytes(bytes), block ? block : &ignored);
}

TEST(VersionResource, DamagedImagesFailCleanly) {
  const Bytes good = Image("translations32.dll");
  ASSERT_GT(good.size(), 1024u) << "the build's test image is missing: " << QEL_PE_DIR;
  const Layout at(good);
  ASSERT_EQ(Get32(good, at.rootDir + 16), 16u) << "the root's one entry is RT_VERSION";
  ASSERT_EQ(Read(good), DWORD(ERROR_SUCCESS));

  struct Row {
    const char* damage;
    std::function<void(Bytes&)> apply;
    DWORD error;
  };
  const Row rows[] = {
      {"empty file", [](Bytes& b) { b.clear(); }, ERROR_BAD_EXE_FORMAT},
      {"truncated DOS header", [](Bytes& b) { b.resize(40); }, ERROR_BAD_EXE_FORMAT},
      {"no MZ", [](Bytes& b) { b[0] = 'X'; }, ERROR_BAD_EXE_FORMAT},
      {"e_lfanew past the end", [](Bytes& b) { Put32(b, 0x3C, uint32_t(b.size()) + 8); },
       ERROR_BAD_EXE_FORMAT},
      {"e_lfanew wraps", [](Bytes& b) { Put32(b, 0x3C, 0xFFFFFFFE); }, ERROR_BAD_EXE_FORMAT},
      {"no PE signature", [&](Bytes& b) { b[at.lfanew] = 'N'; }, ERROR_BAD_EXE_FORMAT},
      {"truncated COFF header", [&](Bytes& b) { b.resize(at.coff + 10); }, ERROR_BAD_EXE_FORMAT},
      {"truncated optional header", [&](Bytes& b) { b.resize(at.optional + 60); }, ERROR_BAD_EXE_FORMAT},
      {"unknown optional magic", [&](Bytes& b) { Put16(b, at.optional, 0x107); }, ERROR_BAD_EXE_FORMAT},
      {"directory count beyond the header", [&](Bytes& b) { Put32(b, at.optional + 92, 0x10000000); },
       ERROR_BAD_EXE_FORMAT},
      {"too many sections", [&](Bytes& b) { Put16(b, at.coff + 2, 97); }, ERROR_BAD_EXE_FORMAT},
      {"section table past the end", [&](Bytes& b) { Put16(b, at.coff + 16, 0xFFF0); }, ERROR_BAD_EXE_FORMAT},
      {"section table cut", [&](Bytes& b) { b.resize(at.sections + 50); }, ERROR_BAD_EXE_FORMAT},
      {"no resource directory", [&](Bytes& b) { Put32(b, at.optional + 96 + 20, 0); },
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"resource directory past the end", [&](Bytes& b) { Put32(b, at.optional + 96 + 16, 0x7FFFFF00); },
       ERROR_BAD_EXE_FORMAT},
      {"resource section cut", [&](Bytes& b) { b.resize(at.rootDir + 20); }, ERROR_BAD_EXE_FORMAT},
      {"no version type", [&](Bytes& b) { Put32(b, at.rootDir + 16, 10); }, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"no names", [&](Bytes& b) { Put16(b, at.namesDir + 14, 0); }, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"no languages", [&](Bytes& b) { Put16(b, at.languagesDir + 14, 0); }, ERROR_RESOURCE_LANG_NOT_FOUND},
      {"huge entry counts",
       [&](Bytes& b) {
         Put16(b, at.rootDir + 12, 0xFFFF);
         Put16(b, at.rootDir + 14, 0xFFFF);
       },
       ERROR_BAD_EXE_FORMAT},
      {"type leads back to the root", [&](Bytes& b) { Put32(b, at.rootDir + 20, 0x80000000); },
       ERROR_BAD_EXE_FORMAT},
      {"name leads back to the names",
       [&](Bytes& b) { Put32(b, at.namesDir + 20, 0x80000000 | uint32_t(at.namesDir - at.rootDir)); },
       ERROR_BAD_EXE_FORMAT},
      {"language leads back to the root", [&](Bytes& b) { Put32(b, at.languagesDir + 20, 0x80000000); },
       ERROR_BAD_EXE_FORMAT},
      {"subdirectory past the section", [&](Bytes& b) { Put32(b, at.rootDir + 20, 0xFFFFFFF0); },
       ERROR_BAD_EXE_FORMAT},
      {"type entry is data", [&](Bytes& b) { Put32(b, at.rootDir + 20, 0x10); }, ERROR_BAD_EXE_FORMAT},
      {"data past the end", [&](Bytes& b) { Put32(b, at.dataEntry, 0xFFFFFFF0); }, ERROR_BAD_EXE_FORMAT},
      {"data shorter than its block", [&](Bytes& b) { Put32(b, at.dataEntry + 4, 40); },
       ERROR_BAD_EXE_FORMAT},
      {"block longer than its data", [&](Bytes& b) { Put16(b, at.block, 0xFFFF); }, ERROR_BAD_EXE_FORMAT},
      {"block shorter than its header", [&](Bytes& b) { Put16(b, at.block, 4); }, ERROR_BAD_EXE_FORMAT},
      {"block of another key", [&](Bytes& b) { b[at.block + 6] = 'X'; }, ERROR_BAD_EXE_FORMAT},
  };
  for (const Row& row : rows) {
    Bytes bytes = good;
    row.apply(bytes);
    EXPECT_EQ(Read(bytes), row.error) << row.damage;
  }
}

TEST(VersionResource, LyingNodesEndTheWalk) {
  Bytes block;
  ASSERT_EQ(Read(Image("translations32.dll"), &block), DWORD(ERROR_SUCCESS));
  // The root's first child, StringFileInfo, follows the 52-byte fixed record.
  const size_t child = 92;
  const std::u16string_view name = u"\\StringFileInfo\\040704e4\\Comments";
  VersionValue value;
  ASSERT_TRUE(FindVersionValue(block, name, &value));
  struct Row {
    const char* lie;
    std::function<void(Bytes&)> apply;
  };
  const Row rows[] = {
      {"child longer than its parent", [&](Bytes& b) { Put16(b, child, uint16_t(b.size())); }},
      {"child of no length", [&](Bytes& b) { Put16(b, child, 0); }},
      {"key without its end",
       [&](Bytes& b) {
         Put16(b, child, 14);
         for (size_t i = child + 6; i < child + 14; ++i) b[i] = 'A';
       }},
      {"text value past its node",
       [&](Bytes& b) {
         Put16(b, child + 2, 0x7FFF);
         Put16(b, child + 4, 1);
       }},
  };
  for (const Row& row : rows) {
    Bytes lying = block;
    row.apply(lying);
    EXPECT_FALSE(FindVersionValue(lying, name, &value)) << row.lie;
  }
}

}  // namespace
}  // namespace ce::sim
