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


# The layers of the sources, lowest first: a file includes only headers below its own, and a
# folder only folders below it. A source file of the layers under the classes stands at its
# header's place; a class's source files, and any without a header, stand above every header of
# their folder.
LAYERS = [
    "runtime/fault",
    "binding/python", "binding/sole_pointer", "binding/refs", "binding/errors", "binding/text",
    "binding/interpreter", "binding/failure", "binding/interned", "binding/arguments",
    "binding/instance", "binding/conversions", "binding/protocols", "binding/calls", "binding/entry",
    "binding/rows",
    "object/types", "object/instances", "object/teardown", "object/describe",
    "result_class/result", "result_class/operations",
    "maybe_class/maybe", "maybe_class/operations",
]
FOLDERS = {"runtime": 0, "binding": 1, "object": 2, "result_class": 3, "maybe_class": 3, "module": 4}
INCLUDE = re.compile(r'^#include "([^"]+)\.hpp"', re.MULTILINE)


def layering_faults(files):
    """The includes against the layers, for files given as {"folder/name.ext": text}."""
    faults = []
    for name, text in files.items():
        unit, folder = name.rsplit(".", 1)[0], name.split("/")[0]
        if name.endswith(".hpp") and unit not in LAYERS:
            faults.append(f"{name}: a header with no place in the layers")
            continue
        placed = unit in LAYERS and (name.endswith(".hpp") or FOLDERS[folder] < FOLDERS["result_class"])
        place = LAYERS.index(unit) if placed else None
        for included in INCLUDE.findall(text):
            other = included.split("/")[0]
            if included == unit:
                continue
            if FOLDERS[other] > FOLDERS[folder] or (other != folder and FOLDERS[other] == FOLDERS[folder]):
                faults.append(f"{name} -> {included}: up to another folder")
            elif other == folder and included in LAYERS and place is not None \
                    and LAYERS.index(included) > place:
                faults.append(f"{name} -> {included}: back up inside {folder}")
    return faults


@pytest.mark.skipif(not SOURCES, reason="the C++ sources are not beside the tests")
def test_includes_run_down_the_layers():
    files = {path.relative_to(SRC).as_posix(): path.read_text() for path in SOURCES}
    assert layering_faults(files) == []


@pytest.mark.parametrize("files, fault", [
    ({"binding/errors.cpp": '#include "binding/interpreter.hpp"'},
     "binding/errors.cpp -> binding/interpreter: back up inside binding"),
    ({"object/types.hpp": '#include "result_class/result.hpp"'},
     "object/types.hpp -> result_class/result: up to another folder"),
    ({"result_class/combinators.cpp": '#include "maybe_class/maybe.hpp"'},
     "result_class/combinators.cpp -> maybe_class/maybe: up to another folder"),
    ({"binding/new.hpp": ""}, "binding/new.hpp: a header with no place in the layers"),
    ({"result_class/result.hpp": '#include "result_class/operations.hpp"'},
     "result_class/result.hpp -> result_class/operations: back up inside result_class"),
])
def test_the_layering_check_sees_an_include_against_the_layers(files, fault):
    assert layering_faults(files) == [fault]
