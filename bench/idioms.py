"""Times the toolkit's idioms, do-notation and async combinators against hand-written helpers.

    python bench/idioms.py              # about a minute on 2 cores
    python bench/idioms.py --rounds 5   # shorter
    python bench/idioms.py --instructions   # also count instructions with callgrind (valgrind)
    python bench/idioms.py --write      # also writes its section of docs/benchmarks-tools.md

Each case pairs a toolkit function with the helper a user writes by hand for the same job (the
`failure(exc)`, `or_else(r, f)` and early-return loops that ported projects carried), called on
the same Result, on each of its paths. The pairs are timed in alternation, round after round, each figure the best of
a few timeit repeats, so that a load on the machine weighs on both sides alike; the report gives
the median ratio of toolkit to hand-written time, with the lowest and the highest. With
--instructions, one process under callgrind also runs each statement in a loop for two trip
counts, with the collector off, and the difference per trip, less that of an empty statement, is
its count of instructions, which does not depend on the load (as in bench/tools.py). That table
also counts the same helper with the argument test that the toolkit makes (`type(r) is Result`, a
Result from the callable), which the ported projects' helpers left out: on the paths that do
little else, that test alone is most of the difference.

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
from tools import callgrind_totals, report_instructions
from tolbrane_tools import (
    and_then_async,
    bind,
    combine,
    do,
    expect_err,
    flatten,
    from_exception,
    inspect,
    inspect_err,
    map_async,
    map_or,
    map_or_else,
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
NOTHING = MayBe(None)
NESTED = Result.ok(OK)


def recover(message, code, details):
    return OK


def default(message, code, details):
    return 0


def plus_one(n):
    return n + 1


def ignore(*_):
    pass


def hand_or_else(result, func):
    return result if result else func(*result.unwrap_err())


def hand_unwrap_or_else(result, func):
    return result.unwrap() if result else func(*result.unwrap_err())


def hand_map_or(result, fallback, func):
    return func(result.unwrap()) if result else fallback


def hand_map_or_else(result, fallback, func):
    return func(result.unwrap()) if result else fallback(*result.unwrap_err())


def hand_inspect(result, func):
    if result:
        func(result.unwrap())
    return result


def hand_inspect_err(result, func):
    if not result:
        func(*result.unwrap_err())
    return result


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


# The same helpers with the toolkit's argument test written inline, as a careful user would.
def checked_or_else(result, func):
    if type(result) is not Result:
        raise TypeError("not a Result")
    if result:
        return result
    recovered = func(*result.unwrap_err())
    if type(recovered) is not Result:
        raise TypeError("not a Result")
    return recovered


def checked_unwrap_or_else(result, func):
    if type(result) is not Result:
        raise TypeError("not a Result")
    return result.unwrap() if result else func(*result.unwrap_err())


def checked_map_or(result, fallback, func):
    if type(result) is not Result:
        raise TypeError("not a Result")
    return func(result.unwrap()) if result else fallback


def checked_map_or_else(result, fallback, func):
    if type(result) is not Result:
        raise TypeError("not a Result")
    return func(result.unwrap()) if result else fallback(*result.unwrap_err())


def checked_inspect(result, func):
    if type(result) is not Result:
        raise TypeError("not a Result")
    if result:
        func(result.unwrap())
    return result


def checked_inspect_err(result, func):
    if type(result) is not Result:
        raise TypeError("not a Result")
    if not result:
        func(*result.unwrap_err())
    return result


def checked_expect_err(result, message):
    if type(result) is not Result:
        raise TypeError("not a Result")
    if result:
        raise ValueError(message)
    return result.unwrap_err()


def checked_flatten(result):
    if type(result) is not Result:
        raise TypeError("not a Result")
    if not result:
        return result
    inner = result.unwrap()
    if type(inner) is not Result:
        raise TypeError("not a Result")
    return inner


def checked_failure(exc):
    if not isinstance(exc, BaseException):
        raise TypeError("not an exception")
    return Result.err(str(exc), type(exc).__name__, exc)


def checked_ok_or(maybe, message):
    if type(maybe) is not MayBe:
        raise TypeError("not a MayBe")
    return Result.ok(maybe.unwrap()) if maybe else Result.err(message)


def checked_to_maybe(result):
    if type(result) is not Result:
        raise TypeError("not a Result")
    return MayBe.just(result.unwrap()) if result else MayBe.nothing()


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


# (case, toolkit, hand-written, the hand-written with the toolkit's argument test or None)
CASES = [
    ("or_else, Err", "or_else(ERR, recover)", "hand_or_else(ERR, recover)",
     "checked_or_else(ERR, recover)"),
    ("or_else, Ok", "or_else(OK, recover)", "hand_or_else(OK, recover)",
     "checked_or_else(OK, recover)"),
    ("unwrap_or_else, Err", "unwrap_or_else(ERR, default)", "hand_unwrap_or_else(ERR, default)",
     "checked_unwrap_or_else(ERR, default)"),
    ("unwrap_or_else, Ok", "unwrap_or_else(OK, default)", "hand_unwrap_or_else(OK, default)",
     "checked_unwrap_or_else(OK, default)"),
    ("map_or, Ok", "map_or(OK, 0, plus_one)", "hand_map_or(OK, 0, plus_one)",
     "checked_map_or(OK, 0, plus_one)"),
    ("map_or, Err", "map_or(ERR, 0, plus_one)", "hand_map_or(ERR, 0, plus_one)",
     "checked_map_or(ERR, 0, plus_one)"),
    ("map_or_else, Ok", "map_or_else(OK, default, plus_one)",
     "hand_map_or_else(OK, default, plus_one)", "checked_map_or_else(OK, default, plus_one)"),
    ("map_or_else, Err", "map_or_else(ERR, default, plus_one)",
     "hand_map_or_else(ERR, default, plus_one)", "checked_map_or_else(ERR, default, plus_one)"),
    ("inspect, Ok", "inspect(OK, ignore)", "hand_inspect(OK, ignore)",
     "checked_inspect(OK, ignore)"),
    ("inspect, Err", "inspect(ERR, ignore)", "hand_inspect(ERR, ignore)",
     "checked_inspect(ERR, ignore)"),
    ("inspect_err, Err", "inspect_err(ERR, ignore)", "hand_inspect_err(ERR, ignore)",
     "checked_inspect_err(ERR, ignore)"),
    ("inspect_err, Ok", "inspect_err(OK, ignore)", "hand_inspect_err(OK, ignore)",
     "checked_inspect_err(OK, ignore)"),
    ("expect_err, Err", "expect_err(ERR, 'x')", "hand_expect_err(ERR, 'x')",
     "checked_expect_err(ERR, 'x')"),
    ("flatten, Ok of an Ok", "flatten(NESTED)", "hand_flatten(NESTED)", "checked_flatten(NESTED)"),
    ("flatten, Err", "flatten(ERR)", "hand_flatten(ERR)", "checked_flatten(ERR)"),
    ("from_exception", "from_exception(EXC)", "hand_failure(EXC)", "checked_failure(EXC)"),
    ("ok_or, Just", "ok_or(JUST, 'none')", "hand_ok_or(JUST, 'none')",
     "checked_ok_or(JUST, 'none')"),
    ("ok_or, Nothing", "ok_or(NOTHING, 'none')", "hand_ok_or(NOTHING, 'none')",
     "checked_ok_or(NOTHING, 'none')"),
    ("to_maybe, Ok", "to_maybe(OK)", "hand_to_maybe(OK)", "checked_to_maybe(OK)"),
    ("to_maybe, Err", "to_maybe(ERR)", "hand_to_maybe(ERR)", "checked_to_maybe(ERR)"),
    ("combine, 3 Oks", "combine(OK, OK, OK)", "hand_combine(OK, OK, OK)", None),
    ("combine, an Err at 2 of 3", "combine(OK, ERR, OK)", "hand_combine(OK, ERR, OK)", None),
    ("do, 3 Ok steps", "three_steps(OK, OK, OK)", "hand_three_steps(OK, OK, OK)", None),
    ("do, an Err at step 2", "three_steps(OK, ERR, OK)", "hand_three_steps(OK, ERR, OK)", None),
    ("map_async, Ok", "drive(map_async(OK, increment))", "drive(hand_map_async(OK, increment))",
     None),
    ("and_then_async, Ok", "drive(and_then_async(OK, next_step))",
     "drive(hand_and_then_async(OK, next_step))", None),
]


SHORT, LONG = 500, 1500  # the trip counts of the instruction count


def statements():
    """Each statement the instruction count runs, in order: per case its two or three sides."""
    for _, toolkit, hand, checked in CASES:
        yield from (toolkit, hand) if checked is None else (toolkit, hand, checked)


def count_child():
    """Inside callgrind: each statement, then the empty one, for two trip counts each."""
    # A collection would land in the counts of some runs and not others.
    gc.disable()
    for statement in [side for case in statements() for side in (case, "None")]:
        namespace = dict(globals())
        exec(f"def run(trips):\n    for _ in range(trips):\n        {statement}\n", namespace)
        run = namespace["run"]
        run(10)  # warm up: specialise the bytecode before counting
        for trips in (SHORT, LONG):
            os.getppid()
            run(trips)
        os.getppid()


def count_instructions():
    """Instructions per execution: {name: (toolkit, hand-written, checked hand-written or None)}."""
    # The child imports bench/tools.py, so it runs without -P.
    totals = callgrind_totals([sys.executable, __file__, "--child"])
    # Three dumps a run: what came before it, the short run and the long run; a run of the
    # empty statement follows each statement's, whose count it takes away.
    per_trip = [(totals[start + 2] - totals[start + 1]) / (LONG - SHORT)
                for start in range(0, len(totals) - 2, 3)]
    counts = dict(zip(statements(), (per_trip[i] - per_trip[i + 1]
                                     for i in range(0, len(per_trip), 2))))
    return {name: (counts[toolkit], counts[hand], None if checked is None else counts[checked])
            for name, toolkit, hand, checked in CASES}


def best(statement, number, repeats):
    timer = timeit.Timer(statement, globals=globals())
    return min(timer.repeat(repeat=repeats, number=number)) / number


def measure(rounds, repeats, number):
    ratios = {name: [] for name, *_ in CASES}
    times = {name: ([], []) for name, *_ in CASES}
    for _ in range(rounds):
        for name, toolkit, hand, _ in CASES:
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
    for name, *_ in CASES:
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
        section += "\n" + "\n".join(report_instructions(counts, dict.fromkeys(counts, TARGET),
                                                          "with the toolkit's argument test"))
    print(section)
    if arguments.write:
        write(section)
    failed = [name for name, *_ in CASES if statistics.median(ratios[name]) > TARGET]
    if failed:
        print(f"over {TARGET}x: {', '.join(failed)}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
