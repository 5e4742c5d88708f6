"""A small REST client's user records, ported to tolbrane with typed errors and the idioms."""

from dataclasses import dataclass

from tolbrane import Result
from tolbrane_tools import assert_ok, catch, inspect_err, unwrap_or_else


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


def fetch(path: str) -> Result[dict[str, object], ApiError]:
    body = RESPONSES.get(path)
    if body is None:
        return Result.err("", None, ApiError("E_404", f"no resource at {path}"))
    return Result.ok(body)


@catch(ValueError, TypeError)
def to_int(value: object) -> int:
    return int(value)  # type: ignore[call-overload]


def decode(body: dict[str, object]) -> Result[User, ApiError]:
    user_id = to_int(body["id"])
    if not user_id:
        return Result.err("", None, ApiError("E_DECODE", str(user_id.unwrap_err()[2])))
    name = str(body["name"])
    if not name:
        return Result.err("", None, ApiError("E_DECODE", "empty name"))
    return Result.ok(User(user_id.unwrap(), name, str(body["email"])))


def load_user(user_id: int) -> Result[User, ApiError]:
    return fetch(f"/users/{user_id}").and_then(decode)


def display(user_id: int) -> str:
    return unwrap_or_else(load_user(user_id).map(
        lambda user: f"#{user.id}: {user.name} <{user.email}>"
    ), lambda m, c, error: f"#{user_id}: {error.code} ({error.detail})")


def first_name_or_guest(user_id: int) -> str:
    return unwrap_or_else(load_user(user_id).map(lambda user: user.name), lambda m, c, e: "guest")


def main() -> None:
    for user_id in (1, 2, 3, 4):
        print(display(user_id))
    print(first_name_or_guest(1), first_name_or_guest(4))
    result = load_user(1)
    assert assert_ok(result) == User(1, "Ada", "ada@example.org")
    failure = load_user(4)
    if not failure:
        print("error code:", failure.unwrap_err()[2].code)
    logged = inspect_err(load_user(2), lambda m, c, error: print("log:", error.code))
    print("logged:", logged.is_err())


if __name__ == "__main__":
    main()
