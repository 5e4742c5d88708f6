"""Times a pydantic field of tolbrane_tools.pydantic against a plain dict field whose validator does
the same checks by hand; run by hand, not in CI.

    python bench/pydantic_overhead.py              # about a minute on 2 cores
    python bench/pydantic_overhead.py --rounds 5   # shorter
    python bench/pydantic_overhead.py --write      # also writes its section of docs/pydantic.md

Each case validates (or dumps) the same data through two models: one with an
``Annotated[Result[int], ResultOf(int, details=Problem)]`` field, one with a ``dict[str, Any]``
field and a field validator that checks the form as the marker does (a bool ``ok``, an ``int``
value, a ``str`` message and code that UTF-8 can encode, ``Problem`` details) and builds the
Result. The pairs are timed in alternation, round after round (each figure the best of a few
timeit repeats), and the report gives the median ratio of marker to hand-written time, with the
lowest and the highest.
"""

import argparse
import os
import platform
import statistics
import sys
import timeit
from pathlib import Path
from typing import Annotated, Any

from pydantic import BaseModel, field_serializer, field_validator

from tolbrane import Result
from tolbrane_tools.pydantic import ResultOf

DOC = Path(__file__).resolve().parent.parent / "docs" / "pydantic.md"
BEGIN = "<!-- validation overhead: written by bench/pydantic_overhead.py -->"
END = "<!-- end of validation overhead -->"


class Problem(BaseModel):
    line: int


class Marked(BaseModel):
    result: Annotated[Result[int], ResultOf(int, details=Problem)]


def _text(form: dict[str, Any], key: str) -> str:
    text = form[key]
    if type(text) is not str:
        raise ValueError(f"{key} should be a string")
    text.encode("utf-8")
    return text


class ByHand(BaseModel):
    # The validator turns the dict into the Result, which the field then holds.
    result: dict[str, Any]

    @field_validator("result")
    @classmethod
    def _to_result(cls, form: dict[str, Any]) -> Any:
        ok = form.get("ok")
        if type(ok) is not bool:
            raise ValueError("ok should be a bool")
        if ok:
            value = form["value"]
            if isinstance(value, str):
                value = int(value)
            elif type(value) is not int:
                raise ValueError("value should be an integer")
            return Result.ok(value)
        code = _text(form, "code") if "code" in form else None
        details = Problem.model_validate(form["details"]) if "details" in form else None
        return Result.err(_text(form, "error"), code, details)

    @field_serializer("result")
    def _to_form(self, result: Any) -> dict[str, Any]:
        form = dict(result.to_dict())
        if "details" in form:
            form["details"] = form["details"].model_dump()
        return form


OK = {"result": {"ok": True, "value": 42}}
ERR = {"result": {"ok": False, "error": "out of stock", "code": "E_STOCK",
                  "details": {"line": 3}}}
OK_JSON = '{"result": {"ok": true, "value": 42}}'
ERR_JSON = ('{"result": {"ok": false, "error": "out of stock", "code": "E_STOCK", '
            '"details": {"line": 3}}}')
MARKED_OK, BY_HAND_OK = Marked.model_validate(OK), ByHand.model_validate(OK)
MARKED_ERR, BY_HAND_ERR = Marked.model_validate(ERR), ByHand.model_validate(ERR)

CASES = [
    ("validate a dict, Ok", lambda: Marked.model_validate(OK), lambda: ByHand.model_validate(OK)),
    ("validate a dict, Err with details", lambda: Marked.model_validate(ERR),
     lambda: ByHand.model_validate(ERR)),
    ("validate JSON, Ok", lambda: Marked.model_validate_json(OK_JSON),
     lambda: ByHand.model_validate_json(OK_JSON)),
    ("validate JSON, Err with details", lambda: Marked.model_validate_json(ERR_JSON),
     lambda: ByHand.model_validate_json(ERR_JSON)),
    ("model_dump_json, Ok", MARKED_OK.model_dump_json, BY_HAND_OK.model_dump_json),
    ("model_dump_json, Err with details", MARKED_ERR.model_dump_json,
     BY_HAND_ERR.model_dump_json),
]


def best(statement: Any, number: int) -> float:
    return min(timeit.repeat(statement, number=number, repeat=5)) / number


def measure(rounds: int, number: int) -> list[tuple[str, float, float, list[float]]]:
    rows = []
    for name, marked, by_hand in CASES:
        assert marked() is not None and by_hand() is not None
        times = [(best(marked, number), best(by_hand, number)) for _ in range(rounds)]
        ratios = [m / h for m, h in times]
        rows.append((name, statistics.median(m for m, _ in times),
                     statistics.median(h for _, h in times), ratios))
    return rows


def report(rows: list[tuple[str, float, float, list[float]]], rounds: int,
           loads: tuple[float, float]) -> str:
    import pydantic

    lines = [
        f"CPython {platform.python_version()}, pydantic {pydantic.VERSION}, {platform.machine()}, "
        f"{os.cpu_count()} cores, {rounds} interleaved rounds, each figure the best of 5 timeit "
        f"repeats; load average {loads[0]:.1f} at the start and {loads[1]:.1f} at the end (above "
        "the number of cores, the machine was shared and the times are noisy).",
        "",
        "| case | ResultOf field | dict field, checked by hand | ratio (median) | lowest - highest |",
        "|---|---:|---:|---:|---|",
    ]
    for name, marked, by_hand, ratios in rows:
        lines.append(f"| {name} | {marked * 1e9:,.0f} ns | {by_hand * 1e9:,.0f} ns | "
                     f"{statistics.median(ratios):.2f}x | {min(ratios):.2f}x - "
                     f"{max(ratios):.2f}x |")
    return "\n".join(lines)


def write(section: str) -> None:
    text = DOC.read_text(encoding="utf-8")
    head, rest = text.split(BEGIN, 1)
    _, tail = rest.split(END, 1)
    DOC.write_text(f"{head}{BEGIN}\n{section}\n{END}{tail}", encoding="utf-8")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--number", type=int, default=2000)
    parser.add_argument("--write", action="store_true")
    options = parser.parse_args()
    start = os.getloadavg()[0]
    rows = measure(options.rounds, options.number)
    section = report(rows, options.rounds, (start, os.getloadavg()[0]))
    print(section)
    if options.write:
        write(section)
        print(f"written to {DOC}", file=sys.stderr)


if __name__ == "__main__":
    main()
