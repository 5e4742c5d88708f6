"""A small FastAPI service whose replies carry Results in their dictionary form.

GET /quote/{item}?quantity=N prices an order: its reply's "result" is an Ok holding the price, or
an Err with a code and, when the stock is short, details saying how many are left. POST /settle
takes a Result in the same form (from another service, say) and says what it makes of it; a body
that is not a Result's form gets FastAPI's 422 reply, naming the field and what was wrong.

    pip install "tolbrane[pydantic]" fastapi uvicorn
    uvicorn app:app        # from this folder; tests/test_integration_service.py calls it in-process
"""

from typing import Annotated

from fastapi import FastAPI
from pydantic import BaseModel

from tolbrane import Result
from tolbrane_tools.pydantic import ResultOf

PRICES = {"apple": 0.5, "pear": 0.75}
STOCK = {"apple": 10, "pear": 0}


class Shortage(BaseModel):
    left: int


class Quote(BaseModel):
    item: str
    result: Annotated[Result[float], ResultOf(float, details=Shortage)]


class Settlement(BaseModel):
    result: Annotated[Result[float], ResultOf(float, details=Shortage)]


def quote(item: str, quantity: int) -> Result[float]:
    if item not in PRICES:
        return Result.err(f"no such item: {item}", "E_ITEM")
    if quantity > STOCK[item]:
        return Result.err("not enough in stock", "E_STOCK", Shortage(left=STOCK[item]))
    return Result.ok(PRICES[item] * quantity)


app = FastAPI(title="Quotes")


@app.get("/quote/{item}")
def get_quote(item: str, quantity: int = 1) -> Quote:
    return Quote(item=item, result=quote(item, quantity))


@app.post("/settle")
def settle(settlement: Settlement) -> dict[str, str]:
    return settlement.result.match(
        ok=lambda price: {"status": "paid", "amount": f"{price:.2f}"},
        err=lambda message, code, details: {"status": "refused", "reason": code or message},
    )
