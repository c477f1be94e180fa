#!/usr/bin/env python3
"""A Windows build of the module is the DLL a host expects.

Reads the image with the cross binutils' objdump -p and checks that it is a
DLL for the given machine, exports exactly the six entry points by their
plain names, imports only the system's own libraries (the C++ runtime is
linked in), at load time or delay-loaded, and carries the version resource of
the resource script; the last two are read independently with pefile.

  pe_image_check.py --image FILE --machine i386|x86-64 --objdump OBJDUMP --version X.Y.Z.W
Exits 1 naming every difference, 2 on bad usage.
"""
import argparse
import os
import re
import subprocess
import sys

EXPORTS = {"Register", "RegisterService", "UnRegister", "GetESN", "GetUSN", "GetQELPlatform"}
# The system's own libraries on desktop Windows (a terminal has these calls in
# coredll.dll); anything else would have to be shipped beside the module.
SYSTEM_LIBRARIES = {"kernel32.dll", "advapi32.dll", "user32.dll", "ws2_32.dll", "winmm.dll", "version.dll",
                    "ole32.dll", "msvcrt.dll", "shell32.dll", "iphlpapi.dll", "gdi32.dll", "coredll.dll"}


def objdump(tool, image):
    r = subprocess.run([tool, "-p", image], capture_output=True, text=True)
    if r.returncode != 0:
        raise OSError(f"{tool} -p {image}: {r.stderr.strip()}")
    return r.stdout


def exported_names(dump):
    """Names of the export table's name pointer table."""
    names, inside = [], False
    for line in dump.splitlines():
        if "[Ordinal/Name Pointer] Table" in line:
            inside = True
            continue
        if inside:
            m = re.match(r"\s*\[\s*\d+\]\s+(\S+)", line)
            if not m:
                break
            names.append(m.group(1))
    return names


def address_entries(dump):
    """The export address table's entries: (ordinal, kind) with kind "Export"
    or "Forwarder"; an entry without a name is reachable by number alone."""
    entries, inside = [], False
    for line in dump.splitlines():
        if line.startswith("Export Address Table -- Ordinal Base"):
            inside = True
            continue
        if inside:
            m = re.match(r"\s*\[\s*\d+\]\s+\+base\[\s*(\d+)\]\s+\S+\s+(Export|Forwarder) RVA", line)
            if not m:
                break
            entries.append((int(m.group(1)), m.group(2)))
    return entries


def problems(dump, machine, version_info, delayed, version):
    found = []
    fmt = re.search(r"file format (\S+)", dump)
    expected_format = {"i386": "pei-i386", "x86-64": "pei-x86-64"}[machine]
    if not fmt or fmt.group(1) != expected_format:
        found.append(f"file format {fmt.group(1) if fmt else '?'}, expected {expected_format}")
    if not re.search(r"^Characteristics .*\n(?:\t.*\n)*\tDLL", dump, re.M):
        found.append("not marked as a DLL")
    names = exported_names(dump)
    if sorted(names) != sorted(EXPORTS):
        extra = sorted(set(names) - EXPORTS)
        missing = sorted(EXPORTS - set(names))
        twice = sorted({n for n in names if names.count(n) > 1})
        found.append(f"exports differ: extra {extra}, missing {missing}, twice {twice}")
    entries = address_entries(dump)
    if len(entries) != len(EXPORTS):
        found.append(f"{len(entries)} entries in the export address table, expected {len(EXPORTS)}: "
                     "an entry without a name is still reachable by its number")
    forwarded = [ordinal for ordinal, kind in entries if kind == "Forwarder"]
    if forwarded:
        found.append(f"exports forwarded to another library: ordinals {forwarded}")
    imports = {m.lower() for m in re.findall(r"^\s*DLL Name: (\S+)", dump, re.M)}
    if imports - SYSTEM_LIBRARIES:
        found.append(f"imports libraries a system does not have: {sorted(imports - SYSTEM_LIBRARIES)}")
    if delayed - SYSTEM_LIBRARIES:
        found.append(f"delay-loads libraries a system does not have: {sorted(delayed - SYSTEM_LIBRARIES)}")
    if version_info is None:
        found.append("no version resource")
    else:
        for key, want in (("FileVersion", version), ("OriginalFilename", "QelHal_HON2.mpi")):
            if version_info.get(key) != want:
                found.append(f"version resource {key} is {version_info.get(key)!r}, expected {want!r}")
    return found


def pefile_facts(image):
    """The version resource's strings (None without one), the names of the
    delay-loaded libraries, which objdump does not list, and what would keep
    the system from calling the guarded call's handler."""
    import pefile  # Debian's python3-pefile
    pe = pefile.PE(image)
    strings = {}
    for info in getattr(pe, "FileInfo", None) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    delayed = {d.dll.decode().lower() for d in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])}
    return strings or None, delayed | unlisted_delay_imports(pe), seh_problems(pe)


def unlisted_delay_imports(pe):
    """GNU ld leaves the delay-import directory empty: the descriptors sit in
    the image unlisted (dlltool's go with the code). Each is eight 32-bit
    words: 1 (addresses are relative), the library's name, its module handle
    (in data the loader writes), its address table and its name table."""
    import struct
    size = pe.OPTIONAL_HEADER.SizeOfImage
    writable = [(s.VirtualAddress, s.VirtualAddress + max(s.Misc_VirtualSize, s.SizeOfRawData))
                for s in pe.sections if s.Characteristics & 0x80000000]
    found = set()
    for section in pe.sections:
        data = section.get_data()
        for at in range(0, len(data) - 31, 4):
            attrs, name, hmod, iat, int_ = struct.unpack_from("<5I", data, at)
            if attrs != 1 or not all(0 < rva < size for rva in (name, hmod, iat, int_)):
                continue
            if not any(lo <= hmod < hi for lo, hi in writable):
                continue
            text = pe.get_string_at_rva(name, 260) or b""
            if re.fullmatch(rb"[\x21-\x7e]+", text) and not re.search(rb"[\\/:*?\"<>|]", text):
                found.add(text.decode().lower())
    return found


def seh_problems(pe):
    """The guarded call keeps its handler on the thread's chain (x86): an image
    marked as using no handlers, or with a table of the only handlers allowed,
    would have the system refuse it."""
    found = []
    if pe.FILE_HEADER.Machine != 0x14C:
        return found
    if pe.OPTIONAL_HEADER.DllCharacteristics & 0x400:
        found.append("marked NO_SEH: the guarded call's handler would be refused")
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is not None and getattr(config.struct, "SEHandlerCount", 0):
        found.append("carries a table of safe handlers without the guarded call's")
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--image", required=True)
    ap.add_argument("--machine", required=True, choices=["i386", "x86-64"])
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--version", required=True)
    a = ap.parse_args()
    if not os.path.isfile(a.image):
        print(f"{a.image}: no such file")
        return 1
    strings, delayed, seh = pefile_facts(a.image)
    found = problems(objdump(a.objdump, a.image), a.machine, strings, delayed, a.version) + seh
    for p in found:
        print(f"{a.image}: {p}")
    if found:
        return 1
    print(f"{a.image}: a {a.machine} DLL exporting exactly {', '.join(sorted(EXPORTS))}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
