#!/usr/bin/env python3
"""The layers of the source tree, checked on every build and as a test.

Every folder with sources has a rule (the deepest rule whose folder holds the
file applies; a folder without one is an error, so a new folder must say where
it stands). An include, in either form and however it is spelled ("x.h",
<core/x.h>, "../terminal/x.h", after a comment, over a continued line), is
followed to the file it names, the way the compiler finds it: beside the
including file, then in the project's include folders. The folder it lands in
must be one the rule allows. A header the project does not hold is a library:
what the module is built from uses none but the standard library and the few
listed. An include through a macro cannot be followed and is refused. Tests
(*_test.cpp) may also reach the simulation's control API and the test support.

The link graph CMake wrote at configure time (--links) is checked too: each
plug-in subsystem links qel_core alone among the project's libraries;
nothing the module is built from links the simulation's control library, and
the simulation itself (qelsim) only as the system library (qelce) links it;
generator expressions are looked into, and a project library may link only
targets, never a file or a -l flag the graph cannot follow.

  layer_check.py --root SOURCE_DIR [--links BUILD_DIR/layers/links.json]
Exits 1 naming each violation, 2 on bad usage.
"""
import argparse
import json
import os
import re
import sys
from dataclasses import dataclass, field

SUBSYSTEMS = ("devices", "terminal", "commands", "streams", "foundation")
SOURCE_SUFFIXES = (".h", ".hh", ".hpp", ".hxx", ".inc", ".inl", ".ipp", ".c", ".cc", ".cpp", ".cxx")
SKIPPED = {"build", ".git", "corpus"}

# Where the compiler looks for a header after the including file's own folder.
INCLUDE_ROOTS = ["include", "common/include", "platform/include", "platform/util", "plugin",
                 "platform/sim/control/include", "host", "tests/support"]
# The simulation's folders, each searched for its headers as the build does.
INCLUDE_ROOTS += [f"platform/sim/{layer}"
                  for layer in ("base", "kernel", "store", "image", "api", "devices", "devices/vendor", "programs")]

# Folders a rule may allow, by what they are.
CONTRACT = "include/qel"
COMMON = "common"
CE = "platform/include/ce"
CEUTIL = "platform/util"
DEVICE_TEXT = "platform/util/device"  # the device's text and sound-file rules, which both backends build on
CONTROL_API = "platform/sim/control/include/ce/sim"
SIMULATION = "platform/sim"
SHARED = (CONTRACT, COMMON, CE, CEUTIL)
TEST_REACH = (CONTROL_API, CEUTIL, "tests/support", "platform/tests")
MODULE_LIBRARIES = {"SimpleIni.h", "winsock2.h", "windows.h", "guiddef.h"}
TEST_LIBRARIES = {"gtest", "gmock", "nlohmann"}


@dataclass
class Rule:
    folder: str
    reach: tuple  # folders (and everything below them) its includes may land in, beside its own
    libraries: set = None  # outside the project: None for anything, else these beside the standard library
    generated: set = field(default_factory=set)  # headers the build writes


RULES = [
    Rule("include/qel", (), MODULE_LIBRARIES),
    Rule("common", SHARED, MODULE_LIBRARIES),
    Rule("platform/include", (CE,), MODULE_LIBRARIES),
    Rule("platform/util", (CE,), MODULE_LIBRARIES),
    Rule("platform/util/device", (), MODULE_LIBRARIES),
    # The simulation knows the ce API and itself, never the plug-in.
    Rule("platform/sim", (CE, DEVICE_TEXT), generated={"api.h"}),
    Rule("platform/sim/control", (CE, DEVICE_TEXT, SIMULATION), generated={"api.h"}),
    Rule("platform/sim/tools", ()),
    # The Windows backend: the ce API over the system's own, nothing else.
    Rule("platform/win32", (CE, DEVICE_TEXT), generated={"forwarders.h"}),
    # Conformance tests use the ce API alone; their main makes the terminal.
    Rule("platform/tests", (CE, CEUTIL)),
    Rule("plugin/core", SHARED, MODULE_LIBRARIES),
    *[Rule(f"plugin/{s}", SHARED + ("plugin/core",), MODULE_LIBRARIES) for s in SUBSYSTEMS],
    Rule("plugin/module", SHARED + ("plugin/core",) + tuple(f"plugin/{s}" for s in SUBSYSTEMS), MODULE_LIBRARIES),
    # The host sees the contract, the shared library, the system layer with the
    # simulation's control API, and the foundation's objects; never the rest of the plug-in.
    Rule("host", SHARED + (CONTROL_API, "plugin/foundation")),
    Rule("tests", SHARED + (CONTROL_API, "host")),
    # Harnesses may reach anything they measure or feed.
    Rule("bench", ("",)),
    Rule("fuzz", ("",), generated={"api.h"}),
]

DIRECTIVE = re.compile(r"^\s*(?:#|%:)\s*(include|include_next|import)\b\s*(.*)$")
IF_ZERO = re.compile(r"^\s*(?:#|%:)\s*if\s+0\b")
CONDITIONAL_START = re.compile(r"^\s*(?:#|%:)\s*if")
CONDITIONAL_END = re.compile(r"^\s*(?:#|%:)\s*endif\b")
BLOCK_COMMENT = re.compile(r"/\*.*?\*/", re.S)


def rule_for(rel_dir):
    best = None
    for rule in RULES:
        if rel_dir == rule.folder or rel_dir.startswith(rule.folder + "/"):
            if best is None or len(rule.folder) > len(best.folder):
                best = rule
    return best


def below(path, folder):
    return folder == "" or path == folder or path.startswith(folder + "/")


def logical_lines(text):
    """(line number, text) of each line as the preprocessor sees it: comments
    gone, continued lines joined, and what #if 0 hides left out."""
    text = BLOCK_COMMENT.sub(lambda m: " " + "\n" * m.group(0).count("\n"), text)
    lines, number, pending, start = [], 0, "", 0
    for raw in text.split("\n"):
        number += 1
        raw = raw.rstrip("\r")
        if not pending:
            start = number
        if raw.endswith("\\"):
            pending += raw[:-1]
            continue
        line = pending + raw
        pending = ""
        cut = line.find("//")
        if cut >= 0 and '"' not in line[:cut]:
            line = line[:cut]
        lines.append((start, line))
    out, hidden = [], 0
    for number, line in lines:
        if hidden:
            if CONDITIONAL_START.match(line):
                hidden += 1
            elif CONDITIONAL_END.match(line):
                hidden -= 1
            continue
        if IF_ZERO.match(line):
            hidden = 1
            continue
        out.append((number, line))
    return out


def resolve(root, rel, form, name):
    """The file an include names, relative to root ('..' and all resolved), or
    None when the project holds no such file. A path that climbs out of the
    project is returned as it lands, starting with '..'."""
    places = ([os.path.dirname(rel)] if form == '"' else []) + INCLUDE_ROOTS
    for place in places:
        candidate = os.path.normpath(os.path.join(place, name))
        if candidate.startswith(".."):
            return candidate
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def check_include(root, rel, rule, form, name, is_test):
    """The reason this include crosses a layer, or None."""
    if name in rule.generated:
        return None
    target = resolve(root, rel, form, name)
    if target is None:  # a library
        top = name.split("/", 1)[0]
        if rule.libraries is None or (is_test and (top in TEST_LIBRARIES or "/" not in name)):
            return None
        if "/" not in name and ("." not in name or name in rule.libraries):
            return None  # the standard library, or a library this layer is built with
        return f"uses a library the module is not built with ({rule.folder} may use the standard library, " \
               f"{', '.join(sorted(rule.libraries))})"
    if target.startswith(".."):
        return "reaches outside the project"
    reach = (rule.folder,) + rule.reach + (TEST_REACH if is_test else ())
    if any(below(os.path.dirname(target), folder) for folder in reach):
        return None
    if below(os.path.dirname(target), CONTROL_API):
        return f"names the simulation's control API, which {rule.folder} must not know (it lands in {target})"
    return f"crosses a layer: it lands in {target}, and {rule.folder} may reach " \
           f"{', '.join(f or 'anything' for f in rule.reach) or 'only its own folder'}"


def source_files(root):
    for dirpath, dirnames, filenames in os.walk(root):
        # Build folders of any name (a CMake cache marks them) hold no sources.
        if "CMakeCache.txt" in filenames:
            dirnames[:] = []
            continue
        dirnames[:] = sorted(d for d in dirnames if d not in SKIPPED)
        for f in sorted(filenames):
            path = os.path.join(dirpath, f)
            if f.endswith(SOURCE_SUFFIXES) and os.path.isfile(path):  # not a dangling link
                yield os.path.relpath(path, root)


def check_includes(root):
    problems, count = [], 0
    for rel in source_files(root):
        count += 1
        rule = rule_for(os.path.dirname(rel))
        if rule is None:
            problems.append(f"{rel}: no layer rule covers {os.path.dirname(rel) or '.'}/ (add one to {__file__})")
            continue
        is_test = os.path.basename(rel).endswith("_test.cpp") or rule.folder in ("tests", "platform/tests")
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for number, line in logical_lines(text):
            m = DIRECTIVE.match(line)
            if not m:
                continue
            spelled = m.group(2).strip()
            named = re.match(r'^(<)([^>]*)>|^(")([^"]*)"', spelled)
            if not named:
                problems.append(f"{rel}:{number}: '{line.strip()}' includes through a macro or an odd form, "
                                "which the layer check cannot follow; name the header")
                continue
            form, name = (named.group(1), named.group(2)) if named.group(1) else (named.group(3), named.group(4))
            why = check_include(root, rel, rule, form, name, is_test)
            if why:
                problems.append(f"{rel}:{number}: '{line.strip()}' {why}")
    return problems, count


CONTROL = {"qelsimctl", "qel_profiles"}
MODULE = "QelHal_HON2"
SYSTEM = "qelce"  # the system library: exports the ce API alone
SIMULATION_LIB = "qelsim"  # the simulation's internals, behind the system library
GENEX_NAME = re.compile(r"[A-Za-z0-9_.+-]+")
FILE_OR_FLAG = re.compile(r"(^-l|\.a$|\.so(\.|$)|/)")


def check_links(graph):
    problems = []
    project = set(graph)

    def deps(target):
        found = set()
        for entry in graph.get(target, []):
            if entry.startswith("-Wl,"):
                continue
            if "$<" in entry:  # every name a generator expression may yield
                found |= {n for n in GENEX_NAME.findall(entry) if n in project}
            elif entry in project:
                found.add(entry)
        return sorted(found)

    # Project libraries link targets only: a file or -l flag hides what it is.
    for t in sorted(project):
        for entry in graph[t]:
            if not entry.startswith("-Wl,") and FILE_OR_FLAG.search(entry) and "$<" not in entry:
                problems.append(f"links: {t} links '{entry}', a file or flag the layer check cannot follow; "
                                "link the target")
    for s in SUBSYSTEMS:
        t = f"qel_{s}"
        if t not in graph:
            problems.append(f"links: {t} is missing from the link graph")
        elif deps(t) != ["qel_core"]:
            problems.append(f"links: {t} links {', '.join(deps(t)) or 'nothing'}; a subsystem links qel_core alone")
    allowed = {"qel_core": {"qelcommon", "qelceutil", "qelce"}, "qelcommon": {"qelce"},
               "qelceutil": {"qelce"}, SYSTEM: {SIMULATION_LIB, "qeldevicerules"},
               SIMULATION_LIB: {"qeldevicerules"}, "qeldevicerules": set()}
    for t, ok in allowed.items():
        extra = [d for d in deps(t) if d not in ok]
        if extra:
            problems.append(f"links: {t} links {', '.join(extra)}, beneath it in no layer")
    # Everything the module is built from, and what that links in turn.
    seen, stack, via, direct = set(), [MODULE], {MODULE: None}, set()
    while stack:
        t = stack.pop()
        for d in deps(t):
            if d == SIMULATION_LIB and t != SYSTEM:
                direct.add(t)
            if d not in seen:
                seen.add(d)
                via[d] = t
                stack.append(d)

    def chain(t):
        found = [t]
        while via.get(t):
            t = via[t]
            found.append(t)
        return " <- ".join(found)

    for c in sorted(CONTROL & seen):
        problems.append(f"links: the module is built from {c} (the simulation's control library) through {chain(c)}")
    for t in sorted(direct):
        problems.append(f"links: the module is built from {SIMULATION_LIB} (the simulation's internals) through "
                        f"{SIMULATION_LIB} <- {chain(t)}; the module reaches the simulation through {SYSTEM} alone")
    return problems


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--root", required=True)
    p.add_argument("--links", help="the link graph CMake wrote (target -> libraries it links)")
    a = p.parse_args()
    if not os.path.isdir(a.root):
        print(f"layer check: {a.root} is not a folder", file=sys.stderr)
        return 2
    problems, count = check_includes(a.root)
    if count == 0:
        print(f"layer check: {a.root} holds no sources", file=sys.stderr)
        return 2
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
