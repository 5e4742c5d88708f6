"""A CLI's plugin registry, ported to tolbrane with the toolkit before typed errors."""

from typing import Any

from tolbrane import MayBe, Result
from tolbrane_tools import Ok, catch, view


class PluginError(Exception):
    pass


REGISTRY = {"greet": "hello {name}", "shout": "HELLO {NAME}", "broken": "hello {"}
ALIASES = {"hi": "greet"}


def failure(exc: Exception) -> Result[Any]:
    return Result.err(str(exc), type(exc).__name__, exc)


def resolve(name: str) -> MayBe[str]:
    return MayBe(ALIASES.get(name)) if ALIASES.get(name) else MayBe.just(name)


def lookup(name: str) -> Result[str]:
    template = REGISTRY.get(name)
    if template is None:
        return failure(PluginError(f"no plugin named {name!r}"))
    return Result.ok(template)


@catch()
def render(template: str) -> str:
    return template.format(name="ada", NAME="ADA")


def rewrap(name: str) -> Any:
    def wrap(message: str, code: str | None, details: Any) -> tuple[str, str | None, Any]:
        error = PluginError(f"{name}: {details}")
        return str(error), type(error).__name__, error
    return wrap


def run(name: str) -> Result[str]:
    canonical = resolve(name).or_else(name)
    return lookup(canonical).and_then(render).map_err(rewrap(name))


def main() -> None:
    for name in ("greet", "hi", "shout", "broken", "missing"):
        outcome = run(name)
        if outcome.is_ok():
            print(f"{name}: {outcome.unwrap()}")
        else:
            print(f"{name} failed: {outcome.unwrap_err()[2]}")
    assert view(run("greet")) == Ok("hello ada")
    assert run("missing").is_err()
    port = MayBe({"port": 8080}.get("port")).map(str).or_else("default")
    print("port", port, MayBe(None).is_nothing())


if __name__ == "__main__":
    main()
