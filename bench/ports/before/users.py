"""A small REST client's user records, ported to tolbrane with the toolkit before typed errors."""

from dataclasses import dataclass
from typing import Any

from tolbrane import Result
from tolbrane_tools import Ok, catch, view


@dataclass
class ApiError:
    code: str
    detail: str


@dataclass
class User:
    id: int
    name: str
    email: str


RESPONSES = {
    "/users/1": {"id": 1, "name": "Ada", "email": "ada@example.org"},
    "/users/2": {"id": 2, "name": "", "email": "bob@example.org"},
    "/users/3": {"id": "three", "name": "Cy", "email": "cy@example.org"},
}


def failure(error: ApiError) -> Result[Any]:
    return Result.err(error.detail, error.code, error)


def api_error(result: Result[Any]) -> ApiError:
    details: ApiError = result.unwrap_err()[2]
    return details


def fetch(path: str) -> Result[dict[str, object]]:
    body = RESPONSES.get(path)
    if body is None:
        return failure(ApiError("E_404", f"no resource at {path}"))
    return Result.ok(body)


@catch(ValueError, TypeError)
def to_int(value: object) -> int:
    return int(value)  # type: ignore[call-overload]


def decode(body: dict[str, object]) -> Result[User]:
    user_id = to_int(body["id"])
    if user_id.is_err():
        return failure(ApiError("E_DECODE", str(user_id.unwrap_err()[2])))
    name = str(body["name"])
    if not name:
        return failure(ApiError("E_DECODE", "empty name"))
    return Result.ok(User(user_id.unwrap(), name, str(body["email"])))


def load_user(user_id: int) -> Result[User]:
    return fetch(f"/users/{user_id}").and_then(decode)


def display(user_id: int) -> str:
    return load_user(user_id).map(
        lambda user: f"#{user.id}: {user.name} <{user.email}>"
    ).match(ok=lambda text: text,
            err=lambda message, code, details: f"#{user_id}: {details.code} ({details.detail})")


def first_name_or_guest(user_id: int) -> str:
    return load_user(user_id).map(lambda user: user.name).match(
        ok=lambda name: name, err=lambda message, code, details: "guest")


def main() -> None:
    for user_id in (1, 2, 3, 4):
        print(display(user_id))
    print(first_name_or_guest(1), first_name_or_guest(4))
    result = load_user(1)
    assert result.is_ok() and view(result) == Ok(User(1, "Ada", "ada@example.org"))
    failure_ = load_user(4)
    if failure_.is_err():
        print("error code:", api_error(failure_).code)
    logged = load_user(2)
    if logged.is_err():
        print("log:", api_error(logged).code)
    print("logged:", logged.is_err())


if __name__ == "__main__":
    main()
