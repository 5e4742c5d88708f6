"""The same Result and MayBe API in plain Python, as a careful user would write it.

Frozen, slotted dataclasses without the generated comparison methods (equality is identity, as
in the extension). Used by the benchmarks as the pure-Python column; not part of the package.
"""

from __future__ import annotations

from dataclasses import dataclass

_ABSENT = object()  # marks an empty MayBe: a Just may hold None


@dataclass(frozen=True, slots=True, eq=False, repr=False)
class Result:
    """Ok(value) | Err(message, code?, details?). An Ok is a Result without a message."""

    value: object
    message: str | None
    code: str | None
    details: object

    @staticmethod
    def ok(value: object) -> Result:
        return Result(value, None, None, None)

    @staticmethod
    def err(message: str, code: str | None = None, details: object = None) -> Result:
        if not isinstance(message, str):
            raise TypeError(f"argument 'message': {type(message).__name__!r} object is not an "
                            "instance of 'str'")
        if code is not None and not isinstance(code, str):
            raise TypeError(f"argument 'code': {type(code).__name__!r} object is not an "
                            "instance of 'str'")
        return Result(None, message, code, details)

    @staticmethod
    def from_dict(data: dict) -> Result:
        if not isinstance(data, dict):
            raise TypeError(f"argument 'dict': {type(data).__name__!r} object is not an "
                            "instance of 'dict'")
        try:
            ok = data["ok"]
        except KeyError:
            raise ValueError("Missing 'ok' key in dict") from None
        if type(ok) is not bool:
            raise TypeError(f"{type(ok).__name__!r} object is not an instance of 'bool'")
        if ok:
            try:
                return Result(data["value"], None, None, None)
            except KeyError:
                raise ValueError("Missing 'value' key for Ok result") from None
        try:
            message = data["error"]
        except KeyError:
            raise ValueError("Missing 'error' key for Err result") from None
        if not isinstance(message, str):
            raise TypeError(f"{type(message).__name__!r} object is not an instance of 'str'")
        code = data.get("code")
        return Result(None, message, code if isinstance(code, str) else None,
                      data.get("details"))

    def is_ok(self) -> bool:
        return self.message is None

    def is_err(self) -> bool:
        return self.message is not None

    def unwrap(self) -> object:
        if self.message is None:
            return self.value
        raise ValueError("Tried to unwrap an Err: " + self.message)

    def expect(self, message: str) -> object:
        if self.message is None:
            return self.value
        raise ValueError(message)

    def unwrap_or(self, default: object) -> object:
        return self.value if self.message is None else default

    def unwrap_err(self) -> tuple:
        if self.message is None:
            raise ValueError("Tried to unwrap_err on an Ok")
        return (self.message, self.code, self.details)

    def to_option(self) -> object:
        return self.value if self.message is None else None

    def match(self, ok=None, err=None) -> object:
        if self.message is None:
            return None if ok is None else ok(self.value)
        return None if err is None else err(self.message, self.code, self.details)

    def map(self, func) -> Result:
        if self.message is None:
            return Result(func(self.value), None, None, None)
        return Result(None, self.message, self.code, self.details)

    def map_err(self, func) -> Result:
        if self.message is None:
            return Result(self.value, None, None, None)
        message, code, details = func(self.message, self.code, self.details)
        return Result.err(message, code, details)

    def flat_map(self, func) -> Result:
        if self.message is None:
            returned = func(self.value)
            if not isinstance(returned, Result):
                raise TypeError(f"{type(returned).__name__!r} object is not an instance of "
                                "'Result'")
            return Result(returned.value, returned.message, returned.code, returned.details)
        return Result(None, self.message, self.code, self.details)

    and_then = flat_map
    __rshift__ = flat_map

    def to_dict(self) -> dict:
        if self.message is None:
            return {"ok": True, "value": self.value}
        data = {"ok": False, "error": self.message}
        if self.code is not None:
            data["code"] = self.code
        if self.details is not None:
            data["details"] = self.details
        return data

    def __bool__(self) -> bool:
        return self.message is None

    def __len__(self) -> int:
        return 1 if self.message is None else 0

    def __iter__(self):
        return iter((self.value,) if self.message is None else ())

    def __or__(self, other: object) -> object:
        return self.value if self.message is None else other

    def __repr__(self) -> str:
        if self.message is None:
            return f"Ok({self.value})"
        if self.code is None:
            return f"Err('{self.message}')"
        return f"Err('{self.message}', code='{self.code}')"

    def __class_getitem__(cls, _item):
        return cls


@dataclass(frozen=True, slots=True, eq=False, repr=False, init=False)
class MayBe:
    """Just(obj) | Nothing. MayBe(None) is a Nothing; MayBe.just(None) is a Just."""

    inner: object

    def __init__(self, obj: object) -> None:
        object.__setattr__(self, "inner", _ABSENT if obj is None else obj)

    @staticmethod
    def just(obj: object) -> MayBe:
        made = object.__new__(MayBe)
        object.__setattr__(made, "inner", obj)
        return made

    @staticmethod
    def nothing() -> MayBe:
        made = object.__new__(MayBe)
        object.__setattr__(made, "inner", _ABSENT)
        return made

    def is_just(self) -> bool:
        return self.inner is not _ABSENT

    def is_nothing(self) -> bool:
        return self.inner is _ABSENT

    def unwrap(self) -> object:
        if self.inner is _ABSENT:
            raise ValueError("Tried to unwrap a Nothing")
        return self.inner

    def expect(self, message: str) -> object:
        if self.inner is _ABSENT:
            raise ValueError(message)
        return self.inner

    def to_option(self) -> object:
        return None if self.inner is _ABSENT else self.inner

    def or_else(self, default: object) -> object:
        return default if self.inner is _ABSENT else self.inner

    def match(self, just=None, nothing=None) -> object:
        if self.inner is _ABSENT:
            return None if nothing is None else nothing()
        return None if just is None else just(self.inner)

    def map(self, func) -> MayBe:
        if self.inner is _ABSENT:
            return MayBe.nothing()
        return MayBe.just(func(self.inner))

    def flat_map(self, func) -> MayBe:
        if self.inner is _ABSENT:
            return MayBe.nothing()
        returned = func(self.inner)
        if not isinstance(returned, MayBe):
            raise TypeError(f"{type(returned).__name__!r} object is not an instance of 'MayBe'")
        return MayBe.just(returned.inner) if returned.inner is not _ABSENT else MayBe.nothing()

    __rshift__ = flat_map

    def __bool__(self) -> bool:
        return self.inner is not _ABSENT

    def __len__(self) -> int:
        return 0 if self.inner is _ABSENT else 1

    def __iter__(self):
        return iter(() if self.inner is _ABSENT else (self.inner,))

    def __or__(self, other: object) -> object:
        return other if self.inner is _ABSENT else self.inner

    def __repr__(self) -> str:
        return "Nothing" if self.inner is _ABSENT else f"Just({self.inner})"

    def __class_getitem__(cls, _item):
        return cls
