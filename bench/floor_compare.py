"""tolbrane's instructions per operation against a same-shape C floor, counted by callgrind.

    python bench/floor_compare.py                 # build the floor, count, print the table
    python bench/floor_compare.py --json out.json
    python bench/floor_compare.py --excess Result.ok Result.map   # where the excess goes

The floor (bench/floor/tolbrane_floor.c) is a plain C extension with tolbrane's types, flags,
allocation, shared hold, texts and calling conventions but no binding layer; it is compiled here
into a temporary directory against the running interpreter's headers, so nothing is installed.
Each operation's statement runs in the loops of bench/catalogue.py, once with tolbrane's classes
and once with the floor's, and is counted as bench/instructions.py counts: two trip counts, a dump
of the counters after each, the difference per statement, less the empty loop's. The target is
tolbrane at most TARGET times the floor (TARGET_MAP_ERR for an Err's map, which copies texts).
--excess runs one operation's loop for each under callgrind and prints, per function, the
instructions per operation of tolbrane beside the floor's (needs tolbrane built with symbols:
--build, as bench/hotspots.py does).
"""

from __future__ import annotations

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import catalogue  # noqa: E402
import instructions  # noqa: E402
from catalogue import TOLBRANE, Snippet  # noqa: E402

FLOOR_SOURCE = Path(__file__).resolve().parent / "floor" / "tolbrane_floor.c"
TARGET, TARGET_MAP_ERR = 1.10, 1.15
# The floor's classes under tolbrane's names, with the callables that make them.
FLOOR_PRELUDE = ("from tolbrane_floor import Result, MayBe\n"
                 "def g(v):\n    return Result.ok(v)\n"
                 "def gm(v):\n    return MayBe.just(v)\n")

# (key, statement, set-up): catalogue cases by their key, the others written here.
OPERATIONS = [
    ("Result.ok", None, ""),
    ("Result.err2", "Result.err(m, c)", ""),
    ("Result.is_ok", None, ""),
    ("Result.unwrap", None, ""),
    ("Result.map", None, ""),
    ("Result.map_on_err", None, ""),
    ("Result.and_then", None, ""),
    ("Result.flat_map", None, ""),
    ("Result.chain", None, ""),
    ("Result.to_dict", None, ""),
    ("Result.from_dict", None, ""),
    ("Result.from_dict_err", "Result.from_dict(edct)", "edct = Result.err(m, c).to_dict()"),
    ("Result.repr", None, ""),
    ("Result.repr_err", "repr(ec)", "ec = Result.err(m, c)"),
    ("MayBe.just", None, ""),
    ("MayBe.map", None, ""),
    ("MayBe.flat_map", None, ""),
]
BASELINE = "empty"
IMPLEMENTATIONS = ("tolbrane", "floor")


def snippet_of(key: str) -> Snippet:
    """The statement counted for an operation (the baseline is the catalogue's empty loop)."""
    if key == BASELINE:
        return catalogue.BY_KEY[BASELINE].code[catalogue.FLOOR]
    for name, stmt, setup in OPERATIONS:
        if name == key:
            return catalogue.BY_KEY[key].code[TOLBRANE] if stmt is None else Snippet(stmt, setup)
    raise KeyError(key)


def target_of(key: str) -> float:
    return TARGET_MAP_ERR if key == "Result.map_on_err" else TARGET


def build_floor(directory: Path) -> Path:
    """Compiles the floor against the running interpreter's headers; returns its directory."""
    include = sysconfig.get_paths()["include"]
    target = directory / "tolbrane_floor.abi3.so"
    subprocess.run([os.environ.get("CC", "gcc"), "-O2", "-g", "-std=c11", "-Wall", "-shared",
                    "-fPIC", f"-I{include}", "-o", str(target), str(FLOOR_SOURCE)], check=True)
    return directory


def namespaces() -> dict[str, dict]:
    """The loops' globals: tolbrane's from the catalogue, the floor's the same with its classes."""
    tolbrane = catalogue.namespace(TOLBRANE)
    floor = dict(tolbrane)
    exec(FLOOR_PRELUDE, floor)
    return {"tolbrane": tolbrane, "floor": floor}


def counted() -> list[tuple[str, str]]:
    """(operation, implementation) in the order the child runs them."""
    keys = [BASELINE] + [key for key, _, _ in OPERATIONS]
    return [(key, implementation) for key in keys for implementation in IMPLEMENTATIONS]


# --------------------------------------------------------------------------------------------
# Inside valgrind.

def child(floor_dir: str) -> None:
    import gc

    sys.path.insert(0, floor_dir)
    names = namespaces()
    loops = [catalogue.compile_loop(TOLBRANE, snippet_of(key), names[implementation])
             for key, implementation in counted()]
    gc.disable()
    for bench in loops:
        bench(instructions.WARM_UP)
    marker = os.getppid
    marker()
    for bench in loops:
        bench(instructions.SHORT_RUN)
        marker()
        bench(instructions.LONG_RUN)
        marker()


def excess_child(floor_dir: str, key: str, implementation: str, loops: int) -> None:
    import gc

    sys.path.insert(0, floor_dir)
    bench = catalogue.compile_loop(TOLBRANE, snippet_of(key), namespaces()[implementation])
    gc.disable()
    bench(instructions.WARM_UP)
    os.getppid()
    bench(loops)
    os.getppid()


# --------------------------------------------------------------------------------------------
# Outside.

def per_operation(totals: list[int], items: list[tuple[str, str]]) -> dict[str, dict[str, float]]:
    """Instructions per statement, loop excluded, from the dump totals (short then long run of
    each item in turn): {implementation: {operation: count}}."""
    trips = (instructions.LONG_RUN - instructions.SHORT_RUN) * catalogue.UNROLL
    per = {implementation: {} for implementation in IMPLEMENTATIONS}
    for position, (key, implementation) in enumerate(items):
        short, long = totals[2 * position], totals[2 * position + 1]
        per[implementation][key] = (long - short) / trips
    return {implementation: {key: value - counts[BASELINE] for key, value in counts.items()
                             if key != BASELINE}
            for implementation, counts in per.items()}


def callgrind(arguments: list[str], out: Path) -> None:
    command = ["valgrind", "--tool=callgrind", f"--dump-before={instructions.MARKER}",
               f"--callgrind-out-file={out}", sys.executable, __file__, *arguments]
    completed = subprocess.run(command, env=dict(os.environ, PYTHONHASHSEED="0"),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if completed.returncode != 0:
        sys.stderr.write(completed.stdout + completed.stderr)
        sys.exit(f"callgrind run failed (exit {completed.returncode})")


def count(floor_dir: Path, work: Path) -> dict[str, dict[str, float]]:
    out = work / "callgrind.out"
    callgrind(["--child", str(floor_dir)], out)
    items = counted()
    # Dump 1 holds start-up and warm-up; then one dump per run.
    totals = [instructions.dump_total(Path(f"{out}.{index}"))
              for index in range(2, 2 + 2 * len(items))]
    return per_operation(totals, items)


def table(costs: dict[str, dict[str, float]]) -> tuple[list[dict], str]:
    rows, lines = [], []
    version = "%d.%d" % sys.version_info[:2]
    lines.append(f"Instructions per operation, CPython {version} (loop excluded)")
    lines.append(f"{'operation':<22}{'tolbrane':>10}{'floor':>10}{'ratio':>8}{'target':>8}")
    for key, _, _ in OPERATIONS:
        ours, floor = costs["tolbrane"][key], costs["floor"][key]
        ratio, target = ours / floor, target_of(key)
        rows.append({"operation": key, "tolbrane": ours, "floor": floor, "ratio": ratio,
                     "target": target})
        verdict = "" if ratio <= target else "  over"
        lines.append(f"{key:<22}{ours:>10.1f}{floor:>10.1f}{ratio:>8.2f}{target:>8.2f}{verdict}")
    over = sum(row["ratio"] > row["target"] for row in rows)
    lines.append(f"targets: {len(rows) - over} met, {over} over")
    return rows, "\n".join(lines)


FLOOR_OWN = "(the floor's own C code, all functions)"


def functions(out: Path, operations: int, inclusive: bool) -> dict[str, float]:
    """callgrind_annotate's per-function counts of one dump, per operation. The floor's own
    functions are summed into one row, since tolbrane has none of the same name."""
    annotated = subprocess.run(
        ["callgrind_annotate", f"--inclusive={'yes' if inclusive else 'no'}", "--threshold=100",
         "--auto=no", str(out)], check=True, stdout=subprocess.PIPE, text=True).stdout
    row = re.compile(r"^\s*([\d,]+)\s+\(\s*[\d.]+%\)\s+(.*)$")
    total, counts = None, {}
    for line in annotated.splitlines():
        match = row.match(line)
        if not match:
            continue
        number = int(match.group(1).replace(",", ""))
        if match.group(2).startswith("PROGRAM TOTALS"):
            total = number
            continue
        where = match.group(2)
        name = re.sub(r"\s*\[[^\]]*\]$", "", where)
        name = name.partition(":")[2] or name
        if "tolbrane_floor" in where:
            name = FLOOR_OWN
        counts[name] = counts.get(name, 0) + number
    # Without --inclusive, the run's callers still show counts of the whole run: not their own.
    return {name: number / operations for name, number in counts.items()
            if inclusive or total is None or number < total / 2}


def excess(floor_dir: Path, work: Path, key: str, inclusive: bool, shown: int) -> str:
    loops = 1000
    operations = loops * snippet_of(key).unroll
    by_implementation = {}
    for implementation in IMPLEMENTATIONS:
        out = work / f"excess-{implementation}.out"
        callgrind(["--excess-child", key, str(floor_dir), "--implementation", implementation,
                   "--loops", str(loops)], out)
        by_implementation[implementation] = functions(Path(f"{out}.2"), operations, inclusive)
    ours, floor = by_implementation["tolbrane"], by_implementation["floor"]
    names = set(ours) | set(floor)
    difference = sorted(names, key=lambda name: -(ours.get(name, 0) - floor.get(name, 0)))
    lines = [f"== {key}: per function{' (inclusive)' if inclusive else ''}, instructions per "
             "operation, loop included; largest excess of tolbrane over the floor first ==",
             f"{'tolbrane':>10}{'floor':>10}{'excess':>10}  function"]
    for name in difference[:shown]:
        mine, theirs = ours.get(name, 0.0), floor.get(name, 0.0)
        lines.append(f"{mine:>10.1f}{theirs:>10.1f}{mine - theirs:>10.1f}  {name}")
    return "\n".join(lines)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--child", metavar="FLOOR_DIR", help=argparse.SUPPRESS)
    parser.add_argument("--excess-child", nargs=2, metavar=("KEY", "FLOOR_DIR"),
                        help=argparse.SUPPRESS)
    parser.add_argument("--implementation", default="tolbrane", help=argparse.SUPPRESS)
    parser.add_argument("--loops", type=int, default=1000, help=argparse.SUPPRESS)
    parser.add_argument("--json", metavar="PATH", help="write the counts and ratios as JSON")
    parser.add_argument("--excess", nargs="+", metavar="OPERATION",
                        help="per-function counts of tolbrane beside the floor's, instead")
    parser.add_argument("--inclusive", action="store_true", help="inclusive counts for --excess")
    parser.add_argument("--top", type=int, default=12, help="functions shown by --excess")
    parser.add_argument("--build", action="store_true",
                        help="for --excess: profile a build of the working tree with symbols")
    args = parser.parse_args()
    if args.child:
        child(args.child)
        return 0
    if args.excess_child:
        excess_child(args.excess_child[1], args.excess_child[0], args.implementation, args.loops)
        return 0
    if shutil.which("valgrind") is None:
        sys.exit("valgrind is not installed: apt-get update && apt-get install -y valgrind")
    with tempfile.TemporaryDirectory(prefix="tolbrane-floor-") as name:
        work = Path(name)
        floor_dir = build_floor(work)
        if args.excess:
            if args.build:
                import hotspots

                os.environ["PYTHONPATH"] = os.pathsep.join(
                    filter(None, [str(hotspots.build_with_symbols()),
                                  os.environ.get("PYTHONPATH")]))
            for key in args.excess:
                print(excess(floor_dir, work, key, args.inclusive, args.top))
            return 0
        rows, text = table(count(floor_dir, work))
    print(text)
    if args.json:
        Path(args.json).write_text(json.dumps(
            {"python": "%d.%d" % sys.version_info[:2], "rows": rows}, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
