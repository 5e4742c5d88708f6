"""A CLI's plugin registry, ported to tolbrane with typed errors and the idioms."""

from tolbrane import MayBe, Result
from tolbrane_tools import assert_err, assert_ok, catch, from_exception


class PluginError(Exception):
    pass


REGISTRY = {"greet": "hello {name}", "shout": "HELLO {NAME}", "broken": "hello {"}
ALIASES = {"hi": "greet"}


def resolve(name: str) -> MayBe[str]:
    return MayBe(ALIASES.get(name)) if ALIASES.get(name) else MayBe.just(name)


def lookup(name: str) -> Result[str, PluginError]:
    template = REGISTRY.get(name)
    if template is None:
        return from_exception(PluginError(f"no plugin named {name!r}"))
    return Result.ok(template)


@catch()
def render(template: str) -> str:
    return template.format(name="ada", NAME="ADA")


def run(name: str) -> Result[str, Exception]:
    canonical = resolve(name).or_else(name)
    return lookup(canonical).and_then(render).map_err(
        lambda m, c, error: (f"{name}: {error}", c, PluginError(f"{name}: {error}")))


def main() -> None:
    for name in ("greet", "hi", "shout", "broken", "missing"):
        outcome = run(name)
        if outcome:
            print(f"{name}: {outcome.unwrap()}")
        else:
            print(f"{name} failed: {outcome.unwrap_err()[2]}")
    assert assert_ok(run("greet")) == "hello ada"
    assert_err(run("missing"))
    port = MayBe({"port": 8080}.get("port")).map(str).or_else("default")
    print("port", port, MayBe(None).is_nothing())


if __name__ == "__main__":
    main()
