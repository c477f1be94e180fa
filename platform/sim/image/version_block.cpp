#include "version_block.h"

#include <cstring>

#include "case_fold.h"

namespace ce::sim {
namespace {

constexpr size_t kNodeHeaderSize = 6;
constexpr uint16_t kTextType = 1;

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

uint16_t Word(std::span<const uint8_t> block, size_t at) {
  uint16_t v;
  std::memcpy(&v, block.data() + at, 2);
  return v;
}

struct Node {
  size_t end = 0;  // one past the node's last byte
  std::u16string key;
  VersionValue value;
  size_t children = 0;  // where the first child would start
};

// The node at `at`, which must lie before `limit` (its parent's end).
bool ReadNode(std::span<const uint8_t> block, size_t at, size_t limit, Node* out) {
  if (at > limit || limit - at < kNodeHeaderSize) return false;
  const size_t length = Word(block, at);
  if (length < kNodeHeaderSize || length > limit - at) return false;
  Node node;
  node.end = at + length;
  size_t p = at + kNodeHeaderSize;
  for (;; p += 2) {
    if (node.end - p < 2) return false;  // no terminator inside the node
    const char16_t c = Word(block, p);
    if (c == 0) break;
    node.key += c;
  }
  const uint16_t valueLength = Word(block, at + 2);
  const size_t valueBytes = Word(block, at + 4) == kTextType ? size_t{valueLength} * 2 : valueLength;
  node.value = {Align4(p + 2), valueLength};
  if (valueBytes != 0 && (node.value.offset > node.end || valueBytes > node.end - node.value.offset))
    return false;
  node.children = Align4(node.value.offset + valueBytes);
  *out = std::move(node);
  return true;
}

}  // namespace

size_t VersionBlockLength(std::span<const uint8_t> bytes) {
  Node root;
  if (!ReadNode(bytes, 0, bytes.size(), &root) || root.key != kVersionInfoKey) return 0;
  return root.end;
}

bool FindVersionValue(std::span<const uint8_t> block, std::u16string_view path, VersionValue* out) {
  Node node;
  if (!ReadNode(block, 0, block.size(), &node)) return false;
  while (!path.empty()) {
    const size_t start = path.find_first_not_of(u'\\');
    if (start == std::u16string_view::npos) break;
    path.remove_prefix(start);
    const std::u16string_view name = path.substr(0, path.find(u'\\'));
    path.remove_prefix(name.size());
    Node child;
    bool found = false;
    for (size_t at = node.children; at < node.end; at = Align4(child.end)) {
      if (!ReadNode(block, at, node.end, &child)) return false;
      if (SameName(child.key, name)) {
        found = true;
        break;
      }
    }
    if (!found) return false;
    node = std::move(child);
  }
  *out = node.value;
  return true;
}

}  // namespace ce::sim
