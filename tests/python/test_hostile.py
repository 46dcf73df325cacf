"""Huge, deep and unusual inputs: every call gives a clear result, in every kind of thread."""
import threading

import pytest

import _tessark

SCHEMA = _tessark.Schema(
    {"Person": ["name", "age"], "Movie": ["title"]},
    {"ACTED_IN": ("Person", "Movie", ["role"])},
)
VALIDATOR = _tessark.Tessark(SCHEMA)

MB = 1 << 20


def hostile_inputs(count=100_000):
    """The flat inputs repeat a piece `count` times; the deep ones always reach far past the
    nesting bound."""
    return {
        "nested parentheses": "RETURN " + "(" * (10 * MB),
        "nested brackets": "RETURN " + "[" * (10 * MB),
        "nested braces": "RETURN " + "{a:" * (3 * MB),
        "nested comprehensions": "RETURN " + "[x IN " * 5000 + "[1]" + " | x]" * 5000,
        "long string literal": "RETURN '" + "x" * (10 * MB) + "' AS s",
        "many union parts": " UNION ".join(["MATCH (p:Person) RETURN p.name AS n"] * count),
        "many map keys": "MATCH (p:Person {" + ", ".join(f"k{i}: {i}" for i in range(count))
        + "}) RETURN p",
        "long operator chain": "RETURN " + " + ".join(["1"] * count),
        "long OR chain": "MATCH (p:Person) WHERE " + " OR ".join(["p.age = 1"] * count)
        + " RETURN p",
        "NUL bytes": "MATCH (p:Person)\x00 RETURN p\x00",
        "unusual unicode": "MATCH (p:\u202e\ufeff\U0001f600) RETURN p.\u0301\u200b",
        "carriage returns only": "MATCH (p:Person)\r\rWHERE p.age > 1\r\rRETURN p.nme",
        "only comments": "// nothing here\n/* and nothing */ // still nothing",
        "unclosed comment": "RETURN 1 /* " + "x" * MB,
    }


def check_validation(name, text):
    result = VALIDATOR.validate(text)
    assert result.is_valid == (not result.errors), name
    assert len(result.errors) == len(result.syntax_errors) + len(result.semantic_errors), name
    info = _tessark.parse_query(text)
    assert info.is_valid == (not info.errors), name
    return result


@pytest.mark.parametrize("name", sorted(hostile_inputs()))
def test_main_thread(name):
    check_validation(name, hostile_inputs()[name])


def test_deep_nesting_is_reported_not_crashed():
    result = VALIDATOR.validate("RETURN " + "(" * 100_000 + "1" + ")" * 100_000)
    [message] = result.syntax_errors
    assert message.startswith("Query nested too deeply (more than ") and message.endswith(" levels)")


def test_carriage_returns_count_as_characters_of_one_line():
    result = VALIDATOR.validate("RETURN\r\r1 +")
    assert result.syntax_errors and result.syntax_errors[0].startswith(" --> 1:")


def test_small_stack_python_thread():
    inputs = hostile_inputs(count=5_000)
    failures = []

    def run():
        try:
            for name, text in inputs.items():
                check_validation(name, text)
        except BaseException as error:  # noqa: BLE001  (reported below)
            failures.append(error)

    previous = threading.stack_size(512 * 1024)
    try:
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    assert not failures


def test_batch_workers():
    inputs = hostile_inputs(count=5_000)
    texts = list(inputs.values()) * 2
    results = VALIDATOR.validate_batch(texts)
    singles = [VALIDATOR.validate(text) for text in texts]
    assert [(r.errors, r.is_valid) for r in results] == [(r.errors, r.is_valid) for r in singles]
