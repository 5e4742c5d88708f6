"""Deep chains on small thread stacks, tolbrane's beside CPython's own containers.

    python tests/stack_matrix.py [--jobs N]    # prints the whole table for this interpreter

A case builds a chain of one kind, `depth` links deep, in a new thread whose stack size is set
with threading.stack_size, and then either frees it ("free") or takes its repr ("repr"); or, in
"free-switch", a finaliser run a dozen of our deallocations deep builds and frees the chain in a
legacy sub-interpreter, on the same thread ("deferred" when CPython's teardown of the lists on the
way put that finaliser off). Each case
runs in a subprocess of its own, so that a stack overflow ends that case alone. Its outcome is
"ok" (freed, or the repr returned), "RecursionError" (repr only), or how the child ended: the
signal that killed it, its exit status, or "timeout".
"""

from __future__ import annotations

import argparse
import signal
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

# Kind -> one link of the chain: the expression of a function of the chain so far and the link's
# index. The chains of CPython's own containers are the baselines.
KINDS = {
    "Ok(Ok(...))": "lambda x, i: Result.ok(x)",
    "Just(Just(...))": "lambda x, i: MayBe.just(x)",
    "Ok([Ok([...])])": "lambda x, i: Result.ok([x])",
    "Just((Just((...),),))": "lambda x, i: MayBe.just((x,))",
    "Ok({'k': Ok({...})})": "lambda x, i: Result.ok({'k': x})",
    "mixed": "lambda x, i: (lambda x: Result.ok(MayBe.just(x)), lambda x: MayBe.just([x]),"
             " lambda x: Result.ok((x,)), lambda x: MayBe({'k': x}))[i % 4](x)",
}
BASELINES = {
    "[[...]]": "lambda x, i: [x]",
    "((...),)": "lambda x, i: (x,)",
    "{'k': {...}}": "lambda x, i: {'k': x}",
}
OPERATIONS = ("free", "repr", "free-switch")
STACK_SIZES = {"64K": 64 << 10, "256K": 256 << 10, "1M": 1 << 20, "8M": 8 << 20}
DEPTHS = (10**4, 10**5, 10**6)
SURVIVED = ("ok", "RecursionError")

CHILD = """
import os, sys, threading
from tolbrane import MayBe, Result
link, operation, stack, depth = eval(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
outcome = []

if operation == "free-switch":
    try:
        import _interpreters as interpreters  # 3.13 and later
        create, run = lambda: interpreters.create("legacy"), interpreters.exec
    except ImportError:
        import _xxsubinterpreters as interpreters  # 3.12
        create, run = lambda: interpreters.create(isolated=False), interpreters.run_string
    other = create()
    read, write = os.pipe()
    run(other, "import os\\nfrom tolbrane import MayBe, Result")
    # The chain is built and freed in the other interpreter by the finaliser of an object at the
    # bottom of a chain of ours, while that chain's teardown runs deep.
    in_other = ("link = " + sys.argv[1] + "\\nchain = 0\\nfor i in range(%d): chain = link(chain, i)"
                "\\ndel chain\\nos.write(%d, b'ok')" % (depth, write))

    finished = []

    class Switch:
        def __del__(self):
            try:
                failure = run(other, in_other)
            except BaseException as raised:  # 3.12 raises where 3.13 returns the failure
                failure = raised
            finished.append(failure)

def free_in_other_interpreter():
    outer = Result.ok([Switch()])
    for _ in range(12):
        outer = Result.ok([outer])
    del outer
    os.close(write)
    freed = os.read(read, 16).decode()
    if not finished:
        # CPython's own teardown of the lists put the finaliser off (3.14 does on small stacks).
        outcome.append("deferred")
    elif not freed:
        failure = finished[0]
        outcome.append("failed " + (getattr(getattr(failure, "type", None), "__name__", None)
                                    or type(failure).__name__))
    else:
        outcome.append(freed)

def work():
    if operation == "free-switch":
        free_in_other_interpreter()
        return
    chain = 0
    for i in range(depth):
        chain = link(chain, i)
    if operation == "free":
        del chain
        outcome.append("ok")
        return
    try:
        repr(chain)
        outcome.append("ok")
    except RecursionError:
        outcome.append("RecursionError")
    # The chain is left alive: freeing it is the other operation's case.
    os.write(1, outcome[0].encode())
    os._exit(0)

try:
    threading.stack_size(stack)
except ValueError:  # a debug build needs a larger thread stack than the smallest tried
    os.write(1, b"refused")
    os._exit(0)
thread = threading.Thread(target=work)
thread.start()
thread.join()
os.write(1, outcome[0].encode() if outcome else b"no outcome")
os._exit(0)
"""


def run_case(kind: str, operation: str, stack: str, depth: int, timeout: float = 120) -> str:
    link = KINDS.get(kind) or BASELINES[kind]
    try:
        child = subprocess.run(
            [sys.executable, "-c", CHILD, link, operation, str(STACK_SIZES[stack]), str(depth)],
            capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "timeout"
    if child.returncode < 0:
        return signal.Signals(-child.returncode).name
    if child.returncode != 0:
        return f"exit {child.returncode}"
    return child.stdout


def run_cases(cases, jobs: int = 2, timeout: float = 120) -> dict:
    """Outcome of each case (kind, operation, stack, depth), `jobs` children at a time."""
    with ThreadPoolExecutor(jobs) as pool:
        outcomes = pool.map(lambda case: run_case(*case, timeout=timeout), cases)
        return dict(zip(cases, outcomes))


def worse_than_baseline(outcomes: dict) -> list:
    """The cases of ours that did not survive where one of CPython's containers did, at the same
    operation, stack size and depth."""
    worse = []
    for kind, operation, stack, depth in outcomes:
        if kind not in KINDS or outcomes[kind, operation, stack, depth] in SURVIVED:
            continue
        survivors = [baseline for baseline in BASELINES
                     if outcomes.get((baseline, operation, stack, depth)) in SURVIVED]
        if survivors:
            worse.append((kind, operation, stack, depth, outcomes[kind, operation, stack, depth],
                          survivors))
    return worse


SHORT = {"ok": "ok", "RecursionError": "RecErr", "SIGSEGV": "SEGV", "refused": "refused"}


def table(outcomes: dict) -> str:
    """One row per operation and kind, one column per stack size and depth tried."""
    columns = sorted({(stack, depth) for _, _, stack, depth in outcomes},
                     key=lambda column: (list(STACK_SIZES).index(column[0]), column[1]))
    header = ["operation", "kind"] + [f"{stack} 10^{len(str(depth)) - 1}" for stack, depth in columns]
    rows = []
    for operation in OPERATIONS:
        for kind in [*BASELINES, *KINDS]:
            cells = [SHORT.get(outcome, outcome) if (outcome := outcomes.get((kind, operation, *column)))
                     else "-" for column in columns]
            if any(cell != "-" for cell in cells):
                rows.append([operation, kind, *cells])
    widths = [max(len(row[i]) for row in [header, *rows]) for i in range(len(header))]
    return "\n".join("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip()
                     for row in [header, *rows])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--jobs", type=int, default=2, help="children run at a time")
    arguments = parser.parse_args()
    cases = [(kind, operation, stack, depth) for operation in OPERATIONS
             for kind in [*BASELINES, *KINDS] for stack in STACK_SIZES for depth in DEPTHS]
    outcomes = run_cases(cases, arguments.jobs)
    print(f"Python {sys.version.split()[0]}: RecErr = RecursionError raised, SEGV = crashed")
    print(table(outcomes))
    worse = worse_than_baseline(outcomes)
    print("worse than CPython's containers:", worse or "nowhere")


if __name__ == "__main__":
    main()
