"""The registry entries registration writes and the keys unregistration
removes, read from the C++ functions that hold them, with the values the
type library and the control's constants give them."""
import re
from dataclasses import dataclass
from typing import Dict, List, Tuple, Union

from idl_source import Idl
from source_text import SourceError, c_string_literal, matching_brace, split_top_level, strip_c_comments

# A text is a list of parts: (True, literal text) or (False, what stands there).
Part = Tuple[bool, str]
Value = Union[int, List[Part]]

MODULE_PATH = "the module's full path"
SERVER_PATH = "the module's full path, in its short (8.3) form when it holds a blank"

# Platform constants the control's constants are made of.
_PLATFORM = {"OLEVERBATTRIB_NEVERDIRTIES": 1, "OLEVERBATTRIB_ONCONTAINERMENU": 2}


@dataclass
class Registration:
    written: List[Tuple[str, List[Part]]]   # (key, default value), in the order written
    removed: List[str]                       # keys, in the order deleted


def _text(value: Value, expr: str) -> List[Part]:
    if isinstance(value, int):
        raise SourceError(f"a number where a text belongs: {expr}")
    return value


def _merged(parts: List[Part]) -> List[Part]:
    """Adjacent literal parts joined; an empty text stays one empty literal."""
    merged: List[Part] = []
    for literal, text in parts:
        if merged and literal and merged[-1][0]:
            merged[-1] = (True, merged[-1][1] + text)
        elif literal and not text and merged:
            continue
        else:
            merged.append((literal, text))
    return merged


def _literal(parts: List[Part], expr: str) -> str:
    if any(not literal for literal, _ in parts):
        raise SourceError(f"not a fixed text: {expr}")
    return "".join(text for _, text in parts)


class _Evaluator:
    def __init__(self, idl: Idl, registration_cpp: str, class_header: str):
        coclass = idl.block("coclass")
        library = idl.library
        major, _, minor = library.attributes.get("version", "0.0").partition(".")
        guid = lambda text: [(True, "{" + text.upper() + "}")]
        self.names: Dict[str, Value] = {
            "c.classId": coclass.attributes["uuid"],
            "c.libraryId": library.attributes["uuid"],
            "c.className": [(True, coclass.name)],
            "c.description": [(True, coclass.attributes.get("helpstring", ""))],
            "c.progId": [(True, f"{library.name}.{coclass.name}")],
            "c.majorVersion": int(major),
            "c.minorVersion": int(minor),
            "modulePath": [(False, MODULE_PATH)],
        }
        self.calls = {
            "GuidText": lambda arg: guid(self._guid(arg)),
            "ServerPath": lambda arg: [(False, SERVER_PATH)] if arg == "modulePath" else self._unknown(arg),
        }
        self._read_constants(class_header)
        # One-expression helpers of the registration source, e.g. ClassKey(c).
        for m in re.finditer(r"std::wstring\s+(\w+)\(const ControlClass& c\)\s*\{\s*return\s+(.*?);\s*\}",
                             registration_cpp, re.S):
            body = m.group(2)
            self.calls[m.group(1)] = lambda arg, body=body: self.text(body)

    def _read_constants(self, header: str) -> None:
        for m in re.finditer(r"constexpr\s+[\w:\s]+?\*?\s*(\w+)\s*=\s*([^;]+);", header):
            rhs = m.group(2).strip()
            if rhs.startswith(("L\"", "\"")):
                self.names[m.group(1)] = [(True, c_string_literal(rhs))]
            elif re.fullmatch(r"0x[\da-fA-F]+|\d+", rhs):
                self.names[m.group(1)] = int(rhs, 0)
            elif rhs in _PLATFORM:
                self.names[m.group(1)] = _PLATFORM[rhs]
        # A constant built from many flags is pinned by a static_assert.
        for m in re.finditer(r"static_assert\(\s*(\w+)\s*==\s*(0x[\da-fA-F]+|\d+)", header):
            self.names[m.group(1)] = int(m.group(2), 0)

    def _guid(self, arg: str) -> str:
        value = self.names.get(arg)
        if not isinstance(value, str):
            self._unknown(arg)
        return value

    @staticmethod
    def _unknown(expr: str):
        raise SourceError(f"registration uses {expr!r}, which the reference generator cannot render; "
                          "teach tools/reference/registry_rows.py what it stands for")

    def value(self, expr: str) -> Value:
        expr = expr.strip()
        cast = re.fullmatch(r"static_cast<[\w\s]+>\((.*)\)", expr, re.S)
        if cast:
            return self.value(cast.group(1))
        if expr.startswith(("L\"", "\"")):
            return [(True, c_string_literal(expr))]
        if re.fullmatch(r"\d+", expr):
            return int(expr)
        call = re.fullmatch(r"(\w+)\((.*)\)", expr, re.S)
        if call and call.group(1) in self.calls:
            return self.calls[call.group(1)](call.group(2).strip())
        if expr in self.names and not isinstance(self.names[expr], str):
            return self.names[expr]
        self._unknown(expr)

    def text(self, expr: str) -> List[Part]:
        parts: List[Part] = []
        for term in split_top_level(expr, "+"):
            parts.extend(_text(self.value(term), term))
        return _merged(parts)

    def format(self, fmt: str, args: List[str]) -> List[Part]:
        parts: List[Part] = []
        pieces = re.split(r"(%l?[dus]|%ls)", fmt)
        values = iter(args)
        for piece in pieces:
            if not re.fullmatch(r"%l?[dus]|%ls", piece):
                parts.append((True, piece))
                continue
            arg = next(values, None)
            if arg is None:
                raise SourceError(f"too few arguments for {fmt!r}")
            value = self.value(arg)
            parts.extend([(True, str(value))] if isinstance(value, int) else value)
        return _merged(parts)


def _function_body(source: str, signature: str) -> str:
    at = source.find(signature)
    if at < 0:
        raise SourceError(f"registration source has no {signature}")
    open_at = source.index("{", at)
    return source[open_at + 1:matching_brace(source, open_at)]


def _returned_list(body: str, evaluator: _Evaluator) -> str:
    """Runs the function's statements up to its return; gives the braced list returned."""
    for statement in split_top_level(body, ";"):
        statement = " ".join(statement.split())
        if not statement or statement.startswith("wchar_t "):
            continue
        if statement.startswith("return "):
            returned = statement[len("return "):].strip()
            if not (returned.startswith("{") and returned.endswith("}")):
                raise SourceError(f"expected a braced list after return: {returned[:60]}")
            return returned[1:-1]
        local = re.fullmatch(r"const std::wstring (\w+) = (.*)", statement)
        if local:
            evaluator.names[local.group(1)] = evaluator.text(local.group(2))
            continue
        printf = re.fullmatch(r"std::swprintf\((\w+), \w+, (.*)\)", statement)
        if printf:
            fmt, *args = split_top_level(printf.group(2), ",")
            evaluator.names[printf.group(1)] = evaluator.format(c_string_literal(fmt), args)
            continue
        raise SourceError(f"registration statement not understood: {statement[:80]}")
    raise SourceError("registration function returns nothing")


def read_registration(idl: Idl, registration_cpp: str, class_header: str) -> Registration:
    registration_cpp = strip_c_comments(registration_cpp)
    evaluator = _Evaluator(idl, registration_cpp, strip_c_comments(class_header))

    written = []
    rows = _returned_list(_function_body(registration_cpp, "std::vector<RegistryRow> ControlRegistryRows("), evaluator)
    for row in split_top_level(rows, ","):
        row = row.strip()
        if not row:
            continue
        if not (row.startswith("{") and row.endswith("}")):
            raise SourceError(f"registry row not understood: {row}")
        key, value = split_top_level(row[1:-1], ",")
        written.append((_literal(evaluator.text(key), key), evaluator.text(value)))

    keys = _returned_list(_function_body(registration_cpp, "std::vector<std::wstring> ControlRegistryKeys("), evaluator)
    removed = [_literal(evaluator.text(k), k) for k in split_top_level(keys, ",") if k.strip()]
    return Registration(written=written, removed=removed)
