"""The floor comparison pairs each dump with its operation and implementation, takes the empty
loop off, and the floor it builds behaves as tolbrane does on the operations it is compared on.
Nothing here is timed."""

import shutil
import sys
from pathlib import Path

import pytest

BENCH = Path(__file__).resolve().parent.parent / "bench"
sys.path.insert(0, str(BENCH))

import catalogue  # noqa: E402
import floor_compare  # noqa: E402
import instructions  # noqa: E402


def test_per_operation_pairs_dumps_and_takes_the_empty_loop_off():
    items = floor_compare.counted()
    trips = (instructions.LONG_RUN - instructions.SHORT_RUN) * catalogue.UNROLL
    # Each item costs (its position + 1) instructions per statement; the empty loop comes first.
    totals = []
    for position in range(len(items)):
        totals += [7, 7 + (position + 1) * trips]
    costs = floor_compare.per_operation(totals, items)
    baseline = {"tolbrane": 1, "floor": 2}
    expected = {implementation: {} for implementation in floor_compare.IMPLEMENTATIONS}
    for position, (key, implementation) in enumerate(items):
        if key != floor_compare.BASELINE:
            expected[implementation][key] = position + 1 - baseline[implementation]
    assert costs == expected


@pytest.mark.parametrize("key, target", [("Result.map_on_err", 1.15), ("Result.map", 1.10),
                                         ("Result.ok", 1.10)])
def test_targets(key, target):
    assert floor_compare.target_of(key) == target


@pytest.fixture(scope="module")
def floor_names(tmp_path_factory):
    if shutil.which("gcc") is None:
        pytest.skip("no gcc")
    sys.path.insert(0, str(floor_compare.build_floor(tmp_path_factory.mktemp("floor"))))
    return floor_compare.namespaces()


@pytest.mark.parametrize("key", [key for key, _, _ in floor_compare.OPERATIONS])
def test_floor_gives_what_tolbrane_gives(floor_names, key):
    snippet = floor_compare.snippet_of(key)
    setup = "; ".join(filter(None, (catalogue._COMMON_LOCALS, catalogue._LOCALS["tolbrane"],
                                    snippet.setup)))
    shown = {}
    for implementation, names in floor_names.items():
        scope = dict(names)
        exec(setup, scope)
        value = eval(snippet.stmt, scope)
        # The floor's MayBe has no repr: its held object stands for it.
        if hasattr(value, "or_else"):
            value = ("MayBe", value.or_else(None))
        shown[implementation] = value if isinstance(value, (str, dict, int, tuple)) else repr(value)
    assert shown["floor"] == shown["tolbrane"]
