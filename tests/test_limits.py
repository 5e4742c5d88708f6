"""The time limits of the tests' subprocesses: scaled by TOLBRANE_TIME_SCALE, refused when it is not
a number of at least 1, so that a mistyped scale cannot shorten every limit or pass unnoticed."""

import pytest

from _limits import limit


@pytest.mark.parametrize("scale, seconds, expected", [(None, 60, 60), ("1", 30, 30), ("20", 60, 1200),
                                                      ("2.5", 120, 300)])
def test_limits_scale_by_the_factor(monkeypatch, scale, seconds, expected):
    if scale is None:
        monkeypatch.delenv("TOLBRANE_TIME_SCALE", raising=False)
    else:
        monkeypatch.setenv("TOLBRANE_TIME_SCALE", scale)
    assert limit(seconds) == expected


@pytest.mark.parametrize("scale, message", [
    ("fast", "TOLBRANE_TIME_SCALE must be a number, not 'fast'"),
    ("", "TOLBRANE_TIME_SCALE must be a number, not ''"),
    ("0.5", "TOLBRANE_TIME_SCALE must be at least 1, not '0.5'"),
    ("-3", "TOLBRANE_TIME_SCALE must be at least 1, not '-3'"),
    ("nan", "TOLBRANE_TIME_SCALE must be at least 1, not 'nan'"),
])
def test_a_scale_that_would_shorten_or_garble_the_limits_is_refused(monkeypatch, scale, message):
    monkeypatch.setenv("TOLBRANE_TIME_SCALE", scale)
    with pytest.raises(ValueError) as raised:
        limit(60)
    assert str(raised.value) == message
