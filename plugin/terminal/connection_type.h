// The kind of network link in use, from the adapter list: the smallest code
// of all adapters wins (0 ActiveSync ... 7 None).
#pragma once

#include <cstdint>
#include <memory>

#include "ce/net.h"
#include "qel/value.h"

namespace qel {

// The adapter list in one block, or empty when the system has none.
struct AdapterList {
  std::unique_ptr<uint8_t[]> block;
  const ce::IP_ADAPTER_INFO* first() const {
    return reinterpret_cast<const ce::IP_ADAPTER_INFO*>(block.get());
  }
  explicit operator bool() const { return block != nullptr; }
};
// *sizeAnswered: whether the size query answered ERROR_BUFFER_OVERFLOW.
AdapterList ReadAdapters(bool* sizeAnswered = nullptr);

// An adapter holds an address unless its first one is "0.0.0.0".
bool IsConfigured(const ce::IP_ADAPTER_INFO& adapter);

uint32_t ConnectionType(const char16_t* wlanAdapterName);
// A new text object with the code's name, or null.
IQelText* ConnectionTypeName(uint32_t code);

// The first six bytes of the hardware address of the adapter named (ignoring case).
bool AdapterAddress(const char16_t* name, uint8_t* mac);

}  // namespace qel
