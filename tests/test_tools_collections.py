"""tolbrane_tools: collect, partition, oks, errs and values over many Results or MayBes."""

import re

import pytest

from tolbrane import MayBe, Result
from tolbrane_tools import collect, errs, oks, partition, values


def raises_exact(exc_type, text):
    return pytest.raises(exc_type, match="^" + re.escape(text) + "$")


A, B, C = object(), object(), object()


class Recorder:
    """An iterable that records which of its items have been taken."""

    def __init__(self, items):
        self.items, self.taken = items, []

    def __iter__(self):
        for index, item in enumerate(self.items):
            self.taken.append(index)
            yield item


# --- collect ------------------------------------------------------------------------------------
@pytest.mark.parametrize("kind", [None, Result])
def test_collect_gives_an_ok_of_every_value_in_order(kind):
    keywords = {} if kind is None else {"kind": kind}
    result = collect(iter([Result.ok(A), Result.ok(None), Result.ok(B)]), **keywords)
    assert type(result) is Result
    values_ = result.unwrap()
    assert type(values_) is list and len(values_) == 3
    assert values_[0] is A and values_[1] is None and values_[2] is B


@pytest.mark.parametrize("kind", [None, MayBe])
def test_collect_gives_a_just_of_every_held_object_in_order(kind):
    keywords = {} if kind is None else {"kind": kind}
    result = collect((MayBe(A), MayBe.just(None), MayBe(C)), **keywords)
    assert type(result) is MayBe
    assert [id(item) for item in result.unwrap()] == [id(A), id(None), id(C)]


@pytest.mark.parametrize("items, stop", [
    ([Result.err("first", "E1"), Result.ok(1)], 0),
    ([Result.ok(1), Result.ok(2), Result.err("third"), Result.err("fourth"), Result.ok(5)], 2),
    ([Result.ok(1), Result.err("then a foreign item, never looked at"), 42, MayBe(1)], 1),
    ([MayBe(1), MayBe(None), MayBe(3)], 1),
    ([MayBe(None), "never looked at"], 0),
])
def test_collect_returns_the_first_failure_itself_and_stops_there(items, stop):
    source = Recorder(items)
    assert collect(source) is items[stop]
    assert source.taken == list(range(stop + 1))


def test_collect_consumes_a_generator_only_up_to_the_first_err():
    def parsed():
        for text in ("1", "2", "x", "4"):
            yield Result.ok(int(text)) if text.isdigit() else Result.err(f"bad {text}")

    stream = parsed()
    assert collect(stream).unwrap_err()[0] == "bad x"
    assert [r.unwrap() for r in stream] == [4]


@pytest.mark.parametrize("kind, expected", [(None, Result), (Result, Result), (MayBe, MayBe)])
def test_collect_of_nothing_follows_the_kind(kind, expected):
    keywords = {} if kind is None else {"kind": kind}
    result = collect([], **keywords)
    assert type(result) is expected and result.unwrap() == []


def test_collect_gives_a_new_list_each_time():
    items = [Result.ok(1)]
    first, second = collect(items), collect(items)
    assert first.unwrap() == second.unwrap() and first.unwrap() is not second.unwrap()


@pytest.mark.parametrize("items, keywords, text", [
    ([Result.ok(1), MayBe(1)], {}, "collect() item 1: expected a Result, got 'MayBe'"),
    ([MayBe(1), MayBe(2), Result.ok(1)], {}, "collect() item 2: expected a MayBe, got 'Result'"),
    ([Result.ok(1), Result.ok(2), None], {}, "collect() item 2: expected a Result, got 'NoneType'"),
    ([1, Result.ok(1)], {}, "collect() item 0: expected a Result or a MayBe, got 'int'"),
    ([None], {}, "collect() item 0: expected a Result or a MayBe, got 'NoneType'"),
    ([(True, 1)], {}, "collect() item 0: expected a Result or a MayBe, got 'tuple'"),
    ([MayBe(1)], {"kind": Result}, "collect() item 0: expected a Result, got 'MayBe'"),
    ([Result.ok(1)], {"kind": MayBe}, "collect() item 0: expected a MayBe, got 'Result'"),
    ([MayBe(1), "x"], {"kind": MayBe}, "collect() item 1: expected a MayBe, got 'str'"),
])
def test_collect_refuses_a_mixture_or_a_foreign_item(items, keywords, text):
    with raises_exact(TypeError, text):
        collect(items, **keywords)


class Impostor:
    """Claims to be a Result or a MayBe through __class__, as a mock with a spec does."""

    def __init__(self, claimed):
        self.claimed = claimed

    @property
    def __class__(self):
        return self.claimed


@pytest.mark.parametrize("claimed", [Result, MayBe])
@pytest.mark.parametrize("position", [0, 1])
def test_collect_sees_through_a_spoofed_class(claimed, position):
    impostor = Impostor(claimed)
    assert isinstance(impostor, claimed)  # what the tools must not rely on
    genuine = Result.ok(1) if claimed is Result else MayBe(1)
    items = [impostor] if position == 0 else [genuine, impostor]
    expected = ("a Result or a MayBe" if position == 0
                else "a Result" if claimed is Result else "a MayBe")
    with raises_exact(TypeError, f"collect() item {position}: expected {expected}, got 'Impostor'"):
        collect(items)


@pytest.mark.parametrize("function, name", [
    (partition, "partition"), (lambda items: list(oks(items)), "oks"),
    (lambda items: list(errs(items)), "errs"),
])
def test_the_other_tools_see_through_a_spoofed_class(function, name):
    with raises_exact(TypeError, f"{name}() item 1: expected a Result, got 'Impostor'"):
        function([Result.ok(1), Impostor(Result)])


class Ambiguous:
    """Has no truth value, as a numpy array of many elements."""

    def __bool__(self):
        raise ValueError("the truth value is ambiguous")


@pytest.mark.parametrize("foreign, shown", [
    (0, "int"), (None, "NoneType"), ("", "str"), ([], "list"), (Ambiguous(), "Ambiguous"),
    ("text", "str"), (7, "int"),
])
@pytest.mark.parametrize("function, name, genuine", [
    (collect, "collect", Result.ok(1)),
    (lambda items: collect(items, kind=MayBe), "collect", MayBe(1)),
    (partition, "partition", Result.err("no")),
    (lambda items: list(oks(items)), "oks", Result.ok(1)),
    (lambda items: list(values(items)), "values", MayBe(None)),
])
def test_a_foreign_item_after_a_genuine_one_whatever_its_truth(
    foreign, shown, function, name, genuine
):
    expected = "a MayBe" if type(genuine) is MayBe else "a Result"
    with raises_exact(TypeError, f"{name}() item 1: expected {expected}, got '{shown}'"):
        function(iter([genuine, foreign, genuine]))


@pytest.mark.parametrize("kind, text", [
    (list, "collect() kind must be Result or MayBe, not <class 'list'>"),
    ("Result", "collect() kind must be Result or MayBe, not 'Result'"),
])
def test_collect_refuses_another_kind(kind, text):
    with raises_exact(TypeError, text):
        collect([Result.ok(1)], kind=kind)


def test_collect_lets_the_iterable_s_exception_through():
    def broken():
        yield Result.ok(1)
        raise KeyError("source failed")

    with pytest.raises(KeyError):
        collect(broken())
    with raises_exact(TypeError, "'int' object is not iterable"):
        collect(5)


# --- partition ----------------------------------------------------------------------------------
def test_partition_splits_values_and_errs_in_order():
    first, second = Result.err("one"), Result.err("two", "E2", {"k": 1})
    items = [Result.ok(A), first, Result.ok(None), second, Result.ok(B)]
    values_, failures = partition(iter(items))
    assert [id(item) for item in values_] == [id(A), id(None), id(B)]
    assert len(failures) == 2 and failures[0] is first and failures[1] is second


@pytest.mark.parametrize("items, expected", [
    ([], ([], [])),
    ([Result.ok(1), Result.ok(2)], ([1, 2], [])),
    ([Result.err("a"), Result.err("b")], ([], ["a", "b"])),
])
def test_partition_edges(items, expected):
    values_, failures = partition(items)
    assert (values_, [failure.unwrap_err()[0] for failure in failures]) == expected


@pytest.mark.parametrize("items, text", [
    ([Result.ok(1), Result.err("x"), MayBe(1)],
     "partition() item 2: expected a Result, got 'MayBe'"),
    ([Result.err("x"), 3.5], "partition() item 1: expected a Result, got 'float'"),
    ([{"ok": True, "value": 1}], "partition() item 0: expected a Result, got 'dict'"),
])
def test_partition_refuses_what_is_not_a_result(items, text):
    with raises_exact(TypeError, text):
        partition(items)


# --- oks, errs, values: lazy ---------------------------------------------------------------------
MIXED = [Result.ok(1), Result.err("a"), Result.ok(2), Result.err("b", "E")]


def test_oks_and_errs_yield_their_part_in_order():
    assert list(oks(MIXED)) == [1, 2]
    failures = list(errs(MIXED))
    assert failures == [MIXED[1], MIXED[3]]  # the Errs themselves: equality is identity


def test_values_yields_the_held_objects_of_the_justs():
    assert list(values([MayBe(A), MayBe(None), MayBe.just(None), MayBe.nothing()])) == [A, None]
    assert list(values([])) == []


@pytest.mark.parametrize("function, items, taken_for_first", [
    (oks, MIXED, [0]), (errs, MIXED, [0, 1]), (values, [MayBe(None), MayBe(1), MayBe(2)], [0, 1]),
])
def test_the_iterators_are_lazy(function, items, taken_for_first):
    source = Recorder(items)
    iterator = function(source)
    assert source.taken == []
    next(iterator)
    assert source.taken == taken_for_first
    list(iterator)
    assert source.taken == list(range(len(items)))


@pytest.mark.parametrize("function, items, yielded, text", [
    (oks, [Result.ok(1), "two"], 1, "oks() item 1: expected a Result, got 'str'"),
    (errs, [Result.err("x"), Result.ok(1), MayBe(1)], 1,
     "errs() item 2: expected a Result, got 'MayBe'"),
    (values, [MayBe(1), Result.ok(2)], 1, "values() item 1: expected a MayBe, got 'Result'"),
    (values, [None], 0, "values() item 0: expected a MayBe, got 'NoneType'"),
])
def test_the_iterators_refuse_a_foreign_item_when_they_reach_it(function, items, yielded, text):
    got = []
    with raises_exact(TypeError, text):
        for item in function(items):
            got.append(item)
    assert len(got) == yielded


def _advanced(iterator):
    next(iterator)
    return iterator


def _generated(items):
    yield from items


# The index counts the items the tool took, whichever way the source keeps its place.
@pytest.mark.parametrize("shape", [
    list, tuple, lambda items: iter(list(items)), lambda items: _advanced(iter([None, *items])),
    lambda items: _advanced(iter((None, *items))), _generated,
    lambda items: dict(enumerate(items)).values(),
], ids=["list", "tuple", "list iterator", "advanced list iterator", "advanced tuple iterator",
        "generator", "dict values"])
@pytest.mark.parametrize("function, present, absent", [
    (oks, Result.ok(1), Result.err("no")), (values, MayBe(1), MayBe.nothing()),
])
@pytest.mark.parametrize("foreign, shown", [("text", "str"), (Ambiguous(), "Ambiguous")])
def test_the_iterators_name_the_foreign_item_by_its_place_in_any_source(
    shape, function, present, absent, foreign, shown
):
    expected = "a Result" if type(present) is Result else "a MayBe"
    items = [present, absent, present, absent, absent, foreign, present]
    with raises_exact(TypeError, f"{function.__name__}() item 5: expected {expected}, "
                                 f"got '{shown}'"):
        list(function(shape(items)))
