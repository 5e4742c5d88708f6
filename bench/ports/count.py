"""Counts the lines a port to tolbrane changed, before and after the toolkit's typed errors.

    python bench/ports/count.py

peers/ holds two small programs written first against the `result` and `returns` packages;
before/ has them ported with the toolkit as it was before typed errors, the idioms and the test
assertions, after/ with them. For each port: the original's lines that the port removed or
rewrote, and the lines it added, from difflib.
"""

import difflib
from pathlib import Path

HERE = Path(__file__).resolve().parent


def changed(original, port):
    lines = difflib.ndiff(original.read_text().splitlines(), port.read_text().splitlines())
    removed = added = 0
    for line in lines:
        removed += line.startswith("- ")
        added += line.startswith("+ ")
    return removed, added


def main():
    print("| program | original lines | port | removed or rewritten | added |")
    print("|---|---:|---|---:|---:|")
    for original in sorted((HERE / "peers").glob("*.py")):
        total = len(original.read_text().splitlines())
        for port in ("before", "after"):
            removed, added = changed(original, HERE / port / original.name)
            print(f"| {original.stem} | {total} | {port} | {removed} ({removed / total:.0%}) "
                  f"| {added} |")


if __name__ == "__main__":
    main()
