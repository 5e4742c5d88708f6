"""Where the instructions of one operation go, per function, from callgrind.

    python bench/hotspots.py Result.ok [Result.map ...] [--implementation floor] [--inclusive]

Runs the operation's loop (bench/catalogue.py) under callgrind, dumps the counters around the
measured run only, and prints callgrind_annotate's table with every count divided by the number
of operations, so the figures read as instructions per operation. The names of tolbrane's own
functions need a build with symbols: --build makes one from the working tree (Release flags plus
-g, in a directory under /tmp) and profiles it instead of the installed extension:

    python bench/hotspots.py --build Result.ok Result.is_ok
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import catalogue  # noqa: E402

LOOPS = 1000  # trips of the measured run; each runs the statement UNROLL times


def child(key: str, implementation: str) -> None:
    import gc

    case = catalogue.BY_KEY[key]
    names = catalogue.namespace(catalogue.loop_namespace_for(case, implementation))
    bench = catalogue.compile_loop(implementation, case.snippet(implementation), names)
    gc.disable()
    bench(200)
    os.getppid()
    bench(LOOPS)
    os.getppid()


def build_with_symbols() -> Path:
    """Builds the working tree with symbols; returns the directory holding the module."""
    root = Path(__file__).resolve().parent.parent
    out = Path(tempfile.gettempdir()) / f"tolbrane-profile-{sys.version_info[0]}.{sys.version_info[1]}"
    subprocess.run(["cmake", "-S", str(root), "-B", str(out), "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_CXX_FLAGS=-g", f"-DPython_EXECUTABLE={sys.executable}"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(out), "-j2"], check=True, stdout=subprocess.DEVNULL)
    return out


def profile(key: str, implementation: str, inclusive: bool, threshold: float) -> None:
    case = catalogue.BY_KEY[key]
    snippet = case.snippet(implementation)
    if snippet is None:
        sys.exit(f"{key} has no {implementation} version")
    operations = LOOPS * snippet.unroll
    with tempfile.TemporaryDirectory(prefix="tolbrane-profile-") as work:
        out = Path(work) / "callgrind.out"
        subprocess.run(["valgrind", "--tool=callgrind", "--dump-before=getppid",
                        f"--callgrind-out-file={out}", sys.executable, __file__, "--child", key,
                        "--implementation", implementation],
                       check=True, env=dict(os.environ, PYTHONHASHSEED="0"),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        annotated = subprocess.run(
            ["callgrind_annotate", f"--inclusive={'yes' if inclusive else 'no'}",
             f"--threshold={threshold}", "--auto=no", f"{out}.2"],
            check=True, stdout=subprocess.PIPE, text=True).stdout
    row = re.compile(r"^\s*([\d,]+)\s+\(\s*[\d.]+%\)\s+(.*)$")
    total, per_function = None, {}
    for line in annotated.splitlines():
        match = row.match(line)
        if not match:
            continue
        count = int(match.group(1).replace(",", ""))
        if match.group(2).startswith("PROGRAM TOTALS"):
            total = count
        elif count != total:  # the callers of the whole run: not costs of their own
            function = function_name(match.group(2))
            per_function[function] = per_function.get(function, 0) + count
    print(f"== {key} ({implementation}): {total / operations:.1f} instructions per operation "
          f"(loop included), by function{' (inclusive)' if inclusive else ''} ==")
    for function, count in sorted(per_function.items(), key=lambda item: -item[1]):
        if count / operations >= 0.5:
            print(f"{count / operations:10.1f}  {function}")


def function_name(where: str) -> str:
    """'file:function [object]' -> 'function', templates' arguments elided."""
    where = re.sub(r"\s*\[[^\]]*\]$", "", where)
    function = where.partition(":")[2] or where
    function = re.sub(r"^\S+ (?=tolbrane::)", "", function)  # a template's return type
    while True:
        shorter = re.sub(r"<[^<>]*>", "", function)
        if shorter == function:
            return function
        function = shorter


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("keys", nargs="+", metavar="CASE", help="e.g. Result.ok, MayBe.map")
    parser.add_argument("--implementation", default=catalogue.TOLBRANE)
    parser.add_argument("--inclusive", action="store_true", help="inclusive counts")
    parser.add_argument("--threshold", type=float, default=100.0,
                        help="callgrind_annotate's percentage of the total to show")
    parser.add_argument("--build", action="store_true",
                        help="profile a build of the working tree with symbols")
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(args.keys[0], args.implementation)
        return
    if shutil.which("valgrind") is None:
        sys.exit("valgrind is not installed: apt-get update && apt-get install -y valgrind")
    if args.build:
        built = build_with_symbols()
        os.environ["PYTHONPATH"] = os.pathsep.join(
            filter(None, [str(built), os.environ.get("PYTHONPATH")]))
    for key in args.keys:
        profile(key, args.implementation, args.inclusive, args.threshold)


if __name__ == "__main__":
    main()
