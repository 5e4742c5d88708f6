"""Checks of the C++ sources themselves."""

import re
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parent.parent / "src"
# Reference counts change only inside the reference holders.
HOLDERS = {SRC / "binding" / "refs.hpp"}
COUNTING = re.compile(r"\bPy_(?:X?INCREF|X?DECREF|CLEAR|SETREF|XSETREF)\b")

SOURCES = sorted(SRC.rglob("*.[ch]pp"))


@pytest.mark.skipif(not SOURCES, reason="the C++ sources are not beside the tests")
def test_reference_counts_change_only_in_the_holders():
    found = [f"{path.relative_to(SRC)}:{number}: {line.strip()}"
             for path in SOURCES if path not in HOLDERS
             for number, line in enumerate(path.read_text().splitlines(), 1)
             if COUNTING.search(line.split("//")[0])]
    assert found == []


def test_the_lint_sees_a_manual_count():
    assert COUNTING.search("    Py_DECREF(type);") and COUNTING.search("Py_XINCREF(p)")
    assert not COUNTING.search("Owned::steal(p)")
