"""A short tour of tolbrane: build, inspect, unwrap, print and chain values."""

import json

from tolbrane import MayBe, Result


def parse_port(text: str) -> Result[int]:
    if not text.isdigit():
        return Result.err(f"not a number: {text}", "E_PARSE", {"input": text})
    return Result.ok(int(text))


def check_range(port: int) -> Result[int]:
    if 0 < port < 65536:
        return Result.ok(port)
    return Result.err(f"out of range: {port}", "E_RANGE")


def dotted(name: str) -> MayBe[str]:
    return MayBe(name if "." in name else None)


print("== Building and inspecting Results ==")
good = Result.ok(8080)
bad = Result.err("disk full", "E_NOSPC", {"free": 0})
print(good, bad)
print("is_ok:", good.is_ok(), bad.is_ok(), "| truth:", bool(good), bool(bad), "| len:", len(good), len(bad))
print("unwrap:", good.unwrap(), "| unwrap_or:", bad.unwrap_or(80), "| to_option:", bad.to_option())
print("unwrap_err:", bad.unwrap_err())
print("iterate:", list(good), list(bad))
try:
    bad.unwrap()
except ValueError as error:
    print("unwrap on an Err raised:", error)

print("== Chaining with >> and | ==")
for text in ["443", "99999", "http"]:
    outcome = parse_port(text) >> check_range
    print(f"{text!r:8} -> {outcome!s:40} port or default: {outcome | 80}")

print("== Combinators: map, map_err, flat_map, and_then, match ==")
doubled = Result.ok(21).map(lambda n: n * 2)
print("map:", doubled, "| map on an Err leaves it:", bad.map(lambda n: n * 2))
relabelled = bad.map_err(lambda message, code, details: (message.upper(), "E_DISK", details))
print("map_err:", relabelled, relabelled.unwrap_err()[2])
print("and_then:", parse_port("8443").and_then(check_range).map(lambda p: p + 1))
for outcome in [good, bad]:
    print("match:", outcome.match(ok=lambda p: f"listening on {p}",
                                  err=lambda message, code, details: f"failed [{code}]: {message}"))

print("== Dictionary form and JSON transport ==")
for outcome in [good, bad]:
    wire = json.dumps(outcome.to_dict())
    back = Result.from_dict(json.loads(wire))
    print(f"{wire:62} -> {back}")

print("== MayBe: optional values ==")
settings = {"host": "example.org", "port": None}
host = MayBe(settings.get("host"))
port = MayBe(settings.get("port"))
print(host, port, "| is_just:", host.is_just(), port.is_just(), "| or_else:", port.or_else(80))
print("just(None) is still a Just:", MayBe.just(None), "| nothing():", MayBe.nothing())
print("map:", host.map(str.upper), "| map on Nothing:", port.map(str.upper))
print("flat_map:", host.flat_map(lambda h: MayBe(h if "." in h else None)), "| >>:", host >> dotted, port >> dotted)
print("| operator:", host | "localhost", port | 8080)
print("match:", port.match(just=lambda p: f"port {p}", nothing=lambda: "default port"))
