"""The measuring half of bench/run.py: the timed cases under pyperf, the other scripts of bench/
that it runs (the workload, the instruction counts) and the memory per object."""

from __future__ import annotations

import json
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import catalogue
from catalogue import FLOOR, LEAN, PURE, RESULT, RETURNS, TOLBRANE

HERE = Path(__file__).resolve().parent

FULL = {"processes": 4, "values": 3, "warmups": 1, "min_time": 0.05}
# A fixed loop count spares pyperf's calibration process for every benchmark.
QUICK = {"processes": 1, "values": 1, "warmups": 1, "loops": 1000}


def available_implementations() -> list[str]:
    """The implementations installed here (found without importing them)."""
    from importlib.util import find_spec

    found = [TOLBRANE, PURE, LEAN, FLOOR]
    found += [peer for peer in (RESULT, RETURNS) if find_spec(peer) is not None]
    return found


def selected_cases(only: str | None) -> list[catalogue.Case]:
    if not only:
        return catalogue.CASES
    wanted = {case.key for case in catalogue.CASES if re.search(only, case.key)}
    # The references a selected case is compared with come along.
    for case in list(catalogue.CASES):
        if case.key in wanted:
            wanted.update(filter(None, (case.floor, case.shape, case.callee, case.constructor,
                                        case.positional)))
    if wanted:
        wanted.update({"empty", "empty1"})
    return [case for case in catalogue.CASES if case.key in wanted]


def benchmark(runner, cases: list[catalogue.Case]) -> dict[str, float]:
    """Seconds per operation, loop included, keyed 'case/implementation' (master process)."""
    implementations = available_implementations()
    namespaces: dict[str, dict] = {}

    def loop(case, implementation, snippet):
        # Compiled (and the implementation imported) only in the worker that runs it.
        compiled = []

        def bench(loops):
            if not compiled:
                scope = catalogue.loop_namespace_for(case, implementation)
                if scope not in namespaces:
                    namespaces[scope] = catalogue.namespace(scope)
                compiled.append(catalogue.compile_loop(implementation, snippet,
                                                       namespaces[scope]))
            return compiled[0](loops)
        return bench

    seconds = {}
    for case in cases:
        for implementation, snippet in case.code.items():
            if implementation not in implementations:
                continue
            name = f"{case.key}/{implementation}"
            result = runner.bench_time_func(name, loop(case, implementation, snippet),
                                            inner_loops=snippet.unroll)
            if result is not None and not runner.args.worker:
                # The fastest value: on a shared machine, slower ones measure the neighbours.
                seconds[name] = min(result.get_values())
    return seconds


def net_nanoseconds(seconds: dict[str, float]) -> dict[str, float]:
    """Cost of one operation without the loop's, in ns, keyed 'case/implementation'."""
    net = {}
    for name, value in seconds.items():
        key, implementation = name.split("/")
        snippet = catalogue.BY_KEY[key].code[implementation]
        baseline = seconds[f"{catalogue.baseline_of(snippet)}/{FLOOR}"]
        net[name] = (value - baseline) * 1e9
    return net


def run_script(script: str, arguments: list[str]) -> dict | None:
    """Runs another script of bench/ on this interpreter; its JSON output, or None."""
    with tempfile.TemporaryDirectory(prefix="tolbrane-bench-") as work:
        out = Path(work) / "out.json"
        completed = subprocess.run([sys.executable, str(HERE / script), "--json", str(out),
                                    *arguments])
        if not out.exists():
            print(f"{script} failed (exit {completed.returncode})")
            return None
        return json.loads(out.read_text())


def count_instructions() -> dict | None:
    if shutil.which("valgrind") is None:
        print("valgrind is not installed: no instruction counts "
              "(apt-get update && apt-get install -y valgrind)")
        return None
    return run_script("instructions.py", [])


# --------------------------------------------------------------------------------------------
# Memory per object.

MEMORY_COUNT = 10_000


def bytes_held(make) -> tuple[int, int]:
    """Bytes per object that objects made by make(i) keep allocated, by tracemalloc: (as requested
    from CPython's allocators, as pymalloc hands out blocks in 16-byte steps). Every block still
    allocated after they are made counts: the object, its own copies of texts and anything else it
    keeps alive, such as a message made for it alone. Two batches of MEMORY_COUNT are made and the
    second one's growth is the figure, to the byte, so that what the measuring allocates drops
    out."""
    import gc
    import tracemalloc

    def allocated() -> tuple[int, int]:
        sizes = [trace.size for trace in tracemalloc.take_snapshot().traces]
        return sum(sizes), sum(size if size > 512 else -(-size // 16) * 16 for size in sizes)

    keep = [None] * (2 * MEMORY_COUNT)
    gc.collect()
    tracemalloc.start()
    for index in range(MEMORY_COUNT):
        keep[index] = make(index)
    first = allocated()
    for index in range(MEMORY_COUNT, 2 * MEMORY_COUNT):
        keep[index] = make(index)
    second = allocated()
    tracemalloc.stop()
    del keep
    return (round((second[0] - first[0]) / MEMORY_COUNT),
            round((second[1] - first[1]) / MEMORY_COUNT))


def memory() -> list[dict]:
    """Bytes per Ok, Err and Just in every implementation installed. The payload of an Ok is one
    shared object; each Err gets a message of its own, made for it, as real errors do."""
    import lean
    import pure
    from tolbrane import MayBe, Result

    payload = 1000
    makers = [
        ("tolbrane Ok", lambda i: Result.ok(payload)),
        ("lean class Ok", lambda i: lean.Result.ok(payload)),
        ("dataclass Ok", lambda i: pure.Result.ok(payload)),
    ]
    peers_ok, peers_err = [], []
    try:
        from result import Err, Ok
        peers_ok.append(("`result` Ok", lambda i: Ok(payload)))
        peers_err.append(("`result` Err", lambda i: Err(f"quantity out of range: {i}")))
    except ImportError:
        pass
    try:
        from returns.result import Failure, Success
        peers_ok.append(("`returns` Success", lambda i: Success(payload)))
        peers_err.append(("`returns` Failure", lambda i: Failure(f"quantity out of range: {i}")))
    except ImportError:
        pass
    makers += peers_ok + [
        ("tolbrane Err", lambda i: Result.err(f"quantity out of range: {i}")),
        ("lean class Err", lambda i: lean.Result.err(f"quantity out of range: {i}")),
        ("dataclass Err", lambda i: pure.Result.err(f"quantity out of range: {i}")),
    ] + peers_err + [
        ("tolbrane Just", lambda i: MayBe.just(payload)),
        ("dataclass Just", lambda i: pure.MayBe.just(payload)),
    ]
    rows = []
    for name, make in makers:
        requested, in_blocks = bytes_held(make)
        rows.append({"object": name, "requested": requested, "blocks": in_blocks,
                     "getsizeof": sys.getsizeof(make(0))})
    return rows
