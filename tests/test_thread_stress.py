"""Reliability under threads: many threads create, combine, convert and drop values that they share,
with the interpreter switching threads as often as it can, and every answer is checked."""

import gc
import sys
import threading
import weakref

import pytest

from tolbrane import MayBe, Result

THREADS = 6
ROUNDS = 400


class Marker:
    """A leaf that tells, through a weak reference, when the last holder freed it."""


@pytest.fixture(autouse=True)
def frequent_switches():
    """Switch threads every microsecond, so that operations of different threads interleave."""
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


def run_threads(worker, count=THREADS):
    """Starts `count` threads at once on worker(index) and gives back what each one returned."""
    start, answers, failures = threading.Barrier(count), [None] * count, []

    def run(index):
        start.wait()
        try:
            answers[index] = worker(index)
        except BaseException as exc:  # reported to the test below, with the thread's index
            failures.append((index, exc))

    threads = [threading.Thread(target=run, args=(index,)) for index in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    return answers


def test_threads_create_values_and_read_back_exactly_what_they_put_in():
    def worker(index):
        wrong = []
        for n in range(ROUNDS):
            key = (index, n)
            made = [Result.ok(key), Result.err(f"e{index}-{n}", f"C{n}", key), MayBe(key), MayBe(None)]
            got = (made[0].unwrap(), made[1].unwrap_err(), made[2].unwrap(), made[3].is_nothing(),
                   repr(made[1]), [bool(value) for value in made])
            expected = (key, (f"e{index}-{n}", f"C{n}", key), key, True,
                        f"Err('e{index}-{n}', code='C{n}')", [True, False, True, False])
            if got != expected:
                wrong.append((n, got))
        return wrong

    assert run_threads(worker) == [[]] * THREADS


SHARED_OK, SHARED_ERR = Result.ok(10), Result.err("shared", "E_SHARED", {"n": 1})
SHARED_JUST, SHARED_NOTHING = MayBe.just(10), MayBe.nothing()

COMBINATIONS = [
    ("Ok.map", lambda i: SHARED_OK.map(lambda x: x + i).unwrap(), lambda i: 10 + i),
    ("Ok.flat_map", lambda i: SHARED_OK.flat_map(lambda x: Result.ok((x, i))).unwrap(), lambda i: (10, i)),
    ("Ok >> to Err", lambda i: (SHARED_OK >> (lambda x: Result.err(f"{x}/{i}"))).unwrap_err(),
     lambda i: (f"10/{i}", None, None)),
    ("Err.map passes", lambda i: SHARED_ERR.map(lambda x: i).unwrap_err(),
     lambda i: ("shared", "E_SHARED", {"n": 1})),
    ("Err.map_err", lambda i: SHARED_ERR.map_err(lambda m, c, d: (m + str(i), c, i)).unwrap_err(),
     lambda i: (f"shared{i}", "E_SHARED", i)),
    ("Err | default", lambda i: SHARED_ERR | i, lambda i: i),
    ("Ok.match", lambda i: SHARED_OK.match(ok=lambda x: x * i), lambda i: 10 * i),
    ("Just.map", lambda i: SHARED_JUST.map(lambda x: x - i).unwrap(), lambda i: 10 - i),
    ("Just >> to Nothing", lambda i: (SHARED_JUST >> (lambda x: MayBe(None))).is_nothing(), lambda i: True),
    ("Nothing.match", lambda i: SHARED_NOTHING.match(nothing=lambda: -i), lambda i: -i),
    ("Nothing | default", lambda i: SHARED_NOTHING | i, lambda i: i),
]


@pytest.mark.parametrize("name, combine, expected", COMBINATIONS, ids=[case[0] for case in COMBINATIONS])
def test_combinators_on_shared_values_give_each_thread_its_own_answer(name, combine, expected):
    def worker(index):
        return [(n, got) for n in range(ROUNDS) if (got := combine(index * ROUNDS + n)) != expected(index * ROUNDS + n)]

    assert run_threads(worker) == [[]] * THREADS
    assert (SHARED_OK.unwrap(), SHARED_ERR.unwrap_err()) == (10, ("shared", "E_SHARED", {"n": 1}))


ROUND_TRIPS = [
    ("Ok", Result.ok([1, 2]), {"ok": True, "value": [1, 2]}),
    ("Err", Result.err("gone"), {"ok": False, "error": "gone"}),
    ("Err with code and details", Result.err("gone", "E_GONE", {"id": 7}),
     {"ok": False, "error": "gone", "code": "E_GONE", "details": {"id": 7}}),
]


@pytest.mark.parametrize("name, shared, form", ROUND_TRIPS, ids=[case[0] for case in ROUND_TRIPS])
def test_dict_round_trips_of_a_shared_result_keep_its_very_objects(name, shared, form):
    payload = shared.unwrap() if shared.is_ok() else shared.unwrap_err()[2]

    def worker(index):
        wrong = []
        for n in range(ROUNDS):
            written = shared.to_dict()
            back = Result.from_dict(written)
            kept = back.unwrap() if back.is_ok() else back.unwrap_err()[2]
            if written != form or kept is not payload or back.to_dict() != form:
                wrong.append((n, written, back))
        return wrong

    assert run_threads(worker) == [[]] * THREADS


DEPTH = 20_000
CHAINS = [
    ("Ok(Ok(...))", Result.ok, lambda link: link.unwrap()),
    ("Just(Just(...))", MayBe.just, lambda link: link.unwrap()),
    ("Err(details=Err(...))", lambda inner: Result.err("link", None, inner), lambda link: link.unwrap_err()[2]),
    ("Ok([Just(...)])", lambda inner: Result.ok([MayBe.just(inner)]), lambda link: link.unwrap()[0].unwrap()),
]


@pytest.mark.parametrize("name, wrap, step", CHAINS, ids=[case[0] for case in CHAINS])
def test_a_deep_shared_chain_dropped_from_several_threads_is_freed_once(name, wrap, step):
    marker = Marker()
    gone = weakref.ref(marker)
    chain = marker
    links = []
    for _ in range(DEPTH):
        chain = wrap(chain)
        links.append(chain)
    del marker
    # Each thread holds the chain from its own depth down, walks it to the leaf, then drops it, all
    # at about the same time; the one that drops the last holder frees the rest.
    holders = [[links[DEPTH - 1 - index * (DEPTH // THREADS)]] for index in range(THREADS)]
    del chain, links
    dropped = threading.Barrier(THREADS)

    def worker(index):
        link = holders[index].pop()
        depth = 0
        while not isinstance(link, Marker):
            link = step(link)
            depth += 1
        alive = gone() is link
        del link
        dropped.wait()
        return depth, alive

    answers = run_threads(worker)
    gc.collect()
    assert answers == [(DEPTH - index * (DEPTH // THREADS), True) for index in range(THREADS)]
    assert gone() is None
