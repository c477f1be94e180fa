#!/usr/bin/env python3
"""The layer check fails on each kind of violation planted in a copy of the
tree, naming the place, and passes on the copy as it is.

  layer_check_test.py --root SOURCE_DIR --links BUILD_DIR/layers/links.json
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "layer_check.py")

# (what is planted, file, its text, a text the check must print)
INCLUDE_PLANTS = [
    ("a subsystem reaches another, angle form", "plugin/devices/planted.cpp",
     "#include <terminal/model_table.h>", "plugin/devices/planted.cpp:1: '#include <terminal/model_table.h>' crosses"),
    ("a subsystem reaches another, quoted form", "plugin/devices/planted.cpp",
     '#include "terminal/model_table.h"', "lands in plugin/terminal/model_table.h"),
    ("a subsystem climbs into another", "plugin/devices/planted.cpp",
     '#include "../terminal/model_table.h"', "lands in plugin/terminal/model_table.h"),
    ("a path that goes down and up again", "plugin/devices/planted.cpp",
     "#include <core/../terminal/model_table.h>", "lands in plugin/terminal/model_table.h"),
    ("an include after a comment, over a continued line", "plugin/devices/planted.cpp",
     '/* x */ # include \\\n"terminal/model_table.h"', "planted.cpp:1:"),
    ("an include spelled with a digraph", "plugin/devices/planted.cpp",
     '%:include "terminal/model_table.h"', "lands in plugin/terminal/model_table.h"),
    ("an include through a macro", "plugin/devices/planted.cpp",
     '#define H "terminal/model_table.h"\n#include H', "planted.cpp:2: '#include H' includes through a macro"),
    ("an included fragment", "plugin/devices/planted.inc", '#include "terminal/model_table.h"',
     "plugin/devices/planted.inc:1:"),
    ("core reaches a subsystem", "plugin/core/planted.h", '#include "devices/wlan_service.h"',
     "lands in plugin/devices/wlan_service.h"),
    ("the module names the control API", "plugin/commands/planted.cpp", '#include "ce/sim/control.h"',
     "names the simulation's control API"),
    ("the module climbs to the control API", "plugin/commands/planted.cpp",
     '#include "../../platform/sim/control/include/ce/sim/control.h"', "names the simulation's control API"),
    ("the module reaches the host", "plugin/commands/planted.cpp", '#include "../../host/verbs.h"',
     "lands in host/verbs.h"),
    ("a bare name reaches another folder", "plugin/streams/planted.cpp", '#include "wlan_service.h"',
     "plugin/streams/planted.cpp:1:"),
    ("a bare name reaches the simulation", "plugin/streams/planted.cpp", '#include "terminal.h"',
     "lands in platform/sim/store/terminal.h"),
    ("the shared library reaches the plug-in", "common/planted.cpp", '#include "core/thread.h"',
     "lands in plugin/core/thread.h"),
    ("the contract reaches the system layer", "include/qel/planted.h", '#include "ce/types.h"',
     "lands in platform/include/ce/types.h"),
    ("the text helpers reach the contract", "platform/util/planted.cpp", '#include "qel/value.h"',
     "lands in include/qel/value.h"),
    ("the system layer knows the plug-in", "platform/sim/planted.cpp", '#include "qel/value.h"',
     "platform/sim/planted.cpp:1:"),
    ("the ce API knows the simulation", "platform/include/ce/planted.h", "#include <ce/sim/control.h>",
     "names the simulation's control API"),
    ("conformance tests reach the simulation's inside", "platform/tests/planted_test.cpp", '#include "terminal.h"',
     "lands in platform/sim/store/terminal.h"),
    ("the host reaches plug-in internals", "host/planted.cpp", '#include "core/module_state.h"',
     "lands in plugin/core/module_state.h"),
    ("a test reaches another subsystem", "plugin/devices/planted_test.cpp", '#include "terminal/model_table.h"',
     "lands in plugin/terminal/model_table.h"),
    ("the module uses a library it is not built with", "plugin/terminal/planted.cpp",
     "#include <nlohmann/json.hpp>", "uses a library the module is not built with"),
    ("the module uses a C library header", "plugin/terminal/planted.cpp", "#include <sqlite3.h>",
     "uses a library the module is not built with"),
    ("a path out of the project", "plugin/terminal/planted.cpp", '#include "../../../outside.h"',
     "reaches outside the project"),
    ("a folder without a rule", "plugin/extra/planted.cpp", "int planted;", "no layer rule covers plugin/extra/"),
]

# What must pass: what tests, hidden code and libraries the layers allow.
ALLOWED_PLANTS = [
    ("a test uses the control API and its libraries", "plugin/devices/planted_test.cpp",
     '#include <gtest/gtest.h>\n#include "ce/sim/control.h"\n#include "gtest/gtest.h"'),
    ("what #if 0 hides", "plugin/devices/planted.cpp", '#if 0\n#include "terminal/model_table.h"\n#endif'),
    ("a commented-out include", "plugin/devices/planted.cpp", '// #include "terminal/model_table.h"'),
    ("the module's own libraries", "plugin/core/planted.cpp", "#include <SimpleIni.h>\n#include <vector>"),
]

# (what is planted, change to the link graph, a text the check must print)
LINK_PLANTS = [
    ("a subsystem links another", lambda g: g["qel_devices"].append("qel_terminal"),
     "qel_devices links qel_core, qel_terminal"),
    ("a subsystem links another in a generator expression",
     lambda g: g["qel_devices"].append("$<BUILD_INTERFACE:qel_terminal>"), "qel_devices links qel_core, qel_terminal"),
    ("core links a subsystem", lambda g: g["qel_core"].append("qel_devices"), "qel_core links qel_devices"),
    ("the shared library links the plug-in", lambda g: g["qelcommon"].append("qel_core"),
     "qelcommon links qel_core"),
    ("the system library links the text helpers", lambda g: g["qelce"].append("qelceutil"),
     "qelce links qelceutil"),
    ("the module is built from the control library", lambda g: g["qel_commands"].append("qelsimctl"),
     "the module is built from qelsimctl"),
    ("the control library in a nested generator expression",
     lambda g: g["qel_terminal"].append("$<$<CONFIG:Debug>:$<LINK_ONLY:qelsimctl>>"),
     "the module is built from qelsimctl"),
    ("the module links the simulation beside the system library", lambda g: g["qel_module"].append("qelsim"),
     "the module is built from qelsim (the simulation's internals) through qelsim <- qel_module <- QelHal_HON2"),
    ("the module links the simulation in a generator expression",
     lambda g: g["qel_core"].append("$<LINK_ONLY:qelsim>"), "through qelsim <- qel_core"),
    ("the simulation links the control library", lambda g: g["qelsim"].append("qelsimctl"),
     "qelsim links qelsimctl"),
    ("a library linked as a file", lambda g: g["qel_streams"].append("/tmp/libqelsimctl.a"),
     "links '/tmp/libqelsimctl.a', a file or flag"),
    ("a library linked as a flag", lambda g: g["qel_streams"].append("-lqelsimctl"), "links '-lqelsimctl'"),
    ("a subsystem missing", lambda g: g.pop("qel_foundation"), "qel_foundation is missing"),
]


def run(root, links):
    r = subprocess.run([sys.executable, CHECK, "--root", root, "--links", links], capture_output=True, text=True)
    return r.returncode, r.stderr


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--links", required=True)
    a = p.parse_args()
    with open(a.links) as f:
        graph = json.load(f)
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        tree = os.path.join(tmp, "tree")
        shutil.copytree(a.root, tree, ignore=shutil.ignore_patterns("build", ".git", "corpus", "profiles"))
        links = os.path.join(tmp, "links.json")

        def write_links(g):
            with open(links, "w") as f:
                json.dump(g, f)

        write_links(graph)
        status, text = run(tree, links)
        if status != 0:
            failures.append(f"the unchanged copy fails the check:\n{text}")
        def planted(rel, text):
            path = os.path.join(tree, rel)
            made = not os.path.exists(os.path.dirname(path))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text + "\n")
            status, out = run(tree, links)
            os.remove(path)
            if made:
                os.rmdir(os.path.dirname(path))
            return status, out

        for what, rel, text, expected in INCLUDE_PLANTS:
            status, out = planted(rel, text)
            if status != 1 or expected not in out:
                failures.append(f"{what}: status {status}, expected 1 and '{expected}' in:\n{out}")
        for what, rel, text in ALLOWED_PLANTS:
            status, out = planted(rel, text)
            if status != 0:
                failures.append(f"{what}: status {status}, expected 0:\n{out}")
        for what, plant, expected in LINK_PLANTS:
            g = json.loads(json.dumps(graph))
            plant(g)
            write_links(g)
            status, text = run(tree, links)
            if status != 1 or expected not in text:
                failures.append(f"{what}: status {status}, expected 1 and '{expected}' in:\n{text}")
    for f in failures:
        print(f"FAILED: {f}", file=sys.stderr)
    total = len(INCLUDE_PLANTS) + len(ALLOWED_PLANTS) + len(LINK_PLANTS) + 1
    print(f"{total - len(failures)} of {total} cases as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
