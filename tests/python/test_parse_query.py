"""parse_query and QueryInfo: extraction of names without a schema."""

import pytest

import _tessark
from _tessark import QueryInfo, parse_query


def report(line, column, line_text, message):
    """The six-line syntax-error report for a failure at line:column."""
    gutter = " " * len(str(line))
    underline = "".join("\t" if c == "\t" else " " for c in line_text[: column - 1]) + "^---"
    return "\n".join(
        [
            f"{gutter}--> {line}:{column}",
            f"{gutter} |",
            f"{line} | {line_text}",
            f"{gutter} | {underline}",
            f"{gutter} |",
            f"{gutter} = {message}",
        ]
    )


@pytest.mark.parametrize(
    "query, labels, rel_types, properties",
    [
        ("MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name", ["Movie", "Person"], ["ACTED_IN"], ["name"]),
        ("MATCH (a:Person), (b:Person) RETURN a.name, b.name", ["Person"], [], ["name"]),
        ("MATCH (n:Person {name: 'x'}) RETURN n", ["Person"], [], ["name"]),
        ("MATCH ()-[r:KNOWS {since: 2020}]->() RETURN r", [], ["KNOWS"], []),
        ("MATCH (n) SET n.age = 1 RETURN n", [], [], []),
        ("MATCH (n) WITH n WHERE n.age > 1 RETURN n", [], [], []),
        ("RETURN {key: 1}", [], [], []),
        ("MATCH (n) WHERE EXISTS { (n)-[:KNOWS]->(m:Person {age: 1}) } RETURN n", [], [], []),
        ("CALL db.labels() YIELD label", [], [], []),
        ("MATCH (z:Zebra), (a:apple), (e:`Émile`), (b:`Back tick`) RETURN 1",
         ["Zebra", "`Back tick`", "`Émile`", "apple"], [], []),
        ("MATCH (a:A)-[:R|S]->(b) WHERE a.x = 1 RETURN b.y UNION MATCH (c:C)<-[:T]-(d) RETURN d.z",
         ["A", "C"], ["R", "S", "T"], ["x", "y", "z"]),
        ("MATCH (a) WITH a MATCH (b:B {k: a.v}) RETURN b.w ORDER BY b.hidden", ["B"], [], ["k", "v", "w"]),
    ],
)
def test_names_used(query, labels, rel_types, properties):
    info = parse_query(query)
    assert info.is_valid is True
    assert info.labels_used == labels
    assert info.rel_types_used == rel_types
    assert info.properties_used == properties
    assert info.errors == []


def test_docstring_example_and_repr():
    info = parse_query("MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name")
    assert bool(info) is True
    assert repr(info) == (
        'QueryInfo(is_valid=true, labels=["Movie", "Person"], rel_types=["ACTED_IN"], '
        'properties=["name"], errors=[])'
    )


def test_syntax_error_is_reported_as_data():
    query = "MATCH (n RETURN n"
    info = parse_query(query)
    assert info.is_valid is False
    assert bool(info) is False
    assert (info.labels_used, info.rel_types_used, info.properties_used) == ([], [], [])
    expected = "Parse error: " + report(1, 10, query, "expected node_labels or properties")
    assert info.errors == [expected]
    escaped = expected.replace("\n", "\\n")
    assert repr(info) == (
        "QueryInfo(is_valid=false, labels=[], rel_types=[], properties=[], errors=[\"" + escaped + "\"])"
    )


def test_too_deep_expression_is_reported_as_data():
    info = parse_query("RETURN 1" + " + 1" * 100000)
    assert info.is_valid is False
    assert len(info.errors) == 1
    assert info.errors[0].startswith("Parse error: Expression nested too deeply")


def test_repr_escapes_names():
    info = parse_query('MATCH (n:`a"b\\c\td`) RETURN n')
    assert info.labels_used == ['`a"b\\c\td`']
    assert repr(info) == (
        'QueryInfo(is_valid=true, labels=["`a\\"b\\\\c\\td`"], rel_types=[], properties=[], errors=[])'
    )


def test_lists_are_fresh_on_every_read():
    info = parse_query("MATCH (n:Person) RETURN n.name")
    for attribute in ("labels_used", "rel_types_used", "properties_used", "errors"):
        first = getattr(info, attribute)
        first.append("changed")
        assert getattr(info, attribute) is not first
        assert "changed" not in getattr(info, attribute)
    assert info.labels_used == ["Person"]


def test_attributes_are_read_only():
    info = parse_query("RETURN 1")
    with pytest.raises(AttributeError):
        info.is_valid = False
    with pytest.raises(AttributeError):
        info.labels_used = []


def test_arguments():
    assert parse_query(query="RETURN 1").is_valid
    with pytest.raises(TypeError, match=r"^parse_query\(\) missing 1 required positional argument: 'query'$"):
        parse_query()
    with pytest.raises(TypeError, match=r"^argument 'query': "):
        parse_query(1)
    with pytest.raises(TypeError, match=r"^parse_query\(\) got an unexpected keyword argument 'text'$"):
        parse_query(text="RETURN 1")
    with pytest.raises(TypeError, match=r"^parse_query\(\) takes 1 positional argument but 2 were given$"):
        parse_query("RETURN 1", "RETURN 2")


def test_docstrings_and_type():
    assert parse_query.__text_signature__ == "(query)"
    assert parse_query.__doc__ == (
        "Parse a Cypher query and return structural information without requiring a schema.\n\n"
        "Example::\n\n"
        '    info = parse_query("MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name")\n'
        "    info.is_valid        # True\n"
        '    info.labels_used     # ["Movie", "Person"]\n'
        '    info.rel_types_used  # ["ACTED_IN"]\n'
        '    info.properties_used # ["name"]'
    )
    assert QueryInfo.__doc__ == "Information extracted from a parsed query without a schema."
    assert QueryInfo.is_valid.__doc__ == "True if the query is syntactically valid."
    assert QueryInfo.labels_used.__doc__ == "Node labels referenced in the query."
    assert QueryInfo.rel_types_used.__doc__ == "Relationship types referenced in the query."
    assert QueryInfo.properties_used.__doc__ == (
        'Property keys accessed in the query (e.g. ``["name", "age"]``).'
    )
    assert QueryInfo.errors.__doc__ == "Syntax error messages (empty if valid)."
    assert type(parse_query("RETURN 1")) is QueryInfo
    assert QueryInfo.__module__ == "builtins"
    with pytest.raises(TypeError):
        QueryInfo()
    with pytest.raises(TypeError):
        type("Sub", (QueryInfo,), {})
    assert _tessark.__all__[-2:] == ["QueryInfo", "parse_query"]
