// The module's six exported functions: plain C, "bool" is one byte.
#pragma once

#include <cstdint>

#include "qel/host.h"

#if defined(_WIN32)
#define QEL_EXPORT __declspec(dllexport)
#else
#define QEL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
QEL_EXPORT bool Register(uint32_t unused, IQelServiceRegistry* registry);
QEL_EXPORT bool RegisterService(IQelRegistrar* registrar);
QEL_EXPORT bool UnRegister();
// Write into a caller's buffer of `capacity` characters (terminator included).
QEL_EXPORT bool GetESN(char16_t* buffer, uint32_t capacity);
QEL_EXPORT bool GetUSN(char16_t* buffer, uint32_t capacity);
QEL_EXPORT bool GetQELPlatform(char16_t* buffer, uint32_t capacity);
}

// The same, as a host resolves them by name.
using QelRegisterFn = bool (*)(uint32_t, IQelServiceRegistry*);
using QelRegisterServiceFn = bool (*)(IQelRegistrar*);
using QelUnRegisterFn = bool (*)();
using QelTextExportFn = bool (*)(char16_t*, uint32_t);

inline constexpr const char* kQelExportNames[] = {"Register", "RegisterService", "UnRegister",
                                                  "GetESN",   "GetUSN",          "GetQELPlatform"};
