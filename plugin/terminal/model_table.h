// The table of model patterns that names a terminal's manufacturer code and
// model from its (vendor-corrected) OEM text; the first matching entry wins.
#pragma once

#include <span>
#include <string_view>

namespace qel {

struct ModelEntry {
  std::u16string_view pattern;
  std::u16string_view code;
  std::u16string_view model;
};

// Every entry, in table order.
std::span<const ModelEntry> ModelEntries();

// The first entry whose pattern matches the text, or null.
const ModelEntry* FindModelEntry(std::u16string_view text);

}  // namespace qel
