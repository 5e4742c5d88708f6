"""A workload users will recognise: order lines in a CSV-like text, each parsed, validated and
transformed by functions that return Results chained with `and_then`; the Oks are collected and
the Errs counted by code.

The same program is written once per implementation: tolbrane, the lean pure-Python class
(bench/lean.py), the dataclass version (bench/pure.py), the `result` package, the `returns`
package, and plain tuples instead of Results, the floor: what the program costs without any Result
library. `program(name)` gives an implementation's `run(lines) -> (orders, error_counts)`;
`make_lines()` gives the input, the same on every run and every interpreter (a fixed seed).
"""

from __future__ import annotations

import importlib
import importlib.util
import random
from collections.abc import Callable
from pathlib import Path

from catalogue import FLOOR, LEAN, PURE, RESULT, RETURNS, TOLBRANE

HERE = Path(__file__).resolve().parent

LINES = 100_000
BAD_SHARE = 0.10
SEED = 15

CUSTOMERS = ("ada lovelace", "alan turing", "grace hopper", "edsger dijkstra", "barbara liskov",
             "donald knuth", "frances allen", "john backus")
RATES = {"EUR": 1.0, "USD": 0.92, "GBP": 1.17, "CHF": 1.05}  # to euros

# Implementation -> (program file, the module whose `Result` it runs with, or None).
PROGRAMS = {
    TOLBRANE: ("result_api", "tolbrane"),
    LEAN: ("result_api", "lean"),
    PURE: ("result_api", "pure"),
    RESULT: ("with_result", None),
    RETURNS: ("with_returns", None),
    FLOOR: ("with_tuples", None),
}
TITLES = {TOLBRANE: "tolbrane", LEAN: "lean pure-Python class", PURE: "pure-Python dataclass",
          RESULT: "`result`", RETURNS: "`returns`", FLOOR: "plain tuples (floor)"}
NEEDS = {RESULT: "result", RETURNS: "returns"}  # packages from bench/requirements.txt


def _good_fields(order_id: int, rng: random.Random) -> list[str]:
    return [str(order_id), rng.choice(CUSTOMERS), str(rng.randint(1, 20)),
            f"{rng.randint(100, 50_000) / 100:.2f}", rng.choice(tuple(RATES))]


def _missing_field(fields):
    del fields[4]


def _quantity_in_words(fields):
    fields[2] = "three"


def _no_price(fields):
    fields[3] = "n/a"


def _quantity_out_of_range(fields):
    fields[2] = "0"


def _unknown_currency(fields):
    fields[4] = "XYZ"


def _no_customer(fields):
    fields[1] = ""


FAULTS = (_missing_field, _quantity_in_words, _no_price, _quantity_out_of_range,
          _unknown_currency, _no_customer)


def make_lines(count: int = LINES, seed: int = SEED) -> list[str]:
    """`count` lines "order_id,customer,quantity,unit_price,currency"; about BAD_SHARE of them
    carry one fault each, chosen among FAULTS."""
    rng = random.Random(seed)
    lines = []
    for order_id in range(1, count + 1):
        fields = _good_fields(order_id, rng)
        if rng.random() < BAD_SHARE:
            rng.choice(FAULTS)(fields)
        lines.append(",".join(fields))
    return lines


def available() -> list[str]:
    """The implementations whose packages are installed here, floor last."""
    return [name for name in PROGRAMS
            if name not in NEEDS or importlib.util.find_spec(NEEDS[name]) is not None]


def program(name: str) -> Callable[[list[str]], tuple[list, dict]]:
    """The `run(lines)` of one implementation, from a fresh module of its own."""
    file, api = PROGRAMS[name]
    spec = importlib.util.spec_from_file_location(f"orders_{name}", HERE / f"{file}.py")
    module = importlib.util.module_from_spec(spec)
    if api is not None:
        module.Result = importlib.import_module(api).Result
    spec.loader.exec_module(module)
    return module.run


def check_same(outputs: dict[str, tuple[list, dict]]) -> None:
    """Fails unless every implementation computed the same orders and error counts."""
    names = list(outputs)
    reference = outputs[names[0]]
    for name in names[1:]:
        if outputs[name] != reference:
            raise AssertionError(f"the {name} program's output differs from the {names[0]} one's")
