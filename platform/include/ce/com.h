// The COM pieces the module meets: identifiers from text, and the camera
// control interface of a DirectShow capture device.
#pragma once

#include "ce/types.h"

#ifndef S_OK
#define S_OK 0
#endif
#ifndef E_FAIL
#define E_FAIL (static_cast<::ce::HRESULT>(0x80004005))
#endif
#ifndef E_INVALIDARG
#define E_INVALIDARG (static_cast<::ce::HRESULT>(0x80070057))
#endif
#ifndef CO_E_CLASSSTRING
#define CO_E_CLASSSTRING (static_cast<::ce::HRESULT>(0x800401F3))
#endif

namespace ce {

#if defined(_WIN32)
using ::GUID;
using ::HRESULT;
#else
using HRESULT = LONG;
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
#endif
static_assert(sizeof(GUID) == 16);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" into its 16 bytes; CO_E_CLASSSTRING
// for anything else.
HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid);

// Camera control property numbers and flags.
enum : LONG { CameraControl_Focus = 6, CameraControl_Flash = 7 };
enum : LONG { CameraControl_Flags_Auto = 1, CameraControl_Flags_Manual = 2 };

// IAMCameraControl, in the slot order of the platform's interface.
class IAMCameraControl {
 public:
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;  // slot 0
  virtual DWORD AddRef() = 0;                                       // slot 1
  virtual DWORD Release() = 0;                                      // slot 2
  virtual HRESULT GetRange(LONG property, LONG* min, LONG* max, LONG* steppingDelta, LONG* defaultValue,
                           LONG* capsFlags) = 0;                     // slot 3
  virtual HRESULT Set(LONG property, LONG value, LONG flags) = 0;    // slot 4
  virtual HRESULT Get(LONG property, LONG* value, LONG* flags) = 0;  // slot 5

 protected:
  ~IAMCameraControl() = default;
};

}  // namespace ce
