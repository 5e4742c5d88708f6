"""Times the order workload of bench/orders/ with pyperf, the implementations interleaved.

    python bench/workload.py                  # about 75 s of processor time
    python bench/workload.py --quick          # about 15 s: one round, one value each
    python bench/workload.py --json out.json  # also write the figures (bench/run.py uses this)

Every implementation installed runs the same 100,000 lines; first, in this process, each runs them
once and the outputs must be equal. Then the timing: a round starts one pyperf worker process per
implementation in turn (the order reversed every other round), so whatever else the machine is
doing falls on all of them alike; a value is one pass over all the lines. The figure kept is the
fastest value of all rounds, per line (slower ones measure the neighbours). The garbage collector
stays on, as in the user's program.
"""

from __future__ import annotations

import json
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import pyperf  # noqa: E402

import orders  # noqa: E402
from catalogue import FLOOR  # noqa: E402

FULL = {"rounds": 4, "values": 3}
QUICK = {"rounds": 1, "values": 1}


def timed(name: str):
    """pyperf's time function for one implementation; the lines are made in the worker."""
    state = {}

    def bench(loops: int) -> float:
        if not state:
            state["lines"] = orders.make_lines()
            state["run"] = orders.program(name)
        run, lines = state["run"], state["lines"]
        started = time.perf_counter()
        for _ in range(loops):
            run(lines)
        return time.perf_counter() - started
    return bench


def check(names: list[str]) -> dict:
    """Runs every implementation once; fails unless all computed the same output."""
    lines = orders.make_lines()
    outputs = {name: orders.program(name)(lines) for name in names}
    orders.check_same(outputs)
    completed, errors = outputs[names[0]]
    return {"lines": len(lines), "orders": len(completed), "errors": dict(sorted(errors.items()))}


def main() -> None:
    quick = "--quick" in sys.argv
    settings = QUICK if quick else FULL

    def pass_options(command, args):
        if args.quick:
            command.append("--quick")

    # One pass over the lines takes far longer than pyperf's minimum: one loop, no calibration.
    runner = pyperf.Runner(processes=1, values=settings["values"], warmups=1, loops=1,
                           add_cmdline_args=pass_options)
    runner.argparser.add_argument("--quick", action="store_true",
                                  help="one round of one value: a smoke test")
    runner.argparser.add_argument("--json", metavar="PATH", help="write the figures as JSON")
    args = runner.parse_args()
    names = orders.available()
    started = time.monotonic()
    summary = None if args.worker else check(names)

    values: dict[str, list[float]] = {name: [] for name in names}
    for round_number in range(settings["rounds"]):
        ordered = names if round_number % 2 == 0 else names[::-1]
        for name in ordered:
            result = runner.bench_time_func(f"workload-{name}-round{round_number + 1}",
                                            timed(name), inner_loops=orders.LINES)
            if result is not None and not args.worker:
                values[name] += result.get_values()
    if args.worker:
        return

    ns_per_line = {name: min(found) * 1e9 for name, found in values.items()}
    floor = ns_per_line[FLOOR]
    print(f"\nper line, fastest of {len(values[names[0]])} values "
          f"({settings['rounds']} rounds); share = (program - floor) / program")
    for name in names:
        print(f"{orders.TITLES[name].strip('`'):<24}{ns_per_line[name]:>9.0f} ns"
              f"{(ns_per_line[name] - floor) / ns_per_line[name]:>8.1%}")
    elapsed = time.monotonic() - started
    print(f"workload timing took {elapsed:.0f} s")
    if args.json:
        Path(args.json).write_text(json.dumps(
            {**summary, "ns_per_line": ns_per_line, "values": values,
             "settings": f"{settings['rounds']} interleaved rounds x {settings['values']} values, "
                         "one worker process per implementation and round"}, indent=1))


if __name__ == "__main__":
    main()
