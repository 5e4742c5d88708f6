"""Benchmarks tolbrane against pure Python, `result`, `returns` and CPython's own builtins.

    pip install -r bench/requirements.txt .    # the tree as it is now, into the environment
    python bench/run.py          # the publication run: about 6 minutes of processor time
    python bench/run.py --quick  # a smoke run: about 30 s of processor time; saves nothing

On the running interpreter, one pyperf process family times every operation of bench/catalogue.py
in every implementation that has it; bench/workload.py times the order workload of bench/orders/
(100,000 lines, the implementations interleaved); bench/instructions.py counts instructions with
callgrind (when valgrind is installed); and the memory per object is measured with tracemalloc.
A full run saves the figures as bench/results/<python>.json and writes docs/benchmarks.md (every
interpreter with saved figures), docs/benchmarks.png (the same) and the summary in the Performance
section of README.md.

This script is the command line and the order of the steps: bench/measure.py does the measuring,
bench/figures.py saves and reads the figures, bench/render.py writes the documents from them.

Only a clean working tree is published: when anything differs from the last commit (tracked or
untracked, other than the documents this script writes), the run prints its figures and saves
nothing, and --render skips saved figures that did not come from a clean tree. --quick skips the
instruction counts (`python bench/instructions.py` alone takes about 25 s of processor time).

The steps run one after another, so on a quiet machine the wall-clock time is close to the
processor time (about 6 minutes; 30 s for --quick). With other jobs on the machine it is longer
(measured on 2 cores at a load average of 3 to 7: 11.5 minutes, and 1 minute for --quick), and the
times are noisy: the documents say so when the load average was above half the number of cores.
Every run prints how long it took.
"""

from __future__ import annotations

import datetime
import os
import platform
import re
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE))

import figures  # noqa: E402
import measure  # noqa: E402
import render  # noqa: E402
from render import README, without_summary  # noqa: E402

# What this script writes: changes there do not make the tree dirty.
GENERATED = ("bench/results/", "docs/benchmarks.md", "docs/benchmarks.png")


def add_options(parser) -> None:
    parser.add_argument("--quick", action="store_true",
                        help="one process, one value, no instruction counts: a smoke test of "
                             "about 30 s of processor time; saves nothing")
    parser.add_argument("--only", metavar="REGEX",
                        help="only the cases whose key matches (e.g. 'Result\\.map'; 'workload' "
                             "for the workload); saves nothing")
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


# --------------------------------------------------------------------------------------------
# The state of the working tree.

def git(*arguments: str) -> str | None:
    try:
        completed = subprocess.run(["git", "-C", str(ROOT), *arguments], capture_output=True,
                                   text=True)
    except OSError:
        return None
    return completed.stdout if completed.returncode == 0 else None


def tree_state() -> tuple[str, list[str]]:
    """(commit, changes): HEAD's short hash, and what differs from it in the working tree, tracked
    or untracked, other than the documents this script writes."""
    commit = (git("rev-parse", "--short", "HEAD") or "").strip()
    status = git("status", "--porcelain", "--untracked-files=all")
    if not commit or status is None:
        return "unknown", ["(not a git work tree)"]
    changes = []
    for line in status.splitlines():
        path = line[3:].split(" -> ")[-1].strip('"')
        if path.startswith(GENERATED):
            continue
        if path == README.name and README.exists():
            committed = git("show", f"HEAD:{README.name}")
            if committed is not None and (without_summary(committed)
                                          == without_summary(README.read_text())):
                continue
        changes.append(path)
    return commit, changes


# --------------------------------------------------------------------------------------------
# The run.

def main() -> None:
    import pyperf

    started = time.monotonic()
    load_at_start = os.getloadavg()[0]
    quick = "--quick" in sys.argv
    settings = measure.QUICK if quick else measure.FULL
    runner = pyperf.Runner(add_cmdline_args=pass_options, **settings)
    add_options(runner.argparser)
    args = runner.parse_args()
    if args.render:
        runs = figures.load_runs()
        if not runs:
            sys.exit("no figures from a clean tree in bench/results/: nothing to write")
        render.write_documents(runs)
        return
    publish = not (args.quick or args.only)
    if not args.worker:
        commit, changes = tree_state()  # before the run: the tree may change while it goes on
        if publish and changes:
            print(f"The working tree differs from commit {commit} in: {', '.join(changes)}.\n"
                  "Figures from it are not published: this run prints them and saves nothing. "
                  "Commit (or stash) the changes and run again to publish.")
    cases = measure.selected_cases(args.only)
    seconds = measure.benchmark(runner, cases)
    if args.worker:
        return
    with_workload = not args.only or re.search(args.only, "workload")
    workload = (measure.run_script("workload.py", ["--quick"] if quick else [])
                if with_workload else None)
    counted = None if args.no_instructions or quick else measure.count_instructions()
    data = {
        "format": figures.FORMAT,
        "python": "%d.%d" % sys.version_info[:2],
        "python_full": platform.python_version(),
        "date": datetime.date.today().isoformat(),
        "machine": f"{platform.machine()}, {os.cpu_count()} cores",
        "commit": commit,
        "clean": not changes and tree_state() == (commit, []),
        "settings": ("{processes} processes x {values} values".format(**settings)
                     + (f", min_time {settings['min_time']} s" if "min_time" in settings
                        else f", {settings['loops']} loops")),
        "ns": measure.net_nanoseconds(seconds),
        "instructions": None if counted is None else counted["instructions"],
        "workload": workload,
        "workload_instructions": None if counted is None else counted["workload"],
        "workload_window": None if counted is None else counted["workload_lines"],
        "memory": measure.memory(),
        "load": [load_at_start, os.getloadavg()[0]],
    }
    run = figures.Run(data)
    if not publish or not data["clean"]:
        for section in ("Result", "MayBe"):
            print("\n".join(render.table(run, section)))
        print("\n".join(render.workload_table(run) + [""] + render.memory_lines(run)))
        why = "--quick or --only" if not publish else "the working tree has changes"
        print(f"({why}: nothing saved; took {time.monotonic() - started:.0f} s)")
        return
    print(f"saved {figures.save(data)}")
    render.write_documents(figures.load_runs())
    print(f"took {time.monotonic() - started:.0f} s")


if __name__ == "__main__":
    main()
