"""catch on coroutine functions: concurrent lookups that fail as values, not as exceptions.

A fake inventory service answers a lookup at once, except for an unknown product (KeyError) and
a slow one that runs into its timeout (TimeoutError). Decorated with catch, the coroutine returns
a Result, so asyncio.gather gets every answer, failures included, and partition and collect sum
them up. Cancelling is not an Exception: catch lets it through.

Run: python examples/async_catch.py
"""

import asyncio

from tolbrane_tools import catch, collect, partition

STOCK = {"apple": 12, "pear": 0, "plum": 7}
SLOW = {"plum"}


@catch(KeyError, TimeoutError)
async def lookup(product: str) -> int:
    async with asyncio.timeout(0.05):
        await asyncio.sleep(10 if product in SLOW else 0)
        return STOCK[product]


def shown(message: str, code: str | None, details: object) -> str:
    return f"failed [{code}] {message or type(details).__name__}"


async def main() -> None:
    products = ["apple", "kiwi", "pear", "plum"]
    results = await asyncio.gather(*(lookup(product) for product in products))
    for product, result in zip(products, results):
        print(f"{product}: {result.match(ok=lambda count: f'{count} in stock', err=shown)}")

    counts, failures = partition(results)
    print(f"in stock: {sum(counts)} items of {len(counts)} products; "
          f"{len(failures)} lookups failed")
    print(f"all or nothing: {collect(results)!r}")
    print(f"all or nothing, known products: {collect(results[0:1] + results[2:3])!r}")

    task = asyncio.create_task(lookup("apple"))
    task.cancel()
    try:
        await task
    except asyncio.CancelledError:
        print("a cancelled lookup raises CancelledError, as it should")


if __name__ == "__main__":
    asyncio.run(main())
