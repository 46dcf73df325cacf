"""CypherGenerator: seeded query generation, checked against the reference model."""

import errno
import os
import shutil
import subprocess
import sys

import pytest

import _tessark
from _tessark import CypherGenerator, Schema
from generator_reference import QUERY_TYPES, ReferenceGenerator

SEEDS = [0, 1, 42, 2**64 - 1]

# (nodes, relationships) in the constructor's form; the reference reads the same dicts.
SCHEMAS = {
    "empty": ({}, {}),
    "bare_label": ({"X": []}, {}),
    "rich": (
        {
            "Person": ["name", "age", "email", "city", "born"],
            "Movie": ["title", "released"],
            "Genre": ["name"],
            "Tag": [],
        },
        {
            "ACTED_IN": ("Person", "Movie", ["role"]),
            "DIRECTED": ("Person", "Movie", []),
            "IN_GENRE": ("Movie", "Genre", []),
            "KNOWS": ("Person", "Person", ["since"]),
        },
    ),
}


def make(schema_name, seed):
    nodes, rels = SCHEMAS[schema_name]
    return CypherGenerator(Schema(nodes, rels), seed), ReferenceGenerator(nodes, rels, seed)


@pytest.mark.parametrize("schema_name", sorted(SCHEMAS))
@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("query_type", QUERY_TYPES)
def test_sequence_matches_reference_and_batch_matches_loop(schema_name, seed, query_type):
    generator, reference = make(schema_name, seed)
    expected = [reference.generate(query_type) for _ in range(10)]
    assert [generator.generate(query_type) for _ in range(5)] == expected[:5]
    assert generator.generate_batch(query_type, 5) == expected[5:]

    looped, _ = make(schema_name, seed)
    batched, _ = make(schema_name, seed)
    assert batched.generate_batch(query_type, 5) == [looped.generate(query_type) for _ in range(5)]


@pytest.mark.parametrize("schema_name", sorted(SCHEMAS))
@pytest.mark.parametrize("seed", SEEDS)
def test_mixed_call_order_matches_reference(schema_name, seed):
    generator, reference = make(schema_name, seed)
    order = QUERY_TYPES + QUERY_TYPES[::-1] + QUERY_TYPES[::3]
    assert [generator.generate(t) for t in order] == [reference.generate(t) for t in order]


def test_fallback_texts_for_small_schemas():
    empty, _ = make("empty", 3)
    for _ in range(30):
        assert empty.generate("match_return") in ["MATCH (n:Node) RETURN n"] + [
            "MATCH (n:Node) RETURN n LIMIT %d" % m for m in range(1, 51)
        ]
        assert empty.generate("create") == "CREATE (n:Node) RETURN n"
        assert empty.generate("match_relationship") == "MATCH (n:Node) RETURN n"
        unwind = empty.generate("unwind")
        assert unwind.startswith("UNWIND [") and unwind.endswith("] AS item RETURN item")
        assert 2 <= unwind.count(", ") + 1 <= 4
    bare, _ = make("bare_label", 3)
    assert bare.generate_batch("match_set", 10) == ["MATCH (n:X) RETURN n"] * 10
    assert bare.generate_batch("create", 10) == ["CREATE (n:X) RETURN n"] * 10


def test_positional_and_keyword_seed_agree():
    nodes, rels = SCHEMAS["rich"]
    schema = Schema(nodes, rels)
    a = CypherGenerator(schema, seed=42)
    b = CypherGenerator(schema, 42)
    c = CypherGenerator(schema=schema, seed=42)
    batch = a.generate_batch("create", 3)
    assert batch == [b.generate("create") for _ in range(3)] == c.generate_batch("create", 3)
    assert a.generate_batch("merge", 4) == b.generate_batch("merge", 4) == c.generate_batch("merge", 4)


def test_generator_keeps_its_own_schema_copy():
    nodes, rels = SCHEMAS["rich"]
    schema = Schema(nodes, rels)
    generator = CypherGenerator(schema, 7)
    del schema
    _, reference = make("rich", 7)
    assert [generator.generate(t) for t in QUERY_TYPES] == [reference.generate(t) for t in QUERY_TYPES]


@pytest.mark.parametrize("seed_argument", [(), (None,)])
def test_unseeded_generators_differ(seed_argument):
    nodes, rels = SCHEMAS["rich"]
    schema = Schema(nodes, rels)
    first = CypherGenerator(schema, *seed_argument).generate_batch("create", 20)
    second = CypherGenerator(schema, *seed_argument).generate_batch("create", 20)
    assert first != second


@pytest.mark.parametrize("bad", ["bogus", "MATCH_RETURN", "", "match_return ", "créate"])
def test_unknown_query_type(bad):
    generator, reference = make("rich", 1)
    message = "Generator error: Unknown query type: " + bad
    with pytest.raises(ValueError) as single:
        generator.generate(bad)
    assert single.value.args == (message,)
    with pytest.raises(ValueError) as batch:
        generator.generate_batch(bad, 3)
    assert batch.value.args == (message,)
    assert generator.generate_batch(bad, 0) == []
    # Failed calls draw nothing: the sequence continues where the reference starts.
    assert generator.generate("merge") == reference.generate("merge")


@pytest.mark.parametrize(
    "seed, error",
    [(-1, OverflowError), (2**64, OverflowError), (-(2**70), OverflowError),
     ("1", TypeError), (1.0, TypeError), ([], TypeError)],
)
def test_bad_seed(seed, error):
    schema = Schema({}, {})
    with pytest.raises(error) as raised:
        CypherGenerator(schema, seed)
    if error is TypeError:
        assert str(raised.value).startswith("argument 'seed': ")
    with pytest.raises(error):
        CypherGenerator(schema, seed=seed)


@pytest.mark.parametrize(
    "n, error",
    [(-1, OverflowError), (2**64, OverflowError), (2**63, OverflowError),
     ("3", TypeError), (3.0, TypeError), (None, TypeError), (sys.maxsize // 2, MemoryError)],
)
def test_bad_batch_size(n, error):
    generator, _ = make("rich", 0)
    with pytest.raises(error) as raised:
        generator.generate_batch("create", n)
    if error is TypeError:
        assert str(raised.value).startswith("argument 'n': ")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: CypherGenerator(), "CypherGenerator() missing 1 required positional argument: 'schema'"),
        (lambda: CypherGenerator({}), None),
        (lambda: CypherGenerator(Schema({}, {}), 1, 2),
         "CypherGenerator() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda: CypherGenerator(Schema({}, {}), sed=1),
         "CypherGenerator() got an unexpected keyword argument 'sed'"),
        (lambda: make("empty", 0)[0].generate(),
         "CypherGenerator.generate() missing 1 required positional argument: 'query_type'"),
        (lambda: make("empty", 0)[0].generate(b"create"), None),
        (lambda: make("empty", 0)[0].generate_batch("create"),
         "CypherGenerator.generate_batch() missing 1 required positional argument: 'n'"),
        (lambda: make("empty", 0)[0].generate_batch(1, 1), None),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    if message is not None:
        assert str(raised.value) == message


@pytest.mark.parametrize(
    "call, param",
    [
        (lambda: CypherGenerator({}), "schema"),
        (lambda: CypherGenerator("schema", 1), "schema"),
        (lambda: make("empty", 0)[0].generate(b"create"), "query_type"),
        (lambda: make("empty", 0)[0].generate_batch(1, 1), "query_type"),
        (lambda: make("empty", 0)[0].generate_batch(1, 0), "query_type"),
    ],
)
def test_conversion_errors_name_the_parameter(call, param):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value).startswith("argument '%s': " % param)


def test_keyword_arguments_for_methods():
    generator, reference = make("rich", 5)
    assert generator.generate(query_type="create") == reference.generate("create")
    assert generator.generate_batch(n=2, query_type="merge") == [reference.generate("merge") for _ in range(2)]


def test_supported_types_and_repr():
    assert CypherGenerator.supported_types() == [
        "match_return", "match_where_return", "create", "merge", "aggregation",
        "match_relationship", "create_relationship", "match_set", "match_delete",
        "with_chain", "distinct_return", "order_by", "unwind",
    ]
    generator = CypherGenerator(Schema({}, {}))
    assert generator.supported_types() == CypherGenerator.supported_types()
    listed = CypherGenerator.supported_types()
    listed.append("x")
    assert len(CypherGenerator.supported_types()) == 13
    assert repr(generator) == "CypherGenerator()"


def test_docstrings():
    assert CypherGenerator.__text_signature__ == "(schema, seed=None)"
    assert CypherGenerator.generate.__text_signature__ == "($self, query_type)"
    assert CypherGenerator.generate.__doc__ in (None, "")
    assert CypherGenerator.supported_types.__text_signature__ == "()"
    assert CypherGenerator.generate_batch.__text_signature__ == "($self, query_type, n)"
    assert CypherGenerator.generate_batch.__doc__ == (
        "Generate *n* queries of the given type in a single call.\n\n"
        "Equivalent to calling :meth:`generate` *n* times but avoids per-call\n"
        "Python overhead.\n\n"
        "Parameters\n----------\n"
        "query_type:\n    One of the types returned by :meth:`supported_types`.\n"
        "n:\n    Number of queries to generate.\n\n"
        "Returns\n-------\nlist[str]\n    Generated Cypher query strings.\n\n"
        "Raises\n------\nValueError\n    If *query_type* is not supported."
    )
    assert list(vars(CypherGenerator)).index("generate") < list(vars(CypherGenerator)).index(
        "generate_batch") < list(vars(CypherGenerator)).index("supported_types")


def test_class_is_closed():
    assert CypherGenerator.__module__ == "builtins"
    with pytest.raises(TypeError):
        type("Sub", (CypherGenerator,), {})
    generator, _ = make("empty", 0)
    with pytest.raises(AttributeError):
        generator.extra = 1


def generated_queries(schema_name):
    queries = []
    for seed in SEEDS:
        generator, _ = make(schema_name, seed)
        for query_type in QUERY_TYPES:
            queries += generator.generate_batch(query_type, 8)
    return queries


@pytest.mark.skipif(not hasattr(_tessark, "parse_query"), reason="parse_query not in the module yet")
@pytest.mark.parametrize("schema_name", sorted(SCHEMAS))
def test_every_generated_query_parses(schema_name):
    failures = [q for q in generated_queries(schema_name) if not _tessark.parse_query(q).is_valid]
    assert failures == []


@pytest.mark.skipif(not hasattr(_tessark, "Tessark"), reason="Tessark not in the module yet")
@pytest.mark.parametrize("schema_name", ["bare_label", "rich"])
def test_every_generated_query_validates(schema_name):
    nodes, rels = SCHEMAS[schema_name]
    validator = _tessark.Tessark(Schema(nodes, rels))
    failures = []
    for query in generated_queries(schema_name):
        result = validator.validate(query)
        if not result.is_valid:
            failures.append((query, result.errors))
    assert failures == []


FAILING_ENTROPY_SOURCE = """
#include <errno.h>
#include <sys/types.h>
ssize_t getrandom(void *buf, size_t n, unsigned flags) {
  (void)buf; (void)n; (void)flags; errno = ENOSYS; return -1;
}
"""


@pytest.mark.skipif(shutil.which("cc") is None, reason="needs a C compiler for the interposer")
def test_entropy_failure_is_an_internal_fault(tmp_path):
    # A subprocess whose getrandom always fails: an unseeded generator cannot be built, a seeded
    # one still can.
    (tmp_path / "fail.c").write_text(FAILING_ENTROPY_SOURCE)
    library = tmp_path / "fail.so"
    subprocess.run(["cc", "-shared", "-fPIC", "-o", str(library), str(tmp_path / "fail.c")], check=True)
    script = (
        "from _tessark import CypherGenerator, Schema\n"
        "try:\n"
        "    CypherGenerator(Schema({}, {}))\n"
        "except Exception as e:\n"
        "    print('Exception', e)\n"
        "except BaseException as e:\n"
        "    print('BaseException', type(e).__bases__[0].__name__, e)\n"
        "print(CypherGenerator(Schema({}, {}), 1).generate('create'))\n"
    )
    module_dir = os.path.dirname(_tessark.__file__)
    # Libraries already preloaded (a sanitizer runtime must stay first) keep their place.
    preload = " ".join(filter(None, [os.environ.get("LD_PRELOAD", ""), str(library)]))
    env = dict(os.environ, LD_PRELOAD=preload, PYTHONPATH=module_dir)
    out = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True,
                         check=True).stdout.splitlines()
    assert out[0] == ("BaseException BaseException Reading the operating system's entropy source "
                      "failed: " + os.strerror(errno.ENOSYS))
    assert out[1] == "CREATE (n:Node) RETURN n"
