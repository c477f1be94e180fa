// Adapters that turn one service operation into a property, and the stand-in
// for a property whose service this build lacks.
#pragma once

#include "qel/host.h"
#include "qel/value.h"

namespace qel {

// Stands for the getter or setter of a property whose operation belongs to a
// service this build does not have yet: it fails, as a property whose service
// is missing does.
bool NotAvailable(IQelValue* value, IQelService* context);

// A service operation returning a 32-bit number, stored as UInt32; the
// all-ones result means failure.
template <class Service, uint32_t (Service::*Operation)()>
bool GetUInt32Of(IQelValue* value, IQelService* context) {
  if (!context || !value) return false;
  const uint32_t result = (static_cast<Service*>(context)->*Operation)();
  if (result == 0xFFFFFFFFu) return false;
  return value->SetUInt32(result);
}

}  // namespace qel
