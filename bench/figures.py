"""The figures a run saves in bench/results/<python>.json, and what the documents compute from
them."""

from __future__ import annotations

import json
from pathlib import Path

import catalogue
from catalogue import FLOOR, PEERS, TOLBRANE

RESULTS = Path(__file__).resolve().parent / "results"
FORMAT = 2  # of the saved figures; older files are not read


class Run:
    def __init__(self, data: dict):
        self.data = data
        self.python = data["python"]
        self.ns = data["ns"]
        self.instructions = data.get("instructions")
        self.workload = data.get("workload")
        self.workload_instructions = data.get("workload_instructions")

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

    def line_ns(self, name: str) -> float | None:
        return None if self.workload is None else self.workload["ns_per_line"].get(name)

    def line_instr(self, name: str) -> float | None:
        return (None if self.workload_instructions is None
                else self.workload_instructions.get(name))


def speedup(run: Run, case: catalogue.Case, peer: str) -> float | None:
    mine, theirs = run.time(case.key), run.time(case.key, peer)
    if mine is None or theirs is None or mine <= 0:
        return None
    return theirs / mine


def workload_speedup(run: Run, peer: str) -> float | None:
    mine, theirs = run.line_ns(TOLBRANE), run.line_ns(peer)
    return None if mine is None or theirs is None else theirs / mine


def share(value: float | None, floor: float | None) -> float | None:
    """The part of a program's cost that is its Result library's: (program - floor) / program."""
    return None if value is None or floor is None or value <= 0 else (value - floor) / value


def losses(run: Run) -> list[tuple[catalogue.Case, list[tuple[str, float]]]]:
    """tolbrane's operations that are slower than a peer in this run, with those speed-ups."""
    found = []
    for case in catalogue.CASES:
        if case.section == "Floor":
            continue
        slower = [(peer, value) for peer in PEERS
                  if (value := speedup(run, case, peer)) is not None and value < 1.0]
        if slower:
            found.append((case, slower))
    return found


def save(data: dict) -> Path:
    """Keeps one run's figures, in place of any earlier ones for the same interpreter."""
    RESULTS.mkdir(exist_ok=True)
    saved = RESULTS / f"{data['python']}.json"
    saved.write_text(json.dumps(data, indent=1, sort_keys=True))
    return saved


def load_runs() -> list[Run]:
    runs = []
    for path in sorted(RESULTS.glob("*.json")):
        data = json.loads(path.read_text())
        if data.get("format") != FORMAT:
            print(f"{path}: saved by an older bench/run.py; not shown (run it again)")
        elif not data.get("clean"):
            print(f"{path}: measured on a working tree with changes; not shown")
        else:
            runs.append(Run(data))
    return sorted(runs, key=lambda run: tuple(int(p) for p in run.python.split(".")))
