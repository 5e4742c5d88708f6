"""The documents bench/run.py writes from saved figures: docs/benchmarks.md, the chart
docs/benchmarks.png and the summary in the Performance section of README.md."""

from __future__ import annotations

import math
import os
from pathlib import Path

import catalogue
import orders
from catalogue import FLOOR, LEAN, PEER_TITLES, PEERS, PURE, RESULT, RETURNS, TOLBRANE
from figures import Run, losses, share, speedup, workload_speedup
from measure import MEMORY_COUNT

ROOT = Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
README = ROOT / "README.md"
README_BEGIN = "<!-- benchmark summary: written by bench/run.py -->"
README_END = "<!-- end of benchmark summary -->"
BUSY_LOAD = 0.5  # load average per core above which the documents call the times noisy


# --------------------------------------------------------------------------------------------
# Text.

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
    return "" if value is None else f"{value:.2f}x"


def percent(value: float | None) -> str:
    return "" if value is None else f"{value:.0%}"


def number(value: float | None, digits: int = 0) -> str:
    return "" if value is None else f"{value:,.{digits}f}"


def peer_cells(run: Run, case: catalogue.Case) -> list[str]:
    cells = []
    for peer in PEERS:
        text = speedup_text(speedup(run, case, peer))
        if text and peer in case.notes:
            text += f" ({case.notes[peer]})"
        cells.append(text)
    return cells


PEER_HEADS = " | ".join(f"vs {PEER_TITLES[peer]}" for peer in PEERS)


# --------------------------------------------------------------------------------------------
# The operation tables.

def safely(compute):
    try:
        return compute()
    except (KeyError, TypeError, ZeroDivisionError):
        return None


def comparison(case: catalogue.Case, run: Run) -> dict[str, str]:
    """The cells that set one of tolbrane's operations against CPython or its own parts."""
    time, instr = run.measure("ns"), run.measure("instr")
    cells = {"with": "", "time": "", "instr": "", "added ns": "", "added instr": "",
             "target": catalogue.target_of(case), "met": ""}
    if case.kind == "keyword":
        extra_ns = safely(lambda: catalogue.own_cost(case, time))
        cells.update({"with": f"{code(catalogue.BY_KEY[case.positional].label)} by position",
                      "added ns": signed(extra_ns, "", 1),
                      "added instr": signed(safely(lambda: catalogue.own_cost(case, instr)), "",
                                            0)})
        if extra_ns is not None:
            cells["met"] = "yes" if extra_ns <= catalogue.KEYWORD_EXTRA_NS else "no"
        return cells
    if case.kind == "chain":
        cells.update({"with": code(catalogue.BY_KEY[case.floor].label),
                      "time": ratio_text(safely(lambda: time(case.key) / time(case.floor))),
                      "instr": ratio_text(safely(lambda: instr(case.key) / instr(case.floor)))})
        known = {peer: value for peer in catalogue.CHAIN_SPEEDUP
                 if (value := speedup(run, case, peer)) is not None}
        if case.section == "Result" and known:
            cells["met"] = "yes" if all(known[peer] >= catalogue.CHAIN_SPEEDUP[peer]
                                        for peer in known) else "no"
        return cells
    limit = catalogue.target_limit(case)
    if limit is not None:
        by_time = safely(lambda: catalogue.target_ratio(case, time))
        by_instr = safely(lambda: catalogue.target_ratio(case, instr))
        if case.kind == "combinator":
            reference = f"own cost vs {code(catalogue.BY_KEY[case.constructor].label)}"
        else:
            reference = code(catalogue.BY_KEY[case.floor].label)
        misses = [unit for unit, value in (("time", by_time), ("instr.", by_instr))
                  if value is not None and value > limit]
        met = "no (" + ", ".join(misses) + ")" if misses else "yes"
        cells.update({"with": reference, "time": ratio_text(by_time),
                      "instr": ratio_text(by_instr),
                      "met": "" if by_time is None and by_instr is None else met})
        return cells
    cells.update({"with": code(catalogue.BY_KEY[catalogue.shape_of(case)].label),
                  "time": ratio_text(safely(lambda: catalogue.floor_ratio(case, time))),
                  "instr": ratio_text(safely(lambda: catalogue.floor_ratio(case, instr)))})
    return cells


def table(run: Run, section: str) -> list[str]:
    lines = [f"| operation | {PEER_HEADS} | compared with | time ratio | instr. ratio | added ns "
             "| added instr. | target | met |",
             "|---|" + "---:|" * len(PEERS) + "---|---:|---:|---:|---:|---|---|"]
    for case in catalogue.CASES:
        if case.section != section or run.time(case.key) is None:
            continue
        cells = comparison(case, run)
        lines.append(f"| {code(case.label)} | {' | '.join(peer_cells(run, case))} | "
                     f"{cells['with']} | {cells['time']} | {cells['instr']} | {cells['added ns']} "
                     f"| {cells['added instr']} | {cell(cells['target'])} | {cells['met']} |")
    return lines


def same_shape_table(run: Run, section: str) -> list[str]:
    """Queries and constructors whose target names a builtin of another call shape, set against a
    builtin called the same way."""
    time, instr = run.measure("ns"), run.measure("instr")
    rows = []
    for case in catalogue.CASES:
        if (case.section != section or case.kind not in ("query", "constructor")
                or not case.shape or run.time(case.key) is None):
            continue
        rows.append(f"| {code(case.label)} | {code(catalogue.BY_KEY[case.shape].label)} | "
                    f"{ratio_text(safely(lambda: catalogue.floor_ratio(case, time)))} | "
                    f"{ratio_text(safely(lambda: catalogue.floor_ratio(case, instr)))} |")
    if not rows:
        return []
    return ["Against a builtin called the same way:", "",
            "| operation | builtin of the same call shape | time ratio | instr. ratio |",
            "|---|---|---:|---:|", *rows, ""]


def raw_table(run: Run) -> list[str]:
    lines = ["| operation | tolbrane ns | tolbrane instr. | "
             + " | ".join(f"{PEER_TITLES[peer]} ns" for peer in PEERS) + " |",
             "|---|" + "---:|" * (2 + len(PEERS))]
    for case in catalogue.CASES:
        own = FLOOR if case.section == "Floor" else TOLBRANE
        cells = [number(run.ns.get(f"{case.key}/{own}"), 1), number(run.instr(case.key))]
        for peer in PEERS:
            value = None if case.section == "Floor" else run.ns.get(f"{case.key}/{peer}")
            cells.append(number(value, 1))
        if any(cells):
            lines.append(f"| {code(case.label)} | " + " | ".join(cells) + " |")
    return lines


# --------------------------------------------------------------------------------------------
# The workload, memory and losses.

WORKLOAD_ORDER = [TOLBRANE, LEAN, RESULT, RETURNS, PURE, FLOOR]


def workload_table(run: Run) -> list[str]:
    if run.workload is None:
        return []
    floor_ns, floor_instr = run.line_ns(FLOOR), run.line_instr(FLOOR)
    lines = ["| implementation | ns per line | instructions per line | Result library's share "
             "of the time | of the instructions | tolbrane's speed-up over it |",
             "|---|---:|---:|---:|---:|---:|"]
    for name in WORKLOAD_ORDER:
        ns = run.line_ns(name)
        if ns is None:
            continue
        instr = run.line_instr(name)
        gain = "" if name == TOLBRANE else speedup_text(workload_speedup(run, name))
        lines.append(f"| {orders.TITLES[name]} | {number(ns)} | {number(instr)} | "
                     f"{'' if name == FLOOR else percent(share(ns, floor_ns))} | "
                     f"{'' if name == FLOOR else percent(share(instr, floor_instr))} | {gain} |")
    return lines


def workload_about(run: Run) -> str:
    data = run.workload
    errors = ", ".join(f"{count:,} {code}" for code, count in data["errors"].items())
    window = run.data.get("workload_window")
    counted = (f"instructions by callgrind over lines {window[0] + 1:,} to {window[1]:,}"
               if window else "no instruction counts")
    return (f"{data['lines']:,} lines, {data['orders']:,} orders kept, errors by code: {errors}; "
            f"time by pyperf, {data['settings']}, the fastest value per line; {counted}.")


def relative(ratio: float | None) -> str:
    """A ratio of tolbrane's cost to a peer's, in words."""
    if ratio is None:
        return "not measured"
    return f"{1 - ratio:.0%} fewer" if ratio < 1 else f"{ratio - 1:.0%} more"


def pace(speed: float | None, name: str) -> str:
    """A speed-up over a peer, in words."""
    if speed is None:
        return f"{name} not timed"
    if 0.95 <= speed <= 1.05:
        word = "the same within the noise"
    else:
        word = "faster" if speed > 1 else "slower"
    return f"{speed:.2f}x the speed of {name} ({word})"


def workload_explanation(runs: list[Run]) -> list[str]:
    """What costs what in the workload, from the newest run with instruction counts."""
    run = next((run for run in reversed(runs) if run.workload_instructions), None)
    if run is None:
        return []
    instr = run.line_instr
    floor = instr(FLOOR)
    added = {name: instr(name) - floor for name in WORKLOAD_ORDER
             if name != FLOOR and instr(name) is not None}
    named = {LEAN: "the lean class", RESULT: "`result`", RETURNS: "`returns`",
             PURE: "the dataclass"}
    others = [f"{named[name]} {number(added[name])}" for name in named if name in added]
    mine = instr(TOLBRANE)
    against = [(named[name], instr(name)) for name in (LEAN, RESULT) if instr(name) is not None]
    return [
        f"What costs what (CPython {run.python}, instructions per line). The plain-tuples program, "
        f"{number(floor)}, is the user's own work: splitting the line, converting the numbers (a "
        "bad number raises and is caught), looking up the rate, formatting the error messages, "
        "building the tuples, calling three functions. Each Result version runs the same code "
        "and adds its Results on top: a good line makes three Results, one per step, and calls "
        "`and_then` twice, `is_ok` and `unwrap` once; a bad line makes one Err and passes it "
        f"through the `and_then` calls left. tolbrane adds {number(added[TOLBRANE])}, "
        + ", ".join(others) + ".",
        "",
        f"So the Result library is {percent(share(mine, floor))} of tolbrane's instructions per "
        "line; tolbrane's program, in instructions: "
        + ", ".join(f"{relative(mine / theirs)} than {name}'s" for name, theirs in against)
        + ". In time, in the same run, it runs at "
        + " and ".join(pace(workload_speedup(run, name), named[name]) for name in (LEAN, RESULT))
        + ".",
        "",
        "Why it is this close: each of tolbrane's calls still goes through CPython's call "
        f"machinery, most of the {number(run.instr('Result.ok'))} instructions of a "
        "`Result.ok(x)`, and CPython specialises calls of small Python functions and methods "
        "(3.13 also a class's `__init__`), so a careful pure-Python class is not far behind. "
        "tolbrane's `and_then` also makes a new instance from the callable's Result, as its types "
        "promise, where `result` and the lean class hand that Result back itself. The dataclass "
        "sets every field through `object.__setattr__` (it is frozen), and `returns` builds each "
        "container through two `__init__` levels and `object.__setattr__`: those are what make "
        "them slow.",
    ]


def memory_lines(run: Run) -> list[str]:
    rows = run.data.get("memory") or []
    if not rows:
        return []
    lines = [f"Bytes that one object keeps allocated, measured with `tracemalloc` over "
             f"{MEMORY_COUNT:,} of them kept in a list: every block still allocated once they are "
             "made counts (the object, its own copies of texts, whatever it keeps alive). "
             "*requested*: as asked of CPython's allocators; *in blocks*: as pymalloc hands "
             "them out, in steps of 16 bytes; `sys.getsizeof`: the object alone. An Ok holds one "
             "shared payload; each Err gets a message made for it alone (`f\"quantity out of "
             "range: {i}\"`): tolbrane keeps its own UTF-8 copy of the text and lets the `str` "
             "go, the others keep the `str` itself.", "",
             "| object | requested | in blocks | `sys.getsizeof` |", "|---|---:|---:|---:|"]
    lines += [f"| {row['object']} | {row['requested']:.0f} | {row['blocks']:.0f} | "
              f"{row['getsizeof']} |" for row in rows]
    return lines


def losses_lines(runs: list[Run]) -> list[str]:
    rows = []
    for run in reversed(runs):
        for case, slower in losses(run):
            figures = ", ".join(f"{speedup_text(value)} vs {PEER_TITLES[peer]}"
                                for peer, value in slower)
            rows.append(f"| {code(case.label)} | {run.python} | {figures} | "
                        f"{cell(catalogue.why_not_faster(case))} |")
    if not rows:
        return ["In these runs tolbrane is at least as fast as every peer in every operation.", ""]
    return ["Every operation in which a peer was faster in these runs (a speed-up below 1.00x), "
            "with the reason:", "",
            "| operation | CPython | speed-up | why |", "|---|---|---|---|", *rows, ""]


# --------------------------------------------------------------------------------------------
# Writing the documents.

def busy(run: Run) -> str:
    """A warning when the machine was busy during the run, or nothing."""
    load, cores = run.data.get("load"), os.cpu_count() or 1
    if not load or max(load) <= BUSY_LOAD * cores:
        return ""
    return (f"The machine was busy (load average {load[0]:.1f} at the start, {load[1]:.1f} at the "
            f"end, on {run.data['machine'].split(', ')[-1]}): the times are noisy; the instruction "
            "counts are not.")


def provenance(run: Run) -> str:
    data = run.data
    load = data.get("load")
    return (f"{data['date']}, {data['machine']}, CPython {data['python_full']}, tolbrane at commit "
            f"{data['commit']}, pyperf {data['settings']}"
            + (f", load average {load[0]:.1f} to {load[1]:.1f}" if load else "") + ". "
            + busy(run)).strip()


LEGEND = [
    "How to read the operation tables:",
    "",
    "- Every figure is the cost of one operation with the cost of an empty loop taken off; a time "
    "is the fastest of pyperf's values (slower ones measure whatever else the machine was doing). "
    "Receivers and arguments are local variables, classes and callables module globals, as in "
    "user code.",
    "- *vs dataclass*, *vs lean class*, *vs `result`*, *vs `returns`*: the peer's time over "
    "tolbrane's, for the same operation in the same run: above 1.00x tolbrane is faster, below "
    "it is slower. The peers: [bench/pure.py](../bench/pure.py) (frozen slotted dataclasses with "
    "tolbrane's API), [bench/lean.py](../bench/lean.py) (plain `__slots__` classes with a plain "
    "`__init__`, as a careful user writes them; Result only), the `result` package (`Ok`/`Err`) "
    "and the `returns` package. Blank: no counterpart.",
    "- *compared with*: what tolbrane's cost is divided by in *time ratio* (pyperf) and *instr. "
    "ratio* (callgrind, deterministic): a CPython builtin of the same kind measured in the same "
    "run. *own cost* (combinators): the combinator's cost less one call of the same callable "
    "made by `map()` from C, that is, what the combinator adds to calling the callable; it is "
    "compared with tolbrane's own constructor.",
    "- *added ns*, *added instr.*: for a call with keywords, what passing the arguments by "
    "keyword adds to the same call by position.",
    "- *target*, *met*: the goal set for that kind of operation, and whether this run meets it.",
    "",
]


def write_markdown(runs: list[Run]) -> None:
    commits = sorted({run.data["commit"] for run in runs})
    out = ["# Benchmarks", "",
           "Written by `python bench/run.py`, once per interpreter, from a clean working tree "
           f"(commit {', '.join(commits)}); do not edit by hand. See the Performance section of "
           "the README for how to run it.", ""]
    if any(run.workload for run in runs):
        out += ["## A realistic workload", "",
                "Order lines in a CSV-like text (`order_id,customer,quantity,unit_price,"
                "currency`), about 10% of them bad, made from a fixed seed; each goes through "
                "`parse`, `validate` and `transform`, functions that return Results chained with "
                "`and_then`; the Oks are collected and the Errs counted by code "
                "([bench/orders/](../bench/orders/)). The same program for every implementation, "
                "checked to compute the same output; the floor is the same program with plain "
                "tuples instead of Results, so *the Result library's share* is (program - floor) "
                "/ program. The instruction counts are deterministic; the times vary with whatever "
                "else the machine does, and where the two disagree the times need a run on a quiet "
                "machine.", ""]
        for run in reversed(runs):
            if run.workload:
                out += [f"CPython {run.python}: {workload_about(run)}", ""]
                out += workload_table(run) + [""]
        out += workload_explanation(runs) + [""]
    out += ["## Where tolbrane is not faster", "",
            "Every operation of tolbrane makes a new instance, as its types promise (payloads are "
            "shared, texts copied); `result`, `returns` and the lean class hand back an object "
            "they already have wherever nothing changes. Those operations are the ones where a "
            "pure-Python peer can win.", ""]
    out += losses_lines(runs)
    out += LEGEND
    for run in reversed(runs):
        out += [f"## CPython {run.python}", "", provenance(run), ""]
        if run.instructions is None:
            out += ["No instruction counts: valgrind was not installed.", ""]
        for section in ("Result", "MayBe"):
            out += [f"### {section}", ""] + table(run, section) + [""]
            out += same_shape_table(run, section)
        out += ["### Memory", ""] + memory_lines(run) + [""]
        out += ["### Raw figures", "",
                "Nanoseconds per operation on the machine above (loop taken off) and "
                "instructions per operation; machine-specific, for comparing runs.", ""]
        out += raw_table(run) + [""]
    (DOCS / "benchmarks.md").write_text("\n".join(out))


SUMMARY_KEYS = ["Result.ok", "Result.err", "Result.is_ok", "Result.unwrap", "Result.map",
                "Result.map_on_err", "Result.map_err", "Result.and_then", "Result.to_dict_err",
                "Result.chain", "Result.unwrap_caught", "MayBe.just", "MayBe.map"]


def summary_lines(run: Run) -> list[str]:
    """The figures the README shows for one interpreter."""
    lines = [f"**CPython {run.python}** ({run.data['date']}, {run.data['machine']}, commit "
             f"{run.data['commit']}) {busy(run)}".strip(), ""]
    if run.workload:
        lines += ["The workload, 100,000 order lines through `parse`, `validate` and `transform` "
                  "chained with `and_then` (plain tuples are the floor; the instruction counts are "
                  "deterministic, the times depend on how quiet the machine was):", ""]
        lines += workload_table(run) + [""]
    slower = {case.key for case, _ in losses(run)}
    keys = SUMMARY_KEYS + [case.key for case in catalogue.CASES
                           if case.key in slower and case.key not in SUMMARY_KEYS]
    lines += ["Single operations, the peer's time over tolbrane's (below 1.00x tolbrane is "
              "slower):", "",
              f"| operation | {PEER_HEADS} |", "|---|" + "---:|" * len(PEERS)]
    for key in keys:
        case = catalogue.BY_KEY[key]
        if run.time(key) is not None:
            lines.append(f"| {code(case.label)} | {' | '.join(peer_cells(run, case))} |")
    return lines


def without_summary(text: str) -> str:
    if README_BEGIN not in text or README_END not in text:
        return text
    head, rest = text.split(README_BEGIN, 1)
    return head + rest.split(README_END, 1)[1]


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
    block += ["Below 1.00x tolbrane is slower. Where the gap is large (an Err's `map`, `and_then`, "
              "`map_err`, `to_dict` of an Err) it is because every tolbrane operation makes a new "
              "instance, as its types promise, where `result` and the lean class hand back the "
              "object they have (and `to_dict` makes a new `str` from the copied text); within a "
              "few percent of 1.00x the two cost the same, within the noise. Every operation, the "
              "targets, memory per object and the reasons: [docs/benchmarks.md](docs/benchmarks.md)"
              ".", ""]
    head, rest = text.split(README_BEGIN, 1)
    _, tail = rest.split(README_END, 1)
    README.write_text(head + README_BEGIN + "\n" + "\n".join(block) + README_END + tail)


CHART_TICKS = [0.1, 0.2, 0.3, 0.5, 0.7, 1, 1.5, 2, 3, 5, 7, 10, 20]
CHART_COLOURS = {PURE: "#4c72b0", LEAN: "#8172b3", RESULT: "#dd8452", RETURNS: "#55a868"}


def write_chart(runs: list[Run]) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.ticker

    cases = [case for case in catalogue.CASES if case.section != "Floor"
             and any(run.time(case.key) is not None for run in runs)]
    labels = ["workload, per line"] + [
        f"MayBe: {case.label}" if case.section == "MayBe" and not case.label.startswith("MayBe")
        else case.label for case in cases]
    rows = range(len(labels))
    height = 0.8 / len(PEERS)
    figure, axes = plt.subplots(1, len(runs), figsize=(6.5 * len(runs) + 3, 0.3 * len(labels) + 2),
                                sharey=True, squeeze=False)
    values_seen = []
    for axis, run in zip(axes[0], reversed(runs)):
        for position, peer in enumerate(PEERS):
            values = [workload_speedup(run, peer)] + [speedup(run, case, peer) for case in cases]
            offsets = [row + (position - (len(PEERS) - 1) / 2) * height for row in rows]
            shown = [(offset, value) for offset, value in zip(offsets, values) if value]
            values_seen += [value for _, value in shown]
            # Bars grow from 1x: to the right tolbrane is faster, to the left slower.
            axis.barh([offset for offset, _ in shown], [value - 1 for _, value in shown], height,
                      left=1, label=PEER_TITLES[peer].strip("`"), color=CHART_COLOURS[peer])
            for offset, value in shown:
                if value < 1:
                    axis.text(value / 1.03, offset, f"{value:.2f}x", ha="right", va="center",
                              fontsize=6)
        axis.axvline(1, color="black", linewidth=0.9)
        axis.axhline(0.5, color="grey", linewidth=0.6)
        axis.set_xscale("log")
        axis.xaxis.set_major_locator(matplotlib.ticker.FixedLocator(CHART_TICKS))
        axis.xaxis.set_minor_locator(matplotlib.ticker.NullLocator())
        axis.xaxis.set_major_formatter(
            matplotlib.ticker.FuncFormatter(lambda value, _: f"{value:g}x"))
        axis.set_xlabel("the peer's time over tolbrane's (log scale)\n"
                        "<- tolbrane slower | tolbrane faster ->")
        axis.set_title(f"CPython {run.python} ({run.data['date']}, commit {run.data['commit']})")
        axis.grid(axis="x", which="major", color="#dddddd", linewidth=0.6)
        axis.set_axisbelow(True)
    low, high = min(values_seen, default=0.5), max(values_seen, default=2)
    for axis in axes[0]:
        axis.set_xlim(min(low, 0.8) / 1.4, max(high, 1.25) * 1.2)
    first = axes[0][0]
    first.set_yticks(list(rows), labels, fontsize=8, family="monospace")
    first.invert_yaxis()
    first.legend(loc="lower right", title="tolbrane against")
    figure.suptitle("tolbrane against pure Python and peer libraries\n"
                    "time of the same operation in the same run (every figure: docs/benchmarks.md)")
    figure.tight_layout(rect=(0, 0, 1, 0.97))
    figure.savefig(DOCS / "benchmarks.png", dpi=80)
    plt.close(figure)


def write_documents(runs: list[Run]) -> None:
    DOCS.mkdir(exist_ok=True)
    write_markdown(runs)
    write_chart(runs)
    write_readme(runs)
    print(f"wrote {DOCS / 'benchmarks.md'}, {DOCS / 'benchmarks.png'} and the summary in "
          f"{README.name}, for CPython {', '.join(run.python for run in runs)}")
