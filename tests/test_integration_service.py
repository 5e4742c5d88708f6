"""examples/service: the FastAPI app answers with Results' dictionary forms and refuses a body that
is not one, called in-process through FastAPI's test client."""

import pathlib
import runpy

import pytest

pytest.importorskip("fastapi")
pytest.importorskip("httpx2")

from fastapi.testclient import TestClient  # noqa: E402

APP = pathlib.Path(__file__).resolve().parent.parent / "examples" / "service" / "app.py"


@pytest.fixture(scope="module")
def client():
    with TestClient(runpy.run_path(str(APP))["app"]) as test_client:
        yield test_client


@pytest.mark.parametrize("path, result", [
    ("/quote/apple?quantity=4", {"ok": True, "value": 2.0}),
    ("/quote/apple", {"ok": True, "value": 0.5}),
    ("/quote/pear?quantity=2",
     {"ok": False, "error": "not enough in stock", "code": "E_STOCK", "details": {"left": 0}}),
    ("/quote/plum", {"ok": False, "error": "no such item: plum", "code": "E_ITEM"}),
])
def test_a_quote_carries_the_dictionary_form(client, path, result):
    reply = client.get(path)
    assert (reply.status_code, reply.json()) == (200, {"item": path.split("/")[2].split("?")[0],
                                                       "result": result})


@pytest.mark.parametrize("body, answer", [
    ({"result": {"ok": True, "value": 2}}, {"status": "paid", "amount": "2.00"}),
    ({"result": {"ok": False, "error": "no", "code": "E_STOCK", "details": {"left": 3}}},
     {"status": "refused", "reason": "E_STOCK"}),
    ({"result": {"ok": False, "error": "no"}}, {"status": "refused", "reason": "no"}),
])
def test_settle_reads_a_result(client, body, answer):
    reply = client.post("/settle", json=body)
    assert (reply.status_code, reply.json()) == (200, answer)


FORM_ERROR = "Input should be the dictionary form of a Result: a dict whose 'ok' is true or false"


@pytest.mark.parametrize("body, loc, message", [
    ({"result": {"ok": 1, "value": 2}}, ["body", "result"], FORM_ERROR),
    ({"result": {"ok": True}}, ["body", "result", "Ok", "value"], "Field required"),
    ({"result": {"ok": True, "value": "cheap"}}, ["body", "result", "Ok", "value"],
     "Input should be a valid number, unable to parse string as a number"),
    ({"result": {"ok": False, "error": 5}}, ["body", "result", "Err", "error"],
     "Input should be a valid string"),
    ({"result": {"ok": False, "error": "x", "details": {"left": "many"}}},
     ["body", "result", "Err", "details", "left"],
     "Input should be a valid integer, unable to parse string as an integer"),
    ({}, ["body", "result"], "Field required"),
])
def test_a_body_that_is_not_a_result_gets_a_422_naming_the_field(client, body, loc, message):
    reply = client.post("/settle", json=body)
    assert reply.status_code == 422
    assert [(error["loc"], error["msg"]) for error in reply.json()["detail"]] == [(loc, message)]


def test_the_openapi_document_publishes_the_form(client):
    schemas = client.get("/openapi.json").json()["components"]["schemas"]
    ok, err = schemas["Quote"]["properties"]["result"]["oneOf"]
    assert ok["properties"]["value"]["type"] == "number"
    assert err["properties"]["details"]["$ref"] == "#/components/schemas/Shortage"
    assert err["required"] == ["ok", "error"]
