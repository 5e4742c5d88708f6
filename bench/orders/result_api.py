"""The order pipeline written with tolbrane's Result API.

orders.program() runs this file once for each implementation of that API (tolbrane, bench/lean.py
and bench/pure.py), with the module global `Result` bound to that implementation's class before
the code runs: the three run the very same code.
"""

from orders import RATES

Result: type  # bound by orders.program()


def parse(line):
    fields = line.split(",")
    if len(fields) != 5:
        return Result.err(f"expected 5 fields, got {len(fields)}", "PARSE")
    order_id, customer, quantity, price, currency = fields
    try:
        quantity = int(quantity)
    except ValueError:
        return Result.err(f"quantity is not a whole number: {quantity!r}", "PARSE")
    try:
        price = float(price)
    except ValueError:
        return Result.err(f"price is not a number: {price!r}", "PARSE")
    return Result.ok((int(order_id), customer, quantity, price, currency))


def validate(order):
    _, customer, quantity, _, currency = order
    if not 0 < quantity <= 1000:
        return Result.err(f"quantity out of range: {quantity}", "RANGE")
    if currency not in RATES:
        return Result.err(f"unknown currency: {currency!r}", "CURRENCY")
    if not customer:
        return Result.err("no customer", "CUSTOMER")
    return Result.ok(order)


def transform(order):
    order_id, customer, quantity, price, currency = order
    cents = round(quantity * price * RATES[currency] * 100)
    return Result.ok((order_id, customer.title(), cents))


def run(lines):
    orders = []
    errors = {}
    for line in lines:
        outcome = parse(line).and_then(validate).and_then(transform)
        if outcome.is_ok():
            orders.append(outcome.unwrap())
        else:
            code = outcome.unwrap_err()[1]
            errors[code] = errors.get(code, 0) + 1
    return orders, errors
