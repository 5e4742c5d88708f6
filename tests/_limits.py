"""Time limits for the subprocesses that tests start, scaled for slow runs.

Under user-mode emulation (the arm64 run of CI) every instruction costs many host instructions, so
a limit sized for a native run would fail a correct program. TOLBRANE_TIME_SCALE multiplies every
limit instead of skipping the test.
"""

import os


def time_scale() -> float:
    """The factor from TOLBRANE_TIME_SCALE, 1 when unset; it must be a number of at least 1.

    >>> time_scale() >= 1
    True
    """
    text = os.environ.get("TOLBRANE_TIME_SCALE", "1")
    try:
        scale = float(text)
    except ValueError:
        raise ValueError(f"TOLBRANE_TIME_SCALE must be a number, not {text!r}") from None
    if not scale >= 1:
        raise ValueError(f"TOLBRANE_TIME_SCALE must be at least 1, not {text!r}")
    return scale


def limit(seconds: float) -> float:
    """A time limit of `seconds` for a native run, scaled by TOLBRANE_TIME_SCALE.

    >>> limit(60) == 60 * time_scale()
    True
    """
    return seconds * time_scale()
