// Version resources of executables and libraries: the VS_VERSIONINFO block of
// a file and the values in it.
#pragma once

#include "ce/types.h"  // on Windows, windows.h declares the version records

#ifndef ERROR_RESOURCE_DATA_NOT_FOUND
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#endif
#ifndef ERROR_RESOURCE_TYPE_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#endif
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814
#endif
#ifndef ERROR_RESOURCE_LANG_NOT_FOUND
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815
#endif
#ifndef VS_FFI_SIGNATURE
#define VS_FFI_SIGNATURE 0xFEEF04BDL
#endif
#ifndef VS_FFI_STRUCVERSION
#define VS_FFI_STRUCVERSION 0x00010000L
#endif

namespace ce {

#if defined(_WIN32)
using ::VS_FIXEDFILEINFO;
#else
// The value of the root block ("\").
struct VS_FIXEDFILEINFO {
  DWORD dwSignature;  // VS_FFI_SIGNATURE
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};
#endif
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

// The size in bytes of the file's version block, 0 on failure: the file's
// own error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...), ERROR_BAD_EXE_FORMAT
// for a file that is no well-formed PE32 or PE32+ image (a damaged resource
// tree or version block included), ERROR_RESOURCE_DATA_NOT_FOUND when it has
// no resources, ERROR_RESOURCE_TYPE_NOT_FOUND when none is a version resource.
// handle, when given, is set to 0.
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, DWORD* handle);
// Copies the version block into data. A length short of the block copies what
// fits and fails with ERROR_INSUFFICIENT_BUFFER, so a part block is never taken
// for a whole one.
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, void* data);
// Finds a value in a block GetFileVersionInfoW filled: "\" the fixed record
// (length in bytes), "\VarFileInfo\Translation" the language and code-page
// pairs (length in bytes), "\StringFileInfo\<lang><cp>\<name>" a string (length
// in characters, the terminator included). Names match without regard to case.
// *buffer points into block. ERROR_RESOURCE_TYPE_NOT_FOUND when there is no
// such value, ERROR_INVALID_PARAMETER for a null argument.
BOOL VerQueryValueW(const void* block, LPCWSTR subBlock, void** buffer, UINT* length);

}  // namespace ce
