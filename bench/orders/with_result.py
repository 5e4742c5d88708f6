"""The order pipeline written with the `result` package: an Err holds one value, here the pair
(message, code)."""

from result import Err, Ok

from orders import RATES


def parse(line):
    fields = line.split(",")
    if len(fields) != 5:
        return Err((f"expected 5 fields, got {len(fields)}", "PARSE"))
    order_id, customer, quantity, price, currency = fields
    try:
        quantity = int(quantity)
    except ValueError:
        return Err((f"quantity is not a whole number: {quantity!r}", "PARSE"))
    try:
        price = float(price)
    except ValueError:
        return Err((f"price is not a number: {price!r}", "PARSE"))
    return Ok((int(order_id), customer, quantity, price, currency))


def validate(order):
    _, customer, quantity, _, currency = order
    if not 0 < quantity <= 1000:
        return Err((f"quantity out of range: {quantity}", "RANGE"))
    if currency not in RATES:
        return Err((f"unknown currency: {currency!r}", "CURRENCY"))
    if not customer:
        return Err(("no customer", "CUSTOMER"))
    return Ok(order)


def transform(order):
    order_id, customer, quantity, price, currency = order
    cents = round(quantity * price * RATES[currency] * 100)
    return Ok((order_id, customer.title(), cents))


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
