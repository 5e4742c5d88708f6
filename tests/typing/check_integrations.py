"""What the type checkers must infer for tolbrane_tools.pydantic and tolbrane_tools.hypothesis,
and the misuse they must reject.

Checked, never run, like check_tools.py beside it: `mypy --strict`, basedpyright and pyright read it
with pydantic and Hypothesis installed. Every misuse line carries the exact error code that each
checker must report there.
"""

from typing import Annotated, Any, Literal, assert_type

from hypothesis import given
from hypothesis import strategies as st
from pydantic import BaseModel, TypeAdapter

from tolbrane import MayBe, Result
from tolbrane_tools.hypothesis import (
    dict_forms,
    json_values,
    maybes,
    register_strategies,
    results,
)
from tolbrane_tools.pydantic import MAYBE_FORM_SCHEMA, MayBeOf, ResultOf


# --- pydantic: the field's type is the annotated one; the marker is only metadata ------------
class Problem(BaseModel):
    line: int


class Reply(BaseModel):
    result: Annotated[Result[int], ResultOf(int, details=Problem)]
    maybe: Annotated[MayBe[str], MayBeOf(str, extra="forbid")]
    nested: Annotated[
        MayBe[Result[str]], MayBeOf(Annotated[Result[str], ResultOf(str)])
    ]


reply = Reply(result=Result.ok(1), maybe=MayBe("x"), nested=MayBe.nothing())
assert_type(reply.result, Result[int])
assert_type(reply.maybe, MayBe[str])
assert_type(reply.nested, MayBe[Result[str]])
assert_type(reply.result.map(str), Result[str])
assert_type(Reply.model_validate_json("{}").result.unwrap(), int)

adapter = TypeAdapter(Annotated[Result[int], ResultOf(int)])
assert_type(adapter.validate_python({"ok": True, "value": 1}), Result[int])
assert_type(ResultOf().extra, Literal["ignore", "forbid"])
assert_type(MAYBE_FORM_SCHEMA, dict[str, Any])


# --- Hypothesis: the strategies carry the held type ------------------------------------------
assert_type(results(st.integers()), st.SearchStrategy[Result[int]])
assert_type(results(st.text(), codes=st.just("E1"), details=st.none()),
            st.SearchStrategy[Result[str]])
assert_type(maybes(st.booleans()), st.SearchStrategy[MayBe[bool]])
assert_type(maybes(maybes(st.integers())), st.SearchStrategy[MayBe[MayBe[int]]])
assert_type(dict_forms(), st.SearchStrategy[Any])
assert_type(dict_forms(st.integers(), valid=False), st.SearchStrategy[Any])
assert_type(json_values(), st.SearchStrategy[Any])
assert_type(register_strategies(st.integers()), None)


@given(results(st.integers()))
def test_doubling(result: Result[int]) -> None:
    assert_type(result.map(lambda n: n * 2), Result[int])


def generic[T](values: st.SearchStrategy[T]) -> st.SearchStrategy[Result[T]]:
    return results(values)


# --- Misuse --------------------------------------------------------------------------------
results(5)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
results(st.integers(), codes=st.integers())  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
results(st.integers(), st.text())  # type: ignore[call-arg]  # pyright: ignore[reportCallIssue]
maybes([1])  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
dict_forms(valid="no")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
ResultOf(int, extra="allow")  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
