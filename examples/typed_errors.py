"""Typed errors and do-notation: a config loader whose failures carry an error class of its own.

Run with `python examples/typed_errors.py`. Each step returns a `Result[T, ConfigError]`; the
`@do` function chains them with `yield from bind(...)`, stopping at the first Err, and the
checkers know the type of every bound value and of the Err's details.
"""

from dataclasses import dataclass

from tolbrane import Result
from tolbrane_tools import Do, Err, Ok, bind, combine, do, err_details, from_exception, view


@dataclass
class ConfigError(Exception):
    key: str
    problem: str

    def __str__(self) -> str:
        return f"{self.key}: {self.problem}"


def read(settings: dict[str, str], key: str) -> Result[str, ConfigError]:
    if key in settings:
        return Result.ok(settings[key])
    return from_exception(ConfigError(key, "missing"))


def port(text: str) -> Result[int, ConfigError]:
    if text.isdigit() and 0 < int(text) < 65536:
        return Result.ok(int(text))
    return from_exception(ConfigError("port", f"not a port number: {text!r}"))


@do
def address(settings: dict[str, str]) -> Do[str, ConfigError]:
    host = yield from bind(read(settings, "host"))
    number = yield from bind(read(settings, "port").and_then(port))
    return f"{host}:{number}"


def describe(result: Result[str, ConfigError]) -> str:
    match view(result):
        case Ok(value):
            return f"listening on {value}"
        case Err(details=error):
            return f"bad config [{error.key}]: {error.problem}"


for settings in ({"host": "example.org", "port": "8080"}, {"host": "example.org", "port": "http"},
                 {"port": "80"}):
    print(describe(address(settings)))

failure = address({})
print("details:", repr(err_details(failure)))
print("both:", combine(read({"a": "1"}, "a"), port("443")))
