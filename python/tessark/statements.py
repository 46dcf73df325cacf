"""Splitting a query file into statements and mapping positions back into the file.

A file holds statements separated by semicolons. A semicolon separates only at the top
level: inside a quoted string ('...' or "..."), a backtick name or a comment (// to the
end of the line, /* ... */) it is plain text. Strings end at the next matching quote, a
backslash escapes nothing: the query grammar reads them that way, so the split agrees
with what the parser sees ('C:\\' is a complete string). Line and column numbers
follow the checker's own convention: "\\n" and "\\r\\n" end a line, a lone "\\r" does not,
and columns count characters from 1.
"""

from __future__ import annotations

import bisect
import re
from dataclasses import dataclass

__all__ = ["Statement", "LineIndex", "split_statements", "syntax_error_position"]

# One token per match; every character of the text belongs to exactly one token, so
# scanning is linear. Unterminated strings, names and comments run to the end of the
# text (the checker then reports the statement's syntax error).
_TOKEN = re.compile(
    r"""
      '[^']*(?:'|\Z)
    | "[^"]*(?:"|\Z)
    | `[^`]*(?:`|\Z)
    | //[^\n]*
    | /\*.*?(?:\*/|\Z)
    | (?P<semicolon>;)
    | [^'"`/;]+
    | /
    """,
    re.VERBOSE | re.DOTALL,
)

# Whitespace and comments before a statement's first real character, as the grammar skips
# them: an unclosed "/*" is no comment, so a statement starting with one is kept (and its
# syntax error reported) rather than dropped.
_LEADING_BLANK = re.compile(r"(?:[ \t\r\n]+|//[^\n]*|/\*.*?\*/)*", re.DOTALL)


@dataclass(frozen=True)
class Statement:
    """One statement of a file: its text (without the separating semicolon) and where
    its first character of code stands in the file (offset, 1-based line and column)."""

    text: str
    offset: int
    line: int
    column: int


class LineIndex:
    """Turns character offsets of one text into 1-based (line, column) pairs."""

    def __init__(self, text: str) -> None:
        self._line_starts = [0] + [m.end() for m in re.finditer("\n", text)]

    def position(self, offset: int) -> tuple[int, int]:
        line = bisect.bisect_right(self._line_starts, offset)
        return line, offset - self._line_starts[line - 1] + 1


def split_statements(text: str) -> list[Statement]:
    """Split `text` at top-level semicolons; statements holding only whitespace and
    comments are dropped. Each statement's text starts at its first character of code."""
    pieces: list[tuple[int, int]] = []
    start = 0
    for token in _TOKEN.finditer(text):
        if token.group("semicolon"):
            pieces.append((start, token.start()))
            start = token.end()
    pieces.append((start, len(text)))

    index = LineIndex(text)
    statements = []
    for begin, end in pieces:
        blank = _LEADING_BLANK.match(text, begin, end)
        code = blank.end() if blank else begin
        if code == end:
            continue
        line, column = index.position(code)
        statements.append(Statement(text[code:end], code, line, column))
    return statements


_REPORT_HEADER = re.compile(r"^ +--> (\d+):(\d+)$")
_REPORT_MESSAGE = re.compile(r"^ += (.*)$")


def syntax_error_position(statement: Statement, error: str) -> tuple[int, int, str]:
    """Map a syntax error of `statement` to (file line, file column, message).

    A six-line report gives its position in its header ("--> L:C", relative to the
    statement text) and its message on the last line ("= ..."). Any other error text
    (a tree-building error such as a nesting bound) is placed at the statement's start
    and kept whole."""
    lines = error.split("\n")
    header = _REPORT_HEADER.match(lines[0])
    message = _REPORT_MESSAGE.match(lines[-1])
    if len(lines) != 6 or not header or not message:
        return statement.line, statement.column, error
    line, column = int(header.group(1)), int(header.group(2))
    if line == 1:
        return statement.line, statement.column + column - 1, message.group(1)
    return statement.line + line - 1, column, message.group(1)
