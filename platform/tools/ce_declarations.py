"""The functions the ce headers declare, for the backends' generators.

Each declaration at namespace scope is one function of the ce API, but the
entry hooks a module defines itself. Yields (return type, name, parameters,
argument names) per function.
"""
import re
import sys

MODULE_HOOKS = {"OnProcessAttach", "OnProcessDetach"}

DECL = re.compile(r"^([A-Za-z_][\w:]*[\s\*]+)([A-Za-z_]\w*)\(([^;{}]*?)\);", re.M | re.S)


def declarations(path):
    text = re.sub(r"//[^\n]*", "", open(path, encoding="utf-8").read())
    for ret, name, params in DECL.findall(text):
        if name in MODULE_HOOKS:
            continue
        params = " ".join(params.split())
        args = []
        if params and params != "void":
            for p in params.split(","):
                m = re.search(r"(\w+)\s*$", p.strip())
                if not m:
                    sys.exit(f"{path}: {name}: a parameter without a name: {p!r}")
                args.append(m.group(1))
        yield " ".join(ret.split()), name, params, args
