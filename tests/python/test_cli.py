"""The `tessark` command line, run as a subprocess the way users run it."""

import json
import os
import pty
import re
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
PACKAGE_DIR = REPO / "python"
if str(PACKAGE_DIR) not in sys.path:
    sys.path.insert(0, str(PACKAGE_DIR))

import tessark  # noqa: E402
from tessark.statements import split_statements  # noqa: E402

SCHEMA = {
    "nodes": {"Person": ["name", "age"], "Movie": ["title"]},
    "relationships": {"ACTED_IN": ["Person", "Movie", ["role"]], "KNOWS": ["Person", "Person", []]},
}


def cli_env():
    env = dict(os.environ)
    paths = [str(PACKAGE_DIR)] + env.get("PYTHONPATH", "").split(os.pathsep)
    env["PYTHONPATH"] = os.pathsep.join(os.path.abspath(p) for p in paths if p)
    return env


def run(*args, stdin="", cwd=None):
    return subprocess.run(
        [sys.executable, "-m", "tessark", *map(str, args)],
        input=stdin.encode(), capture_output=True, env=cli_env(), cwd=cwd, timeout=120,
    )


def out(proc):
    return proc.stdout.decode()


def err(proc):
    return proc.stderr.decode()


def position(text, needle, occurrence=0):
    """1-based (line, column) of the first character of the n-th `needle` in `text`, counted
    the way the checker counts: lines end at "\\n", columns are characters."""
    offset = -1
    for _ in range(occurrence + 1):
        offset = text.index(needle, offset + 1)
    before = text[:offset]
    return before.count("\n") + 1, offset - (before.rfind("\n") + 1) + 1


@pytest.fixture
def schema_file(tmp_path):
    path = tmp_path / "schema.json"
    path.write_text(json.dumps(SCHEMA))
    return path


# Seven statements; semicolons inside strings, backtick names and comments do not split,
# empty and comment-only statements are dropped, one statement spans two lines.
QUERIES = (
    "// header comment; not a statement\n"
    "MATCH (p:Person) WHERE p.name = 'a;b' RETURN p;\n"
    'MATCH (`x;y`:Movie {title: "t;u"}) RETURN `x;y`; /* ; */ MATCH (q:Persn) RETURN q;\n'
    ";;\n"
    "MATCH (n RETURN n;\n"
    "RETURN 'C:\\'; MATCH (a:Person)\n"
    "RETURN a.;\n"
    "  /* only a comment ; */ ;\n"
    "MATCH (p:Person)-[:KNOWS]->(f:Person) RETURN f.name\n"
)
QUERY_TEXTS = [
    "MATCH (p:Person) WHERE p.name = 'a;b' RETURN p",
    'MATCH (`x;y`:Movie {title: "t;u"}) RETURN `x;y`',
    "MATCH (q:Persn) RETURN q",
    "MATCH (n RETURN n",
    "RETURN 'C:\\'",
    "MATCH (a:Person)\nRETURN a.",
    "MATCH (p:Person)-[:KNOWS]->(f:Person) RETURN f.name",
]


def expected_problems(name):
    persn = position(QUERIES, "MATCH (q:Persn)")
    unclosed = position(QUERIES, "RETURN n;")
    line, column = position(QUERIES, "RETURN a.;")
    after_dot = line, column + len("RETURN a.")
    return [
        f"{name}:{persn[0]}:{persn[1]}: Unknown node label: :Persn, did you mean :Person?",
        f"{name}:{unclosed[0]}:{unclosed[1]}: syntax error: expected node_labels or properties",
        f"{name}:{after_dot[0]}:{after_dot[1]}: syntax error: expected property_key_name",
    ]


SUMMARY = "checked 7 statements in 1 file: 4 valid, 3 with problems (2 syntax, 1 schema)"


def test_check_places_each_problem_in_the_file(schema_file, tmp_path):
    queries = tmp_path / "queries.cypher"
    queries.write_text(QUERIES)
    proc = run("check", "--schema", schema_file, queries)
    assert out(proc).splitlines() == expected_problems(str(queries)) + [SUMMARY]
    assert (proc.returncode, err(proc)) == (1, "")


def test_check_reads_stdin(schema_file):
    proc = run("check", "--schema", schema_file, stdin=QUERIES)
    assert out(proc).splitlines() == expected_problems("<stdin>") + [SUMMARY]
    assert proc.returncode == 1


@pytest.mark.parametrize("text, expected", [
    # "\r\n" ends one line; the error is on the statement's second line.
    ("RETURN 1;\r\nMATCH (n)\r\nRETURN n.;\r\n", ["3:10: syntax error: expected property_key_name"]),
    # A lone "\r" is an ordinary character, as in the parser's own report.
    ("RETURN 1;\rRETURN n.", ["1:20: syntax error: expected property_key_name"]),
    # Columns count characters, not bytes.
    ("RETURN 'äöü'; RETURN", ["1:21: syntax error: expected not_expr"]),
    # Trailing whitespace is not part of a statement: the error stays on its last line.
    ("MATCH (p:Person) RETURN\n\n\n", ["1:24: syntax error: expected not_expr"]),
    # An unclosed block comment is no comment: its statement is checked, not dropped.
    ("RETURN 1; /* unclosed", ["1:11: syntax error: expected statement"]),
    ("MATCH (p:Person) RETURN p.name;\n\n  MATCH (p:Persn) RETURN p;",
     ["3:3: Unknown node label: :Persn, did you mean :Person?"]),
])
def test_check_positions(schema_file, text, expected):
    proc = run("check", "--schema", schema_file, stdin=text)
    assert out(proc).splitlines()[:-1] == ["<stdin>:" + line for line in expected]
    assert proc.returncode == 1


def test_check_json_lines(schema_file, tmp_path):
    queries = tmp_path / "q.cypher"
    queries.write_text(QUERIES)
    proc = run("check", "--schema", schema_file, "--format", "json", queries)
    records = [json.loads(line) for line in out(proc).splitlines()]
    assert [r["query"] for r in records] == QUERY_TEXTS
    assert [r["is_valid"] for r in records] == [True, True, False, False, True, False, True]
    assert {r["file"] for r in records} == {str(queries)}
    assert [(r["line"], r["column"]) for r in records] == [position(QUERIES, q.split("\n")[0]) for q in QUERY_TEXTS]
    problems = [f"{r['file']}:{p['line']}:{p['column']}: " + ("syntax error: " if p["kind"] == "syntax" else "")
                + p["message"] for r in records for p in r["problems"]]
    assert problems == expected_problems(str(queries))
    persn = records[2]
    assert persn["semantic_errors"] == ["Unknown node label: :Persn, did you mean :Person?"]
    assert persn["syntax_errors"] == []
    unclosed = records[3]
    assert unclosed["semantic_errors"] == [] and unclosed["syntax_errors"][0].startswith(" --> 1:10\n")
    assert err(proc) == SUMMARY + "\n"
    assert proc.returncode == 1


@pytest.mark.parametrize("text, code, summary", [
    ("MATCH (p:Person) RETURN p.name; MATCH (m:Movie) RETURN m.title;",
     0, "checked 2 statements in 1 file: 2 valid, 0 with problems"),
    ("", 0, "checked 0 statements in 1 file: 0 valid, 0 with problems"),
    ("  // nothing here\n ; /* nor here */", 0, "checked 0 statements in 1 file: 0 valid, 0 with problems"),
    ("MATCH (p:Person) RETURN q", 1, "checked 1 statement in 1 file: 0 valid, 1 with problems (0 syntax, 1 schema)"),
])
def test_check_exit_status_and_summary(schema_file, text, code, summary):
    proc = run("check", "--schema", schema_file, stdin=text)
    assert out(proc).splitlines()[-1] == summary
    assert proc.returncode == code


def test_check_several_files(schema_file, tmp_path):
    good, bad = tmp_path / "good.cypher", tmp_path / "bad.cypher"
    good.write_text("MATCH (p:Person) RETURN p")
    bad.write_text("\nMATCH (p:Person) RETURN q;")
    proc = run("check", "--schema", schema_file, good, bad)
    assert out(proc).splitlines() == [
        f"{bad}:2:1: Variable 'q' is not bound in this scope",
        "checked 2 statements in 2 files: 1 valid, 1 with problems (0 syntax, 1 schema)",
    ]


@pytest.mark.parametrize("files, message", [
    ({"schema.json": None}, "cannot read schema file 'schema.json': No such file or directory"),
    ({"schema.json": "{nodes"}, "invalid schema file 'schema.json': Invalid Schema JSON: "),
    ({"schema.json": "{}"},
     "invalid schema file 'schema.json': Invalid Schema JSON: missing field `nodes` at line 1 column 2"),
    ({"schema.json": b"\xff{}"}, "cannot read schema file 'schema.json': not UTF-8 text (byte 0xff at offset 0)"),
    ({"schema.json": json.dumps(SCHEMA), "q.cypher": None},
     "cannot read query file 'q.cypher': No such file or directory"),
])
def test_check_unusable_inputs(tmp_path, files, message):
    for name, content in files.items():
        if isinstance(content, str):
            (tmp_path / name).write_text(content)
        elif isinstance(content, bytes):
            (tmp_path / name).write_bytes(content)
    proc = run("check", "--schema", "schema.json", *[n for n in files if n != "schema.json"], cwd=tmp_path)
    assert err(proc).startswith("tessark check: error: " + message)
    assert len(err(proc).splitlines()) == 1
    assert (proc.returncode, out(proc)) == (2, "")


@pytest.mark.parametrize("args", [
    [],
    ["check"],
    ["check", "q.cypher"],
    ["frobnicate"],
    ["check", "--schema", "s.json", "--format", "xml"],
    ["generate", "--schema", "s.json", "--type", "create", "-n", "-1"],
    ["generate", "--schema", "s.json", "--type", "create", "--seed", str(2**64)],
    ["generate", "--schema", "s.json", "--type", "create", "-n", "lots"],
    ["schema"],
])
def test_usage_errors(args):
    proc = run(*args)
    assert proc.returncode == 2
    assert "error:" in err(proc) and "Traceback" not in err(proc)


@pytest.mark.parametrize("command", ["check", "extract", "generate", "schema"])
def test_help_has_examples(command):
    proc = run(command, "--help")
    assert proc.returncode == 0
    assert f"usage: tessark {command}" in out(proc)
    assert f"examples:\n  tessark {command}" in out(proc)


def test_top_level_help_and_version():
    proc = run("--help")
    assert proc.returncode == 0
    for command in ["check", "extract", "generate", "schema"]:
        assert command in out(proc)
    assert out(run("--version")) == f"tessark {tessark.__version__}\n"


def test_version_matches_the_build():
    meson = (REPO / "meson.build").read_text()
    assert re.search(r"version: '([^']+)'", meson).group(1) == tessark.__version__


def test_extract_text_and_json(tmp_path):
    queries = tmp_path / "q.cypher"
    queries.write_text(
        "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name;\n"
        "RETURN 1;\n"
        "MATCH (n RETURN n\n"
    )
    proc = run("extract", queries)
    assert out(proc).splitlines() == [
        f"{queries}:1:1: labels: Movie, Person; relationship types: ACTED_IN; properties: name",
        f"{queries}:2:1: labels: none; relationship types: none; properties: none",
        f"{queries}:3:10: syntax error: expected node_labels or properties",
    ]
    assert proc.returncode == 1

    proc = run("extract", "--format", "json", queries)
    records = [json.loads(line) for line in out(proc).splitlines()]
    assert [(r["is_valid"], r["labels_used"], r["rel_types_used"], r["properties_used"]) for r in records] == [
        (True, ["Movie", "Person"], ["ACTED_IN"], ["name"]),
        (True, [], [], []),
        (False, [], [], []),
    ]
    assert records[2]["problems"] == [
        {"kind": "syntax", "line": 3, "column": 10, "message": "expected node_labels or properties"}]
    assert proc.returncode == 1
    assert run("extract", stdin="MATCH (n:A) RETURN n.x").returncode == 0


def test_generate_matches_the_library(schema_file):
    from _tessark import CypherGenerator, Schema

    schema = Schema.from_json(schema_file.read_text())
    proc = run("generate", "--schema", schema_file, "--type", "match_where_return", "-n", 7, "--seed", 42)
    assert out(proc).splitlines() == CypherGenerator(schema, 42).generate_batch("match_where_return", 7)
    assert proc.returncode == 0

    types = CypherGenerator.supported_types()
    generator = CypherGenerator(schema, 7)
    expected = [generator.generate(types[i % len(types)]) for i in range(2 * len(types) + 1)]
    proc = run("generate", "--schema", schema_file, "--type", "all", "-n", len(expected), "--seed", 7)
    assert out(proc).splitlines() == expected

    assert out(run("generate", "--schema", schema_file, "--type", "create", "-n", 0)) == ""


def test_generated_queries_pass_the_checker(schema_file):
    generated = out(run("generate", "--schema", schema_file, "--type", "all", "-n", 130, "--seed", 1))
    proc = run("check", "--schema", schema_file, stdin=";\n".join(generated.splitlines()))
    assert out(proc).splitlines() == ["checked 130 statements in 1 file: 130 valid, 0 with problems"]
    assert proc.returncode == 0


def test_generate_unknown_type(schema_file):
    proc = run("generate", "--schema", schema_file, "--type", "bogus")
    assert proc.returncode == 2
    assert err(proc).startswith("tessark generate: error: unknown query type 'bogus'; choose one of: match_return,")
    assert err(proc).rstrip().endswith(", unwind, all")


def test_schema_merge_and_pretty(tmp_path):
    first, second = tmp_path / "a.json", tmp_path / "b.json"
    first.write_text('{"nodes":{"Person":["name"]},"relationships":{"KNOWS":["Person","Person",["since"]]}}')
    second.write_text('{"nodes":{"Person":["age"],"Movie":["title"]},'
                      '"relationships":{"KNOWS":["Person","Company",["weight"]],"ACTED_IN":["Person","Movie",[]]}}')
    merged = {
        "nodes": {"Movie": ["title"], "Person": ["age", "name"]},
        "relationships": {"ACTED_IN": ["Person", "Movie", []], "KNOWS": ["Person", "Person", ["since", "weight"]]},
    }
    proc = run("schema", first, second)
    assert json.loads(out(proc)) == merged
    assert len(out(proc).splitlines()) == 1 and proc.returncode == 0

    pretty = out(run("schema", "--pretty", first, second))
    assert pretty == json.dumps(merged, indent=2, sort_keys=True) + "\n"
    assert json.loads(out(run("schema", "-", stdin=pretty))) == merged


def test_schema_reports_the_broken_file(tmp_path):
    good, bad = tmp_path / "good.json", tmp_path / "bad.json"
    good.write_text(json.dumps(SCHEMA))
    bad.write_text('{"nodes":{},"relationships":{"R":["A","B"]}}')
    proc = run("schema", good, bad)
    assert proc.returncode == 2 and out(proc) == ""
    assert err(proc).startswith(f"tessark schema: error: invalid schema file '{bad}': Invalid Schema JSON: "
                                "invalid length 2, expected a tuple of size 3")


def test_progress_bar_only_on_a_terminal(schema_file, tmp_path):
    queries = tmp_path / "many.cypher"
    queries.write_text("MATCH (p:Person) RETURN p.name;\n" * 5001)
    leader, follower = pty.openpty()
    try:
        proc = subprocess.run([sys.executable, "-m", "tessark", "check", "--schema", str(schema_file), str(queries)],
                              stdout=subprocess.PIPE, stderr=follower, env=cli_env(), timeout=120)
        os.close(follower)
        follower = -1
        shown = b""
        while True:
            try:
                chunk = os.read(leader, 65536)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(leader)
        if follower >= 0:
            os.close(follower)
    assert proc.returncode == 0
    assert b"checking [" in shown and b"5001/5001" in shown
    assert out(proc) == "checked 5001 statements in 1 file: 5001 valid, 0 with problems\n"

    piped = run("check", "--schema", schema_file, queries)
    assert (piped.returncode, err(piped)) == (0, "")


@pytest.mark.parametrize("text, statements", [
    ("", []),
    ("RETURN 1", ["RETURN 1"]),
    ("RETURN 1;RETURN 2;", ["RETURN 1", "RETURN 2"]),
    ("RETURN ';' ; RETURN \";\"", ["RETURN ';' ", 'RETURN ";"']),
    ("RETURN `a;b`;x", ["RETURN `a;b`", "x"]),
    ("// c;\nRETURN 1 // d;\n;2", ["RETURN 1 // d;\n", "2"]),
    ("/* a; */ /* b; */ RETURN /* ; */ 1", ["RETURN /* ; */ 1"]),
    ("RETURN 'it\\'; 2", ["RETURN 'it\\'", "2"]),
    ("RETURN 'open; 2", ["RETURN 'open; 2"]),
    ("RETURN `open; 2", ["RETURN `open; 2"]),
    ("1; /* open ; 2", ["1", "/* open ; 2"]),
    (" \t\r\n;;\n", []),
    ("a/b;c", ["a/b", "c"]),
])
def test_split_statements(text, statements):
    assert [s.text for s in split_statements(text)] == statements
    for s in split_statements(text):
        assert text[s.offset:s.offset + len(s.text)] == s.text
