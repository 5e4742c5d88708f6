"""Shared leak check: reference counts of watched objects across many rounds of an operation."""

import gc
import sys


def run_expecting(call, exc_type):
    """Calls `call`; it must raise exactly `exc_type`, or nothing when `exc_type` is None."""
    try:
        call()
    except BaseException as exc:
        if type(exc) is not exc_type:
            raise
        exc.__traceback__ = None
    else:
        assert exc_type is None


def assert_counts_stable(one_round, watched, rounds=300):
    """After a warm-up round, `rounds` more leave the counts of `watched` (name -> object) as they were."""

    def counts():
        gc.collect()  # garbage left by earlier tests must not be freed while counting
        return {name: sys.getrefcount(obj) for name, obj in watched.items()}

    one_round()
    before = counts()
    for _ in range(rounds):
        one_round()
    assert counts() == before
