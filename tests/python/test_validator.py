"""Tessark and ValidationResult: results, text forms, batches (argument checks, order, the
interpreter lock released while they run, fork), the pool size setting, docstrings."""
import os
import subprocess
import sys
import threading
import time
from collections.abc import Sequence

import pytest

from _tessark import Schema, Tessark, ValidationResult

MOVIES = Schema({"Person": ["name", "age"], "Movie": ["title"]},
                {"ACTED_IN": ("Person", "Movie", ["role"])})

VALID = "MATCH (p:Person)-[r:ACTED_IN]->(m:Movie) RETURN p.name, r.role, m.title"
MISSPELT = "MATCH (p:Persn) RETURN q"
MISSPELT_ERRORS = ["Unknown node label: :Persn, did you mean :Person?",
                   "Variable 'q' is not bound in this scope"]


def syntax_report(line, column, line_text, message):
    """The six-line syntax-error report for a failure at line:column of line_text."""
    gutter = " " * len(str(line))
    underline = "".join("\t" if c == "\t" else " " for c in line_text[:column - 1])
    return "\n".join([f"{gutter}--> {line}:{column}", f"{gutter} |",
                      f"{line} | {line_text}", f"{gutter} | {underline}^---",
                      f"{gutter} |", f"{gutter} = {message}"])


def fields(result):
    return (result.is_valid, result.errors, result.syntax_errors, result.semantic_errors)


def mixed_queries(count):
    kinds = [VALID, MISSPELT, "MATCH (n RETURN n", "",
             "MATCH (m:Movie)-[:ACTED_IN]->(p:Person) RETURN p.titel",
             "MATCH (n:Person) WITH n AS m WHERE m.age > 3 RETURN m.titel ORDER BY m.name",
             "UNWIND [1,2,3] AS x RETURN [y IN range(1, x) WHERE y > 1 | y * 2]",
             "MATCH (p:Person {nam: 'A'}) SET p:Actr REMOVE p.zz RETURN p"]
    return [kinds[i % len(kinds)] + (f" LIMIT {i}" if i % 5 == 0 and i % len(kinds) != 3 else "")
            for i in range(count)]


@pytest.fixture(scope="module")
def validator():
    return Tessark(MOVIES)


def test_valid_query(validator):
    result = validator.validate("MATCH (p:Person) RETURN p")
    assert isinstance(result, ValidationResult)
    assert fields(result) == (True, [], [], [])
    assert bool(result) is True and len(result) == 0
    assert repr(result) == "ValidationResult(is_valid=true, errors=[])"


def test_semantic_errors(validator):
    result = validator.validate(MISSPELT)
    assert fields(result) == (False, MISSPELT_ERRORS, [], MISSPELT_ERRORS)
    assert bool(result) is False and len(result) == 2
    assert repr(result) == ('ValidationResult(is_valid=false, errors=["Unknown node label: :Persn, '
                            'did you mean :Person?", "Variable \'q\' is not bound in this scope"])')


@pytest.mark.parametrize("query, report", [
    ("MATCH (n RETURN n", syntax_report(1, 10, "MATCH (n RETURN n", "expected node_labels or properties")),
    ("", syntax_report(1, 1, "", "expected statement")),
    ("MATCH (n)\nRETURN n.", syntax_report(2, 10, "RETURN n.", "expected property_key_name")),
])
@pytest.mark.parametrize("schema", [MOVIES, Schema({}, {})])
def test_syntax_errors_stand_alone(query, report, schema):
    result = Tessark(schema).validate(query)
    assert fields(result) == (False, [report], [report], [])
    assert len(result) == 1


def test_text_form_escapes_but_lists_keep_the_text(validator):
    result = validator.validate('MATCH (p:`Pe"r\\s\to`) RETURN p')
    message = 'Unknown node label: :`Pe"r\\s\to`'
    assert result.errors == [message]
    assert repr(result) == 'ValidationResult(is_valid=false, errors=["Unknown node label: :`Pe\\"r\\\\s\\to`"])'
    accented = validator.validate("MATCH (p:`Persoñ`) RETURN p")
    assert accented.errors == ["Unknown node label: :`Persoñ`"]
    assert repr(accented) == 'ValidationResult(is_valid=false, errors=["Unknown node label: :`Persoñ`"])'


def test_lists_are_fresh_on_every_read(validator):
    result = validator.validate(MISSPELT)
    for name in ("errors", "syntax_errors", "semantic_errors"):
        first = getattr(result, name)
        assert first is not getattr(result, name)
        first.append("changed")
        assert "changed" not in getattr(result, name)
    assert result.errors == MISSPELT_ERRORS


def test_tessark_keeps_its_own_schema_copy():
    schema = Schema({"Person": []}, {})
    validator = Tessark(schema)
    del schema
    assert validator.validate("MATCH (p:Person) RETURN p").is_valid
    assert repr(validator) == "Tessark()"


def test_argument_type_errors(validator):
    cases = [
        (lambda: Tessark(42), "argument 'schema': expected Schema, got int"),
        (lambda: validator.validate(1), "argument 'query': expected str, got int"),
        (lambda: validator.validate_batch("MATCH (n) RETURN n"),
         "argument 'queries': expected a sequence of str, got str"),
        (lambda: validator.validate_batch([1]),
         "argument 'queries': expected a sequence of str, item 0 is int"),
        (lambda: validator.validate_batch(["MATCH (n) RETURN n", None]),
         "argument 'queries': expected a sequence of str, item 1 is NoneType"),
        (lambda: validator.validate_batch({"MATCH (n) RETURN n"}),
         "argument 'queries': expected a sequence of str, got set"),
        (lambda: validator.validate_batch(q for q in ["MATCH (n) RETURN n"]),
         "argument 'queries': expected a sequence of str, got generator"),
        (lambda: validator.validate_batch({"q": 1}),
         "argument 'queries': expected a sequence of str, got dict"),
        (lambda: validator.validate_batch(b"ab"),
         "argument 'queries': expected a sequence of str, item 0 is int"),
        (lambda: validator.validate_batch(None),
         "argument 'queries': expected a sequence of str, got NoneType"),
    ]
    for call, text in cases:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == text
    with pytest.raises(TypeError, match="cannot create 'builtins.ValidationResult' instances"):
        ValidationResult()


def test_lone_surrogates_are_refused(validator):
    with pytest.raises(TypeError, match="argument 'query'"):
        validator.validate("MATCH (n:\ud800) RETURN n")
    with pytest.raises(TypeError, match="argument 'queries'"):
        validator.validate_batch(["MATCH (n) RETURN n", "\udfff"])


class Queries(Sequence):
    """A sequence that is neither a list nor a tuple."""

    def __init__(self, items):
        self.items = items

    def __getitem__(self, index):
        return self.items[index]

    def __len__(self):
        return len(self.items)


def test_batch_accepts_any_sequence(validator):
    assert validator.validate_batch([]) == []
    assert validator.validate_batch(()) == []
    for queries in (("MATCH (n) RETURN n",), ["MATCH (n) RETURN n", MISSPELT],
                    Queries(["MATCH (n) RETURN n", MISSPELT])):
        results = validator.validate_batch(queries)
        assert isinstance(results, list)
        assert [fields(r) for r in results] == [fields(validator.validate(q)) for q in queries]


@pytest.mark.parametrize("count", [1000, 10000])
def test_batch_equals_single_calls(validator, count):
    queries = mixed_queries(count)
    results = validator.validate_batch(queries)
    assert len(results) == count
    for query, result in zip(queries, results):
        assert fields(result) == fields(validator.validate(query)), query


def test_batches_from_several_threads_on_one_validator(validator):
    queries = mixed_queries(3000)
    expected = [fields(validator.validate(q)) for q in queries]
    outcomes = []

    def run():
        outcomes.append([fields(r) for r in validator.validate_batch(queries)] == expected)

    threads = [threading.Thread(target=run) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert outcomes == [True] * 4


def test_other_threads_run_while_a_batch_runs(validator):
    """A counter thread keeps ticking in the middle of a long batch, which it could not do
    if the batch held the interpreter lock."""
    queries = mixed_queries(40000)
    ticks = []
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    try:
        start = time.monotonic()
        validator.validate_batch(queries)
        end = time.monotonic()
    finally:
        stop.set()
        counter.join()
    middle = [t for t in ticks if start + (end - start) * 0.3 < t < end - (end - start) * 0.3]
    assert len(middle) >= 3, (end - start, len(ticks))


def test_batch_in_a_forked_child(validator):
    queries = mixed_queries(2000)
    expected = [fields(r) for r in validator.validate_batch(queries)]  # the parent's pool runs
    pid = os.fork()
    if pid == 0:
        try:
            ok = [fields(r) for r in validator.validate_batch(queries)] == expected
        finally:
            os._exit(0 if ok else 1)
    _, status = os.waitpid(pid, 0)
    assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0


POOL_PROBE = """
import os, sys
from _tessark import Schema, Tessark
def threads():
    return len(os.listdir("/proc/self/task"))
validator = Tessark(Schema({}, {}))
before = threads()
results = validator.validate_batch(["MATCH (n) RETURN n"] * 100)
assert all(r.is_valid for r in results)
print(threads() - before)
"""


@pytest.mark.parametrize("setting, workers", [
    ("1", 0), ("3", 2), (" 2 ", 1), ("0", None), ("-4", None), ("many", None), ("", None), (None, None),
])
def test_pool_size_setting(setting, workers):
    env = dict(os.environ)
    env.pop("TESSARK_NUM_THREADS", None)
    if setting is not None:
        env["TESSARK_NUM_THREADS"] = setting
    out = subprocess.run([sys.executable, "-c", POOL_PROBE], env=env, capture_output=True,
                         text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    expected = len(os.sched_getaffinity(0)) - 1 if workers is None else workers
    assert int(out.stdout) == expected


def test_docstrings():
    assert Tessark.__text_signature__ == "(schema)"
    assert Tessark.validate.__text_signature__ == "($self, query)"
    assert Tessark.validate.__doc__ is None
    assert Tessark.validate_batch.__text_signature__ == "($self, queries)"
    doc = Tessark.validate_batch.__doc__
    assert doc.startswith("Validate multiple queries at once, returning one ValidationResult per query.")
    assert "in parallel on a thread pool" in doc and "GIL is released" in doc
    example = doc.index("Example::")
    assert doc.index("thread pool") < example
    assert doc.index('"MATCH (p:Person) RETURN p"') > example
    assert '"MATCH (p:BadLabel) RETURN p"' in doc and "r.is_valid" in doc and "r.errors" in doc
    assert ValidationResult.__doc__ is None
    assert ValidationResult.is_valid.__doc__ is None
    assert ValidationResult.errors.__doc__ == "All errors (syntax + semantic) combined."
    assert ValidationResult.syntax_errors.__doc__ == "Parse/syntax errors only."
    assert ValidationResult.semantic_errors.__doc__ == "Schema-level semantic errors only."
    assert [name for name in vars(ValidationResult) if not name.startswith("_")] == [
        "is_valid", "errors", "syntax_errors", "semantic_errors"]
