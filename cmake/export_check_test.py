#!/usr/bin/env python3
"""The export check fails on a library that exports more or less than its
list, naming each symbol, and passes on one that exports just the list: a
small library is built with a planted export, and the system library is
checked against its list with a name taken out and one put in.

  export_check_test.py --library LIB --expected LIST --cxx COMPILER [--nm NM]
"""
import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "export_check.py")

PLANTED_SOURCE = """
namespace ce {
int Open(const char16_t* name, unsigned flags) { return name != nullptr && flags != 0; }
void Close() {}
namespace sim {
int Planted() { return 1; }
int g_planted = 2;
[[gnu::visibility("hidden")]] int Hidden() { return 3; }
}  // namespace sim
}  // namespace ce
"""

# (what, library, names listed, status expected, texts the check must print, texts it must not).
# "planted" exports a function and a variable beside the API; "quiet" hides the variable.
FUNCTIONS = ["ce::Open", "ce::Close"]
PLANTED_CASES = [
    ("a planted function and variable are caught", "planted", FUNCTIONS, 1,
     ["exports ce::sim::Planted()", "exports ce::sim::g_planted", "2 extra, 0 missing"], ["Hidden"]),
    ("a listed function not exported is caught", "quiet", FUNCTIONS + ["ce::sim::Planted", "ce::Missing"], 1,
     ["does not export ce::Missing", "0 extra, 1 missing"], []),
    ("a listed name exported as a variable is no function", "planted",
     FUNCTIONS + ["ce::sim::Planted", "ce::sim::g_planted"], 1,
     ["exports ce::sim::g_planted,", "does not export ce::sim::g_planted"], []),
    ("exactly the list passes; hidden symbols do not count", "quiet", FUNCTIONS + ["ce::sim::Planted"], 0,
     ["exports the 3 listed"], []),
]

def run(nm, library, names, tmp):
    listed = os.path.join(tmp, "expected.txt")
    with open(listed, "w") as f:
        f.write("".join(n + "\n" for n in names))
    r = subprocess.run([sys.executable, CHECK, "--library", library, "--expected", listed, "--nm", nm],
                       capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


def build(cxx, source, out, *flags):
    src = out + ".cpp"
    with open(src, "w") as f:
        f.write(source)
    subprocess.run([cxx, "-std=c++20", "-shared", "-fPIC", *flags, "-o", out, src], check=True)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--library", required=True)
    p.add_argument("--expected", required=True)
    p.add_argument("--cxx", required=True)
    p.add_argument("--nm", default="nm")
    a = p.parse_args()
    with open(a.expected) as f:
        listed = [line.strip() for line in f if line.strip()]
    failures, total = [], 0

    def expect(what, status, out, wanted, unwanted, expected_status):
        if status != expected_status or any(w not in out for w in wanted) or any(u in out for u in unwanted):
            failures.append(f"{what}: status {status}, expected {expected_status} with {wanted} "
                            f"and without {unwanted} in:\n{out}")

    with tempfile.TemporaryDirectory() as tmp:
        planted = os.path.join(tmp, "libplanted.so")
        build(a.cxx, PLANTED_SOURCE, planted)
        quiet = os.path.join(tmp, "libquiet.so")
        build(a.cxx, PLANTED_SOURCE.replace("int g_planted", '[[gnu::visibility("hidden")]] int g_planted'), quiet)
        for what, library, names, status_wanted, wanted, unwanted in PLANTED_CASES:
            total += 1
            status, out = run(a.nm, planted if library == "planted" else quiet, names, tmp)
            expect(what, status, out, wanted, unwanted, status_wanted)

        total += 1
        status, out = run(a.nm, a.library, listed, tmp)
        expect("the system library against its own list", status, out, [], [], 0)
        total += 1
        status, out = run(a.nm, a.library, listed[1:], tmp)
        expect("the system library with a name taken out of its list", status, out,
               [f"exports {listed[0]}(", "1 extra, 0 missing"], [], 1)
        total += 1
        status, out = run(a.nm, a.library, listed + ["ce::PlantedFunction"], tmp)
        expect("the system library with a name put into its list", status, out,
               ["does not export ce::PlantedFunction", "0 extra, 1 missing"], [], 1)
    for f in failures:
        print(f"FAILED: {f}", file=sys.stderr)
    print(f"{total - len(failures)} of {total} cases as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
