// Adapters that turn one service operation into a property.
#pragma once

#include "qel/host.h"
#include "qel/value.h"

namespace qel {

// A service operation returning a 32-bit number, stored as UInt32; the
// all-ones result means failure.
template <class Service, uint32_t (Service::*Operation)()>
bool GetUInt32Of(IQelValue* value, IQelService* context) {
  if (!context || !value) return false;
  const uint32_t result = (static_cast<Service*>(context)->*Operation)();
  if (result == 0xFFFFFFFFu) return false;
  return value->SetUInt32(result);
}

// A service operation filling a text buffer of Capacity characters, stored
// with SetStringZ; false from the operation means failure.
template <class Service, bool (Service::*Operation)(char16_t*, uint32_t), uint32_t Capacity>
bool GetTextOf(IQelValue* value, IQelService* context) {
  if (!context || !value) return false;
  char16_t buffer[Capacity] = {};
  if (!(static_cast<Service*>(context)->*Operation)(buffer, Capacity)) return false;
  buffer[Capacity - 1] = 0;
  return value->SetStringZ(buffer);
}

// The value's text and its length handed to a service operation.
template <class Service, bool (Service::*Operation)(const char16_t*, uint32_t)>
bool SetTextOf(IQelValue* value, IQelService* context) {
  if (!context || !value) return false;
  IQelText* text = nullptr;
  if (!value->GetString(&text) || !text) return false;
  return (static_cast<Service*>(context)->*Operation)(text->Chars(), text->Length());
}

}  // namespace qel
