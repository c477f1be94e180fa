#!/usr/bin/env python3
"""qelhost.exe props --json under wine64, held against the system it ran on.

Every property the module's table declares must appear, in its order; the
ones a desktop Windows answers must carry the values this Wine prefix's
system gives system_facts.exe, which asks the same calls directly; the ones
that need what only a terminal has must fail, as on a terminal without it.
"""
import argparse
import json
import re
import subprocess
import sys


def declared_properties(tables_cpp):
    """The names of the property table, in its order (the command table is another)."""
    with open(tables_cpp, encoding="utf-8") as f:
        table = re.search(r"kProperties\[\] = \{(.*?)\n\};", f.read(), re.S)
    return re.findall(r'\{u"([A-Z0-9_]+)",\s*G::', table.group(1)) if table else []


def run(wine, program, *args):
    done = subprocess.run([wine, program, *args], capture_output=True, text=True, timeout=600)
    return done.returncode, done.stdout, done.stderr


def number(reading, kind):
    if not reading.get("ok") or reading.get("kind") != kind:
        raise ValueError(f"expected a {kind}, got {reading}")
    return int(reading["text"])


def within(value, reference, slack):
    return abs(value - reference) <= slack


# name -> what the property must hold, given the system's facts before and
# after the run; returns what was wrong, or None.
def real_value_checks():
    def os_version(r, before, after):
        if not before["version_known"]:
            return "the reference could not read the version"
        want = f"CE{before['major']}{before['minor'] // 10}"
        return None if r.get("ok") and r.get("text") == want else f"expected {want!r}, got {r}"

    # The properties are 32-bit numbers, as on the device: more memory than
    # that reads as the largest.
    def memory_total(r, before, after):
        got, want = number(r, "UInt32"), min(before["total_phys"], 0xFFFFFFFF)
        return None if got == want else f"expected {want}, got {got}"

    def memory_free(r, before, after):
        got, most = number(r, "UInt32"), min(before["total_phys"], 0xFFFFFFFF)
        return None if 0 < got <= most else f"expected 1 to {most}, got {got}"

    def disk_free(r, before, after):
        if not before["disk_known"]:
            return "the reference could not read the free space"
        got = number(r, "UInt64")
        slack = max(256 << 20, before["disk_available"] // 20)  # other builds write beside this one
        return None if within(got, before["disk_available"], slack) else \
            f"expected about {before['disk_available']}, got {got}"

    def up_time(r, before, after):
        got = number(r, "UInt32")
        ok = before["tick_count"] <= got <= after["tick_count"]
        return None if ok else f"expected {before['tick_count']} to {after['tick_count']}, got {got}"

    return {
        "SYS_OS_VER": os_version,
        "SYS_MEM_TOTAL": memory_total,
        "SYS_MEM_HEAP_SPACE": memory_free,
        "SYS_DISK_FREE_SPACE": disk_free,
        "SYS_DEVICE_UP_TIME": up_time,
    }


# What a desktop Windows lacks, and the properties that read through it.
LACKING = {
    "vendor battery library": ["BATT_CHARGE_CYCLES", "BATT_SERIAL_NUMBER", "BATT_STATE_HEALTH",
                               "BATT_CHEM_TYPE", "BATT_DATE"],
    "Bluetooth stack (btdrt.dll)": ["BLUETOOTH_MAC"],
    "OEM text (SPI_GETOEMINFO)": ["SYS_OEM_PLATFORM", "SYS_DEVICE_MODEL", "SYS_MANUFACTURER"],
    "platform type (SPI_GETPLATFORMTYPE)": ["SYS_OS_TYPE"],
    "device identity key (HKEY_LOCAL_MACHINE\\Ident)": ["SYS_ID_NAME", "SYS_ID_DESC"],
}


def bad_module_faults(wine, qelhost, folder):
    """A module file that is no loadable DLL: a clear error, status 2, nothing run."""
    import os
    text = os.path.join(folder, "not-a-dll.mpi")
    with open(text, "w", encoding="utf-8") as f:
        f.write("MZ but no more than that\n")
    cases = [
        (text, "cannot be loaded"),
        (os.path.join(folder, "absent.mpi"), "no such module file"),
        (folder, "no such module file (a folder)"),
    ]
    faults = []
    for path, said in cases:
        status, out, err = run(wine, qelhost, "--plugin", path, "props", "--json")
        if status != 2 or said not in err or "%1" in err or out.strip():
            faults.append(f"--plugin {path}: expected status 2 and '{said}', got {status}: {err.strip()!r} "
                          f"with output {out[:200]!r}")
    return faults


def file_info_faults(wine, qelhost):
    """file-info of a file the system has, and of one it lacks: the system's
    error number, not one a later call left behind."""
    faults = []
    status, out, err = run(wine, qelhost, "file-info", "C:\\windows\\notepad.exe", "--json")
    if status != 0 or json.loads(out or "{}").get("size", 0) <= 0:
        faults.append(f"file-info of notepad.exe: status {status}, {out.strip()!r} {err.strip()!r}")
    status, out, err = run(wine, qelhost, "file-info", "C:\\windows\\no-such-file.exe")
    if status == 0 or "cannot be opened (error 2)" not in err:
        faults.append(f"file-info of a missing file: expected error 2, got status {status}: {err.strip()!r}")
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--qelhost", required=True)
    parser.add_argument("--facts", required=True)
    parser.add_argument("--tables", required=True)
    parser.add_argument("--scratch", required=True, help="a folder for the files of the bad-module cases")
    a = parser.parse_args()

    faults = []
    declared = declared_properties(a.tables)
    if len(declared) < 10:
        sys.exit(f"only {len(declared)} properties found in {a.tables}: the table's form has changed")

    def facts():
        status, out, err = run(a.wine, a.facts)
        if status != 0:
            sys.exit(f"system_facts.exe failed ({status}): {err}")
        return json.loads(out)

    before = facts()
    status, out, err = run(a.wine, a.qelhost, "props", "--json")
    after = facts()
    if status != 0:
        faults.append(f"qelhost.exe props --json ended with status {status}: {err.strip()}")
    try:
        readings = json.loads(out)
    except json.JSONDecodeError as e:
        sys.exit(f"the output is not JSON ({e}):\n{out[:2000]}\n{err[:2000]}")

    names = [r.get("name") for r in readings]
    if names != declared:
        missing = [n for n in declared if n not in names]
        extra = [n for n in names if n not in declared]
        faults.append(f"the properties differ from the module's table: missing {missing}, extra {extra}"
                      + ("" if missing or extra else ", or out of order"))
    by_name = {r.get("name"): r for r in readings}
    for r in readings:
        if not isinstance(r.get("ok"), bool) or (r["ok"] and not isinstance(r.get("text"), str)):
            faults.append(f"malformed reading {r}")

    for name, check in real_value_checks().items():
        try:
            why = check(by_name.get(name, {}), before, after)
        except (ValueError, KeyError) as e:
            why = str(e)
        if why:
            faults.append(f"{name}: {why}")

    for lack, props in LACKING.items():
        for name in props:
            if by_name.get(name, {}).get("ok", True):
                faults.append(f"{name} answered {by_name.get(name)}, though Windows has no {lack}")

    faults += bad_module_faults(a.wine, a.qelhost, a.scratch)
    faults += file_info_faults(a.wine, a.qelhost)

    answered = sum(1 for r in readings if r.get("ok"))
    print(f"{len(readings)} properties, {answered} answered, {len(readings) - answered} failed")
    for f in faults:
        print("FAULT:", f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
