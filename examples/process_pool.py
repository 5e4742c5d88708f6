"""Results from a pool of worker processes: checking files in parallel.

Each worker checks one "file" (an in-memory text here) and returns a Result: the number of
records for a good file, an Err with a code and the offending line for a bad one, and an Err
made by catch from the exception of a file that cannot be parsed at all. Results cross the
process boundary by pickle: the workers call register_pickle() when they start (the pool's
initializer); the parent, which only receives, needs nothing.

Run: python examples/process_pool.py
"""

import json
import multiprocessing
from concurrent.futures import ProcessPoolExecutor

from tolbrane import Result
from tolbrane_tools import Err, Ok, catch, partition, register_pickle, view

FILES = {
    "users.jsonl": '{"id": 1}\n{"id": 2}\n{"id": 3}\n',
    "orders.jsonl": '{"id": 10}\n{"order": 11}\n',
    "empty.jsonl": "",
    "broken.jsonl": '{"id": 20}\n{"id": \n',
}


@catch(json.JSONDecodeError, code="E_SYNTAX")
def records(text: str) -> list[dict[str, object]]:
    return [json.loads(line) for line in text.splitlines()]


def check(name: str) -> Result[int]:
    """Runs in a worker: the number of records, or why the file is refused."""
    def validate(rows: list[dict[str, object]]) -> Result[int]:
        if not rows:
            return Result.err("no records", "E_EMPTY")
        for number, row in enumerate(rows, 1):
            if "id" not in row:
                return Result.err(f"line {number} has no id", "E_SCHEMA", {"line": number})
        return Result.ok(len(rows))

    return records(FILES[name]) >> validate


def main() -> None:
    # spawn: every worker is a fresh interpreter, as on macOS and Windows.
    context = multiprocessing.get_context("spawn")
    with ProcessPoolExecutor(max_workers=2, mp_context=context,
                             initializer=register_pickle) as pool:
        results = dict(zip(FILES, pool.map(check, FILES)))

    for name, result in results.items():
        match view(result):
            case Ok(count):
                print(f"{name}: {count} records")
            case Err(message, "E_SYNTAX", details):
                print(f"{name}: unreadable ({type(details).__name__}: {message})")
            case Err(message, code, _):
                print(f"{name}: refused [{code}] {message}")

    counts, refused = partition(results.values())
    print(f"accepted: {len(counts)} file(s), {sum(counts)} records; "
          f"refused: {len(refused)} file(s)")


if __name__ == "__main__":
    main()
