"""A data-cleaning pipeline with MayBe: optional lookups, parsing that may fail, defaults.

Messy CSV rows go in; every field is read as a MayBe, so a blank, missing or unparsable value is a
Nothing that flows through the later steps untouched instead of an exception or a stray None.
Rows without a usable name are dropped; other gaps get a default or are reported.

Run: python examples/cleaning.py
"""

import csv
import io
from collections import Counter
from dataclasses import dataclass

from tolbrane import MayBe

RAW = """\
name,age,email,city
Ada Lovelace,36,ada@example.org,London
  grace hopper ,85,,New York
Alan Turing,unknown,alan@example.org,
,41,nobody@example.org,Paris
Edsger Dijkstra, 72 ,EWD@Example.ORG,Nuenen
Barbara Liskov,240,barbara@example,Boston
"""


@dataclass(frozen=True)
class Person:
    name: str
    age: int | None
    email: str
    city: str


def field(row: dict[str, str], key: str) -> MayBe[str]:
    """The field without surrounding blanks; Nothing when it is absent or blank."""
    return MayBe(row.get(key)).map(str.strip).flat_map(lambda text: MayBe(text or None))


def whole_number(text: str) -> MayBe[int]:
    return MayBe.just(int(text)) if text.isdigit() else MayBe.nothing()


def plausible_age(age: int) -> MayBe[int]:
    return MayBe.just(age) if 0 < age < 130 else MayBe.nothing()


def email_address(text: str) -> MayBe[str]:
    local, at, domain = text.lower().partition("@")
    return MayBe(text.lower() if local and at and "." in domain else None)


def clean(row: dict[str, str], gaps: Counter[str]) -> MayBe[Person]:
    name = field(row, "name").map(str.title)
    if name.is_nothing():
        return MayBe.nothing()
    age = field(row, "age") >> whole_number >> plausible_age
    email = field(row, "email") >> email_address
    city = field(row, "city")
    for key, value in [("age", age), ("email", email), ("city", city)]:
        if not value:
            gaps[key] += 1
    return MayBe.just(Person(name.unwrap(), age.to_option(), email.or_else("-"), city | "unknown"))


def main() -> None:
    gaps: Counter[str] = Counter()
    rows = list(csv.DictReader(io.StringIO(RAW)))
    kept = [person for row in rows for person in clean(row, gaps)]  # a Nothing yields no item
    for person in kept:
        print(f"{person.name:16} age {person.age!s:5} {person.email:20} {person.city}")
    print(f"kept {len(kept)} of {len(rows)} rows; missing or unusable: {dict(sorted(gaps.items()))}")

    ages = [age for person in kept for age in MayBe(person.age)]
    average = MayBe(ages or None).map(lambda values: sum(values) / len(values))
    print(average.match(just=lambda value: f"average age {value:.1f}", nothing=lambda: "no ages"))


if __name__ == "__main__":
    main()
