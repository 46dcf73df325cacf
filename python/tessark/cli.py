"""The `tessark` command line: check query files against a schema, list the names that
queries use, generate queries, and check or merge schema files.

Exit status: 0 when everything checked is fine, 1 when a query has a problem, 2 for a
usage error or an input that cannot be used at all (an unreadable file, an invalid schema).
"""

from __future__ import annotations

import argparse
import json
import os
import sys
from dataclasses import dataclass
from typing import Any, Callable, Iterable, Optional, Sequence, TextIO

from _tessark import CypherGenerator, Schema, Tessark, ValidationResult, parse_query

from .statements import Statement, split_statements, syntax_error_position

PROG = "tessark"
STDIN_NAME = "<stdin>"

# More statements than this get a progress bar (when standard error is a terminal).
PROGRESS_THRESHOLD = 5000
# Queries per parallel batch while a progress bar is shown; without one, all go at once.
PROGRESS_CHUNK = 2000
# Queries generated per call, so a huge -n streams instead of piling up in memory.
GENERATE_CHUNK = 10000

_PARSE_ERROR_PREFIX = "Parse error: "


class CliError(Exception):
    """A mistake in the command line or its inputs; reported in plain words, exit 2."""


@dataclass(frozen=True)
class Source:
    """One input: the name shown in messages and its whole text."""

    name: str
    text: str


@dataclass(frozen=True)
class Problem:
    """One message about a statement, placed in its file."""

    kind: str  # "syntax" or "schema"
    line: int
    column: int
    message: str

    def to_json(self) -> dict[str, Any]:
        return {"kind": self.kind, "line": self.line, "column": self.column, "message": self.message}


# ---------------------------------------------------------------------------- inputs

class _Stdin:
    """Standard input, which can be read once only."""

    taken = False

    @classmethod
    def read(cls) -> bytes:
        if cls.taken:
            raise CliError("standard input ('-') can be read only once")
        cls.taken = True
        return sys.stdin.buffer.read()


def read_text(path: str, what: str) -> str:
    """The text of a file ('-' is standard input), decoded as UTF-8 (a leading byte-order
    mark is dropped). Raises CliError naming `what` when it cannot be read or decoded."""
    shown = STDIN_NAME if path == "-" else path
    try:
        data = _Stdin.read() if path == "-" else _read_file(path)
    except OSError as error:
        raise CliError(f"cannot read {what} '{shown}': {error.strerror or error}") from None
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise CliError(
            f"cannot read {what} '{shown}': not UTF-8 text "
            f"(byte 0x{data[error.start]:02x} at offset {error.start})"
        ) from None


def _read_file(path: str) -> bytes:
    with open(path, "rb") as file:
        return file.read()


def read_sources(paths: Sequence[str]) -> list[Source]:
    """All query inputs (standard input when no path is given), read before any is used."""
    return [
        Source(STDIN_NAME if path == "-" else path, read_text(path, "query file"))
        for path in (paths or ["-"])
    ]


def load_schema(path: str) -> Schema:
    """A schema from its JSON file; CliError with the schema's own message when invalid."""
    text = read_text(path, "schema file")
    try:
        return Schema.from_json(text)
    except ValueError as error:
        shown = STDIN_NAME if path == "-" else path
        raise CliError(f"invalid schema file '{shown}': {error}") from None


def statements_of(sources: Iterable[Source]) -> list[tuple[Source, Statement]]:
    return [(source, statement) for source in sources for statement in split_statements(source.text)]


def query_text(statement: Statement) -> str:
    """What is validated: the statement without trailing whitespace, so an error at its
    end points just behind its last character rather than at the next line."""
    return statement.text.rstrip(" \t\r\n")


# ---------------------------------------------------------------------------- output

def _plural(count: int, word: str) -> str:
    return f"{count} {word}" if count == 1 else f"{count} {word}s"


def syntax_problem(statement: Statement, error: str) -> Problem:
    line, column, message = syntax_error_position(statement, error)
    return Problem("syntax", line, column, message)


def problems_of(statement: Statement, result: ValidationResult) -> list[Problem]:
    """Syntax errors at their reported position; schema errors at the statement's start."""
    problems = [syntax_problem(statement, error) for error in result.syntax_errors]
    problems += [
        Problem("schema", statement.line, statement.column, message)
        for message in result.semantic_errors
    ]
    return problems


def render_problem(source: Source, problem: Problem) -> str:
    label = "syntax error: " if problem.kind == "syntax" else ""
    return f"{source.name}:{problem.line}:{problem.column}: {label}{problem.message}"


def _statement_fields(source: Source, statement: Statement) -> dict[str, Any]:
    """Where a statement stands and its text: the first fields of every JSON output line."""
    return {
        "file": source.name,
        "line": statement.line,
        "column": statement.column,
        "query": query_text(statement),
    }


def _json_line(value: dict[str, Any]) -> str:
    return json.dumps(value, ensure_ascii=False)


class ProgressBar:
    """A one-line bar on a terminal's standard error, redrawn in place and wiped at the end."""

    WIDTH = 30

    def __init__(self, stream: TextIO, total: int, label: str) -> None:
        self._stream, self._total, self._label = stream, total, label

    def update(self, done: int) -> None:
        filled = self.WIDTH * done // self._total
        bar = "#" * filled + "." * (self.WIDTH - filled)
        percent = 100 * done // self._total
        self._stream.write(f"\r{self._label} [{bar}] {percent:3d}% {done}/{self._total}")
        self._stream.flush()

    def close(self) -> None:
        self._stream.write("\r\x1b[K")
        self._stream.flush()


def validate_all(validator: Tessark, queries: list[str]) -> list[ValidationResult]:
    """Validate every query in parallel batches: one batch, or chunks with a progress bar
    when there are many queries and standard error is a terminal."""
    if len(queries) <= PROGRESS_THRESHOLD or not sys.stderr.isatty():
        return validator.validate_batch(queries)
    bar = ProgressBar(sys.stderr, len(queries), "checking")
    results: list[ValidationResult] = []
    try:
        for start in range(0, len(queries), PROGRESS_CHUNK):
            results += validator.validate_batch(queries[start:start + PROGRESS_CHUNK])
            bar.update(len(results))
    finally:
        bar.close()
    return results


# ---------------------------------------------------------------------------- commands

def run_check(args: argparse.Namespace) -> int:
    validator = Tessark(load_schema(args.schema))
    sources = read_sources(args.files)
    items = statements_of(sources)
    results = validate_all(validator, [query_text(statement) for _, statement in items])

    out: list[str] = []
    syntax = schema = invalid = 0
    for (source, statement), result in zip(items, results):
        problems = problems_of(statement, result)
        invalid += bool(problems)
        syntax += any(p.kind == "syntax" for p in problems)
        schema += any(p.kind == "schema" for p in problems)
        if args.format == "json":
            out.append(_json_line({
                **_statement_fields(source, statement),
                "is_valid": result.is_valid,
                "problems": [p.to_json() for p in problems],
                "syntax_errors": result.syntax_errors,
                "semantic_errors": result.semantic_errors,
            }))
        else:
            out.extend(render_problem(source, p) for p in problems)

    summary = (
        f"checked {_plural(len(items), 'statement')} in {_plural(len(sources), 'file')}: "
        f"{len(items) - invalid} valid, {invalid} with problems"
    )
    if invalid:
        summary += f" ({syntax} syntax, {schema} schema)"
    _write_lines(out)
    # JSON output stays pure JSON lines; the summary then goes to standard error.
    print(summary, file=sys.stderr if args.format == "json" else sys.stdout)
    return 1 if invalid else 0


def run_extract(args: argparse.Namespace) -> int:
    sources = read_sources(args.files)
    out: list[str] = []
    failed = 0
    for source, statement in statements_of(sources):
        info = parse_query(query_text(statement))
        problems = [
            syntax_problem(statement, error.removeprefix(_PARSE_ERROR_PREFIX)) for error in info.errors
        ]
        failed += not info.is_valid
        where = f"{source.name}:{statement.line}:{statement.column}"
        if args.format == "json":
            out.append(_json_line({
                **_statement_fields(source, statement),
                "is_valid": info.is_valid,
                "labels_used": info.labels_used,
                "rel_types_used": info.rel_types_used,
                "properties_used": info.properties_used,
                "problems": [p.to_json() for p in problems],
            }))
        elif problems:
            out.extend(render_problem(source, p) for p in problems)
        else:
            out.append(
                f"{where}: labels: {_names(info.labels_used)}; "
                f"relationship types: {_names(info.rel_types_used)}; "
                f"properties: {_names(info.properties_used)}"
            )
    _write_lines(out)
    return 1 if failed else 0


def _names(names: list[str]) -> str:
    return ", ".join(names) if names else "none"


def run_generate(args: argparse.Namespace) -> int:
    types = CypherGenerator.supported_types()
    if args.type != "all" and args.type not in types:
        raise CliError(f"unknown query type '{args.type}'; choose one of: {', '.join(types)}, all")
    generator = CypherGenerator(load_schema(args.schema), args.seed)
    for start in range(0, args.n, GENERATE_CHUNK):
        count = min(GENERATE_CHUNK, args.n - start)
        if args.type == "all":
            batch = [generator.generate(types[i % len(types)]) for i in range(start, start + count)]
        else:
            batch = generator.generate_batch(args.type, count)
        _write_lines(batch)
    return 0


def run_schema(args: argparse.Namespace) -> int:
    schemas = [load_schema(path) for path in args.files]
    merged = schemas[0]
    for schema in schemas[1:]:
        merged = merged.merge(schema)
    print(schema_json(merged, pretty=args.pretty))
    return 0


def schema_json(schema: Schema, pretty: bool) -> str:
    """The schema's JSON form with labels, types and properties sorted; indented when pretty."""
    d = schema.to_dict()
    value = {
        "nodes": d["nodes"],
        "relationships": {name: [src, tgt, props] for name, (src, tgt, props) in d["relationships"].items()},
    }
    if pretty:
        return json.dumps(value, ensure_ascii=False, indent=2, sort_keys=True)
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"))


def _write_lines(lines: list[str]) -> None:
    if lines:
        sys.stdout.write("\n".join(lines) + "\n")


# ---------------------------------------------------------------------------- arguments

def _non_negative_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not a whole number") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"{value} is negative; give 0 or more")
    return value


def _seed(text: str) -> int:
    value = _non_negative_int(text)
    if value >= 2**64:
        raise argparse.ArgumentTypeError(f"{value} is too large; a seed is below 2**64")
    return value


_CHECK_EXAMPLES = """\
Statements are separated by semicolons (those inside strings, backtick names and
comments do not count). Each problem is printed as FILE:LINE:COL: message; a syntax
error is placed where the parser stopped, a schema error at the statement's first
character. A summary line follows.

exit status: 0 all statements valid, 1 some statement has a problem,
             2 usage error, unreadable file or invalid schema

examples:
  tessark check --schema schema.json queries.cypher
  tessark check --schema schema.json a.cypher b.cypher --format json
  echo 'MATCH (p:Person) RETURN p' | tessark check --schema schema.json
"""

_EXTRACT_EXAMPLES = """\
No schema is needed. Exit status 1 when some statement has a syntax error.

examples:
  tessark extract queries.cypher
  echo 'MATCH (p:Person)-[:ACTED_IN]->(m) RETURN m.title' | tessark extract --format json
"""

_GENERATE_EXAMPLES = """\
Query types: match_return, match_where_return, create, merge, aggregation,
match_relationship, create_relationship, match_set, match_delete, with_chain,
distinct_return, order_by, unwind; 'all' cycles through them in that order.

examples:
  tessark generate --schema schema.json --type match_return -n 5 --seed 42
  tessark generate --schema schema.json --type all -n 13
"""

_SCHEMA_EXAMPLES = """\
Every file must be valid schema JSON ({"nodes": {...}, "relationships": {...}}). Several
files are merged left to right: labels and types are combined, property sets united,
and a relationship type keeps the endpoints of the first file that declares it.

examples:
  tessark schema schema.json
  tessark schema base.json extra.json --pretty > merged.json
"""


def build_parser() -> argparse.ArgumentParser:
    from . import __version__

    parser = argparse.ArgumentParser(
        prog=PROG,
        description="Check Cypher queries against a graph schema, list the names they use, "
        "generate queries, and check or merge schema files.",
        epilog="Run 'tessark COMMAND --help' for a command's options and examples.",
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    def command(name: str, run: Callable[[argparse.Namespace], int], help: str, epilog: str) -> argparse.ArgumentParser:
        sub = commands.add_parser(
            name, help=help, description=help, epilog=epilog,
            formatter_class=argparse.RawDescriptionHelpFormatter,
        )
        sub.set_defaults(run=run)
        return sub

    check = command("check", run_check, "Validate the statements of query files against a schema.", _CHECK_EXAMPLES)
    check.add_argument("--schema", required=True, metavar="SCHEMA.json", help="schema file (JSON)")
    check.add_argument("files", nargs="*", metavar="FILE", help="query files; none or '-' reads standard input")
    check.add_argument("--format", choices=["text", "json"], default="text",
                       help="text: one line per problem; json: one JSON object per statement")

    extract = command("extract", run_extract,
                      "List the labels, relationship types and properties each statement uses.",
                      _EXTRACT_EXAMPLES)
    extract.add_argument("files", nargs="*", metavar="FILE", help="query files; none or '-' reads standard input")
    extract.add_argument("--format", choices=["text", "json"], default="text",
                         help="text: one line per statement; json: one JSON object per statement")

    generate = command("generate", run_generate, "Generate random queries that fit a schema, one per line.",
                       _GENERATE_EXAMPLES)
    generate.add_argument("--schema", required=True, metavar="SCHEMA.json", help="schema file (JSON)")
    generate.add_argument("--type", required=True, metavar="TYPE", help="query type, or 'all'")
    generate.add_argument("-n", type=_non_negative_int, default=10, metavar="N",
                          help="number of queries (default: 10)")
    generate.add_argument("--seed", type=_seed, default=None, metavar="S",
                          help="seed from 0 to 2**64-1 for a reproducible sequence (default: random)")

    schema = command("schema", run_schema, "Check schema files, merge them, and print the result as JSON.",
                     _SCHEMA_EXAMPLES)
    schema.add_argument("files", nargs="+", metavar="SCHEMA.json", help="schema files; '-' reads standard input")
    schema.add_argument("--pretty", action="store_true", help="indent the output")
    return parser


def _tolerant_output() -> None:
    """Never fail on a character the terminal's encoding lacks: escape it instead."""
    for stream in (sys.stdout, sys.stderr):
        if hasattr(stream, "reconfigure"):
            stream.reconfigure(errors="backslashreplace")


def main(argv: Optional[Sequence[str]] = None) -> int:
    _tolerant_output()
    parser = build_parser()
    args = parser.parse_args(argv)
    run: Callable[[argparse.Namespace], int] = args.run
    try:
        return run(args)
    except CliError as error:
        print(f"{PROG} {args.command}: error: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader went away (for example `| head`): stop quietly.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
