"""The reference-leak hunt (leak_hunt.py) reports a leak exactly when a count grows in every round."""

import ctypes
import io
import sys

import pytest

import leak_hunt

CALLS, WARMUPS, ROUNDS = 300, 3, 5  # more calls than the small ints that CPython caches
DEBUG_BUILD = hasattr(sys, "gettotalrefcount")
counts_blocks = pytest.mark.skipif(sys.getallocatedblocks() == 0,
                                   reason="this interpreter counts no memory blocks (PYTHONMALLOC=malloc)")
kept = []


def keeps_a_new_object():
    kept.append(object())


def loses_a_memory_block():
    ctypes.pythonapi.PyMem_Malloc(16)  # no object holds it, so no reference counts it


def loses_a_reference():
    ctypes.pythonapi.Py_IncRef(ctypes.py_object(loses_a_reference))


def fills_a_cache_while_warming_up(cache=[]):  # noqa: B006 - the cache is the point
    if len(cache) < CALLS * WARMUPS:
        cache.append(object())


def keeps_an_object_in_every_other_round(calls=[0]):  # noqa: B006
    if calls[0] // CALLS % 2:
        kept.append(object())
    calls[0] += 1


def fills_the_attribute_cache():
    # A new class per call, so a new slot of the interpreter's attribute cache, which keeps the
    # looked-up name alive: a new string each time, so that it counts as a block too.
    name = "".join(["cached", "_name"])
    getattr(type("Fresh", (), {name: None}), name)


def holds_nothing():
    return object()


ctypes.pythonapi.PyMem_Malloc.restype = ctypes.c_void_p


@pytest.fixture(autouse=True)
def release_kept():
    yield
    kept.clear()


@counts_blocks
@pytest.mark.parametrize(("op", "leaks_refs", "leaks_blocks"), [
    (keeps_a_new_object, True, True),
    (loses_a_memory_block, False, True),
    (loses_a_reference, True, False),
    (fills_a_cache_while_warming_up, False, False),
    (keeps_an_object_in_every_other_round, False, False),
    (fills_the_attribute_cache, False, False),
    (holds_nothing, False, False),
])
def test_a_leak_is_growth_in_every_round(op, leaks_refs, leaks_blocks):
    refs, blocks = leak_hunt.round_deltas(op, CALLS, WARMUPS, ROUNDS)
    assert len(blocks) == ROUNDS and leak_hunt.grows_every_round(blocks) is leaks_blocks, blocks
    if DEBUG_BUILD:
        assert len(refs) == ROUNDS and leak_hunt.grows_every_round(refs) is leaks_refs, refs
    else:
        assert refs is None


@pytest.mark.parametrize(("deltas", "leaks"), [
    ([1, 1, 1], True), ([1000, 3, 7], True), ([3, 0, 0], False), ([8, -8, 1], False), ([0, 0, 0], False),
    ([-1, -1, -1], False), (None, False),
])
def test_growth_in_every_round(deltas, leaks):
    assert leak_hunt.grows_every_round(deltas) is leaks


def row(name, refs, blocks, verdict):
    return leak_hunt.COLUMNS.format(name=name, refs=refs if DEBUG_BUILD else "-", blocks=blocks,
                                    verdict=verdict)


@counts_blocks
def test_the_report_names_the_leaking_operation_and_fails():
    out = io.StringIO()
    status = leak_hunt.main(["--calls", str(CALLS)], {"holds nothing": holds_nothing,
                                                      "keeps a new object": keeps_a_new_object}, out)
    leaked = "references and memory blocks" if DEBUG_BUILD else "memory blocks"
    assert (status, out.getvalue().splitlines()[-4:]) == (1, [
        row("holds nothing", "0 0 0 0 0", "0 0 0 0 0", "ok"),
        row("keeps a new object", "300 300 300 300 300", "300 300 300 300 300", f"LEAKS {leaked}"),
        "leaks: 1 of 2 operations",
        "  keeps a new object",
    ])


def test_the_operations_of_both_types_without_a_leak_pass():
    out = io.StringIO()
    names = ["Result.ok(VALUE)", "ERR.unwrap()", "JUST.map(func=boom)"]
    assert leak_hunt.main(["--calls", str(CALLS), *names], out=out) == 0
    assert out.getvalue().splitlines()[-4:] == [row(name, "0 0 0 0 0", "0 0 0 0 0", "ok") for name in names] + [
        "leaks: 0 of 3 operations"]


def test_an_unknown_operation_is_refused(capsys):
    with pytest.raises(SystemExit) as exit_info:
        leak_hunt.main(["Result.nope()"])
    assert exit_info.value.code == 2
    assert capsys.readouterr().err.splitlines()[-1] == "leak_hunt.py: error: no such operation: Result.nope()"
