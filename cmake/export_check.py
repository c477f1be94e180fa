#!/usr/bin/env python3
"""A shared library exports exactly the functions a list names.

The system library a module links must export the ce API and nothing else:
a simulation internal in its dynamic symbol table is one a module could bind
to, and one a second copy of the simulation could be mixed up with. Its
defined dynamic symbols (nm -D --defined-only, demangled) are compared by
qualified name with the list api_wrappers.py writes from the ce headers; each
name must be exported once, and nothing else at all.

  export_check.py --library LIB --expected LIST [--nm NM]
Exits 1 naming each extra and missing symbol, 2 on bad usage.
"""
import argparse
import re
import subprocess
import sys
from collections import Counter

# A plain function: its qualified name, then its parameters.
FUNCTION = re.compile(r"^((?:\w+::)*\w+)\((.*)\)$")


def exported(nm, library):
    """The demangled names of the library's defined dynamic symbols."""
    r = subprocess.run([nm, "-D", "--defined-only", "--demangle", library], capture_output=True, text=True)
    if r.returncode != 0:
        raise OSError(f"{nm} failed on {library}: {r.stderr.strip()}")
    names = []
    for line in r.stdout.splitlines():
        parts = line.split(maxsplit=2)  # address, kind, name
        if len(parts) == 3:
            names.append(parts[2])
    return names


def compare(symbols, expected):
    """(extra, missing): symbols beyond the list, with their whole text, and
    listed names not exported exactly once."""
    found = Counter()
    extra = []
    for s in symbols:
        m = FUNCTION.match(s)
        if m and m.group(1) in expected:
            found[m.group(1)] += 1
        else:
            extra.append(s)
    extra += [f"{name} (exported {n} times)" for name, n in sorted(found.items()) if n > 1]
    missing = sorted(name for name in expected if found[name] == 0)
    return sorted(extra), missing


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--library", required=True)
    p.add_argument("--expected", required=True, help="the names the library exports, one a line")
    p.add_argument("--nm", default="nm")
    a = p.parse_args()
    try:
        with open(a.expected, encoding="utf-8") as f:
            expected = {line.strip() for line in f if line.strip()}
        symbols = exported(a.nm, a.library)
    except OSError as e:
        print(f"export check: {e}", file=sys.stderr)
        return 2
    if not expected:
        print(f"export check: {a.expected} names nothing", file=sys.stderr)
        return 2
    extra, missing = compare(symbols, expected)
    for s in extra:
        print(f"export check: {a.library} exports {s}, which is not in {a.expected}", file=sys.stderr)
    for s in missing:
        print(f"export check: {a.library} does not export {s}", file=sys.stderr)
    if extra or missing:
        print(f"export check: {len(extra)} extra, {len(missing)} missing of {len(expected)}", file=sys.stderr)
        return 1
    print(f"export check: {a.library} exports the {len(expected)} listed functions and nothing else")
    return 0


if __name__ == "__main__":
    sys.exit(main())
