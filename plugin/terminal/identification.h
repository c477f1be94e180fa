// Who made the terminal and which model it is: from the OEM text, the makers'
// own libraries and I/O controls, and the model table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "terminal/model_table.h"

namespace qel {

// The system's OEM text into the buffer (cleared first); false when the system
// does not answer.
bool ReadOemInfo(char16_t* buffer, uint32_t capacity);
// The same into a string of at most capacity - 1 characters.
bool ReadOemInfo(std::u16string* text, uint32_t capacity = 127);

// The manufacturer code of an OEM text ("MOT", "HON", ..., "UNK").
std::u16string_view ManufacturerCode(std::u16string_view oemText);
// True when the text names a Honeywell (or Hand Held Products) terminal.
bool IsHoneywellText(std::u16string_view text);

// Each replaces *model with the maker's name for this terminal; false (model
// untouched) when the maker's sources do not say.
bool DatalogicModel(std::u16string* model);
bool HoneywellModel(std::u16string* model);
bool UnitechModel(std::u16string* model);
bool IntermecModel(std::u16string* model);

// The SYS_DEVICE_MODEL text for an OEM text.
bool DeviceModel(std::u16string_view oemText, std::u16string* model);

// The model-table entry for this terminal, or null.
const ModelEntry* FindModelKey();

}  // namespace qel
