"""Small helpers for reading C-like source text: comments, literals, nesting."""
from typing import List

_OPEN = {"(": ")", "[": "]", "{": "}"}


class SourceError(Exception):
    """A source the reference is made from does not read as expected."""


def _skip_string(text: str, i: int) -> int:
    """Index just past the literal whose opening quote is at i."""
    quote = text[i]
    i += 1
    while i < len(text):
        if text[i] == "\\":
            i += 2
            continue
        if text[i] == quote:
            return i + 1
        i += 1
    raise SourceError("unterminated literal")


def strip_c_comments(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        if text[i] in "\"'":
            end = _skip_string(text, i)
            out.append(text[i:end])
            i = end
        elif text.startswith("//", i):
            i = text.find("\n", i)
            i = len(text) if i < 0 else i
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            if end < 0:
                raise SourceError("unterminated comment")
            out.append(" ")
            i = end + 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def _code_characters(text: str, start: int = 0):
    """(index, character, bracket depth after it) of every character from
    start that is outside string and character literals."""
    depth, i = 0, start
    while i < len(text):
        c = text[i]
        if c in "\"'":
            i = _skip_string(text, i)
            continue
        if c in _OPEN:
            depth += 1
        elif c in ")]}":
            depth -= 1
        yield i, c, depth
        i += 1


def split_top_level(text: str, separator: str) -> List[str]:
    """Splits at separator (one character) where no bracket or literal is open."""
    pieces, start = [], 0
    for i, c, depth in _code_characters(text):
        if depth == 0 and c == separator:
            pieces.append(text[start:i])
            start = i + 1
    pieces.append(text[start:])
    return pieces


def matching_brace(text: str, open_at: int) -> int:
    """Index of the bracket that closes the one at open_at."""
    closing = _OPEN[text[open_at]]
    for i, c, depth in _code_characters(text, open_at):
        if depth == 0:
            if c != closing:
                raise SourceError(f"mismatched {text[open_at]!r} at offset {open_at}")
            return i
    raise SourceError(f"unclosed {text[open_at]!r} at offset {open_at}")


_ESCAPES = {"\\": "\\", '"': '"', "'": "'", "n": "\n", "t": "\t", "0": "\0"}


def c_string_literal(token: str) -> str:
    """The text of a C string literal such as L"CLSID\\\\"."""
    token = token.strip()
    if token.startswith(("L\"", "u\"", "u8\"")):
        token = token[token.index('"'):]
    if len(token) < 2 or token[0] != '"' or token[-1] != '"':
        raise SourceError(f"not a string literal: {token}")
    out, i, body = [], 0, token[1:-1]
    while i < len(body):
        if body[i] == "\\":
            if i + 1 >= len(body) or body[i + 1] not in _ESCAPES:
                raise SourceError(f"escape not understood in {token}")
            out.append(_ESCAPES[body[i + 1]])
            i += 2
        else:
            out.append(body[i])
            i += 1
    return "".join(out)
