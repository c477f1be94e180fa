// Caller-owned text buffers: text is cut to the capacity (in characters, the
// terminator included) and always terminated.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qel {

// False for a null buffer or no room even for the terminator.
bool WriteText(std::u16string_view text, char16_t* buffer, uint32_t capacity);

// The text up to its terminator, at most capacity characters.
std::u16string_view TextIn(const char16_t* buffer, uint32_t capacity);

// ASCII into wide text (digits, codes, separators).
std::u16string Widen(std::string_view ascii);

}  // namespace qel
