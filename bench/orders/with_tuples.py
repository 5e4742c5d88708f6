"""The order pipeline with plain tuples instead of Results, the floor: (True, value) for a
success, (False, message, code) for a failure, and an `if` where the others chain."""

from orders import RATES


def parse(line):
    fields = line.split(",")
    if len(fields) != 5:
        return (False, f"expected 5 fields, got {len(fields)}", "PARSE")
    order_id, customer, quantity, price, currency = fields
    try:
        quantity = int(quantity)
    except ValueError:
        return (False, f"quantity is not a whole number: {quantity!r}", "PARSE")
    try:
        price = float(price)
    except ValueError:
        return (False, f"price is not a number: {price!r}", "PARSE")
    return (True, (int(order_id), customer, quantity, price, currency))


def validate(order):
    _, customer, quantity, _, currency = order
    if not 0 < quantity <= 1000:
        return (False, f"quantity out of range: {quantity}", "RANGE")
    if currency not in RATES:
        return (False, f"unknown currency: {currency!r}", "CURRENCY")
    if not customer:
        return (False, "no customer", "CUSTOMER")
    return (True, order)


def transform(order):
    order_id, customer, quantity, price, currency = order
    cents = round(quantity * price * RATES[currency] * 100)
    return (True, (order_id, customer.title(), cents))


def run(lines):
    orders = []
    errors = {}
    for line in lines:
        outcome = parse(line)
        if outcome[0]:
            outcome = validate(outcome[1])
            if outcome[0]:
                outcome = transform(outcome[1])
        if outcome[0]:
            orders.append(outcome[1])
        else:
            code = outcome[2]
            errors[code] = errors.get(code, 0) + 1
    return orders, errors
