#include "devices/keyboard_properties.h"

#include "qel/keyboard.h"
#include "qel/value.h"

namespace qel {

bool GetKeyboardLayer(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const uint32_t layer = static_cast<IQelKeyboardService*>(context)->GetLayer();
  return layer != 0 && value->SetInt32(int32_t(layer));
}

bool SetKeyboardLayer(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  int32_t layer = 0;
  if (!value->GetInt32(&layer)) return false;
  static_cast<IQelKeyboardService*>(context)->SetLayer(uint32_t(layer));
  return true;
}

}  // namespace qel
