"""The automation interface as the IDL declares it: library, interfaces,
control class and enumerations, with members in vtable order."""
import re
from dataclasses import dataclass, field
from typing import Dict, List, Optional

from source_text import SourceError, strip_c_comments, split_top_level, matching_brace


@dataclass
class Param:
    name: str            # empty when the IDL gives none
    type: str            # e.g. "VARIANT", "long*", "short*"
    attributes: List[str]


@dataclass
class Member:
    name: str
    dispid: int
    kind: str            # "method", "propget", "propput" or "propputref"
    params: List[Param]


@dataclass
class Block:
    kind: str            # "library", "interface", "dispinterface", "coclass" or "enum"
    name: str
    attributes: Dict[str, str]
    members: List[Member] = field(default_factory=list)
    values: List[tuple] = field(default_factory=list)   # enum: (name, value)


@dataclass
class Idl:
    path: str
    library: Block
    blocks: List[Block]

    def block(self, kind: str, name: Optional[str] = None) -> Block:
        found = [b for b in self.blocks if b.kind == kind and (name is None or b.name == name)]
        if len(found) != 1:
            raise SourceError(f"{self.path}: expected one {kind} {name or ''}, found {len(found)}")
        return found[0]


_BLOCK = re.compile(r"\[(?P<attrs>[^\[\]]*)\]\s*(?P<kind>library|interface|dispinterface|coclass|enum)\s+(?P<name>\w+)"
                    r"\s*(?::\s*\w+\s*)?(?=\{)")  # a definition, not a coclass's reference to one
_MEMBER = re.compile(r"\[(?P<attrs>[^\]]*)\]\s*(?P<ret>\w+)\s+(?P<name>\w+)\s*\((?P<params>[^)]*)\)\s*;")
_PARAM = re.compile(r"^(?:\[(?P<attrs>[^\]]*)\])?\s*(?P<rest>.*)$", re.S)


def _attributes(text: str) -> Dict[str, str]:
    """"uuid(X), version(1.0), dual" -> {"uuid": "X", "version": "1.0", "dual": ""}."""
    result = {}
    for item in split_top_level(text, ","):
        item = item.strip()
        if not item:
            continue
        m = re.fullmatch(r"(\w+)\s*(?:\((.*)\))?", item, re.S)
        if not m:
            raise SourceError(f"attribute not understood: {item!r}")
        value = (m.group(2) or "").strip()
        if value.startswith('"') and value.endswith('"'):
            value = value[1:-1]
        result[m.group(1)] = value
    return result


def _params(text: str) -> List[Param]:
    text = text.strip()
    if text in ("", "void"):
        return []
    params = []
    for item in split_top_level(text, ","):
        m = _PARAM.match(item.strip())
        attrs = [a.strip() for a in (m.group("attrs") or "").split(",") if a.strip()]
        # "VARIANT* Value", "VARIANT", "[in, out] short* Key": the name is the
        # last word when a type stands before it.
        tokens = re.findall(r"\w+|\*", m.group("rest"))
        name = ""
        if len(tokens) >= 2 and tokens[-1] != "*":
            name = tokens.pop()
        params.append(Param(name=name, type="".join(t if t == "*" else (" " + t) for t in tokens).strip(),
                            attributes=attrs))
    return params


def _members(body: str, path: str) -> List[Member]:
    members = []
    for m in _MEMBER.finditer(body):
        attrs = _attributes(m.group("attrs"))
        if "id" not in attrs:
            raise SourceError(f"{path}: member {m.group('name')} has no id()")
        kind = next((k for k in ("propget", "propput", "propputref") if k in attrs), "method")
        members.append(Member(name=m.group("name"), dispid=int(attrs["id"], 0), kind=kind,
                              params=_params(m.group("params"))))
    return members


def parse_idl(text: str, path: str = "IDL") -> Idl:
    text = strip_c_comments(text)
    blocks = []
    for m in _BLOCK.finditer(text):
        block = Block(kind=m.group("kind"), name=m.group("name"), attributes=_attributes(m.group("attrs")))
        open_at = text.index("{", m.end())
        body = text[open_at + 1:matching_brace(text, open_at)]
        if block.kind in ("interface", "dispinterface"):
            block.members = _members(body, path)
        elif block.kind == "enum":
            for item in split_top_level(body, ","):
                if item.strip():
                    name, _, value = item.partition("=")
                    block.values.append((name.strip(), int(value.strip(), 0)))
        blocks.append(block)
    libraries = [b for b in blocks if b.kind == "library"]
    if len(libraries) != 1:
        raise SourceError(f"{path}: expected one library, found {len(libraries)}")
    return Idl(path=path, library=libraries[0], blocks=[b for b in blocks if b.kind != "library"])
