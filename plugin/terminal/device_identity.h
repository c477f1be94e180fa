// The terminal's unique identifiers: the device unique identifier, the HAL's
// UUID and DEVICE_ID record, and the serial numbers made from them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qel {

// GetDeviceUniqueID of the core library with this module's application data.
// False when the function is missing, fails, or answers the identifier known
// not to be unique. size: in, the buffer's capacity; out, the bytes written.
bool ReadDeviceUniqueId(uint8_t* buffer, uint32_t* size);

// SYS_USN: the unique identifier, else the UUID, else the DEVICE_ID record.
bool UniqueSerialNumber(std::u16string* usn);

// GetDeviceId: the raw identifier bytes by the same three sources.
bool DeviceIdBytes(uint8_t* buffer, uint32_t* size);

// The 16-bit CRC of the short serial number (reflected 0xA001, initial value
// 0xA001, final exclusive-or 0xFFFF).
uint16_t SsnCrc(std::string_view bytes);
// QEL_SSN from a USN: 16 digits and a 2-digit check value.
std::u16string ShortSerialNumber(std::u16string_view usn);

}  // namespace qel
