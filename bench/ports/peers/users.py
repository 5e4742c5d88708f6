"""A small REST client's user records, written against the `result` package."""

from dataclasses import dataclass

from result import Err, Ok, Result, as_result


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
        return Err(ApiError("E_404", f"no resource at {path}"))
    return Ok(body)


@as_result(ValueError, TypeError)
def to_int(value: object) -> int:
    return int(value)  # type: ignore[call-overload]


def decode(body: dict[str, object]) -> Result[User, ApiError]:
    user_id = to_int(body["id"])
    if isinstance(user_id, Err):
        return Err(ApiError("E_DECODE", str(user_id.err_value)))
    name = str(body["name"])
    if not name:
        return Err(ApiError("E_DECODE", "empty name"))
    return Ok(User(user_id.ok_value, name, str(body["email"])))


def load_user(user_id: int) -> Result[User, ApiError]:
    return fetch(f"/users/{user_id}").and_then(decode)


def display(user_id: int) -> str:
    return load_user(user_id).map(
        lambda user: f"#{user.id}: {user.name} <{user.email}>"
    ).unwrap_or_else(lambda error: f"#{user_id}: {error.code} ({error.detail})")


def first_name_or_guest(user_id: int) -> str:
    return load_user(user_id).map(lambda user: user.name).unwrap_or_else(lambda error: "guest")


def main() -> None:
    for user_id in (1, 2, 3, 4):
        print(display(user_id))
    print(first_name_or_guest(1), first_name_or_guest(4))
    result = load_user(1)
    assert isinstance(result, Ok) and result == Ok(User(1, "Ada", "ada@example.org"))
    failure = load_user(4)
    if isinstance(failure, Err):
        print("error code:", failure.err_value.code)
    print("logged:", load_user(2).inspect_err(lambda error: print("log:", error.code)).is_err())


if __name__ == "__main__":
    main()
