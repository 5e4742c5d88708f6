"""The order pipeline written with the `returns` package: a Failure holds the pair (message, code);
`bind` chains the steps."""

from returns.result import Failure, Success

from orders import RATES


def parse(line):
    fields = line.split(",")
    if len(fields) != 5:
        return Failure((f"expected 5 fields, got {len(fields)}", "PARSE"))
    order_id, customer, quantity, price, currency = fields
    try:
        quantity = int(quantity)
    except ValueError:
        return Failure((f"quantity is not a whole number: {quantity!r}", "PARSE"))
    try:
        price = float(price)
    except ValueError:
        return Failure((f"price is not a number: {price!r}", "PARSE"))
    return Success((int(order_id), customer, quantity, price, currency))


def validate(order):
    _, customer, quantity, _, currency = order
    if not 0 < quantity <= 1000:
        return Failure((f"quantity out of range: {quantity}", "RANGE"))
    if currency not in RATES:
        return Failure((f"unknown currency: {currency!r}", "CURRENCY"))
    if not customer:
        return Failure(("no customer", "CUSTOMER"))
    return Success(order)


def transform(order):
    order_id, customer, quantity, price, currency = order
    cents = round(quantity * price * RATES[currency] * 100)
    return Success((order_id, customer.title(), cents))


def run(lines):
    orders = []
    errors = {}
    for line in lines:
        outcome = parse(line).bind(validate).bind(transform)
        if isinstance(outcome, Success):
            orders.append(outcome.unwrap())
        else:
            code = outcome.failure()[1]
            errors[code] = errors.get(code, 0) + 1
    return orders, errors
