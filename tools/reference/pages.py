"""Turns a page source into a reference page: hand-written prose with the
tables and facts taken from the module's sources merged in.

A page source is Markdown with these additions, each on a line of its own:
  @table NAME          a generated table (see TABLES)
  @member NAME         heading and facts of one member of the control's interface
  @event NAME: text    the "when" cell of an event's row
  @key NAME: text      the meaning of a command-line key
  @operation N: a | b  the cells of an OPT value's row
and, anywhere, {{fact}} for one fact (see Reference.facts)."""
import re
from dataclasses import dataclass
from typing import Dict, List, Set, Tuple

from command_line_keys import CommandLine
from error_table import ErrorTable, message_ranges
from idl_source import Idl, Member
from registry_rows import Part, Registration
from source_text import SourceError

IDL = "control/QELTReaderProj1.idl"
ERROR_TABLE = "utility/ErrorTable.rc"
MEANINGS = "tools/reference/pages/error-meanings.txt"
PARSER = "utility/portable/CommandLineParams.cpp"
PARAMS = "utility/portable/Params.h"
REGISTRATION = "control/Registration.cpp"
CLASS_HEADER = "control/ControlClass.h"


@dataclass
class Reference:
    idl: Idl
    errors: ErrorTable
    meanings: Dict[str, str]      # message -> its meaning in English
    command_line: CommandLine
    registration: Registration

    def facts(self) -> Dict[str, Tuple[str, str]]:
        """Fact name -> (text, source it comes from)."""
        coclass = self.idl.block("coclass")
        library = self.idl.library
        guid = lambda text: "{" + text.upper() + "}"
        return {
            "clsid": (guid(coclass.attributes["uuid"]), IDL),
            "libid": (guid(library.attributes["uuid"]), IDL),
            "library": (library.name, IDL),
            "library_version": (library.attributes.get("version", ""), IDL),
            "progid": (f"{library.name}.{coclass.name}", IDL),
            "description": (coclass.attributes.get("helpstring", ""), IDL),
            "interface": (self.idl.block("interface").name, IDL),
            "interface_iid": (guid(self.idl.block("interface").attributes["uuid"]), IDL),
            "events": (self.idl.block("dispinterface").name, IDL),
            "events_iid": (guid(self.idl.block("dispinterface").attributes["uuid"]), IDL),
            "error_count": (str(len(self.errors.entries)), ERROR_TABLE),
            "error_code_page": (str(self.errors.code_page), ERROR_TABLE),
            "error_language_id": (str(self.errors.language_id), ERROR_TABLE),
            "error_language": (self.errors.language, ERROR_TABLE),
        }


def _cell(text: str) -> str:
    return text.replace("|", "\\|")


def _table(header: List[str], rows: List[List[str]]) -> List[str]:
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return lines


def _anchor(heading: str) -> str:
    return re.sub(r"[^a-z0-9_ -]", "", heading.lower()).replace(" ", "-")


def _code(text: str) -> str:
    return f"`{text}`" if text else '`""` (empty)'


def _value(parts: List[Part]) -> str:
    return " ".join(_code(text) if literal else f"*{text}*" for literal, text in parts if literal or text)


@dataclass
class _Property:
    name: str
    dispid: int
    kinds: List[str]
    params: List


def _grouped(members: List[Member]) -> List[_Property]:
    """Members by name in first-declared order; a property's get and put are one entry."""
    groups: Dict[str, _Property] = {}
    for m in members:
        g = groups.setdefault(m.name, _Property(m.name, m.dispid, [], m.params))
        if g.dispid != m.dispid:
            raise SourceError(f"{IDL}: {m.name} has DISPIDs {g.dispid} and {m.dispid}")
        g.kinds.append(m.kind)
    return list(groups.values())


# What an IDL type is to a script writer.
_TYPE_NOTES = {"long": "long (32-bit integer)", "BSTR": "BSTR (string)",
               "short*": "short* (16-bit integer, by reference)"}


def _type(idl_type: str) -> str:
    return _TYPE_NOTES.get(idl_type, idl_type)


def _property_type(member: _Property, members: List[Member]) -> str:
    types = set()
    for m in members:
        if m.name == member.name and m.kind != "method":
            (param,) = m.params
            types.add(param.type[:-1] if m.kind == "propget" else param.type)
    if len(types) != 1:
        raise SourceError(f"{IDL}: {member.name} reads and writes different types {sorted(types)}")
    return _type(types.pop())


def _kind(member: _Property) -> str:
    if member.kinds == ["method"]:
        return "method"
    return "property, read/write" if any(k.startswith("propput") for k in member.kinds) else "property, read-only"


def _arguments(member: _Property) -> str:
    if not member.params:
        return "none"
    return ", ".join(f"`{p.name}`: {_type(p.type)}" for p in member.params)


class _Page:
    def __init__(self, name: str, reference: Reference):
        self.name = name
        self.ref = reference
        self.sources: Set[str] = set()
        self.notes: Dict[str, Dict[str, Tuple[List[str], int]]] = {"event": {}, "key": {}, "operation": {}}
        self.members_done: List[str] = []
        self.consumed: Set[str] = set()

    def fail(self, line, message: str):
        where = f"tools/reference/pages/{self.name}" + (f":{line}" if line else "")
        raise SourceError(f"{where}: {message}")

    # Hand-written cells, checked against what the sources declare.
    def _cells(self, kind: str, names: List[str], width: int) -> List[List[str]]:
        notes = self.notes[kind]
        self.consumed.add(kind)
        unknown = [n for n in notes if n not in names]
        if unknown:
            self.fail(notes[unknown[0]][1], f"@{kind} {unknown[0]}: the sources declare no such {kind}")
        rows = []
        for n in names:
            if n not in notes:
                self.fail(None, f"no @{kind} {n}: every {kind} the sources declare needs its text here")
            cells, line = notes[n]
            if len(cells) != width:
                self.fail(line, f"@{kind} {n} has {len(cells)} cells, not {width}")
            rows.append([_cell(c) for c in cells])
        return rows

    def table(self, name: str, line: int) -> List[str]:
        ref = self.ref
        if name == "members":
            self.sources.add(IDL)
            members = ref.idl.block("interface").members
            rows = []
            for g in _grouped(members):
                kind = _kind(g)
                rows.append([str(g.dispid), f"[`{g.name}`](#{_anchor(g.name)})", kind,
                             _arguments(g) if kind == "method" else _property_type(g, members)])
            return _table(["DISPID", "Member", "Kind", "Arguments or type"], rows)
        if name == "events":
            self.sources.add(IDL)
            events = ref.idl.block("dispinterface").members
            when = self._cells("event", [e.name for e in events], 1)
            return _table(["DISPID", "Event", "Argument", "Raised"],
                          [[str(e.dispid), f"`{e.name}`",
                            ", ".join(f"`{p.name}`: {_type(p.type)}, {' and '.join(p.attributes)}" for p in e.params) or "none",
                            w[0]] for e, w in zip(events, when)])
        if name == "enums":
            self.sources.add(IDL)
            return _table(["Enumeration", "Values"],
                          [[f"`{b.name}`", ", ".join(f"`{n}` = {v}" for n, v in b.values)]
                           for b in ref.idl.blocks if b.kind == "enum"])
        if name == "keys":
            self.sources.add(PARSER)
            keys = ref.command_line.keys
            return _table(["Key", "Meaning"],
                          [[f"`{k}`", c[0]] for k, c in zip(keys, self._cells("key", keys, 1))])
        if name == "operations":
            self.sources.add(PARAMS)
            values = [str(v) for _, v in ref.command_line.operations]
            return _table(["`OPT`", "Runs", "Prints on success"],
                          [[v] + c for v, c in zip(values, self._cells("operation", values, 2))])
        if name == "errors":
            self.sources.update({ERROR_TABLE, MEANINGS})
            used = {m for _, m in ref.errors.entries}
            stale = sorted(set(ref.meanings) - used)
            if stale:
                raise SourceError(f"{MEANINGS}: {stale[0]!r} is no longer a message of {ERROR_TABLE}")
            rows = []
            for first, last, message in message_ranges(ref.errors.entries):
                if message not in ref.meanings:
                    raise SourceError(f"{MEANINGS}: no meaning for {message!r} (code {first}); add a line "
                                      f"'{message} = <meaning in English>'")
                codes = str(first) if first == last else f"{first}–{last}"
                rows.append([codes, _cell(message), _cell(ref.meanings[message])])
            return _table(["Codes", "Message", "Meaning"], rows)
        if name == "registry-written":
            self.sources.update({REGISTRATION, CLASS_HEADER, IDL})
            return _table(["Key under HKEY_CLASSES_ROOT", "Default value (REG_SZ)"],
                          [[_code(k), _value(v)] for k, v in ref.registration.written])
        if name == "registry-removed":
            self.sources.update({REGISTRATION, IDL})
            return [f"{i}. `{k}`" for i, k in enumerate(ref.registration.removed, 1)]
        self.fail(line, f"unknown table {name!r}")

    def member(self, name: str, line: int) -> List[str]:
        self.sources.add(IDL)
        members = self.ref.idl.block("interface").members
        groups = {g.name: g for g in _grouped(members)}
        if name not in groups:
            self.fail(line, f"@member {name}: {IDL} declares no such member")
        g = groups[name]
        kind = _kind(g)
        facts = (f"arguments: {_arguments(g)}" if kind == "method"
                 else f"type {_property_type(g, members)}")
        self.members_done.append(name)
        return [f"### {name}", "", f"DISPID {g.dispid} · {kind} · {facts}", ""]

    def check_members(self) -> None:
        if not self.members_done:
            return
        declared = [g.name for g in _grouped(self.ref.idl.block("interface").members)]
        if self.members_done != declared:
            missing = [n for n in declared if n not in self.members_done]
            detail = f"no @member {missing[0]}" if missing else "not in the interface's order"
            self.fail(None, f"the @member sections must follow {IDL} one for one: {detail}")

    def fact(self, match: "re.Match", line: int) -> str:
        facts = self.ref.facts()
        if match.group(1) not in facts:
            self.fail(line, f"unknown fact {{{{{match.group(1)}}}}}")
        text, source = facts[match.group(1)]
        self.sources.add(source)
        return text


_NOTE = re.compile(r"^@(event|key|operation) (\S+): (.*)$")


def render_page(name: str, source: str, reference: Reference) -> Tuple[List[str], Set[str]]:
    """The page's lines and the sources its generated parts came from."""
    page = _Page(name, reference)
    lines = source.splitlines()
    body = []
    for number, text in enumerate(lines, 1):
        note = _NOTE.match(text)
        if note:
            page.notes[note.group(1)][note.group(2)] = ([c.strip() for c in note.group(3).split(" | ")], number)
        else:
            body.append((number, text))
    out: List[str] = []
    for number, text in body:
        if text.startswith("@table "):
            out += page.table(text[len("@table "):].strip(), number)
        elif text.startswith("@member "):
            out += page.member(text[len("@member "):].strip(), number)
        elif text.startswith("@"):
            page.fail(number, f"unknown directive {text.split()[0]}")
        else:
            out.append(re.sub(r"\{\{(\w+)\}\}", lambda m: page.fact(m, number), text))
    # Lines of notes leave their blank lines behind: one blank line is enough.
    out = [line for i, line in enumerate(out) if line.strip() or (i > 0 and out[i - 1].strip())]
    page.check_members()
    for kind, notes in page.notes.items():
        if notes and kind not in page.consumed:
            page.fail(next(iter(notes.values()))[1], f"@{kind} lines, but no table that uses them")
    return out, page.sources
