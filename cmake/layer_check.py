#!/usr/bin/env python3
"""The layers of the source tree, checked on every build and as a test.

Every folder with sources has a rule (the deepest rule whose folder holds the
file applies; a folder without one is an error, so a new folder must say where
it stands). A rule names the project roots its includes may reach, in either
form ("core/x.h" or <core/x.h>), whether it may name the simulation (ce/sim),
where headers named without a folder may come from, and, for what the module
is built from, that outside the project it includes nothing but the standard
library and the few libraries listed. Tests (*_test.cpp) may also reach the
simulation, the test support headers and the test libraries.

The link graph CMake wrote at configure time (--links) is checked too: each
plug-in subsystem links qel_core alone among the project's libraries, and
nothing the module is built from links the simulation's control library.

  layer_check.py --root SOURCE_DIR --links BUILD_DIR/layers/links.json
Exits 1 naming each violation, 2 on bad usage.
"""
import argparse
import json
import os
import re
import sys
from dataclasses import dataclass, field

SUBSYSTEMS = ("devices", "terminal", "commands", "streams", "foundation")
SHARED = {"qel", "qelcommon", "ce", "ceutil"}
# Folder names that are project roots when they start an include path.
PROJECT_ROOTS = SHARED | {"core", "module", *SUBSYSTEMS}
TEST_LIBRARIES = {"gtest", "gmock", "nlohmann"}
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
SKIPPED = {"build", ".git", "corpus"}


@dataclass
class Rule:
    folder: str
    roots: set  # project roots an include may start with
    simulation: bool = False  # may name ce/sim outside tests
    bare_from: tuple = ()  # folders a header named without a folder may come from, beside the file's own
    libraries: set = None  # outside the project: None for anything, else these beside the standard library
    tests_bare_from: tuple = ("tests/support", "platform/tests")
    generated: set = field(default_factory=set)  # headers the build writes


MODULE_LIBRARIES = {"SimpleIni.h", "windows.h", "guiddef.h"}
RULES = [
    Rule("include/qel", {"qel"}, libraries=MODULE_LIBRARIES),
    Rule("common", SHARED, libraries=MODULE_LIBRARIES),
    Rule("platform/include", {"ce"}, libraries=MODULE_LIBRARIES),
    Rule("platform/util", {"ce", "ceutil"}, libraries=MODULE_LIBRARIES),
    # The simulation knows the ce API and itself, never the plug-in.
    Rule("platform/sim", {"ce"}, simulation=True, generated={"api.h"}),
    Rule("platform/sim/control", {"ce"}, simulation=True, bare_from=("platform/sim",), generated={"api.h"}),
    Rule("platform/sim/tools", set()),
    # Conformance tests use the ce API alone; their main makes the terminal.
    Rule("platform/tests", {"ce", "ceutil"}),
    Rule("plugin/core", SHARED | {"core"}, libraries=MODULE_LIBRARIES),
    *[Rule(f"plugin/{s}", SHARED | {"core", s}, libraries=MODULE_LIBRARIES) for s in SUBSYSTEMS],
    Rule("plugin/module", SHARED | {"core", "module", *SUBSYSTEMS}, libraries=MODULE_LIBRARIES),
    # The host sees the contract, the shared library, the system layer with the
    # simulation's control API, and the foundation's objects; never the rest of the plug-in.
    Rule("host", SHARED | {"foundation"}, simulation=True),
    Rule("tests", SHARED, simulation=True, bare_from=("tests/support", "host")),
    # Harnesses may reach anything they measure or feed.
    Rule("bench", PROJECT_ROOTS, simulation=True, bare_from=("host", "platform/sim")),
    Rule("fuzz", PROJECT_ROOTS, simulation=True, bare_from=("host", "platform/sim"), generated={"api.h"}),
]

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def rule_for(rel_dir):
    best = None
    for rule in RULES:
        if rel_dir == rule.folder or rel_dir.startswith(rule.folder + "/"):
            if best is None or len(rule.folder) > len(best.folder):
                best = rule
    return best


def check_include(root, rel, rule, form, name, is_test):
    """The reason this include crosses a layer, or None."""
    if "/" in name:
        top = name.split("/", 1)[0]
        if name.startswith("ce/sim/"):
            if rule.simulation or is_test:
                return None
            return f"names the simulation, which {rule.folder} must not know"
        if top in PROJECT_ROOTS:
            if top in rule.roots or (is_test and top == "ceutil"):  # tests may use the text helpers
                return None
            return f"crosses a layer ({rule.folder} may include {', '.join(sorted(rule.roots)) or 'no project root'})"
        if form == '"' and os.path.exists(os.path.join(root, os.path.dirname(rel), name)):
            return None  # a path below the file's own folder
        if form == '"':
            return f"names {top}/, which is no layer {rule.folder} may reach"
        if rule.libraries is None or (is_test and top in TEST_LIBRARIES):
            return None
        return f"uses a library the module is not built with ({rule.folder} may use the standard library" + (
            f", {', '.join(sorted(rule.libraries))}" if rule.libraries else "") + ")"
    # A header named without a folder.
    own = os.path.dirname(rel)
    places = [own, *rule.bare_from, *(rule.tests_bare_from if is_test else ())]
    if form == '"':
        if name in rule.generated or any(os.path.isfile(os.path.join(root, p, name)) for p in places):
            return None
        return f"reaches a header outside {rule.folder} (a header named without a folder must be " \
               f"in {', '.join(places)})"
    if rule.libraries is None or is_test or "." not in name or name in rule.libraries:
        return None  # the standard library, or a library this layer is built with
    return f"uses a library the module is not built with ({rule.folder} may use the standard library, " \
           f"{', '.join(sorted(rule.libraries))})"


def check_includes(root):
    problems = []
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = sorted(d for d in dirnames if d not in SKIPPED)
        for f in sorted(filenames):
            if not f.endswith(SOURCE_SUFFIXES):
                continue
            rel = os.path.relpath(os.path.join(dirpath, f), root)
            rule = rule_for(os.path.dirname(rel))
            if rule is None:
                problems.append(f"{rel}: no layer rule covers {os.path.dirname(rel) or '.'}/ (add one to {__file__})")
                continue
            is_test = f.endswith("_test.cpp") or rule.folder in ("tests", "platform/tests")
            with open(os.path.join(dirpath, f), encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    form, name = m.groups()
                    why = check_include(root, rel, rule, form, name, is_test)
                    if why:
                        problems.append(f"{rel}:{number}: '{line.strip()}' {why}")
    return problems


CONTROL = {"qelsimctl", "qel_profiles"}
MODULE = "QelHal_HON2"


def check_links(graph):
    problems = []
    project = set(graph)

    def deps(target):
        return sorted({d for d in graph.get(target, []) if d in project})

    for s in SUBSYSTEMS:
        t = f"qel_{s}"
        if t not in graph:
            problems.append(f"links: {t} is missing from the link graph")
        elif deps(t) != ["qel_core"]:
            problems.append(f"links: {t} links {', '.join(deps(t)) or 'nothing'}; a subsystem links qel_core alone")
    allowed = {"qel_core": {"qelcommon", "qelceutil", "qelce"}, "qelcommon": {"qelce"},
               "qelceutil": {"qelce"}, "qelce": set()}
    for t, ok in allowed.items():
        extra = [d for d in deps(t) if d not in ok]
        if extra:
            problems.append(f"links: {t} links {', '.join(extra)}, beneath it in no layer")
    # Everything the module is built from, and what that links in turn.
    seen, stack, via = set(), [MODULE], {MODULE: None}
    while stack:
        t = stack.pop()
        for d in deps(t):
            if d not in seen:
                seen.add(d)
                via[d] = t
                stack.append(d)
    for c in sorted(CONTROL & seen):
        chain, t = [c], c
        while via.get(t):
            t = via[t]
            chain.append(t)
        problems.append(f"links: the module is built from {c} (the simulation's control library) through "
                        + " <- ".join(chain))
    return problems


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--root", required=True)
    p.add_argument("--links", help="the link graph CMake wrote (target -> libraries it links)")
    a = p.parse_args()
    problems = check_includes(a.root)
    if a.links:
        try:
            with open(a.links) as f:
                graph = json.load(f)
        except (OSError, ValueError) as e:
            print(f"layer check: cannot read the link graph {a.links}: {e}", file=sys.stderr)
            return 2
        problems += check_links(graph)
    for line in problems:
        print(f"layer check: {line}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
