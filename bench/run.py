"""Benchmarks tolbrane against pure Python, `result`, `returns` and CPython's own builtins.

    pip install -r bench/requirements.txt .    # the tree as it is now, into the environment
    python bench/run.py                         # about 7 minutes on 2 cores
    python bench/run.py --quick                 # a smoke run of about a minute, nothing saved

One pyperf process family on the running interpreter times every operation of
bench/catalogue.py in every implementation that has it, then (when valgrind is installed) counts
instructions with bench/instructions.py. It saves the figures as bench/results/<python>.json and
writes docs/benchmarks.md (a table per interpreter with saved figures), docs/benchmarks.png (this
interpreter) and the summary table of the Performance section of README.md.
"""

from __future__ import annotations

import datetime
import json
import math
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))

import pyperf  # noqa: E402

import catalogue  # noqa: E402
from catalogue import FLOOR, PEER_TITLES, PEERS, PURE, RESULT, RETURNS, TOLBRANE  # noqa: E402

RESULTS = HERE / "results"
DOCS = ROOT / "docs"
README = ROOT / "README.md"
README_BEGIN = "<!-- benchmark summary: written by bench/run.py -->"
README_END = "<!-- end of benchmark summary -->"

FULL = {"processes": 4, "values": 3, "warmups": 1, "min_time": 0.05}
QUICK = {"processes": 1, "values": 2, "warmups": 1, "min_time": 0.01}


def add_options(parser) -> None:
    parser.add_argument("--quick", action="store_true",
                        help="one process and short runs: a smoke test; saves nothing")
    parser.add_argument("--only", metavar="REGEX",
                        help="only the cases whose key matches (e.g. 'Result\\.map'); saves nothing")
    parser.add_argument("--no-instructions", action="store_true",
                        help="skip the callgrind instruction counts")
    parser.add_argument("--render", action="store_true",
                        help="only write the documents again from bench/results/")


def pass_options(command: list[str], args) -> None:
    """Our options, for the worker processes pyperf starts."""
    if args.quick:
        command.append("--quick")
    if args.only:
        command.extend(["--only", args.only])


def available_implementations() -> list[str]:
    """The implementations installed here (found without importing them)."""
    from importlib.util import find_spec

    found = [TOLBRANE, PURE, FLOOR]
    found += [peer for peer in (RESULT, RETURNS) if find_spec(peer) is not None]
    return found


def selected_cases(only: str | None) -> list[catalogue.Case]:
    if not only:
        return catalogue.CASES
    wanted = {case.key for case in catalogue.CASES if re.search(only, case.key)}
    # The references a selected case is held to come along.
    for case in list(catalogue.CASES):
        if case.key in wanted:
            wanted.update(filter(None, (case.floor, case.shape, case.callee, case.constructor,
                                        case.positional)))
    wanted.update({"empty", "empty1"})
    return [case for case in catalogue.CASES if case.key in wanted]


def benchmark(runner: pyperf.Runner, cases: list[catalogue.Case]) -> dict[str, float]:
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


def count_instructions() -> dict | None:
    if shutil.which("valgrind") is None:
        print("valgrind is not installed: no instruction counts "
              "(apt-get update && apt-get install -y valgrind)")
        return None
    with tempfile.TemporaryDirectory(prefix="tolbrane-bench-") as work:
        out = Path(work) / "instructions.json"
        completed = subprocess.run([sys.executable, str(HERE / "instructions.py"),
                                    "--json", str(out)])
        if not out.exists():
            print(f"instruction count failed (exit {completed.returncode})")
            return None
        return json.loads(out.read_text())["instructions"]


def memory() -> dict[str, int]:
    import pure
    from tolbrane import MayBe, Result

    class Slotted:
        __slots__ = ("message", "code", "value", "details")

    sizes = {"tolbrane Ok": sys.getsizeof(Result.ok(1)),  # kept in this order in the JSON
             "tolbrane Err": sys.getsizeof(Result.err("m")),
             "tolbrane Just": sys.getsizeof(MayBe.just(1)),
             "slotted class, four fields": sys.getsizeof(Slotted()),
             "pure Python Ok": sys.getsizeof(pure.Result.ok(1)),
             "pure Python Just": sys.getsizeof(pure.MayBe.just(1))}
    try:
        from result import Ok
        sizes["`result` Ok"] = sys.getsizeof(Ok(1))
    except ImportError:
        pass
    return sizes


def describe_tolbrane() -> str:
    import tolbrane
    try:
        commit = subprocess.run(["git", "-C", str(ROOT), "describe", "--always", "--dirty"],
                                capture_output=True, text=True).stdout.strip()
    except OSError:
        commit = ""
    version = getattr(tolbrane, "__version__", "")
    return f"{version} (working tree at {commit})".strip() if commit else version or "unknown"


# --------------------------------------------------------------------------------------------
# Reading a saved run.

class Run:
    def __init__(self, data: dict):
        self.data = data
        self.python = data["python"]
        self.ns = data["ns"]
        self.instructions = data.get("instructions")

    def time(self, key: str, implementation: str = TOLBRANE) -> float | None:
        case = catalogue.BY_KEY[key]
        if case.section == "Floor":
            implementation = FLOOR
        return self.ns.get(f"{key}/{implementation}")

    def instr(self, key: str) -> float | None:
        return None if self.instructions is None else self.instructions.get(key)

    def measure(self, unit: str):
        """cost(key) for tolbrane's cases and the floors, in ns or instructions."""
        def cost(key):
            value = self.time(key) if unit == "ns" else self.instr(key)
            if value is None:
                raise KeyError(key)
            return value
        return cost


def safely(compute):
    try:
        return compute()
    except (KeyError, TypeError, ZeroDivisionError):
        return None


def speedup(run: Run, case: catalogue.Case, peer: str) -> float | None:
    mine, theirs = run.time(case.key), run.time(case.key, peer)
    if mine is None or theirs is None or mine <= 0:
        return None
    return theirs / mine


def verdict(case: catalogue.Case, run: Run) -> tuple[str, str, str, str]:
    """(held to, time ratio, instruction ratio, met) for one of tolbrane's cases."""
    time, instr = run.measure("ns"), run.measure("instr")
    if case.kind == "keyword":
        extra_ns = safely(lambda: catalogue.own_cost(case, time))
        extra_instr = safely(lambda: catalogue.own_cost(case, instr))
        met = "" if extra_ns is None else ("yes" if extra_ns <= catalogue.KEYWORD_EXTRA_NS
                                           else "no")
        return ("the call by position", signed(extra_ns, " ns", 1), signed(extra_instr, "", 0),
                met)
    if case.kind == "chain":
        speedups = {peer: speedup(run, case, peer) for peer in catalogue.CHAIN_SPEEDUP}
        known = {peer: value for peer, value in speedups.items() if value is not None}
        met = ""
        if case.section == "Result" and known:
            met = "yes" if all(known[peer] >= limit for peer, limit in
                               catalogue.CHAIN_SPEEDUP.items() if peer in known) else "no"
        reference = catalogue.BY_KEY[case.floor].label
        return (reference, ratio_text(safely(lambda: time(case.key) / time(case.floor))),
                ratio_text(safely(lambda: instr(case.key) / instr(case.floor))), met)
    limit = catalogue.target_limit(case)
    if limit is not None:
        by_time = safely(lambda: catalogue.target_ratio(case, time))
        by_instr = safely(lambda: catalogue.target_ratio(case, instr))
        reference = (f"own cost / {case.constructor}" if case.kind == "combinator"
                     else catalogue.BY_KEY[case.floor].label)
        misses = [unit for unit, value in (("time", by_time), ("instr.", by_instr))
                  if value is not None and value > limit]
        met = "no (" + ", ".join(misses) + ")" if misses else "yes"
        if by_time is None and by_instr is None:
            met = ""
        return reference, ratio_text(by_time), ratio_text(by_instr), met
    shape = catalogue.shape_of(case)
    return (catalogue.BY_KEY[shape].label,
            ratio_text(safely(lambda: catalogue.floor_ratio(case, time))),
            ratio_text(safely(lambda: catalogue.floor_ratio(case, instr))), "")


def same_shape(case: catalogue.Case, run: Run) -> str:
    """Ratio to the builtin of the same call shape, where it is not the target's floor."""
    if case.kind not in ("query", "constructor") or not case.shape:
        return ""
    cost_time, cost_instr = run.measure("ns"), run.measure("instr")
    by_time = safely(lambda: catalogue.floor_ratio(case, cost_time))
    by_instr = safely(lambda: catalogue.floor_ratio(case, cost_instr))
    return f"{catalogue.BY_KEY[case.shape].label}: {ratio_text(by_time)} / {ratio_text(by_instr)}"


def cell(text: str) -> str:
    """Text for a table cell: a bar would end the cell."""
    return text.replace("|", "\\|")


def code(text: str) -> str:
    return f"`{cell(text)}`"


def ratio_text(value: float | None) -> str:
    return "" if value is None or not math.isfinite(value) else f"{value:.2f}x"


def signed(value: float | None, unit: str, digits: int) -> str:
    return "" if value is None else f"{value:+.{digits}f}{unit}"


def speedup_text(value: float | None) -> str:
    return "" if value is None else f"{value:.1f}x"


# --------------------------------------------------------------------------------------------
# Writing the documents.

def table(run: Run, sections=("Result", "MayBe")) -> list[str]:
    lines = ["| operation | vs pure Python | vs `result` | vs `returns` | held to | time ratio "
             "| instr. ratio | target | met | same-shape builtin (time / instr.) |",
             "|---|---:|---:|---:|---|---:|---:|---|---|---|"]
    for case in catalogue.CASES:
        if case.section not in sections or run.time(case.key) is None:
            continue
        peers = [speedup_text(speedup(run, case, peer)) for peer in PEERS]
        for position, peer in enumerate(PEERS):
            if peers[position] and peer in case.notes:
                peers[position] += f" ({case.notes[peer]})"
        reference, by_time, by_instr, met = verdict(case, run)
        lines.append(f"| {code(case.label)} | {' | '.join(peers)} | {cell(reference)} | {by_time} | "
                     f"{by_instr} | {catalogue.target_of(case)} | {met} | "
                     f"{cell(same_shape(case, run))} |")
    return lines


def raw_table(run: Run) -> list[str]:
    implementations = [TOLBRANE, *PEERS]
    lines = ["| operation | " + " | ".join(
                 ["tolbrane ns", "instr."] + [f"{PEER_TITLES[p]} ns" for p in PEERS]) + " |",
             "|---|" + "---:|" * (2 + len(PEERS))]
    for case in catalogue.CASES:
        own = FLOOR if case.section == "Floor" else TOLBRANE
        cells = []
        for implementation in implementations:
            value = run.ns.get(f"{case.key}/{own if implementation == TOLBRANE else implementation}")
            if implementation != TOLBRANE and case.section == "Floor":
                value = None
            cells.append("" if value is None else f"{value:.1f}")
            if implementation == TOLBRANE:
                count = run.instr(case.key)
                cells.append("" if count is None else f"{count:.0f}")
        if any(cells):
            lines.append(f"| {code(case.label)} | " + " | ".join(cells) + " |")
    return lines


def memory_lines(run: Run) -> list[str]:
    sizes = dict(run.data.get("memory", []))
    if not sizes:
        return []
    limit = sizes["slotted class, four fields"] + 8
    ok = sizes["tolbrane Ok"]
    lines = ["`sys.getsizeof` in bytes (target: an Ok no larger than a slotted class with the same "
             f"four fields plus one word, {limit} bytes: {'met' if ok <= limit else 'not met'}, "
             f"{ok} bytes)", "", "| object | bytes |", "|---|---:|"]
    lines += [f"| {name} | {size} |" for name, size in sizes.items()]
    return lines


def summary_lines(run: Run) -> list[str]:
    """The few figures the README shows."""
    keys = ["Result.ok", "Result.is_ok", "Result.unwrap", "Result.map", "Result.map_kw",
            "Result.chain", "Result.unwrap_caught", "MayBe.just", "MayBe.map"]
    lines = [f"CPython {run.python}, {run.data['machine']}: speed-ups are the peer's time over "
             "tolbrane's; ratios are tolbrane's cost over CPython's own builtin of the same kind "
             "(every operation and the targets: [docs/benchmarks.md](docs/benchmarks.md)).", "",
             "| operation | vs pure Python | vs `result` | held to | time ratio | instr. ratio |",
             "|---|---:|---:|---|---:|---:|"]
    for key in keys:
        case = catalogue.BY_KEY[key]
        if run.time(key) is None:
            continue
        reference, by_time, by_instr, _ = verdict(case, run)
        if case.kind == "chain":
            reference = by_time = by_instr = ""
        lines.append(f"| {code(case.label)} | {speedup_text(speedup(run, case, PURE))} | "
                     f"{speedup_text(speedup(run, case, RESULT))} | {cell(reference)} | {by_time} | "
                     f"{by_instr} |")
    return lines


def load_runs() -> list[Run]:
    runs = [Run(json.loads(path.read_text())) for path in sorted(RESULTS.glob("*.json"))]
    return sorted(runs, key=lambda run: tuple(int(p) for p in run.python.split(".")))


def write_markdown(runs: list[Run]) -> None:
    out = ["# Benchmarks", "",
           "Written by `python bench/run.py` (see the Performance section of the README); do not "
           "edit by hand.", "",
           "How to read the tables:", "",
           "- Every figure is the cost of one operation with the cost of an empty loop taken off; "
           "a time is the fastest of pyperf's values (slower ones measure whatever else the "
           "machine was doing). "
           "Receivers and arguments are local variables, classes and callables module globals, "
           "as in user code.",
           "- *vs pure Python*, *vs `result`*, *vs `returns`*: how many times faster tolbrane is "
           "than the same operation in [bench/pure.py](../bench/pure.py) (frozen slotted "
           "dataclasses), the `result` package (`Ok`/`Err`) and the `returns` package, in the "
           "same run. Blank: no counterpart.",
           "- *held to*, *time ratio*, *instr. ratio*: tolbrane's cost over a CPython builtin of "
           "the same kind measured in the same run, in time (pyperf) and in instructions "
           "(callgrind, deterministic). A combinator's own cost is its cost less one call of "
           "the same callable made by `map()` from C, set against the constructor. For the "
           "keyword path the figure is what passing `func=` by keyword adds.",
           "- *same-shape builtin*: where the target names a builtin of another call shape "
           "(`bool(r)` and `len(r)` go through type slots; `unwrap_or(x)` takes an argument), "
           "the ratio to a builtin called the same way.", ""]
    for run in reversed(runs):
        data = run.data
        out += [f"## CPython {run.python}", "",
                f"{data['date']}, {data['machine']}, tolbrane {data['tolbrane']}, "
                f"{data['settings']}.", ""]
        if run.instructions is None:
            out += ["No instruction counts: valgrind was not installed.", ""]
        out += ["### Result", ""] + table(run, ("Result",)) + [""]
        out += ["### MayBe", ""] + table(run, ("MayBe",)) + [""]
        out += ["### Memory", ""] + memory_lines(run) + [""]
        out += ["### Raw figures", "",
                "Nanoseconds per operation on the machine above (loop taken off) and "
                "instructions per operation; machine-specific, for comparing runs.", ""]
        out += raw_table(run) + [""]
    (DOCS / "benchmarks.md").write_text("\n".join(out))


def write_readme(runs: list[Run]) -> None:
    if not README.exists():
        return
    text = README.read_text()
    if README_BEGIN not in text or README_END not in text:
        print(f"README.md has no benchmark markers ({README_BEGIN}): summary not written")
        return
    block = []
    for run in reversed(runs):
        block += summary_lines(run) + [""]
    head, rest = text.split(README_BEGIN, 1)
    _, tail = rest.split(README_END, 1)
    README.write_text(head + README_BEGIN + "\n" + "\n".join(block) + README_END + tail)


def write_chart(run: Run) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.ticker

    cases = [case for case in catalogue.CASES
             if case.section != "Floor" and run.time(case.key) is not None]
    labels = [f"{case.section}: {case.label}" if case.section == "MayBe" and not
              case.label.startswith("MayBe") else case.label for case in cases]
    rows = range(len(cases))
    figure, (left, right) = plt.subplots(1, 2, figsize=(15, 0.26 * len(cases) + 1.6),
                                         sharey=True)
    height = 0.26
    colours = {PURE: "#4c72b0", RESULT: "#dd8452", RETURNS: "#55a868"}
    for position, peer in enumerate(PEERS):
        values = [speedup(run, case, peer) or 0 for case in cases]
        left.barh([row + (position - 1) * height for row in rows], values, height,
                  label=PEER_TITLES[peer].strip("`"), color=colours[peer])
    left.axvline(1, color="black", linewidth=0.8)
    left.set_xscale("log")
    left.xaxis.set_major_formatter(matplotlib.ticker.FuncFormatter(lambda value, _: f"{value:g}"))
    left.set_xlabel("times faster than the peer (log scale)")
    left.set_title("tolbrane against pure Python and peer libraries")
    left.legend(loc="lower right")
    left.set_yticks(list(rows), labels, fontsize=8, family="monospace")
    left.invert_yaxis()

    time, instr = run.measure("ns"), run.measure("instr")

    def ratio(case, cost):
        if case.kind == "keyword" or case.kind == "chain":
            return None
        if catalogue.target_limit(case) is not None:
            return safely(lambda: catalogue.target_ratio(case, cost))
        return safely(lambda: catalogue.floor_ratio(case, cost))

    by_time = [ratio(case, time) or 0 for case in cases]
    by_instr = [ratio(case, instr) or 0 for case in cases]
    right.barh([row - height / 2 for row in rows], by_time, height, label="time",
               color="#4c72b0")
    right.barh([row + height / 2 for row in rows], by_instr, height, label="instructions",
               color="#c44e52")
    for limit, style in ((catalogue.QUERY_LIMIT, ":"), (catalogue.CONSTRUCTOR_LIMIT, "--")):
        right.axvline(limit, color="black", linestyle=style, linewidth=0.8)
    right.axvline(1, color="black", linewidth=0.8)
    right.set_xlabel("tolbrane's cost / the builtin it is held to\n"
                     "(lines: 1, 1.15 for queries, 1.25 for constructors and combinators)")
    right.set_title("against CPython's own builtins (see docs/benchmarks.md)")
    right.legend(loc="lower right")
    figure.suptitle(f"tolbrane, CPython {run.python} ({run.data['date']})")
    figure.tight_layout()
    figure.savefig(DOCS / "benchmarks.png", dpi=90)
    plt.close(figure)


# --------------------------------------------------------------------------------------------

def main() -> None:
    tree = describe_tolbrane()  # before the run: the tree may change while it goes on
    quick = "--quick" in sys.argv
    settings = QUICK if quick else FULL
    runner = pyperf.Runner(add_cmdline_args=pass_options, **settings)
    add_options(runner.argparser)
    args = runner.parse_args()
    if args.render:
        runs = load_runs()
        if not runs:
            sys.exit("nothing saved in bench/results/ yet")
        version = "%d.%d" % sys.version_info[:2]
        write_documents(runs, next((run for run in runs if run.python == version), runs[-1]))
        return
    cases = selected_cases(args.only)
    seconds = benchmark(runner, cases)
    if args.worker:
        return
    ns = net_nanoseconds(seconds)
    instructions = None if args.no_instructions else count_instructions()
    data = {
        "python": "%d.%d" % sys.version_info[:2],
        "python_full": platform.python_version(),
        "date": datetime.date.today().isoformat(),
        "machine": f"{platform.machine()}, {os.cpu_count()} cores",
        "tolbrane": tree,
        "settings": ("pyperf {processes} processes x {values} values, min_time {min_time} s"
                     .format(**settings)),
        "ns": ns,
        "instructions": instructions,
        "memory": list(memory().items()),
    }
    run = Run(data)
    if args.quick or args.only:
        print("\n".join(table(run)))
        print("(--quick or --only: nothing saved)")
        return
    RESULTS.mkdir(exist_ok=True)
    (RESULTS / f"{data['python']}.json").write_text(json.dumps(data, indent=1, sort_keys=True))
    print(f"saved {RESULTS / (data['python'] + '.json')}")
    write_documents(load_runs(), run)


def write_documents(runs: list[Run], charted: Run) -> None:
    DOCS.mkdir(exist_ok=True)
    write_markdown(runs)
    write_chart(charted)
    write_readme(runs)
    print(f"wrote {DOCS / 'benchmarks.md'}, {DOCS / 'benchmarks.png'} (CPython {charted.python}) "
          f"and the summary in {README.name}")


if __name__ == "__main__":
    main()
