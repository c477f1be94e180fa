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

# (what is planted, file, the line added, a text the check must print)
INCLUDE_PLANTS = [
    ("a subsystem reaches another, angle form", "plugin/devices/planted.cpp",
     "#include <terminal/model_table.h>", "plugin/devices/planted.cpp:1: '#include <terminal/model_table.h>' crosses"),
    ("a subsystem reaches another, quoted form", "plugin/devices/planted.cpp",
     '#include "terminal/model_table.h"', "plugin/devices/planted.cpp:1:"),
    ("core reaches a subsystem", "plugin/core/planted.h", '#include "devices/wlan_service.h"',
     "plugin/core/planted.h:1:"),
    ("the module names the simulation", "plugin/commands/planted.cpp", '#include "ce/sim/control.h"',
     "names the simulation"),
    ("the system layer knows the plug-in", "platform/sim/planted.cpp", '#include "qel/value.h"',
     "platform/sim/planted.cpp:1:"),
    ("the ce API knows the simulation", "platform/include/ce/planted.h", "#include <ce/sim/control.h>",
     "platform/include/ce/planted.h:1:"),
    ("the host reaches plug-in internals", "host/planted.cpp", '#include "core/module_state.h"',
     "host/planted.cpp:1:"),
    ("the module uses a library it is not built with", "plugin/terminal/planted.cpp",
     "#include <nlohmann/json.hpp>", "uses a library the module is not built with"),
    ("a bare name reaches another folder", "plugin/streams/planted.cpp", '#include "wlan_service.h"',
     "reaches a header outside plugin/streams"),
    ("a folder without a rule", "plugin/extra/planted.cpp", "int planted;", "no layer rule covers plugin/extra/"),
]

# (what is planted, change to the link graph, a text the check must print)
LINK_PLANTS = [
    ("a subsystem links another", lambda g: g["qel_devices"].append("qel_terminal"),
     "qel_devices links qel_core, qel_terminal"),
    ("core links a subsystem", lambda g: g["qel_core"].append("qel_devices"), "qel_core links qel_devices"),
    ("the module is built from the control library", lambda g: g["qel_commands"].append("qelsimctl"),
     "the module is built from qelsimctl"),
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
        for what, rel, line, expected in INCLUDE_PLANTS:
            path = os.path.join(tree, rel)
            made = not os.path.exists(os.path.dirname(path))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(line + "\n")
            status, text = run(tree, links)
            os.remove(path)
            if made:
                os.rmdir(os.path.dirname(path))
            if status != 1 or expected not in text:
                failures.append(f"{what}: status {status}, expected 1 and '{expected}' in:\n{text}")
        for what, plant, expected in LINK_PLANTS:
            g = json.loads(json.dumps(graph))
            plant(g)
            write_links(g)
            status, text = run(tree, links)
            if status != 1 or expected not in text:
                failures.append(f"{what}: status {status}, expected 1 and '{expected}' in:\n{text}")
    for f in failures:
        print(f"FAILED: {f}", file=sys.stderr)
    total = len(INCLUDE_PLANTS) + len(LINK_PLANTS) + 1
    print(f"{total - len(failures)} of {total} cases as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
