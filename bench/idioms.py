"""Times the toolkit's idioms, do-notation and async combinators against hand-written helpers.

    python bench/idioms.py              # about a minute on 2 cores
    python bench/idioms.py --rounds 5   # shorter
    python bench/idioms.py --instructions   # also count instructions with callgrind (valgrind)
    python bench/idioms.py --write      # also writes its section of docs/benchmarks-tools.md

Each case pairs a toolkit function with the helper a user writes by hand for the same job (the
`failure(exc)`, `or_else(r, f)` and early-return loops that ported projects carried), called on
the same Result. The pairs are timed in alternation, round after round, each figure the best of
a few timeit repeats, so that a load on the machine weighs on both sides alike; the report gives
the median ratio of toolkit to hand-written time, with the lowest and the highest. With
--instructions, one process under callgrind also runs each statement in a loop for two trip
counts, with the collector off, and the difference per trip, less that of an empty statement, is
its count of instructions, which does not depend on the load (as in bench/tools.py).

Target: every case within 1.15x of its hand-written helper.
"""

import argparse
import gc
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
from tools import dump_total, report_instructions
from tolbrane_tools import (
    and_then_async,
    bind,
    combine,
    do,
    expect_err,
    flatten,
    from_exception,
    map_async,
    map_or,
    ok_or,
    or_else,
    to_maybe,
    unwrap_or_else,
)

DOC = Path(__file__).resolve().parent.parent / "docs" / "benchmarks-tools.md"
BEGIN = "<!-- tolbrane_tools idioms: written by bench/idioms.py -->"
END = "<!-- end of tolbrane_tools idioms -->"
TARGET = 1.15

OK = Result.ok(3)
ERR = Result.err("no such user", "E_404", {"id": 7})
EXC = KeyError("user 7")
JUST = MayBe(3)
NESTED = Result.ok(OK)


def recover(message, code, details):
    return OK


def default(message, code, details):
    return 0


def plus_one(n):
    return n + 1


def hand_or_else(result, func):
    return result if result else func(*result.unwrap_err())


def hand_unwrap_or_else(result, func):
    return result.unwrap() if result else func(*result.unwrap_err())


def hand_map_or(result, fallback, func):
    return func(result.unwrap()) if result else fallback


def hand_expect_err(result, message):
    if result:
        raise ValueError(message)
    return result.unwrap_err()


def hand_flatten(result):
    return result.unwrap() if result else result


def hand_failure(exc):
    return Result.err(str(exc), type(exc).__name__, exc)


def hand_ok_or(maybe, message):
    return Result.ok(maybe.unwrap()) if maybe else Result.err(message)


def hand_to_maybe(result):
    return MayBe.just(result.unwrap()) if result else MayBe.nothing()


def hand_combine(*results):
    values = []
    for result in results:
        if not result:
            return result
        values.append(result.unwrap())
    return Result.ok(tuple(values))


@do
def three_steps(a, b, c):
    x = yield from bind(a)
    y = yield from bind(b)
    z = yield from bind(c)
    return x + y + z


def hand_three_steps(a, b, c):
    if not a:
        return a
    x = a.unwrap()
    if not b:
        return b
    y = b.unwrap()
    if not c:
        return c
    return Result.ok(x + y + c.unwrap())


async def increment(n):
    return n + 1


async def hand_map_async(result, func):
    if not result:
        return result
    return Result.ok(await func(result.unwrap()))


async def next_step(n):
    return OK


async def hand_and_then_async(result, func):
    if not result:
        return result
    return await func(result.unwrap())


def drive(coroutine):
    """Runs a coroutine that never suspends, without an event loop's cost in the figure."""
    try:
        coroutine.send(None)
    except StopIteration as stop:
        return stop.value
    raise RuntimeError("the coroutine suspended")


CASES = [
    ("or_else, Err", "or_else(ERR, recover)", "hand_or_else(ERR, recover)"),
    ("unwrap_or_else, Err", "unwrap_or_else(ERR, default)", "hand_unwrap_or_else(ERR, default)"),
    ("map_or, Ok", "map_or(OK, 0, plus_one)", "hand_map_or(OK, 0, plus_one)"),
    ("expect_err, Err", "expect_err(ERR, 'x')", "hand_expect_err(ERR, 'x')"),
    ("flatten, Ok of an Ok", "flatten(NESTED)", "hand_flatten(NESTED)"),
    ("from_exception", "from_exception(EXC)", "hand_failure(EXC)"),
    ("ok_or, Just", "ok_or(JUST, 'none')", "hand_ok_or(JUST, 'none')"),
    ("to_maybe, Ok", "to_maybe(OK)", "hand_to_maybe(OK)"),
    ("combine, 3 Oks", "combine(OK, OK, OK)", "hand_combine(OK, OK, OK)"),
    ("combine, an Err at 2 of 3", "combine(OK, ERR, OK)", "hand_combine(OK, ERR, OK)"),
    ("do, 3 Ok steps", "three_steps(OK, OK, OK)", "hand_three_steps(OK, OK, OK)"),
    ("do, an Err at step 2", "three_steps(OK, ERR, OK)", "hand_three_steps(OK, ERR, OK)"),
    ("map_async, Ok", "drive(map_async(OK, increment))", "drive(hand_map_async(OK, increment))"),
    ("and_then_async, Ok", "drive(and_then_async(OK, next_step))",
     "drive(hand_and_then_async(OK, next_step))"),
]


SHORT, LONG = 500, 1500  # the trip counts of the instruction count


def count_child():
    """Inside callgrind: each statement, then the empty one, for two trip counts each."""
    # A collection would land in the counts of some runs and not others.
    gc.disable()
    for _, toolkit, hand in CASES:
        for statement in (toolkit, hand, "None"):
            namespace = dict(globals())
            exec(f"def run(trips):\n    for _ in range(trips):\n        {statement}\n", namespace)
            run = namespace["run"]
            run(10)  # warm up: specialise the bytecode before counting
            for trips in (SHORT, LONG):
                os.getppid()
                run(trips)
            os.getppid()


def count_instructions():
    """Instructions per execution: {name: (toolkit, hand-written)}."""
    if shutil.which("valgrind") is None:
        sys.exit("--instructions needs valgrind (apt-get install valgrind)")
    with tempfile.TemporaryDirectory(prefix="tolbrane-idioms-callgrind-") as work:
        out = Path(work) / "callgrind.out"
        command = ["valgrind", "--tool=callgrind", "--dump-before=getppid", "--dump-line=no",
                   f"--callgrind-out-file={out}", sys.executable, __file__, "--child"]
        completed = subprocess.run(command, env=dict(os.environ, PYTHONHASHSEED="0"),
                                   capture_output=True, text=True)
        if completed.returncode != 0:
            sys.exit(f"callgrind run failed (exit {completed.returncode}):\n{completed.stderr}")
        dumps = sorted(Path(work).glob("callgrind.out.*"), key=lambda p: int(p.suffix[1:]))
        totals = [dump_total(path) for path in dumps]
    # Three dumps a statement: what came before it, the short run and the long run.
    per_trip = [(totals[start + 2] - totals[start + 1]) / (LONG - SHORT)
                for start in range(0, len(totals) - 2, 3)]
    counts = {}
    for index, (name, _, _) in enumerate(CASES):
        toolkit, hand, empty = per_trip[3 * index:3 * index + 3]
        counts[name] = (toolkit - empty, hand - empty)
    return counts


def best(statement, number, repeats):
    timer = timeit.Timer(statement, globals=globals())
    return min(timer.repeat(repeat=repeats, number=number)) / number


def measure(rounds, repeats, number):
    ratios = {name: [] for name, _, _ in CASES}
    times = {name: ([], []) for name, _, _ in CASES}
    for _ in range(rounds):
        for name, toolkit, hand in CASES:
            tool_time, hand_time = best(toolkit, number, repeats), best(hand, number, repeats)
            times[name][0].append(tool_time)
            times[name][1].append(hand_time)
            ratios[name].append(tool_time / hand_time)
    return times, ratios


def report(times, ratios, rounds, repeats):
    version = platform.python_version()
    lines = [
        f"### CPython {version.rsplit('.', 1)[0]}",
        "",
        f"CPython {version}, {platform.machine()}, {rounds} interleaved rounds, each figure the "
        f"best of {repeats} timeit repeats; the machine was shared while measuring.",
        "",
        "| case | toolkit | hand-written | ratio (median) | lowest - highest | target | met |",
        "|---|---:|---:|---:|---|---|---|",
    ]
    for name, _, _ in CASES:
        tool_ns = statistics.median(times[name][0]) * 1e9
        hand_ns = statistics.median(times[name][1]) * 1e9
        ratio = statistics.median(ratios[name])
        lines.append(
            f"| {name} | {tool_ns:.0f} ns | {hand_ns:.0f} ns | {ratio:.2f}x | "
            f"{min(ratios[name]):.2f}x - {max(ratios[name]):.2f}x | <= {TARGET}x | "
            f"{'yes' if ratio <= TARGET else 'no'} |")
    return "\n".join(lines)


def write(section):
    text = DOC.read_text()
    heading = section.splitlines()[0]
    if BEGIN not in text:
        text = text.rstrip("\n") + f"\n\n{BEGIN}\n## Idioms, do-notation and async against " \
            f"hand-written helpers\n\nWritten by `python bench/idioms.py --write`, one " \
            f"interpreter at a time (see that script).\n\n{END}\n"
    start, end = text.index(BEGIN), text.index(END)
    block = text[start:end]
    # One subsection per interpreter: replace this interpreter's, keep the others.
    pattern = re.compile(rf"{re.escape(heading)}\n.*?(?=\n### |\Z)", re.S)
    block = pattern.sub(lambda _: section + "\n", block) if heading in block \
        else block.rstrip("\n") + "\n\n" + section + "\n"
    DOC.write_text(text[:start] + block.rstrip("\n") + "\n\n" + text[end:])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--number", type=int, default=20_000)
    parser.add_argument("--instructions", action="store_true",
                        help="also count instructions under callgrind")
    parser.add_argument("--write", action="store_true")
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.child:
        count_child()
        return 0
    times, ratios = measure(arguments.rounds, arguments.repeats, arguments.number)
    section = report(times, ratios, arguments.rounds, arguments.repeats)
    if arguments.instructions:
        counts = count_instructions()
        section += "\n" + "\n".join(report_instructions(counts, dict.fromkeys(counts, TARGET)))
    print(section)
    if arguments.write:
        write(section)
    failed = [name for name, _, _ in CASES if statistics.median(ratios[name]) > TARGET]
    if failed:
        print(f"over {TARGET}x: {', '.join(failed)}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
