#!/usr/bin/env python3
"""Writes the Win32 backend's forwarders from the ce headers.

Every function the headers declare at namespace scope, but those written by
hand (HAND_WRITTEN), becomes a definition in namespace ce that calls the
Win32 function of the same name through ce::win32::Forward, which converts
each argument to the system's parameter type. The script checks that every
hand-written name is defined in one of the SOURCES given, so a call can be
neither forwarded twice nor left out.

usage: forwarders.py OUT_SOURCE HEADER... -- SOURCE...
"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from ce_declarations import declarations  # noqa: E402

# Written by hand, one file per idea.
HAND_WRITTEN = {
    # Only Windows CE has these: looked up in its libraries at run time.
    "KernelIoControl", "SetCleanRebootFlag", "FindFirstDevice",                    # device_controls.cpp
    "CreateMsgQueue", "CloseMsgQueue", "ReadMsgQueue", "WriteMsgQueue",            # msgqueue.cpp
    "RequestPowerNotifications", "StopPowerNotifications", "SetSystemPowerState",  # power_manager.cpp
    "GetSystemPowerStatusEx", "GetSystemPowerStatusEx2",                           # power_status.cpp
    "CeSetUserNotificationEx", "CeGetUserNotificationHandles",                     # user_notifications.cpp
    "CeGetUserNotification", "CeClearUserNotification",
    "NLedGetDeviceInfo", "NLedSetDevice",                                          # nled.cpp
    "SipGetInfo", "SipSetInfo", "SipShowIM",                                       # sip.cpp
    # On desktop Windows too, but with another shape or meaning.
    "GetProcAddressW",                                                             # proc_address.cpp
    "CreateProcessW",                                                              # process.cpp
    "CreateThread",                                                                # threads.cpp
    "InitializeCriticalSection", "DeleteCriticalSection",                          # critical_section.cpp
    "EnterCriticalSection", "LeaveCriticalSection",
    "WaitForMultipleObjects",                                                      # waits.cpp
    "RegOpenKeyExW", "RegCreateKeyExW", "RegCloseKey", "RegDeleteKeyW",            # registry.cpp
    "RegEnumKeyExW", "RegEnumValueW",
    "FindFirstFileW", "FindNextFileW", "FindClose",                                # find_files.cpp
    "FindFirstChangeNotificationW",                                                # change_notify.cpp
    "CreateFileW",                                                                 # open_file.cpp
    "SetFilePointer", "SetEndOfFile",                                              # file_position.cpp
    "RemoveDirectoryW", "MoveFileW", "CopyFileW",                                  # file_operations.cpp
    "CreateEventW", "OpenEventW", "CreateMutexW", "CreateSemaphoreW",              # sync_objects.cpp
    "OpenSemaphoreW", "ReleaseSemaphore",
    "GlobalMemoryStatus",                                                          # memory_status.cpp
    "GetVersionExW", "SystemParametersInfoW", "GetDiskFreeSpaceExW",               # system_info.cpp
    "PostThreadMessageW", "PeekMessageW", "GetMessageW",                           # thread_messages.cpp
    "connect", "setsockopt", "getsockopt",                                         # socket_options.cpp
    "RegisterClassW", "CreateWindowExW", "DestroyWindow",                          # window_refusals.cpp
    "MoveWindow", "GetWindowRect",
    "GetAdaptersInfo",                                                             # adapters.cpp
    "ChangeDisplaySettingsExW",                                                    # display.cpp
    "PlaySoundW",                                                                  # sound.cpp
    "GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueW",           # version_block.cpp
    "GuardedCall",                                                                 # guarded_call.cpp
    "GetModuleFileNameW",                                                          # module_file_name.cpp
    "GetACP", "WideCharToMultiByte", "MultiByteToWideChar", "CharUpperBuffW",      # code_page.cpp
}

# Names the SDK makes a macro of another call on some targets (the Ptr calls
# are the LONG ones on 32-bit Windows): there the ce header's declaration is
# that call's, already forwarded.
ALIASED = {"GetWindowLongPtrW", "SetWindowLongPtrW"}


# What the forwarded calls need beyond windows.h, which the ce headers bring.
SYSTEM_HEADERS = ["winsock2.h", "ws2tcpip.h", "windows.h", "mmsystem.h", "objbase.h", "shlobj.h"]


def main():
    if "--" not in sys.argv or len(sys.argv) < 4:
        sys.exit(__doc__.strip().splitlines()[-1])
    split = sys.argv.index("--")
    out_cpp, headers, sources = sys.argv[1], sys.argv[2:split], sys.argv[split + 1:]
    decls = [d for h in headers for d in declarations(h)]
    names = sorted(d[1] for d in decls)
    twice = sorted({n for n in names if names.count(n) > 1})
    if twice:
        sys.exit(f"declared more than once: {', '.join(twice)}")
    stale = sorted(HAND_WRITTEN - set(names))
    if stale:
        sys.exit(f"hand-written but no longer declared: {', '.join(stale)}")
    hand_text = "".join(open(s, encoding="utf-8").read() for s in sources)
    missing = sorted(n for n in HAND_WRITTEN if not re.search(rf"^\S.*\b{n}\(", hand_text, re.M))
    if missing:
        sys.exit(f"skipped but defined in none of the sources: {', '.join(missing)}")
    with open(out_cpp, "w", encoding="utf-8") as f:
        f.write("// Generated by forwarders.py from the ce headers.\n")
        f.write("".join(f"#include <{h}>\n" for h in SYSTEM_HEADERS))
        f.write("\n" + "".join(f'#include "ce/{os.path.basename(h)}"\n' for h in headers))
        f.write('#include "forward.h"\n\nnamespace ce {\n\n')
        for ret, name, params, args in decls:
            if name in HAND_WRITTEN:
                continue
            call = ", ".join([f"&::{name}"] + args)
            body = f"{ret} {name}({params}) {{ return win32::Forward<{ret}>({call}); }}\n"
            f.write(f"#if !defined({name})\n{body}#endif\n" if name in ALIASED else body)
        f.write("\n}  // namespace ce\n")


if __name__ == "__main__":
    main()
