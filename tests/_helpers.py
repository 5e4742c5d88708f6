"""Helpers that the test files share: the exact-message check and a str subclass."""

import re

import pytest


def raises_exact(exc_type, text):
    """pytest.raises for exactly `text` as the whole message."""
    return pytest.raises(exc_type, match=r"\A" + re.escape(text) + r"\Z")


class Text(str):
    """A subclass of str, which the text conversions accept."""
