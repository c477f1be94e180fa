// Kernel and driver I/O controls: the HAL's KernelIoControl, a driver's
// DeviceIoControl, and the device identifier records they answer with.
#pragma once

#include "ce/com.h"
#include "ce/types.h"

#ifndef IOCTL_HAL_GET_UUID
#define IOCTL_HAL_GET_UUID 0x01010034
#endif
#ifndef IOCTL_HAL_GET_DEVICEID
#define IOCTL_HAL_GET_DEVICEID 0x01010054
#endif
#ifndef IOCTL_HAL_REBOOT
#define IOCTL_HAL_REBOOT 0x0101003C
#endif
#ifndef FILE_FLAG_OVERLAPPED
#define FILE_FLAG_OVERLAPPED 0x40000000
#endif
#ifndef IOCTL_NDISUIO_QUERY_OID_VALUE
#define IOCTL_NDISUIO_QUERY_OID_VALUE 0x00120804
#endif
#ifndef DEVACCESS_BUSNAMESPACE
#define DEVACCESS_BUSNAMESPACE 0x0100
#endif
// The USB function controller's bus controls: the current client driver, and
// a switch to another.
#ifndef IOCTL_UFN_GET_CURRENT_CLIENT
#define IOCTL_UFN_GET_CURRENT_CLIENT 0x0022000C
#endif
#ifndef IOCTL_UFN_CHANGE_CURRENT_CLIENT
#define IOCTL_UFN_CHANGE_CURRENT_CLIENT 0x00220010
#endif

namespace ce {

// The HAL's identifier record: a header followed by the two identifiers at
// their offsets from the record's start.
struct DEVICE_ID {
  DWORD dwSize;
  DWORD dwPresetIDOffset;
  DWORD dwPresetIDBytes;
  DWORD dwPlatformIDOffset;
  DWORD dwPlatformIDBytes;
};
static_assert(sizeof(DEVICE_ID) == 20);

// bytesReturned may be null. A record larger than outSize fails with
// ERROR_INSUFFICIENT_BUFFER; for IOCTL_HAL_GET_DEVICEID the header's dwSize
// then tells the size needed.
// IOCTL_HAL_REBOOT restarts the terminal (its processes end with it).
BOOL KernelIoControl(DWORD ioControlCode, void* inBuffer, DWORD inSize, void* outBuffer, DWORD outSize,
                     DWORD* bytesReturned);
// The next reboot clears the object store (the registry and the files).
BOOL SetCleanRebootFlag();

// An object-identifier query of the NDIS user-mode I/O driver ("UIO1:"): in and
// out in one record, the data area following the header.
struct NDISUIO_QUERY_OID {
  DWORD Oid;
  LPWSTR ptcDeviceName;
  BYTE Data[4];
};

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, void* inBuffer, DWORD inSize, void* outBuffer,
                     DWORD outSize, DWORD* bytesReturned, void* overlapped);

// How FindFirstDevice picks devices; its search parameter is a device name
// (LPCWSTR) for the first three and a device-class GUID for the fourth.
enum DeviceSearchType : int {
  DeviceSearchByLegacyName,
  DeviceSearchByDeviceName,
  DeviceSearchByBusName,
  DeviceSearchByGuid,
  DeviceSearchByParent,
};

// What the device manager knows of a loaded device.
struct DEVMGR_DEVICE_INFORMATION {
  DWORD dwSize;  // set by the caller to the record's size
  HANDLE hDevice;
  HANDLE hParentDevice;
  WCHAR szLegacyName[6];    // "UFN1:"
  WCHAR szDeviceKey[260];   // its driver's registry key
  WCHAR szDeviceName[260];  // "$device\UFN1"
  WCHAR szBusName[260];     // "$bus\UFN1": open it with DEVACCESS_BUSNAMESPACE for bus controls
};
static_assert(sizeof(void*) != 4 || sizeof(DEVMGR_DEVICE_INFORMATION) == 1584);

// A USB function client driver as the controller reports it.
struct UFN_CLIENT_INFO {
  WCHAR szName[128];
  WCHAR szDescription[250];
};
static_assert(sizeof(UFN_CLIENT_INFO) == 756);

// The first device matching the search, as a search handle that FindClose
// ends; INVALID_HANDLE_VALUE with ERROR_NO_MORE_ITEMS when none matches.
// Searches by legacy name and by device class are answered; the others fail
// with ERROR_NOT_SUPPORTED.
HANDLE FindFirstDevice(DeviceSearchType searchType, const void* searchParam, DEVMGR_DEVICE_INFORMATION* info);

// GetDeviceUniqueID, an export of "coredll.dll" reached by name: a hash of the
// device and the caller's application data; 0 (S_OK) on success.
using PFN_GetDeviceUniqueID = LONG (*)(BYTE* applicationData, DWORD applicationDataSize, DWORD version,
                                       BYTE* deviceId, DWORD* deviceIdSize);

}  // namespace ce
