"""Times tolbrane_tools against the hand-written code it replaces; run by hand, not in CI.

    python bench/tools.py                  # about two minutes on 2 cores
    python bench/tools.py --rounds 5       # shorter
    python bench/tools.py --instructions   # also count instructions with callgrind (valgrind)
    python bench/tools.py --write          # also writes its section of docs/benchmarks-tools.md

Each case pairs a toolkit call with the hand-written loop or try/except a user would write instead,
over the same data. The pairs are timed in alternation, round after round (each figure the best of
a few timeit repeats), so that a load on the machine weighs on both sides alike; the report gives
the median ratio of toolkit to hand-written time over the rounds, with the lowest and the highest.
Instruction counts do not depend on the load: with --instructions, one process under callgrind
runs each statement for two trip counts, a call to os.getppid() after each run dumping the counters
(--dump-before=getppid), and the difference per trip, less that of an empty statement, is the count.

Targets: collect, partition, oks and values over 10^5 Results or MayBes within 1.02x of the best
hand-written loop (a plain for loop with is_ok()/unwrap() and out.append()); a function decorated
with catch within 1.3x of a hand-written try/except that returns a Result.
"""

import argparse
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import timeit
from pathlib import Path

from tolbrane import MayBe, Result
# Aliased: a module-level import named like the hand-written loops' local `values` would make
# CPython (3.12, 3.13) compile their `values.append` as a plain attribute load, not a method call.
from tolbrane_tools import catch, collect, oks, partition
from tolbrane_tools import values as maybe_values

# A document of its own: bench/run.py writes docs/benchmarks.md whole.
DOC = Path(__file__).resolve().parent.parent / "docs" / "benchmarks-tools.md"
BEGIN = "<!-- tolbrane_tools: written by bench/tools.py -->"
END = "<!-- end of tolbrane_tools -->"
SIZE = 100_000

ALL_OK = [Result.ok(n) for n in range(SIZE)]
ONE_IN_TEN_ERR = [Result.err("bad", "E", n) if n % 10 == 0 else Result.ok(n) for n in range(SIZE)]
ONE_IN_TEN_NOTHING = [MayBe(None) if n % 10 == 0 else MayBe(n) for n in range(SIZE)]


def hand_collect(results):
    values = []
    for result in results:
        if result.is_ok():
            values.append(result.unwrap())
        else:
            return result
    return Result.ok(values)


def hand_partition(results):
    values, failures = [], []
    for result in results:
        if result.is_ok():
            values.append(result.unwrap())
        else:
            failures.append(result)
    return values, failures


def hand_oks(results):
    for result in results:
        if result.is_ok():
            yield result.unwrap()


def hand_values(maybes):
    for maybe in maybes:
        if maybe.is_just():
            yield maybe.unwrap()


@catch(ValueError)
def parse(text):
    return int(text)


def hand_parse(text):
    try:
        return Result.ok(int(text))
    except ValueError as exc:
        return Result.err(str(exc), type(exc).__name__, exc)


@catch()
def identity(value):
    return value


def hand_identity(value):
    try:
        return Result.ok(value)
    except Exception as exc:
        return Result.err(str(exc), type(exc).__name__, exc)


# (name, target, toolkit statement, hand-written statement, executions per timing)
CASES: list = [
    ("collect, 10^5 Oks", 1.02, lambda: collect(ALL_OK), lambda: hand_collect(ALL_OK), 10),
    ("partition, 10^5 Results, 1 in 10 an Err", 1.02,
     lambda: partition(ONE_IN_TEN_ERR), lambda: hand_partition(ONE_IN_TEN_ERR), 10),
    ("oks, 10^5 Results, 1 in 10 an Err", 1.02,
     lambda: list(oks(ONE_IN_TEN_ERR)), lambda: list(hand_oks(ONE_IN_TEN_ERR)), 10),
    ("values, 10^5 MayBes, 1 in 10 a Nothing", 1.02,
     lambda: list(maybe_values(ONE_IN_TEN_NOTHING)), lambda: list(hand_values(ONE_IN_TEN_NOTHING)), 10),
    ("catch, Ok path: int(text)", 1.3, lambda: parse("42"), lambda: hand_parse("42"), 200_000),
    ("catch, Err path: int(text) raising", 1.3,
     lambda: parse("x"), lambda: hand_parse("x"), 50_000),
    ("catch, Ok path: an empty body", 1.3,
     lambda: identity(1), lambda: hand_identity(1), 200_000),
]


def trips(number):
    """The two trip counts for the instruction count of a statement timed `number` times."""
    short = max(1, number // 100)
    return short, 3 * short


def count_child():
    """Inside callgrind: each statement, then the empty one, for two trip counts each."""
    statements = [side for _, _, toolkit, hand, _ in CASES for side in (toolkit, hand)]
    numbers = [number for *_, number in CASES for _ in (0, 1)]
    for statement, number in zip(statements, numbers):
        for each in (statement, lambda: None):
            each()  # warm up: specialise the bytecode before counting
            for trip_count in trips(number):
                os.getppid()
                for _ in range(trip_count):
                    each()
            os.getppid()


def dump_total(path):
    for line in path.read_text().splitlines():
        if line.startswith(("summary:", "totals:")):
            return int(line.split()[1])
    raise RuntimeError(f"no summary line in {path}")


def callgrind_totals(command):
    """Runs the command (a Python child) under callgrind, which dumps before each os.getppid()
    call; the instruction total of each dump, in order."""
    if shutil.which("valgrind") is None:
        sys.exit("--instructions needs valgrind (apt-get install valgrind)")
    with tempfile.TemporaryDirectory(prefix="tolbrane-callgrind-") as work:
        out = Path(work) / "callgrind.out"
        completed = subprocess.run(
            ["valgrind", "--tool=callgrind", "--dump-before=getppid", "--dump-line=no",
             f"--callgrind-out-file={out}", *command],
            env=dict(os.environ, PYTHONHASHSEED="0"), capture_output=True, text=True)
        if completed.returncode != 0:
            sys.exit(f"callgrind run failed (exit {completed.returncode}):\n{completed.stderr}")
        dumps = sorted(Path(work).glob("callgrind.out.*"), key=lambda p: int(p.suffix[1:]))
        return [dump_total(path) for path in dumps]


def count_instructions():
    """Instructions per execution: {name: (toolkit, hand-written)}."""
    # Dump 1 is the start-up; then per statement, and per empty statement after it: the short
    # run, the long run, and what lies before the next one.
    totals = callgrind_totals([sys.executable, "-P", __file__, "--child"])
    counts = {}
    position = 1
    for name, _, _, _, number in CASES:
        short, long = trips(number)
        sides = []
        for _ in ("toolkit", "hand-written"):
            statement = (totals[position + 1] - totals[position]) / (long - short)
            empty = (totals[position + 4] - totals[position + 3]) / (long - short)
            sides.append(statement - empty)
            position += 6
        counts[name] = tuple(sides)
    return counts


def best(statement, number, repeat):
    return min(timeit.Timer(statement).repeat(repeat=repeat, number=number)) / number


def measure(rounds, repeat):
    ratios = {name: [] for name, *_ in CASES}
    seconds = {name: [] for name, *_ in CASES}
    for round_number in range(rounds):
        for name, _, toolkit, hand, number in CASES:
            # Alternate which side goes first, so neither always runs on a warmer machine.
            if round_number % 2:
                hand_time, toolkit_time = best(hand, number, repeat), best(toolkit, number, repeat)
            else:
                toolkit_time, hand_time = best(toolkit, number, repeat), best(hand, number, repeat)
            ratios[name].append(toolkit_time / hand_time)
            seconds[name].append((toolkit_time, hand_time))
        print(f"round {round_number + 1}/{rounds} done", file=sys.stderr)
    return ratios, seconds


def report_instructions(counts, targets, checked_heading=None):
    """The table of {name: (toolkit, hand-written[, another hand-written or None])} counts, each
    against targets[name]; the third, where given, is a column of its own under checked_heading."""
    lines = [
        "",
        f"Instructions per execution (callgrind, CPython {platform.python_version()}): they do not "
        "depend on the load.",
        "",
    ]
    if checked_heading is None:
        lines += ["| case | toolkit | hand-written | ratio | target | met |",
                  "|---|---:|---:|---:|---|---|"]
    else:
        lines += [f"| case | toolkit | hand-written | ratio | target | met | {checked_heading} "
                  "| ratio to it |", "|---|---:|---:|---:|---|---|---:|---:|"]
    for name, (toolkit, hand, *other) in counts.items():
        target = targets[name]
        line = (f"| {name} | {toolkit:,.0f} | {hand:,.0f} | {toolkit / hand:.2f}x | "
                f"<= {target}x | {'yes' if toolkit / hand <= target else 'no'} |")
        if checked_heading is not None:
            checked = other[0]
            line += " |" if checked is None else f" {checked:,.0f} | {toolkit / checked:.2f}x |"
        lines.append(line)
    return lines


def report(ratios, seconds, rounds, repeat):
    lines = [
        f"CPython {platform.python_version()}, {platform.machine()}, {rounds} interleaved rounds, "
        f"each figure the best of {repeat} timeit repeats; the machine was shared while measuring.",
        "",
        "| case | toolkit | hand-written | ratio (median) | lowest - highest | target | met |",
        "|---|---:|---:|---:|---|---|---|",
    ]
    for name, target, *_ in CASES:
        median = statistics.median(ratios[name])
        toolkit_time = statistics.median(t for t, _ in seconds[name])
        hand_time = statistics.median(h for _, h in seconds[name])
        lines.append(
            f"| {name} | {format_time(toolkit_time)} | {format_time(hand_time)} | {median:.2f}x | "
            f"{min(ratios[name]):.2f}x - {max(ratios[name]):.2f}x | <= {target}x | "
            f"{'yes' if median <= target else 'no'} |")
    return lines


def format_time(value):
    return f"{value * 1e3:.2f} ms" if value >= 1e-4 else f"{value * 1e9:.0f} ns"


def write_section(lines):
    """Writes this interpreter's figures into the section, keeping those of the others."""
    text = DOC.read_text(encoding="utf-8") if DOC.exists() else ""
    pattern = re.compile(re.escape(BEGIN) + "\n(.*?)" + re.escape(END), re.DOTALL)
    found = pattern.search(text)
    blocks = {}
    if found:
        for block in re.split(r"^(?=### CPython )", found.group(1), flags=re.MULTILINE):
            if block.startswith("### CPython "):
                blocks[block.split()[2]] = block.rstrip("\n")
    version = ".".join(platform.python_version_tuple()[:2])
    blocks[version] = "\n".join([f"### CPython {version}", "", *lines])
    ordered = sorted(blocks.items(), key=lambda item: tuple(map(int, item[0].split("."))),
                     reverse=True)
    section = "\n".join([
        BEGIN, "## tolbrane_tools against hand-written code", "",
        "Written by `python bench/tools.py --instructions --write`, one interpreter at a time: the "
        "toolkit's cost over that of the hand-written code it replaces (see that script).", "",
        "\n\n".join(block for _, block in ordered), END])
    if found:
        text = text[:found.start()] + section + text[found.end():]
    else:
        text = text.rstrip("\n") + "\n\n" + section
    DOC.write_text(text.rstrip("\n") + "\n", encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--instructions", action="store_true",
                        help="also count instructions under callgrind")
    parser.add_argument("--write", action="store_true", help=f"write the section into {DOC.name}")
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        count_child()
        return
    assert collect(ALL_OK).unwrap() == hand_collect(ALL_OK).unwrap()
    assert partition(ONE_IN_TEN_ERR)[0] == hand_partition(ONE_IN_TEN_ERR)[0]
    ratios, seconds = measure(args.rounds, args.repeat)
    lines = report(ratios, seconds, args.rounds, args.repeat)
    if args.instructions:
        lines += report_instructions(count_instructions(),
                                     {name: target for name, target, *_ in CASES})
    print("\n".join(lines))
    if args.write:
        write_section(lines)
        print(f"wrote the tolbrane_tools section of {DOC}")


if __name__ == "__main__":
    main()
