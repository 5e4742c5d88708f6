"""A CLI's plugin registry, written against the `returns` package."""

from returns.maybe import Maybe, Nothing, Some
from returns.pipeline import is_successful
from returns.result import Failure, Result, Success, safe


class PluginError(Exception):
    pass


REGISTRY = {"greet": "hello {name}", "shout": "HELLO {NAME}", "broken": "hello {"}
ALIASES = {"hi": "greet"}


def resolve(name: str) -> Maybe[str]:
    return Maybe.from_optional(ALIASES.get(name)).lash(lambda _: Some(name))  # type: ignore[arg-type, return-value]


def lookup(name: str) -> Result[str, PluginError]:
    template = REGISTRY.get(name)
    if template is None:
        return Failure(PluginError(f"no plugin named {name!r}"))
    return Success(template)


@safe
def render(template: str) -> str:
    return template.format(name="ada", NAME="ADA")


def run(name: str) -> Result[str, Exception]:
    canonical = resolve(name).value_or(name)
    return lookup(canonical).bind(render).alt(  # type: ignore[arg-type]
        lambda error: PluginError(f"{name}: {error}"))


def main() -> None:
    for name in ("greet", "hi", "shout", "broken", "missing"):
        outcome = run(name)
        if is_successful(outcome):
            print(f"{name}: {outcome.unwrap()}")
        else:
            print(f"{name} failed: {outcome.failure()}")
    assert run("greet") == Success("hello ada")
    assert isinstance(run("missing"), Failure)
    port = Maybe.from_optional({"port": 8080}.get("port")).map(str).value_or("default")
    print("port", port, Maybe.from_optional(None) == Nothing)


if __name__ == "__main__":
    main()
