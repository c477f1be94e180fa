// A VS_VERSIONINFO block: a tree of nodes, each a length, a value length, a
// type (1: the value is text, counted in characters), a NUL-terminated key,
// the value and the children, every part aligned on 4 bytes from the block's
// start. Walks stay inside the block and inside each parent; a node is at
// least its 6-byte header long, so every walk ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace ce::sim {

inline constexpr std::u16string_view kVersionInfoKey = u"VS_VERSION_INFO";

// The block's length as its root node states it, when the root fits in bytes
// (all the resource holds) and its key is "VS_VERSION_INFO"; else 0.
size_t VersionBlockLength(std::span<const uint8_t> bytes);

struct VersionValue {
  size_t offset = 0;    // from the block's start
  uint32_t length = 0;  // as the node states it: characters for text, else bytes
};

// Finds the value at path ("\", "\VarFileInfo\Translation",
// "\StringFileInfo\040904b0\CompanyName"); keys compare without regard to case
// and empty components are skipped. False when a node on the way is missing or
// does not fit in its parent.
bool FindVersionValue(std::span<const uint8_t> block, std::u16string_view path, VersionValue* out);

}  // namespace ce::sim
