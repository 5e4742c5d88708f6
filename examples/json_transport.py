"""Results across a process boundary, as JSON.

The parent starts this same script again as a worker process and sends it one order per line. The
worker validates and prices each order, and answers each with the dictionary form of a Result,
one JSON line per order. The parent reads the lines back into Results with Result.from_dict: an
Err keeps its message, its code and its details on the way.

Run: python examples/json_transport.py
"""

from collections import Counter
import json
import subprocess
import sys
from typing import Any

from tolbrane import Result

ORDERS: list[dict[str, Any]] = [
    {"id": 1, "sku": "A-100", "quantity": 3},
    {"id": 2, "sku": "B-200", "quantity": 1},
    {"id": 3, "sku": "A-100", "quantity": 0},
    {"id": 4, "sku": "C-300", "quantity": "two"},
    {"id": 5, "sku": "C-300", "quantity": 2},
]
PRICES = {"A-100": 250, "C-300": 990}  # cents


# --- The worker's side -------------------------------------------------------------------------
def validate(order: dict[str, Any]) -> Result[dict[str, Any]]:
    quantity = order.get("quantity")
    if not isinstance(quantity, int):
        return Result.err("quantity is not a number", "E_INVALID", {"field": "quantity"})
    if quantity <= 0:
        return Result.err("quantity must be positive", "E_INVALID", {"quantity": quantity})
    return Result.ok(order)


def price(order: dict[str, Any]) -> Result[int]:
    sku = order["sku"]
    if sku not in PRICES:
        return Result.err(f"unknown product {sku}", "E_UNKNOWN_SKU", {"sku": sku})
    return Result.ok(PRICES[sku] * order["quantity"])


def worker() -> None:
    for line in sys.stdin:
        outcome = validate(json.loads(line)) >> price
        print(json.dumps(outcome.to_dict()), flush=True)


# --- The parent's side -------------------------------------------------------------------------
def charged(cents: int) -> str:
    return f"charged {cents / 100:.2f}"


def refused(message: str, code: str | None, details: Any) -> str:
    return f"refused [{code}] {message}, details {details}"


def main() -> None:
    requests = "".join(json.dumps(order) + "\n" for order in ORDERS)
    child = subprocess.run(
        [sys.executable, __file__, "--worker"],
        input=requests, capture_output=True, text=True, check=True,
    )
    outcomes: list[Result[int]] = []
    for order, line in zip(ORDERS, child.stdout.splitlines(), strict=True):
        outcome: Result[int] = Result.from_dict(json.loads(line))
        outcomes.append(outcome)
        print(f"order {order['id']} <- {line}")
        print(f"        {outcome!r} -> {outcome.match(ok=charged, err=refused)}")

    total = sum(outcome.unwrap_or(0) for outcome in outcomes)
    codes = Counter(outcome.unwrap_err()[1] or "no code" for outcome in outcomes if outcome.is_err())
    print(f"accepted {sum(map(len, outcomes))} of {len(outcomes)}, total {total / 100:.2f}")
    print("refusals by code:", dict(sorted(codes.items())))


if __name__ == "__main__":
    worker() if sys.argv[1:] == ["--worker"] else main()
