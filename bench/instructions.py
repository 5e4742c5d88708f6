"""Instructions per operation, counted by valgrind's callgrind, held to budgets.

    python bench/instructions.py            # count, print the table, fail on a budget overrun
    python bench/instructions.py --suggest  # also print a budget table from this count
    python bench/instructions.py --json out.json

Every tolbrane operation of bench/catalogue.py and every floor runs in one process under
callgrind. Each loop runs twice, for two trip counts, and a call to os.getppid() after each run
makes callgrind dump its counters (--dump-before=getppid): the difference between the two runs
divided by the difference in operations is the count per loop iteration, free of set-up and of the
dump itself. The same count for the empty loop is taken off. Counts are deterministic (the hash
seed is fixed), so the budgets below hold without a timing margin; each is the ratio of an
operation's own instructions to its floor's (see catalogue.floor_ratio), set about 10% above the
larger of the ratios measured on CPython 3.12 and 3.13; --suggest prints them for the interpreter
it runs on, to tighten the table after a change that makes an operation cheaper.
"""

from __future__ import annotations

import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import catalogue  # noqa: E402
from catalogue import FLOOR, TOLBRANE  # noqa: E402

# Operation -> the largest ratio of its own instructions to its floor's that passes.
# Floors: q = "a".isascii(), q1 = "a".expandtabs(x), a = object(), sa = str.maketrans({}) (a
# static method that allocates), b = bool(1000), l = len("a"),
# o = True | False, s = str(1000), i = iterating a 1-tuple, d = a 2-key dict display,
# r = "a".index("b") caught. "own": a combinator without the call of its callable (made by map()
# from C); "extra": what passing the argument by keyword adds to the call by position.
BUDGETS = {
    # Result
    "Result.ok": 1.45,            # sa       measured 1.30 (3.12), 1.31 (3.13)
    "Result.err": 2.70,           # a        measured 2.39 (3.12), 2.45 (3.13)
    "Result.err3": 3.35,          # a        measured 2.96 (3.12), 3.05 (3.13)
    "Result.is_ok": 1.25,         # q        measured 1.13 (3.12), 1.13 (3.13)
    "Result.is_err": 1.30,        # q        measured 1.13 (3.12), 1.14 (3.13)
    "Result.unwrap": 1.40,        # q        measured 1.22 (3.12), 1.23 (3.13)
    "Result.unwrap_or": 0.90,     # q1       measured 0.80 (3.12), 0.79 (3.13)
    "Result.unwrap_or_err": 0.90, # q1       measured 0.82 (3.12), 0.80 (3.13)
    "Result.to_option": 1.35,     # q        measured 1.21 (3.12), 1.22 (3.13)
    "Result.bool": 1.20,          # b        measured 1.07 (3.12), 1.08 (3.13)
    "Result.len": 1.40,           # l        measured 1.20 (3.12), 1.23 (3.13)
    "Result.or": 1.65,            # o        measured 1.48 (3.12), 1.44 (3.13)
    "Result.repr": 2.10,          # s        measured 1.77 (3.12), 1.87 (3.13)
    "Result.iter": 1.95,          # i        measured 1.76 (3.12), 1.71 (3.13)
    "Result.map": 1.50,           # a, own   measured 1.32 (3.12), 1.29 (3.13)
    "Result.map_kw": 2.00,        # q, extra measured 1.60 (3.12), 1.78 (3.13)
    "Result.map_on_err": 1.85,    # a        measured 1.67 (3.12), 1.65 (3.13)
    "Result.map_err": 2.75,       # a, own   measured 2.47 (3.12), 2.49 (3.13)
    "Result.flat_map": 1.60,      # a, own   measured 1.43 (3.12), 1.45 (3.13)
    "Result.and_then": 1.60,      # a, own   measured 1.43 (3.12), 1.45 (3.13)
    "Result.match": 0.60,         # a, own   measured 0.50 (3.12), 0.50 (3.13)
    "Result.match_kw": 2.20,      # q, extra measured 1.81 (3.12), 1.98 (3.13)
    "Result.rshift": 1.50,        # a, own   measured 1.30 (3.12), 1.36 (3.13)
    "Result.to_dict": 1.15,       # d        measured 0.98 (3.12), 1.00 (3.13)
    "Result.from_dict": 2.85,     # a        measured 2.50 (3.12), 2.57 (3.13)
    "Result.chain": 9.85,         # a        measured 8.87 (3.12), 8.92 (3.13)
    "Result.unwrap_caught": 1.15, # r        measured 0.84 (3.12), 1.04 (3.13)
    # MayBe
    "MayBe.new": 2.30,            # a        measured 2.09 (3.12), 2.03 (3.13)
    "MayBe.just": 1.40,           # sa       measured 1.24 (3.12), 1.26 (3.13)
    "MayBe.nothing": 1.95,        # a        measured 1.72 (3.12), 1.74 (3.13)
    "MayBe.is_just": 1.25,        # q        measured 1.13 (3.12), 1.13 (3.13)
    "MayBe.is_nothing": 1.30,     # q        measured 1.13 (3.12), 1.14 (3.13)
    "MayBe.unwrap": 1.40,         # q        measured 1.22 (3.12), 1.23 (3.13)
    "MayBe.or_else": 0.90,        # q1       measured 0.81 (3.12), 0.79 (3.13)
    "MayBe.to_option": 1.35,      # q        measured 1.21 (3.12), 1.22 (3.13)
    "MayBe.bool": 1.20,           # b        measured 1.07 (3.12), 1.08 (3.13)
    "MayBe.len": 1.40,            # l        measured 1.20 (3.12), 1.23 (3.13)
    "MayBe.or": 1.65,             # o        measured 1.48 (3.12), 1.44 (3.13)
    "MayBe.repr": 2.05,           # s        measured 1.76 (3.12), 1.86 (3.13)
    "MayBe.iter": 1.95,           # i        measured 1.76 (3.12), 1.71 (3.13)
    "MayBe.map": 1.40,            # a, own   measured 1.23 (3.12), 1.22 (3.13)
    "MayBe.map_kw": 2.00,         # q, extra measured 1.60 (3.12), 1.78 (3.13)
    "MayBe.flat_map": 1.50,       # a, own   measured 1.32 (3.12), 1.34 (3.13)
    "MayBe.match": 0.60,          # a, own   measured 0.50 (3.12), 0.50 (3.13)
    "MayBe.rshift": 1.40,         # a, own   measured 1.19 (3.12), 1.24 (3.13)
    "MayBe.chain": 9.45,          # a        measured 8.50 (3.12), 8.58 (3.13)
    "MayBe.unwrap_caught": 1.05,  # r        measured 0.76 (3.12), 0.94 (3.13)
}

SHORT_RUN, LONG_RUN = 100, 600  # loop trip counts; each trip runs the statement UNROLL times
WARM_UP = 200                   # trips before counting, so the interpreter has specialised
MARKER = "getppid"              # the C function whose call makes callgrind dump its counters


def counted_items() -> list[tuple[str, str]]:
    """(case key, implementation) for every tolbrane case and every floor."""
    items = []
    for case in catalogue.CASES:
        for implementation in (TOLBRANE, FLOOR):
            if case.snippet(implementation):
                items.append((case.key, implementation))
    return items


# --------------------------------------------------------------------------------------------
# Inside valgrind.

def child(segments_file: str) -> None:
    import gc

    namespaces = {}
    loops = []
    for key, implementation in counted_items():
        case = catalogue.BY_KEY[key]
        scope = catalogue.loop_namespace_for(case, implementation)
        names = namespaces.get(scope) or namespaces.setdefault(scope, catalogue.namespace(scope))
        loops.append((key, catalogue.compile_loop(implementation, case.snippet(implementation),
                                                  names)))
    gc.disable()
    for _, bench in loops:
        bench(WARM_UP)
    marker = os.getppid
    marker()
    for _, bench in loops:
        bench(SHORT_RUN)
        marker()
        bench(LONG_RUN)
        marker()
    Path(segments_file).write_text(json.dumps([key for key, _ in loops]))


# --------------------------------------------------------------------------------------------
# Outside.

def dump_total(path: Path) -> int:
    with path.open() as dump:
        for line in dump:
            if line.startswith("summary:"):
                return int(line.split()[1])
    raise RuntimeError(f"no summary line in {path}")


def count(python: str) -> dict[str, float]:
    """Instructions per operation (loop excluded) for every counted item, keyed by case key."""
    if shutil.which("valgrind") is None:
        sys.exit("valgrind is not installed: the instruction counts need it. On Debian or Ubuntu:"
                 "\n    apt-get update && apt-get install -y valgrind")
    with tempfile.TemporaryDirectory(prefix="tolbrane-callgrind-") as work:
        out = Path(work) / "callgrind.out"
        segments_file = Path(work) / "segments.json"
        command = ["valgrind", "--tool=callgrind", f"--dump-before={MARKER}", "--dump-line=no",
                   f"--callgrind-out-file={out}", python, __file__, "--child", str(segments_file)]
        environment = dict(os.environ, PYTHONHASHSEED="0")
        completed = subprocess.run(command, env=environment, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        if completed.returncode != 0 or not segments_file.exists():
            sys.stderr.write(completed.stdout + completed.stderr)
            sys.exit(f"callgrind run failed (exit {completed.returncode})")
        keys = json.loads(segments_file.read_text())
        # Dump 1 holds start-up and warm-up; then one dump per run, short and long in turn.
        totals = [dump_total(Path(f"{out}.{index}")) for index in range(2, 2 + 2 * len(keys))]
    per_trip = {}
    for position, key in enumerate(keys):
        short, long = totals[2 * position], totals[2 * position + 1]
        per_trip[key] = (long - short) / (LONG_RUN - SHORT_RUN)
    costs = {}
    for key, trip in per_trip.items():
        snippet = next(s for s in catalogue.BY_KEY[key].code.values())
        baseline = catalogue.baseline_of(snippet)
        costs[key] = (trip - per_trip[baseline]) / snippet.unroll
    return costs


def ratios(costs: dict[str, float]) -> dict[str, float]:
    cost = costs.__getitem__
    return {case.key: catalogue.floor_ratio(case, cost)
            for case in catalogue.CASES if case.section != "Floor"}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--child", metavar="SEGMENTS", help=argparse.SUPPRESS)
    parser.add_argument("--json", metavar="PATH", help="write the counts and ratios as JSON")
    parser.add_argument("--suggest", action="store_true",
                        help="print budgets 10%% above this count, for the table at the top")
    args = parser.parse_args()
    if args.child:
        child(args.child)
        return 0

    costs = count(sys.executable)
    measured = ratios(costs)
    version = "%d.%d" % sys.version_info[:2]
    print(f"Instructions per operation, CPython {version} (loop excluded; own = without the "
          "callable's call or, for keywords, the positional call)")
    print(f"{'operation':<24}{'instr':>9}{'own':>9}{'floor':>13}{'ratio':>8}{'budget':>8}")
    failures = []
    for case in catalogue.CASES:
        if case.section == "Floor":
            continue
        own = catalogue.own_cost(case, costs.__getitem__)
        budget = BUDGETS.get(case.key)
        ratio = measured[case.key]
        verdict = "" if budget is None or ratio <= budget else "  OVER BUDGET"
        if budget is None:
            verdict = "  (no budget)"
        if verdict.strip() == "OVER BUDGET":
            failures.append(case.key)
        print(f"{case.key:<24}{costs[case.key]:>9.1f}{own:>9.1f}{catalogue.shape_of(case):>13}{ratio:>8.2f}"
              f"{budget if budget is not None else float('nan'):>8.2f}{verdict}")
    print("floors: " + ", ".join(f"{case.key} {costs[case.key]:.1f}"
                                 for case in catalogue.FLOORS if case.key not in ("empty", "empty1")))
    if args.suggest:
        print("\nBudgets from this count (measured ratio + 10%), for the table at the top:")
        for key, ratio in measured.items():
            entry = f'    "{key}": {math.ceil(ratio * 1.1 * 20) / 20:.2f},'
            print(f"{entry:<34}# measured {ratio:.2f} ({version})")
    if args.json:
        Path(args.json).write_text(json.dumps(
            {"python": version, "instructions": costs, "ratios": measured}, indent=1))
    if failures:
        print("over budget: " + ", ".join(failures))
    print(f"budgets: {len(measured) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
