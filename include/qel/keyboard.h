// IID_QELKEYBOARDSERVICE: the soft input panel, and keyboard notifications
// passed on to named handlers.
#pragma once

#include <cstdint>

#include "qel/service.h"

// Called on the keyboard service's thread, with its handler table locked: a
// handler must not add or remove handlers.
using QelKeyboardHandler = void (*)(const char16_t* name, void* context, uint32_t notification);

// Messages of the keyboard service's window and of the host's main window.
enum : uint32_t {
  kKeyboardNotification = 0x602,  // to "QelKeyboardWindow"; wParam: the notification
  kPanelStateMessage = 0x603,     // to the host's main window; wParam: 1 shown, 0 hidden
};

class IQelKeyboardService : public IQelService {
 public:
  virtual bool SetLayer(uint32_t layer) = 0;                                                     // slot 8
  virtual uint32_t GetLayer() = 0;                                                               // slot 9
  virtual bool Reserved10(uint32_t, uint32_t) = 0;                                               // slot 10
  virtual bool IsPanelOn() = 0;                                                                  // slot 11
  virtual void TogglePanel() = 0;                                                                // slot 12
  virtual bool ShowPanel() = 0;                                                                  // slot 13
  virtual bool HidePanel() = 0;                                                                  // slot 14
  virtual bool Reserved15(uint32_t, uint32_t) = 0;                                               // slot 15
  virtual bool Reserved16(uint32_t) = 0;                                                         // slot 16
  virtual bool Reserved17(uint32_t, uint32_t) = 0;                                               // slot 17
  virtual bool Reserved18(uint32_t) = 0;                                                         // slot 18
  virtual bool AttachWindow(void* window) = 0;                                                   // slot 19
  virtual bool DetachWindow(void* window) = 0;                                                   // slot 20
  virtual void AddHandler(const char16_t* name, QelKeyboardHandler handler, void* context) = 0;  // slot 21
  virtual bool RemoveHandler(const char16_t* name) = 0;                                          // slot 22

 protected:
  ~IQelKeyboardService() = default;
};
