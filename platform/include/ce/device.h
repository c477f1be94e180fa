// Kernel and driver I/O controls: the HAL's KernelIoControl, a driver's
// DeviceIoControl, and the device identifier records they answer with.
#pragma once

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
BOOL KernelIoControl(DWORD ioControlCode, void* inBuffer, DWORD inSize, void* outBuffer, DWORD outSize,
                     DWORD* bytesReturned);

// An object-identifier query of the NDIS user-mode I/O driver ("UIO1:"): in and
// out in one record, the data area following the header.
struct NDISUIO_QUERY_OID {
  DWORD Oid;
  LPWSTR ptcDeviceName;
  BYTE Data[4];
};

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, void* inBuffer, DWORD inSize, void* outBuffer,
                     DWORD outSize, DWORD* bytesReturned, void* overlapped);

// GetDeviceUniqueID, an export of "coredll.dll" reached by name: a hash of the
// device and the caller's application data; 0 (S_OK) on success.
using PFN_GetDeviceUniqueID = LONG (*)(BYTE* applicationData, DWORD applicationDataSize, DWORD version,
                                       BYTE* deviceId, DWORD* deviceIdSize);

}  // namespace ce
