"""tolbrane's Result API in plain Python, written the way a careful user writes it for speed.

Two plain classes with `__slots__` and a plain `__init__`: no dataclass, no freezing (immutable
by convention only), no argument checks. Where nothing changes it hands back what it already has:
an Err's `map` and an Ok's `map_err` return the receiver itself, and `and_then` returns the
callable's Result itself. tolbrane's types promise a new instance from every operation, so these
are the operations where the lean class can do less work than tolbrane. The benchmarks use it as
the "lean" column beside bench/pure.py (the dataclass version); it is not part of the package.
"""

from __future__ import annotations


class Result:
    """Ok(value) | Err(message, code?, details?). `Result.ok` and `Result.err` are the classes."""

    __slots__ = ()

    @staticmethod
    def from_dict(data: dict) -> Result:
        if data["ok"]:
            return Ok(data["value"])
        return Err(data["error"], data.get("code"), data.get("details"))

    def __class_getitem__(cls, _item):
        return cls


class Ok(Result):
    __slots__ = ("value",)

    def __init__(self, value: object) -> None:
        self.value = value

    def is_ok(self) -> bool:
        return True

    def is_err(self) -> bool:
        return False

    def unwrap(self) -> object:
        return self.value

    def expect(self, message: str) -> object:
        return self.value

    def unwrap_or(self, default: object) -> object:
        return self.value

    def unwrap_err(self) -> tuple:
        raise ValueError("Tried to unwrap_err on an Ok")

    def to_option(self) -> object:
        return self.value

    def match(self, ok=None, err=None) -> object:
        return None if ok is None else ok(self.value)

    def map(self, func) -> Result:
        return Ok(func(self.value))

    def map_err(self, func) -> Result:
        return self

    def and_then(self, func) -> Result:
        return func(self.value)

    flat_map = and_then
    __rshift__ = and_then

    def to_dict(self) -> dict:
        return {"ok": True, "value": self.value}

    def __bool__(self) -> bool:
        return True

    def __len__(self) -> int:
        return 1

    def __iter__(self):
        return iter((self.value,))

    def __or__(self, other: object) -> object:
        return self.value

    def __repr__(self) -> str:
        return f"Ok({self.value})"


class Err(Result):
    __slots__ = ("message", "code", "details")

    def __init__(self, message: str, code: str | None = None, details: object = None) -> None:
        self.message = message
        self.code = code
        self.details = details

    def is_ok(self) -> bool:
        return False

    def is_err(self) -> bool:
        return True

    def unwrap(self) -> object:
        raise ValueError("Tried to unwrap an Err: " + self.message)

    def expect(self, message: str) -> object:
        raise ValueError(message)

    def unwrap_or(self, default: object) -> object:
        return default

    def unwrap_err(self) -> tuple:
        return (self.message, self.code, self.details)

    def to_option(self) -> object:
        return None

    def match(self, ok=None, err=None) -> object:
        return None if err is None else err(self.message, self.code, self.details)

    def map(self, func) -> Result:
        return self

    def map_err(self, func) -> Result:
        return Err(*func(self.message, self.code, self.details))

    def and_then(self, func) -> Result:
        return self

    flat_map = and_then
    __rshift__ = and_then

    def to_dict(self) -> dict:
        data = {"ok": False, "error": self.message}
        if self.code is not None:
            data["code"] = self.code
        if self.details is not None:
            data["details"] = self.details
        return data

    def __bool__(self) -> bool:
        return False

    def __len__(self) -> int:
        return 0

    def __iter__(self):
        return iter(())

    def __or__(self, other: object) -> object:
        return other

    def __repr__(self) -> str:
        if self.code is None:
            return f"Err('{self.message}')"
        return f"Err('{self.message}', code='{self.code}')"


# Result.ok(x) and Result.err(m) call the classes themselves: no function in between.
Result.ok = Ok
Result.err = Err
